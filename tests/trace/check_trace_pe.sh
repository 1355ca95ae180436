#!/usr/bin/env bash
# The tracing MRX3P.dll's tables, read without running it: ordinals 1 to 12
# with the real library's operations by name at 1-9, 11 and 12, ordinal 10
# without a name, and no DLL beyond the system's (no MinGW runtime DLL).
set -euo pipefail
export LC_ALL=C
dump=$("$1" -p "$2")
failed=0
expect() {
  if [ "$2" != "$3" ]; then echo "FAIL $1"; echo "  expected: $2"; echo "  actual:   $3"; failed=1
  else echo "ok   $1: $3"; fi
}
# "[   3] ReadAI": the index into the address table, base 1, is ordinal - 1.
named=$(awk '/^\[Ordinal\/Name Pointer\] Table/ {on=1; next}
             on && match($0, /^\t\[ *[0-9]+\]/) {print substr($0, RSTART + 2, RLENGTH - 3) + 1 ":" $NF; next}
             on {on=0}' <<<"$dump" | sort -n | tr '\n' ' ')
expect "named ordinals" "1:GetInitStringLength 2:GetInitString 3:ResetLink 4:ReadAI 5:WriteAI 6:ReadAO 7:ReadDI 8:WriteDI 9:ReadDO 11:ReadCALC 12:WriteCALC " "$named"
entries=$(awk '/^\tExport Address Table[ \t]+[0-9a-f]+$/ {print $NF; exit}' <<<"$dump")
expect "export address table entries (ordinal 10 among them)" "12" "$((16#${entries:-0}))"
ten=$(awk '/\+base\[ *10\]/ {print $(NF-2); exit}' <<<"$dump")
[ -n "$ten" ] && [ "$((16#$ten))" -ne 0 ] && echo "ok   ordinal 10 has an address: $ten" || { echo "FAIL ordinal 10 has no address"; failed=1; }
base=$(awk '/Ordinal Base/ {print $NF; exit}' <<<"$dump")
expect "ordinal base" "1" "$base"
dlls=$(awk '/^\tDLL Name: / {print tolower($3)}' <<<"$dump" | sort | tr '\n' ' ')
expect "imported DLLs" "kernel32.dll msvcrt.dll version.dll " "$dlls"
exit $failed
