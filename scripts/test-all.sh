#!/usr/bin/env bash
# Installs what is missing (as root), builds every target and runs every
# test: Linux x86-64 with sanitizers, Linux i686 (instrumented, so its run
# also gives the driver's coverage), the fuzzers for a bounded time, the
# Windows programs under Wine, the three kits (optimised; the x86-64 kit's
# tree also builds the benchmarks, and its dcs-host runs the plant-scale
# tests), each kit unpacked and run. Exits non-zero when anything fails; a
# step that could not run on this machine is named in the closing lines.
set -euo pipefail
cd "$(dirname "$0")/.."

jobs=${JOBS:-$(nproc)}
fuzz_seconds=${FUZZ_SECONDS:-40}

# Each step's start, for the table of durations at the end: the next slow
# step is seen at once.
step_names=()
step_starts=()
step() {
  printf '\n==== %s\n' "$*"
  step_names+=("$*")
  step_starts+=("$(date +%s)")
}
step_table() {
  local n=${#step_names[@]} i end now
  now=$(date +%s)
  echo "seconds  step"
  for ((i = 0; i < n; i++)); do
    end=${step_starts[$((i + 1))]:-$now}
    printf '%7d  %s\n' "$((end - step_starts[i]))" "${step_names[$i]}"
  done
  printf '%7d  %s\n' "$((now - step_starts[0]))" "in all"
}

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
scripts/install-deps.sh test

step "the set-up script against a stand-in archive"
run_counted tests/setup/install_deps_test.sh

# Wine runs the 32-bit Windows programs. Where this kernel cannot execute
# 32-bit x86 code itself, install-deps has it run under qemu's user-mode
# emulation: the i686 tests are fine there, but Wine is far too slow (a new
# prefix takes over 20 minutes, every Wine process about a minute) and qemu
# can crash as Wine exits. There, and where Wine could not be installed,
# the Windows programs are built and inspected but not run, and the closing
# lines say so. DCS_WINE=1 runs them all the same; DCS_WINE=0 never does;
# DCS_REQUIRE_WINE=1 fails the run when they would not run.
wine_skip_reason=""
if [ -s build/install-deps/wine-missing ]; then
  wine_skip_reason="Wine could not be installed: $(cat build/install-deps/wine-missing)"
elif ! command -v wine >/dev/null; then
  wine_skip_reason="Wine is not installed"
else
  case "${DCS_WINE:-auto}" in
    0) wine_skip_reason="DCS_WINE=0" ;;
    1) ;;
    *) grep -qs '^enabled' /proc/sys/fs/binfmt_misc/qemu-i386 &&
      wine_skip_reason="32-bit x86 runs only emulated here" ;;
  esac
fi
if [ -n "$wine_skip_reason" ] && [ "${DCS_REQUIRE_WINE:-0}" = 1 ]; then
  echo "FAIL: DCS_REQUIRE_WINE=1, but the Windows programs would not run: $wine_skip_reason" >&2
  exit 1
fi
wine_runs() { [ -z "$wine_skip_reason" ]; }
skipped_steps=()

step "build and test: linux-x64 (sanitizers)"
cmake --preset linux-x64 >/dev/null
cmake --build --preset linux-x64 -j "$jobs"
run_ctest --preset linux-x64 -j "$jobs"

step "static checks of the driver"
scripts/lint.sh

# The i686 tests run on a build whose driver is instrumented for coverage:
# one build gives both.
step "build and test: linux-i686, with the driver's coverage"
cmake --preset coverage >/dev/null
cmake --build --preset coverage -j "$jobs"
find build/coverage -name '*.gcda' -delete
run_ctest --preset coverage -j "$jobs"
coverage_summary=$(scripts/coverage.sh --report | grep -E '^(lines|branches):' || true)

# A fuzzer runs on one core: while the fuzzers run, one after another, the
# Windows programs build on the other. Their output is shown when they end.
fuzz_pid=""
if [ -f fuzz/CMakeLists.txt ]; then
  step "fuzz: build; then ${fuzz_seconds}s per target, beside the next step"
  cmake --preset fuzz >/dev/null
  cmake --build --preset fuzz -j "$jobs" --target fuzz_targets
  # One seed for every run of the test command: a finding is then a fault
  # of the change under test, the same on every machine, not a new draw.
  FUZZ_SEED=${FUZZ_SEED:-20261209} FUZZ_SECONDS=$fuzz_seconds scripts/fuzz.sh --no-build >build/fuzz/fuzz.log 2>&1 &
  fuzz_pid=$!
  # A step that fails ends the run: the fuzzers with it.
  trap '[ -z "$fuzz_pid" ] || pkill -P "$fuzz_pid" 2>/dev/null; [ -z "$fuzz_pid" ] || kill "$fuzz_pid" 2>/dev/null' EXIT
fi
fuzz_outcome() {
  [ -n "$fuzz_pid" ] || return 0
  step "fuzz: the outcome"
  local status=0
  wait "$fuzz_pid" || status=$?
  fuzz_pid=""
  cat build/fuzz/fuzz.log
  if [ "$status" -ne 0 ]; then
    echo "FAIL: the fuzzers exited with status $status (log above)"
    exit 1
  fi
}

if [ -f cmake/toolchain-mingw32.cmake ]; then
  # The Windows programs are tested as they are handed over: the Windows
  # kit's optimised tree, with its tests. The packages step then only
  # leaves the tests out and packs what is built, rather than building the
  # whole tree a second time.
  step "build and test: win32 under Wine (the Windows kit's tree)"
  cmake --preset kit-win32 -DDCS_BUILD_TESTS=ON >/dev/null
  cmake --build --preset kit-win32 -j "$jobs"
  win32_ctest=(--test-dir build/kit-win32 --output-on-failure -j 1)
  if wine_runs; then
    run_ctest "${win32_ctest[@]}"
  else
    # The import and export tables are read without running anything.
    run_ctest "${win32_ctest[@]}" -R '^(mrxnt|trace)_pe_tables$'
    skipped_steps+=("the win32 test programs under Wine ($wine_skip_reason)")
  fi
fi

fuzz_outcome

if [ -f cmake/Kit.cmake ]; then
  # The kits an integrator gets (optimised builds, CPack).
  step "packages: the Windows and Linux kits"
  run_counted scripts/package.sh

  if [ -f bench/CMakeLists.txt ]; then
    # The benchmarks are optimised builds too: the x86-64 kit's tree builds
    # them beside the kit's own targets, which are already up to date (they
    # are never packaged).
    step "benchmarks: built in the x86-64 kit's tree, a short smoke run"
    cmake --preset kit-linux-x86_64 -DDCS_BUILD_BENCH=ON >/dev/null
    cmake --build --preset kit-linux-x86_64 -j "$jobs"
    # A benchmark exits 1 when a ratio is over its budget; a run this short
    # is too noisy to judge that, so it is told but not failed. Any other
    # status (a crash) fails.
    for b in build/kit-linux-x86_64/bench/*_bench; do
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

  # The generated plant (15,001 rows) on the optimised dcs-host: under the
  # sanitizers it takes minutes, and the small cases already run there.
  step "plant scale: the generated plant's pages in a browser (optimised build)"
  run_counted tests/host/plant_pages_in_browser.sh build/kit-linux-x86_64/host/dcs-host
  step "plant scale: the generated plant's terminal table (optimised build)"
  run_counted tests/host/plant_terminal.sh build/kit-linux-x86_64/host/dcs-host examples

  step "kits: unpacked and run, Windows and Linux results compared"
  if wine_runs; then
    run_counted tests/kit/kit_test.sh build/packages
  else
    DCS_WINE_RUNS=0 run_counted tests/kit/kit_test.sh build/packages
    skipped_steps+=("the Windows kit's runs and its comparison with the Linux kit ($wine_skip_reason)")
  fi
fi

if [ "${DCS_LONG_TESTS:-0}" = 1 ]; then
  # Minutes long: dcs-host reading a 1 GiB trace in bounded memory.
  step "long: a 1 GiB trace read as a stream"
  run_counted tests/host/trace_big.sh build/kit-linux-x86_64/host/dcs-host 1024 64
fi

printf '\n==== done\n'
step_table
[ -z "$coverage_summary" ] || echo "coverage of the driver: $(echo $coverage_summary)"
for skipped in "${skipped_steps[@]}"; do
  echo "not run on this machine: $skipped"
done
echo "tests: $((total - failed)) passed, $failed failed"
[ "$failed" -eq 0 ]
