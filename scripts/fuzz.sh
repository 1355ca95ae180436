#!/usr/bin/env bash
# Builds the fuzz preset and runs every libFuzzer target for FUZZ_SECONDS
# seconds (default 60) on a scratch copy of the seed corpus, after replaying
# each saved input in fuzz/regressions/ once. Exits non-zero on any finding;
# the input that caused it is left in build/fuzz/findings/.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${FUZZ_SECONDS:-60}
jobs=${JOBS:-2}
max_len=${FUZZ_MAX_LEN:-8192}

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$jobs"

bin_dir=build/fuzz/fuzz
findings=build/fuzz/findings
mkdir -p "$findings"

shopt -s nullglob
targets=("$bin_dir"/*_fuzz)
if [ ${#targets[@]} -eq 0 ]; then
  echo "fuzz.sh: no fuzz targets in $bin_dir" >&2
  exit 1
fi
regressions=(fuzz/regressions/*)

status=0
for target in "${targets[@]}"; do
  name=$(basename "$target")

  if [ ${#regressions[@]} -gt 0 ]; then
    printf '\n==== %s: %d saved regression input(s)\n' "$name" "${#regressions[@]}"
    for input in "${regressions[@]}"; do
      if ! "$target" -timeout=10 -rss_limit_mb=2048 "$input" >"$findings/$name.$(basename "$input").log" 2>&1; then
        echo "FAIL: $name on $input (log: $findings/$name.$(basename "$input").log)" >&2
        tail -n 40 "$findings/$name.$(basename "$input").log" >&2
        status=1
      fi
    done
  fi

  printf '\n==== %s: fuzzing for %ss\n' "$name" "$seconds"
  work=build/fuzz/work/$name
  rm -rf "$work"
  mkdir -p "$work/corpus"
  cp fuzz/corpus/* "$work/corpus/"
  dict=()
  [ -f "fuzz/$name.dict" ] && dict=(-dict="fuzz/$name.dict")
  if ! "$target" "$work/corpus" "${dict[@]}" \
      -max_total_time="$seconds" -max_len="$max_len" -timeout=10 -rss_limit_mb=2048 \
      -artifact_prefix="$findings/$name-" -print_final_stats=1; then
    echo "FAIL: $name found a fault; inputs in $findings/" >&2
    status=1
  fi
done
exit $status
