#!/usr/bin/env bash
# The driver DLL's tables as the host and the loader see them:
#  - exports: the nine entry points, by plain name, and nothing else;
#  - MRX3P.dll: by ordinal only, exactly the eleven operations;
#  - iface.dll: by name, exactly the host services the driver calls;
#  - user32.dll: MessageBoxA alone;
#  - no DLL beyond these, KERNEL32.dll and msvcrt.dll (no MinGW runtime DLL).
set -euo pipefail
export LC_ALL=C
objdump=$1
dll=$2
dump=$("$objdump" -p "$dll")
failed=0

expect() {
  local what=$1 expected=$2 actual=$3
  if [ "$expected" != "$actual" ]; then
    echo "FAIL $what"
    echo "  expected: $expected"
    echo "  actual:   $actual"
    failed=1
  else
    echo "ok   $what: $actual"
  fi
}

join() { sort "$@" | tr '\n' ' ' | sed 's/ $//'; }

# Export names, from the name pointer table; and the size of the address
# table, so that an export without a name cannot hide.
exports=$(awk '/^\[Ordinal\/Name Pointer\] Table/ {on=1; next} on && /^\t\[/ {print $NF; next} on {on=0}' <<<"$dump" | join)
expect "exported names" "DCSConfigure DCSDestroy DCSInitialize DCSLoad DCSReset DCSSimulate DCSStart DCSStop DCSTimeZero" "$exports"
address_entries=$(awk '/^\tExport Address Table[ \t]+[0-9a-f]+$/ {print $NF; exit}' <<<"$dump")
expect "export address table entries" "9" "$((16#${address_entries:-0}))"

# Each imported DLL's entries: "name" for a by-name import, "#N" for one by
# ordinal. DLL names compare without regard to case, as the loader does.
imports_of() {
  awk -v want="$(tr '[:upper:]' '[:lower:]' <<<"$1")" '
    /^\tDLL Name: / { dll = tolower($3); next }
    /^\tvma:/ { next }
    /^ [0-9a-f]+\t/ { dll = ""; next }
    dll == want && /^\t[0-9a-f]+\t/ {
      if ($3 == "<none>") print "#" $2; else print $3
    }' <<<"$dump" | join -V
}

dlls=$(awk '/^\tDLL Name: / {print tolower($3)}' <<<"$dump" | join)
expect "imported DLLs" "iface.dll kernel32.dll mrx3p.dll msvcrt.dll user32.dll" "$dlls"
expect "MRX3P.dll imports (by ordinal)" "#1 #2 #3 #4 #5 #6 #7 #8 #9 #11 #12" "$(imports_of MRX3P.dll)"
expect "iface.dll imports (by name)" \
  "ErrorMsg IFace_calloc IFace_delete IFace_free IFace_malloc IFace_new IFace_realloc" "$(imports_of iface.dll)"
expect "user32.dll imports" "MessageBoxA" "$(imports_of user32.dll)"

exit $failed
