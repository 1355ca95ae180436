#!/usr/bin/env bash
# Line and branch coverage of the driver (dcs/) over the i686 test suite,
# whose build instruments the driver (the coverage preset). With --report,
# only the report of the counts a test run already left.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=${JOBS:-$(nproc)}
if [ "${1:-}" != --report ]; then
  cmake --preset coverage >/dev/null
  cmake --build --preset coverage -j "$jobs"
  find build/coverage -name '*.gcda' -delete
  ctest --preset coverage -j "$jobs" >/dev/null
fi
gcovr --root . --filter 'dcs/' --object-directory build/coverage \
      --exclude-unreachable-branches --exclude-throw-branches \
      --txt build/coverage/coverage.txt --print-summary
