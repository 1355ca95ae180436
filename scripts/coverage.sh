#!/usr/bin/env bash
# Line and branch coverage of the driver (dcs/) over the whole test suite.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=${JOBS:-$(nproc)}
cmake --preset coverage >/dev/null
cmake --build --preset coverage -j "$jobs"
find build/coverage -name '*.gcda' -delete
ctest --preset coverage -j "$jobs" >/dev/null
gcovr --root . --filter 'dcs/' --object-directory build/coverage \
      --exclude-unreachable-branches --exclude-throw-branches \
      --txt build/coverage/coverage.txt --print-summary
