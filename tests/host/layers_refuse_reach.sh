#!/usr/bin/env bash
# The host's stages refuse a reach they do not link: in a scratch copy of
# the tree, a source of a low stage that includes a header of a stage above
# it, a source that includes another stage's private header, and a stage
# other than diagnose that includes a header of the driver's own must each
# fail to compile, with the header not found; the same sources unplanted
# compile. Only the planted objects are built, not their libraries.
#
# Usage: layers_refuse_reach.sh SOURCE_DIR CXX_COMPILER [LAUNCHER]
set -euo pipefail
src=$1
cxx=$2
launcher=${3:-}

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mkdir -p "$scratch/src"
# Everything the build reads (a new top-level folder included), without the
# tests, benchmarks and fuzzers it is configured without.
for part in "$src"/*; do
  case ${part##*/} in build | tests | bench | fuzz) continue ;; esac
  cp -R "$part" "$scratch/src/"
done

args=(-S "$scratch/src" -B "$scratch/build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DDCS_BUILD_TESTS=OFF
      -DCMAKE_CXX_COMPILER="$cxx")
[ -n "$launcher" ] && args+=(-DCMAKE_CXX_COMPILER_LAUNCHER="$launcher")
cmake "${args[@]}" >"$scratch/configure.log" 2>&1 || { cat "$scratch/configure.log"; exit 1; }

# Each plant: the source, its object, the line planted, the header named.
plants=(
  "host/text/glob.cpp|dcs_host_text|diagnose/diagnosis.h"                # upward: text reaches diagnose
  "host/case/near_words.cpp|dcs_host_case|text/code_page_tables.h"       # a private header of a stage linked
  "host/case/near_words.cpp|dcs_host_case|code_page_tables.h"            # the same by its bare name
  "host/output/path_guard.cpp|dcs_host_output|case/case_file.h"          # sideways: output does not link case
  "host/link/link.cpp|dcs_host_link|catalogue.h"                         # the driver's own, outside diagnose
)

object() {  # the ninja target of a source's object
  local source=$1 target=$2
  echo "host/CMakeFiles/$target.dir/${source#host/}.o"
}

failures=0
for plant in "${plants[@]}"; do
  IFS='|' read -r source target header <<<"$plant"
  obj=$(object "$source" "$target")
  if ! cmake --build "$scratch/build" --target "$obj" >"$scratch/build.log" 2>&1; then
    echo "FAIL: $source does not compile unplanted" >&2
    cat "$scratch/build.log" >&2
    failures=$((failures + 1))
    continue
  fi
  cp "$scratch/src/$source" "$scratch/original"
  printf '#include "%s"\n' "$header" >>"$scratch/src/$source"
  if cmake --build "$scratch/build" --target "$obj" >"$scratch/build.log" 2>&1; then
    echo "FAIL: $source compiles with #include \"$header\"" >&2
    failures=$((failures + 1))
  elif ! grep -q "$header: No such file or directory" "$scratch/build.log"; then
    echo "FAIL: $source with #include \"$header\" fails for another reason:" >&2
    cat "$scratch/build.log" >&2
    failures=$((failures + 1))
  else
    echo "ok: $source cannot include \"$header\""
  fi
  cp "$scratch/original" "$scratch/src/$source"
done
exit $((failures > 0))
