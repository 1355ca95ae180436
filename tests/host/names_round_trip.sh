#!/bin/sh
# Every command gives the same outcome whatever script the tag names are
# in: one case and string written with ASCII names, with code page 1252
# names and with code page 1250 names, each held to the same verdicts,
# counts and values, and every output valid UTF-8 (map and export write what
# the case reader takes back; a trace is read back, checked and replayed). Then a case with a name in decomposed form (NFD), which every
# command that reads a case refuses with one message.
# Usage: names_round_trip.sh DCS_HOST EXAMPLES_DIR
. "$(dirname "$0")/test_lib.sh"
cd "$work" || exit 1

utf8() {  # FILE...: each file is well-formed UTF-8
    for file in "$@"; do
        iconv -f UTF-8 -t UTF-8 "$file" >/dev/null 2>&1 || fail "$file is not UTF-8"
    done
}

# The verdicts map prints of its own check, and those check prints, both
# as "configured N" or "NOT configured N" (N the rows with problems).
map_verdict() { sed -n 's/^check of the proposed rows: \(\(NOT \)*configured\), \([0-9]*\) row.*/\1 \3/p' "$1"; }
check_verdict() { sed -n '2s/^\(\(NOT \)*configured\); [0-9]* rows checked, \([0-9]*\) with problems.*/\1 \3/p' "$1"; }
# What map proposes, without the names.
map_counts() { sed -n '1s/^map [^:]*: //p' "$1"; }

# variant CODE_PAGE CONTROLLER PV: a string and a case in that code page,
# in the folder named after the variant; the case has every kind of table.
variant() {
    mkdir -p "$1" && cd "$1" || exit 1
    printf '*AI*\n%s.SP,-,1,0,100\n%s.OPINIT,-,1,0,100\n%s.PV,-,1,0,100\n*AO*\n%s.OP,-,1,0,100\n*DI*\nLINK.EN,-,1\n*DO*\n*DCD*\n*CALC*\n' \
        "$3" "$3" "$4" "$3" | iconv -f UTF-8 -t "CP$2" >s.mrx || fail "$1: the string cannot be written in $2"
    # The same without the PV export's tag, for diff.
    iconv -f "CP$2" -t UTF-8 s.mrx | grep -v "^$4.PV," | iconv -f UTF-8 -t "CP$2" >s2.mrx
    cat >case.toml <<EOF
init_string = "s.mrx"
steps = 5
code_page = $2

[[tag]]
kind = "AI"
name = "$3.SP"
value = 50.0

[[tag]]
kind = "AO"
name = "$3.OP"
value = 40.0

[general]
"Data Set" = 1
"Enabled Flag" = "LINK.EN"

[[controller]]
name = "$3"
"SP Tag" = "$3.SP"
"OP Tag" = "$3.OP"
"OP Init Tag" = "$3.OPINIT"

[[pv_export]]
name = "$4"
"PV Tag" = "$4.PV"

[[event]]
step = 1
action = "start"

[[event]]
step = 2
action = "set_tag"
kind = "AO"
name = "$3.OP"
value = 60.0

[[fail]]
step = 4
op = "ReadAO"
name = "$3.OP"
status = 4

[[expect]]
step = 2
tag = "$3.OP"
kind = "AO"
value = 60.0

[[expect]]
step = 3
controller = "$3"
field = "OP"
value = 0.6
EOF
    cd .. || exit 1
}

# name       code page  controller  PV export (its tag 63 bytes in the code
# page, the driver's longest; in UTF-8 the 1250 one is 65)
variants='
ascii       1252        Kuhl        Strasse_XXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXX
western     1252        Kühl        Straße_XXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXX
central     1250        Głośnik     Łącze_XXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXX
'
echo "$variants" | while read -r name page controller pv; do
    [ -n "$name" ] && variant "$name" "$page" "$controller" "$pv"
done

# outcome VARIANT: what the commands make of the variant, the names left
# out, in VARIANT/outcome; every command's check inside.
outcome() {
    v=$1
    page=$(sed -n 's/^code_page = //p' "$v/case.toml")
    "$host" map "$v/s.mrx" --out "$v/map" --code-page "$page" >"$v/map.out" 2>&1
    map_status=$?
    "$host" check "$v/map/map.toml" >"$v/map-check.out" 2>&1
    utf8 "$v"/map/*
    verdict=$(map_verdict "$v/map.out")
    [ -n "$verdict" ] && [ "$verdict" = "$(check_verdict "$v/map-check.out")" ] ||
        fail "$v: map's own check and check of map.toml disagree"
    echo "map's check: $verdict"
    if [ "$page" != 1252 ]; then
        grep -q "^code_page = $page$" "$v/map/map.toml" || fail "$v: map.toml names no code page $page"
    fi
    # Given the case as SOURCE, map takes its code page.
    "$host" map "$v/case.toml" --out "$v/map-source" >/dev/null 2>&1
    for file in "$v"/map/*.csv; do
        cmp -s "$file" "$v/map-source/${file##*/}" || fail "$v: map of the case wrote another ${file##*/}"
    done
    "$host" map "$v/s.mrx" --out "$v/map-case" --case "$v/case.toml" >"$v/map-case.out" 2>&1
    echo "map --case $?: $(map_counts "$v/map-case.out")"
    echo "map $map_status: $(map_counts "$v/map.out")"

    "$host" export "$v/case.toml" --out "$v/export" >/dev/null 2>&1 || fail "$v: export"
    utf8 "$v"/export/*
    grep -q "^code_page = $page$" "$v/export/case.toml" || fail "$v: the exported case names no code page"
    for command in check test; do
        "$host" $command "$v/case.toml" >"$v/$command.out" 2>&1
        original=$?
        "$host" $command "$v/export/case.toml" >"$v/$command-export.out" 2>&1
        exported=$?
        [ "$original" -eq "$exported" ] || fail "$v: $command gives $original, of the exported case $exported"
        echo "$command $original"
    done
    # The case holds to its own run as a reference, its columns named in UTF-8.
    "$host" run "$v/case.toml" --csv "$v/ref.csv" >/dev/null 2>&1
    utf8 "$v/ref.csv"
    { cat "$v/case.toml"; printf '\n[[expect]]\nname = "as run"\nreference = "ref.csv"\n'; } >"$v/ref.toml"
    "$host" test "$v/ref.toml" >"$v/ref.out" 2>&1
    grep -q ': passed: "as run" (the curves of "ref.csv" at every step): all ' "$v/ref.out" ||
        fail "$v: the case does not hold to its own run: $(grep 'as run' "$v/ref.out")"
    check_verdict "$v/check.out"
    [ "$(check_verdict "$v/check.out")" = "$(check_verdict "$v/check-export.out")" ] ||
        fail "$v: check of the exported case gives other verdicts"
    tail -n 1 "$v/test.out"
    "$host" run "$v/case.toml" --csv "$v/run.csv" >/dev/null 2>&1
    original=$?
    "$host" run "$v/export/case.toml" --csv "$v/run-export.csv" >/dev/null 2>&1
    exported=$?
    [ "$original" -eq "$exported" ] || fail "$v: run gives $original, of the exported case $exported"
    cmp -s "$v/run.csv" "$v/run-export.csv" || fail "$v: run of the exported case gives other values"
    # The values, without the header (which names the rows).
    echo "run $original"
    sed 1d "$v/run.csv" | cut -d, -f1-9
    "$host" tags "$v/s.mrx" --unused "$v/case.toml" | sed 1d | wc -l
    "$host" diff "$v/s.mrx" "$v/s2.mrx" --case "$v/case.toml" >"$v/diff.out" 2>&1
    echo "diff $?: $(grep -c 'pv_export 0' "$v/diff.out") PV export row(s) changed"

    # Traced, the trace read back, the case checked against it and replayed
    # from it: the names are found in the trace as the server saw them.
    controller=$(sed -n 's/^"SP Tag" = "\(.*\)\.SP"$/\1/p' "$v/case.toml")
    "$host" run "$v/case.toml" --trace "$v/t.jsonl" >/dev/null 2>&1
    echo "run --trace $?"
    "$host" trace "$v/t.jsonl" --tags "$controller*" --json "$v/t.json" --problems-csv "$v/p.csv" --html "$v/t.html" \
        >"$v/trace.out" 2>&1
    echo "trace $?: $(sed -n 's/^  [0-9]* lines, //p' "$v/trace.out" | sed 's/, over.*//')"
    utf8 "$v/trace.out" "$v/t.json" "$v/p.csv" "$v/t.html"
    grep -q "^  $controller.OP  *data set 1  ReadAO    status 4: 1 times" "$v/trace.out" ||
        fail "$v: trace does not name $controller.OP's failure"
    /usr/bin/python3 - "$v/t.json" "$controller" <<'PY' || fail "$v: trace --json (above)"
import json, sys
s = json.load(open(sys.argv[1], encoding="utf-8"))
print("series:", sorted(x["tag"].replace(sys.argv[2], "C") for x in s["series"]))
PY
    echo "tags of the trace: $("$host" tags "$v/t.jsonl" --match "$controller*" | grep -c "\"$controller\.")"
    "$host" check "$v/case.toml" --trace "$v/t.jsonl" >"$v/check-trace.out" 2>&1
    echo "check --trace $?"
    sed -n 's/.*": live: /live: /p' "$v/check-trace.out"
    "$host" run "$v/case.toml" --replay "$v/t.jsonl" --csv "$v/replay.csv" >/dev/null 2>&1
    echo "run --replay $?"
    cmp -s "$v/run.csv" "$v/replay.csv" || fail "$v: the replay gives other values than the run"
}

for v in ascii western central; do
    outcome "$v" >"$v/outcome"
    grep '^FAIL' "$v/outcome"
done
for v in western central; do
    diff ascii/outcome "$v/outcome" >"$v/outcome.diff" || {
        fail "$v: the commands' outcome differs from that with ASCII names"
        cat "$v/outcome.diff"
    }
done

# The same case with the controller's name written decomposed: "u" and
# U+0308 COMBINING DIAERESIS where "ü" belongs. Each command that reads a
# case refuses it with exit status 2 and the message check gives.
sed 's/Kühl/Ku\xcc\x88hl/' western/case.toml >western/nfd.toml
"$host" check western/nfd.toml >/dev/null 2>expected.err
[ $? -eq 2 ] || fail "check of a decomposed name: exit status 2 expected"
grep -q '^western/nfd.toml:[0-9]*:[0-9]*: .*decomposed form (NFD).*composed (NFC)' expected.err ||
    fail "check says the name is decomposed, at its line and column: $(cat expected.err)"
while read -r command; do
    [ -n "$command" ] || continue
    $command >/dev/null 2>got.err
    status=$?
    [ "$status" -eq 2 ] || fail "$command: exit status $status, expected 2"
    cmp -s expected.err got.err || fail "$command: says $(cat got.err)"
done <<EOF
$host run western/nfd.toml
$host tags western/s.mrx --unused western/nfd.toml
$host export western/nfd.toml --out western/nfd-export
$host diff western/s.mrx western/s.mrx --case western/nfd.toml
$host map western/s.mrx --case western/nfd.toml --out western/nfd-map
EOF
[ -e western/nfd-export ] && fail "export of a refused case made its folder"
finish "name round-trip"
