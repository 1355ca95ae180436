#!/usr/bin/env bash
# Installs, from Debian's archive, every package the build and the tests
# need that the machine lacks. Needs root; does nothing when all is there.
set -euo pipefail

packages=(
  cmake ninja-build g++ g++-multilib clang libclang-rt-14-dev
  googletest libbenchmark-dev gcovr libtoml11-dev libcli11-dev nlohmann-json3-dev binutils
  chromium-headless-shell libxml2-utils python3
  g++-mingw-w64-i686 binutils-mingw-w64-i686 unzip
)
wine_packages=(wine wine32:i386)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
need_i386=0
for p in "${wine_packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || { missing+=("$p"); need_i386=1; }
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "install-deps: every package is installed"
else
  if [ "$(id -u)" -ne 0 ]; then
    echo "install-deps: missing ${missing[*]}; run as root to install them" >&2
    exit 1
  fi
  echo "install-deps: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  if [ $need_i386 -eq 1 ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
  fi
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# The i686 tests and Wine run 32-bit x86 programs. Some virtual machines
# run a kernel that cannot execute them itself; there they run under
# qemu's user-mode emulation, registered with the kernel's binfmt_misc.
probe_dir=$(mktemp -d)
trap 'rm -rf "$probe_dir"' EXIT
printf 'int main(void) { return 0; }\n' >"$probe_dir/probe.c"
if gcc -m32 "$probe_dir/probe.c" -o "$probe_dir/probe" 2>/dev/null && ! "$probe_dir/probe" 2>/dev/null; then
  echo "install-deps: this kernel does not run 32-bit x86 programs; registering qemu-i386 for them"
  if ! dpkg-query -W -f='${Status}' qemu-user-static 2>/dev/null | grep -q "install ok installed"; then
    export DEBIAN_FRONTEND=noninteractive
    apt-get install -y -qq --no-install-recommends qemu-user-static
  fi
  [ -e /proc/sys/fs/binfmt_misc/register ] || mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc
  if [ ! -e /proc/sys/fs/binfmt_misc/qemu-i386 ]; then
    printf '%s' ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386-static:F' \
      >/proc/sys/fs/binfmt_misc/register
  fi
  "$probe_dir/probe" || { echo "install-deps: 32-bit x86 programs still cannot run" >&2; exit 1; }
fi
