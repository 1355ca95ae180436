#!/usr/bin/env bash
# Static checks of the driver: formatting, cppcheck and clang-tidy. Uses the
# compile commands of the linux-x64 build, which must exist.
set -euo pipefail
cd "$(dirname "$0")/.."
sources=(dcs/*.cpp dcs/hostapi/*.cpp)
headers=(dcs/*.h dcs/hostapi/*.h dcs/hostapi/include/*.h dcs/hostapi/include/hostapi/*.h dcs/platform/include/platform/*.h)

unformatted=()
for f in "${sources[@]}" "${headers[@]}"; do
  clang-format --dry-run -Werror "$f" >/dev/null 2>&1 || unformatted+=("$f")
done
if [ ${#unformatted[@]} -gt 0 ]; then
  echo "lint: not formatted with the checked-in .clang-format: ${unformatted[*]}" >&2
  exit 1
fi

# The driver is plain procedural code: raw loops are its style.
cppcheck --enable=warning,style,performance,portability --std=c++17 --inline-suppr \
         --suppress=useStlAlgorithm --error-exitcode=1 -q -I dcs -I dcs/hostapi/include -I dcs/platform/include dcs

# One run, a file per process on every core; what it finds is shown and
# fails the check.
tidy_log=$(mktemp)
tidy_status=0
printf '%s\n' "${sources[@]}" | xargs -P "$(nproc)" -n 1 clang-tidy -p build/linux-x64 --quiet >"$tidy_log" 2>&1 ||
  tidy_status=$?
grep -v 'warnings generated' "$tidy_log" || true
rm -f "$tidy_log"
if [ "$tidy_status" -ne 0 ]; then
  echo "lint: clang-tidy found what is shown above" >&2
  exit 1
fi
echo "lint: driver clean"
