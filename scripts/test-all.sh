#!/usr/bin/env bash
# Installs what is missing (as root), builds every target and runs every
# test: Linux x86-64 with sanitizers, Linux i686, the coverage build, the
# fuzzer for a bounded time and the benchmarks' build, and the Windows DLL
# under Wine. Exits non-zero when anything fails.
set -euo pipefail
cd "$(dirname "$0")/.."

jobs=${JOBS:-$(nproc)}
fuzz_seconds=${FUZZ_SECONDS:-60}

step() { printf '\n==== %s\n' "$*"; }

step "dependencies"
scripts/install-deps.sh

for preset in linux-x64 linux-i686; do
  step "build and test: $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
  ctest --preset "$preset" -j "$jobs"
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
  for b in build/bench/bench/*_bench; do
    [ -x "$b" ] && "$b" --benchmark_min_time=0.01 >/dev/null
  done
fi

if [ -f cmake/toolchain-mingw32.cmake ]; then
  step "build and test: win32 under Wine"
  cmake --preset win32 >/dev/null
  cmake --build --preset win32 -j "$jobs"
  ctest --preset win32 -j 1
fi

step "all passed"
