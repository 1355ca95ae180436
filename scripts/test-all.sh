#!/usr/bin/env bash
# Installs what is missing (as root), builds every target and runs every
# test: Linux x86-64 with sanitizers, Linux i686, the coverage build, the
# fuzzer for a bounded time and the benchmarks' build, and the Windows DLL
# under Wine. Exits non-zero when anything fails.
set -euo pipefail
cd "$(dirname "$0")/.."

jobs=${JOBS:-$(nproc)}
fuzz_seconds=${FUZZ_SECONDS:-40}

step() { printf '\n==== %s\n' "$*"; }

# Every ctest run's counts, summed into one closing line.
total=0
failed=0
run_ctest() {
  local log
  log=$(mktemp)
  ctest "$@" 2>&1 | tee "$log"
  local line
  line=$(grep -E 'tests passed, [0-9]+ tests failed out of [0-9]+' "$log" | tail -n 1)
  rm -f "$log"
  local of fails
  of=$(sed -E 's/.* out of ([0-9]+).*/\1/' <<<"$line")
  fails=$(sed -E 's/.*, ([0-9]+) tests failed.*/\1/' <<<"$line")
  total=$((total + ${of:-0}))
  failed=$((failed + ${fails:-0}))
}

# A script that closes with "WHAT: N passed, M failed" adds its counts; one
# that fails without such a line counts as one failed test.
run_counted() {
  local log status=0
  log=$(mktemp)
  "$@" 2>&1 | tee "$log" || status=$?
  local line
  line=$(grep -E '^[a-z0-9 -]+: [0-9]+ passed, [0-9]+ failed$' "$log" | tail -n 1 || true)
  rm -f "$log"
  if [ -z "$line" ]; then
    total=$((total + 1))
    [ "$status" -eq 0 ] || failed=$((failed + 1))
    return 0
  fi
  local ok bad
  ok=$(sed -E 's/.*: ([0-9]+) passed.*/\1/' <<<"$line")
  bad=$(sed -E 's/.*, ([0-9]+) failed$/\1/' <<<"$line")
  total=$((total + ok + bad))
  failed=$((failed + bad))
}

step "dependencies"
scripts/install-deps.sh

# Wine runs the 32-bit Windows programs. Where this kernel cannot execute
# 32-bit x86 code itself, install-deps has it run under qemu's user-mode
# emulation: the i686 tests are fine there, but Wine is far too slow (a new
# prefix takes over 20 minutes, every Wine process about a minute) and qemu
# can crash as Wine exits. There the Windows programs are built and
# inspected but not run, and the closing lines say so. DCS_WINE=1 runs them
# all the same; DCS_WINE=0 never does.
wine_runs() {
  case "${DCS_WINE:-auto}" in
    1) return 0 ;;
    0) return 1 ;;
  esac
  ! grep -qs '^enabled' /proc/sys/fs/binfmt_misc/qemu-i386
}
skipped_steps=()

for preset in linux-x64 linux-i686; do
  step "build and test: $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
  run_ctest --preset "$preset" -j "$jobs"
  if [ "$preset" = linux-x64 ]; then
    step "static checks of the driver"
    scripts/lint.sh
  fi
done

step "coverage"
scripts/coverage.sh

if [ -f fuzz/CMakeLists.txt ]; then
  step "fuzz (${fuzz_seconds}s per target)"
  FUZZ_SECONDS=$fuzz_seconds scripts/fuzz.sh
fi

if [ -f bench/CMakeLists.txt ]; then
  step "benchmarks: build and a short smoke run"
  cmake --preset bench >/dev/null
  cmake --build --preset bench -j "$jobs"
  # A benchmark exits 1 when a ratio is over its budget; a run this short
  # is too noisy to judge that, so it is told but not failed. Any other
  # status (a crash) fails.
  for b in build/bench/bench/*_bench; do
    [ -x "$b" ] || continue
    status=0
    "$b" --benchmark_min_time=0.01 >/dev/null || status=$?
    case $status in
      0) ;;
      1) echo "note: $(basename "$b") is over a budget in this short run; a full run measures it" ;;
      *) echo "FAIL: $b exited with status $status"; exit 1 ;;
    esac
  done
fi

if [ -f cmake/toolchain-mingw32.cmake ]; then
  step "build and test: win32 under Wine"
  cmake --preset win32 >/dev/null
  cmake --build --preset win32 -j "$jobs"
  if wine_runs; then
    run_ctest --preset win32 -j 1
  else
    # The import and export tables are read without running anything.
    run_ctest --preset win32 -j 1 -R '^(mrxnt|trace)_pe_tables$'
    skipped_steps+=("the win32 test programs under Wine (32-bit x86 runs only emulated here)")
  fi
fi

if [ -f cmake/Kit.cmake ]; then
  # The kits an integrator gets (optimised builds, CPack), then each one
  # unpacked and run, and the Windows kit's results against the Linux one's.
  step "packages: the Windows and Linux kits"
  run_counted scripts/package.sh
  step "kits: unpacked and run, Windows and Linux results compared"
  if wine_runs; then
    run_counted tests/kit/kit_test.sh build/packages
  else
    DCS_WINE_RUNS=0 run_counted tests/kit/kit_test.sh build/packages
    skipped_steps+=("the Windows kit's runs and its comparison with the Linux kit")
  fi
fi

if [ "${DCS_LONG_TESTS:-0}" = 1 ]; then
  # Minutes long: dcs-host reading a 1 GiB trace in bounded memory.
  step "long: a 1 GiB trace read as a stream"
  cmake --preset kit-linux-x86_64 >/dev/null && cmake --build --preset kit-linux-x86_64 -j "$jobs" --target dcs-host
  run_counted tests/host/trace_big.sh build/kit-linux-x86_64/host/dcs-host 1024 64
fi

step "done"
for skipped in "${skipped_steps[@]}"; do
  echo "not run on this machine: $skipped"
done
echo "tests: $((total - failed)) passed, $failed failed"
[ "$failed" -eq 0 ]
