#!/usr/bin/env bash
# Builds the fuzz preset (unless --no-build), replays every target's kept
# corpus once (CTest),
# then runs every libFuzzer target for FUZZ_SECONDS seconds (default 40) on a
# scratch copy of its corpus (fuzz/corpus for init_string_fuzz, fuzz/NAME's
# stem + _corpus for the others), under a memory limit. Exits non-zero on any
# finding; the input that caused it is left in build/fuzz/findings/.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${FUZZ_SECONDS:-40}
rss_limit=${FUZZ_RSS_LIMIT_MB:-1024}
jobs=${JOBS:-2}
max_len=${FUZZ_MAX_LEN:-8192}
# FUZZ_SEED repeats a run: the test command sets one so that the same code
# explores the same inputs on every machine; by hand, a new seed each time
# (printed, so a finding can be run again the same way).
seed=${FUZZ_SEED:-$(( (RANDOM << 15 | RANDOM) + 1 ))}
# AddressSanitizer's quarantine of freed blocks (256 MB by default) is most
# of a run's resident memory; 64 MB still catches a use after free of any
# block the driver released in the last few thousand runs.
export ASAN_OPTIONS=${ASAN_OPTIONS:-quarantine_size_mb=64}

# --no-build: the test command has built the preset already.
if [ "${1:-}" != --no-build ]; then
  cmake --preset fuzz >/dev/null
  cmake --build --preset fuzz -j "$jobs" --target fuzz_targets
fi

bin_dir=build/fuzz/fuzz
findings=build/fuzz/findings
mkdir -p "$findings"

status=0
shopt -s nullglob
targets=("$bin_dir"/*_fuzz)
if [ ${#targets[@]} -eq 0 ]; then
  echo "fuzz.sh: no fuzz targets in $bin_dir" >&2
  exit 1
fi
regressions=(fuzz/regressions/*)

printf '\n==== replay of the kept corpora\n'
if ! ctest --test-dir build/fuzz/fuzz --output-on-failure; then
  echo "FAIL: a kept corpus input fails" >&2
  status=1
fi

for target in "${targets[@]}"; do
  name=$(basename "$target")

  if [ ${#regressions[@]} -gt 0 ]; then
    printf '\n==== %s: %d saved regression input(s)\n' "$name" "${#regressions[@]}"
    for input in "${regressions[@]}"; do
      if ! "$target" -timeout=10 -rss_limit_mb="$rss_limit" "$input" >"$findings/$name.$(basename "$input").log" 2>&1; then
        echo "FAIL: $name on $input (log: $findings/$name.$(basename "$input").log)" >&2
        tail -n 40 "$findings/$name.$(basename "$input").log" >&2
        status=1
      fi
    done
  fi

  printf '\n==== %s: fuzzing for %ss (FUZZ_SEED=%s)\n' "$name" "$seconds" "$seed"
  work=build/fuzz/work/$name
  rm -rf "$work"
  mkdir -p "$work/corpus"
  corpus=fuzz/${name%_fuzz}_corpus
  [ "$name" = init_string_fuzz ] && corpus=fuzz/corpus
  cp "$corpus"/* "$work/corpus/"
  dict=()
  [ -f "fuzz/$name.dict" ] && dict=(-dict="fuzz/$name.dict")
  if ! "$target" "$work/corpus" "${dict[@]}" \
      -seed="$seed" -max_total_time="$seconds" -max_len="$max_len" -timeout=10 -rss_limit_mb="$rss_limit" \
      -artifact_prefix="$findings/$name-" -print_final_stats=1; then
    echo "FAIL: $name found a fault; inputs in $findings/" >&2
    status=1
  fi
done
exit $status
