#!/usr/bin/env bash
# Builds the three kits, optimised and without tests, into build/packages:
#   mrxnt-<version>-win32.zip, mrxnt-<version>-linux-x86_64.tar.gz and
#   mrxnt-<version>-linux-i686.tar.gz
# Each is one CMake workflow (configure, build, CPack); pass kit names
# (win32, linux-x86_64, linux-i686) to build only those.
set -euo pipefail
cd "$(dirname "$0")/.."

kits=("$@")
[ ${#kits[@]} -gt 0 ] || kits=(linux-x86_64 linux-i686 win32)
for kit in "${kits[@]}"; do
  echo "==== kit: $kit"
  cmake --workflow --preset "kit-$kit"
done
ls -l build/packages/mrxnt-*
