#!/bin/sh
# The catalogue commands from the command line: exit statuses, the files
# they write and refuse. Usage: catalogue_tools.sh DCS_HOST EXAMPLES_DIR
. "$(dirname "$0")/test_lib.sh"

status() {  # EXPECTED ARGS...: runs dcs-host, output in $work/out and $work/err
    expected=$1
    shift
    "$host" "$@" >"$work/out" 2>"$work/err"
    got=$?
    [ "$got" -eq "$expected" ] || { fail "$*: exit status $got, expected $expected"; cat "$work/err"; }
}

plant="$examples/plant/plant.mrx"
sed -e 's/^FI-101.PV,-,1,0,200$//' "$plant" >"$work/new.mrx"

status 0 tags "$plant" --kind dcd --json "$work/tags.json" --csv "$work/tags.csv"
grep -q '"XV-201"' "$work/out" || fail "tags --kind dcd lists XV-201"
grep -q 'FIC-101' "$work/out" && fail "tags --kind dcd lists only DCD tags"
[ "$(wc -l <"$work/tags.csv")" -eq 3 ] || fail "tags --csv: a header and two DCD tags"
grep -q '"kind": "DCD"' "$work/tags.json" || fail "tags --json holds the DCD tags"
status 0 tags "$examples/plant/plant.toml" --match 'FIC-10?.OP*' --data-set 1
[ "$(grep -c '"FIC-101.OP' "$work/out")" -eq 2 ] || fail "tags --match FIC-10?.OP*: FIC-101.OP and .OPINIT"
status 2 tags "$plant" --kind XX
status 2 tags "$work/missing.mrx"
status 2 tags "$plant" --json "$plant"
cmp -s "$plant" "$examples/plant/plant.mrx" || fail "tags --json wrote over its input"

status 0 diff "$plant" "$plant"
status 1 diff "$plant" "$work/new.mrx"
grep -q 'removed "FI-101.PV"' "$work/out" || fail "diff names the removed tag"
status 1 diff "$plant" "$work/new.mrx" --case "$examples/plant/plant.toml" --json "$work/d.json" --html "$work/d.html"
grep -q 'pv_export 0 (FI-101)' "$work/out" || fail "diff --case names the row that breaks"
grep -q '<table id="rows">' "$work/d.html" || fail "diff --html lists the rows"
# A tag no row names changes nothing that matters to the case.
sed -e 's/^XV-202,.*$//' "$plant" >"$work/spare.mrx"
status 0 diff "$plant" "$work/spare.mrx" --case "$examples/plant/plant.toml"
status 2 diff "$plant" "$work/missing.mrx"

status 0 map "$plant" --out "$work/map"
status 0 check "$work/map/map.toml"
printf 'OP Tag = {base}.OP\nOP Tag = nothing\n' >"$work/bad.txt"
status 2 map "$plant" --out "$work/map2" --conventions "$work/bad.txt"
grep -q 'bad.txt:2:' "$work/err" || fail "a bad convention is named by its line"

status 0 export "$examples/plant/plant.toml" --out "$work/export" --separator ';' --decimal-mark ,
status 0 check "$work/export/plant.toml"
status 2 export "$examples/plant/plant.toml" --out "$work/export2" --decimal-mark ,
status 2 export "$examples/plant/plant.toml" --out "$examples/plant"
# A misspelt key is refused as check refuses it, not left out of the copy.
sed -e 's#^init_string = "#init_string = "'"$examples"'/plant/#' -e 's/^\[\[controller\]\]$/&\nSp = 18.0/' \
    "$examples/plant/plant.toml" >"$work/typo.toml"
status 2 export "$work/typo.toml" --out "$work/export3"
grep -q 'unknown key "Sp"; did you mean SP' "$work/err" || fail "export names the misspelt key"
[ -e "$work/export3" ] && fail "export of a refused case wrote files"
finish "catalogue command"
