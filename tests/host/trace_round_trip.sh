#!/bin/sh
# Every example traced through the tracing core in front of the simulated
# server, then replayed from its trace: the boxes and ErrorMsg texts
# (standard error), the step table and the CSV must come out the same, at
# every level, with failures scripted into the plant as well. Then the
# captured initialization string against what the server served, byte for
# byte, the summary of a trace, and the check's live verdicts.
# Usage: trace_round_trip.sh DCS_HOST EXAMPLES_DIR
. "$(dirname "$0")/test_lib.sh"

# run NAME EXPECTED_STATUS ARGS...: output in $work/NAME.out and .err
run() {
    name=$1
    expected=$2
    shift 2
    "$host" "$@" >"$work/$name.out" 2>"$work/$name.err"
    status=$?
    [ "$status" -eq "$expected" ] || { fail "$name: exit status $status, expected $expected"; head -5 "$work/$name.err"; }
    if grep -q -e "runtime error" -e "AddressSanitizer" -e "LeakSanitizer" "$work/$name.err"; then
        fail "$name: sanitizer report"; cat "$work/$name.err"
    fi
}
expect_out() {  # NAME TEXT
    grep -F -q -e "$2" "$work/$1.out" || fail "$1: output lacks: $2"
}
same() {  # WHAT FILE1 FILE2
    cmp -s "$2" "$3" || { fail "$1 differ: $2 $3"; diff "$2" "$3" | head -10; }
}

# The plant with failures the server answers: a set point refused twice, the
# Running Flag refused at the start, an analyser lost for good.
cp -r "$examples/plant" "$work/failing"
cat >>"$work/failing/plant.toml" <<'TOML'

[[fail]]
step = 5
op = "ReadAI"
name = "FIC-101.SP"
status = 7
times = 2

[[fail]]
step = 3
op = "WriteDI"
name = "LINK.RUNNING"
status = 12

[[fail]]
step = 10
op = "ReadAO"
name = "PDI-109.PV"
status = 4
times = -1
TOML

# round_trip NAME CASE LEVEL EXPECTED_STATUS
round_trip() {
    run "$1.traced" "$4" run "$2" --trace "$work/$1.jsonl" --trace-level "$3" --csv "$work/$1.traced.csv"
    run "$1.replayed" "$4" run "$2" --replay "$work/$1.jsonl" --csv "$work/$1.replayed.csv"
    # The only difference allowed on standard error: the CSV's own name.
    sed "s|$1\.traced\.csv|CSV|" "$work/$1.traced.err" >"$work/$1.traced.msgs"
    sed "s|$1\.replayed\.csv|CSV|" "$work/$1.replayed.err" >"$work/$1.replayed.msgs"
    same "$1: boxes and ErrorMsg texts" "$work/$1.traced.msgs" "$work/$1.replayed.msgs"
    if [ -e "$work/$1.traced.csv" ] || [ -e "$work/$1.replayed.csv" ]; then
        same "$1: CSV" "$work/$1.traced.csv" "$work/$1.replayed.csv"
    fi
    sed '/^replay of /,$d' "$work/$1.replayed.out" >"$work/$1.replayed.table"
    same "$1: step table" "$work/$1.traced.out" "$work/$1.replayed.table"
    grep -q -e "the replay made exactly the recorded calls" -e "every recorded failure was replayed" \
        "$work/$1.replayed.out" || { fail "$1: the replay differs from its trace"; sed -n '/^replay of /,$p' "$work/$1.replayed.out"; }
}
round_trip plant "$examples/plant/plant.toml" changes 0
round_trip unit "$examples/unit/unit.toml" changes 0
round_trip crude "$examples/crude/crude.toml" changes 1
round_trip broken "$examples/broken/broken.toml" changes 1
# A replay's page says it is one, and of which trace.
run unit.page 0 run "$examples/unit/unit.toml" --replay "$work/unit.jsonl" --html "$work/unit.replay.html"
grep -q "data-figure=\"replay-of\">$work/unit.jsonl</span>" "$work/unit.replay.html" ||
    fail "the replay's page does not name its trace"
for level in changes all failures; do
    round_trip "failing-$level" "$work/failing/plant.toml" "$level" 1
done
grep -q "Error reading AO tag for PV tag PDI-109.PV of PV Import at index 1" "$work/failing-changes.traced.err" ||
    fail "failing: the scripted failures raised no box"
# At level failures the replay says what it cannot do.
expect_out failing-failures.replayed "the trace holds failures only"

# A replay against a changed case lists each differing write with its step.
sed 's/^SP = 48.0/SP = 49.0/' "$work/failing/plant.toml" >"$work/failing/changed.toml"
run changed 1 run "$work/failing/changed.toml" --replay "$work/failing-changes.jsonl"
expect_out changed "DCSInitialize: WriteAI FIC-101.SPINIT (data set 1), call 1 of that tag: the driver wrote 49, the trace records 48"
expect_out changed "1 differences from the trace"

# The summary of the plant's trace with failures: exit status 1, calls failed.
run summary 1 trace "$work/failing-changes.jsonl" --json "$work/summary.json" --problems-csv "$work/problems.csv"
grep -q '^PDI-109.PV,1,ReadAO,4,7,' "$work/problems.csv" || { fail "summary: the problems CSV lacks PDI-109.PV"; cat "$work/problems.csv"; }
expect_out summary "level changes"
grep -q '"format": "dcs-host-trace-summary"' "$work/summary.json" || fail "summary: the JSON does not name its format"
expect_out summary "#1 at "
expect_out summary "668 bytes (length 668): AI 12, AO 3, DI 6, DO 2, DCD 2, CALC 5; lint 0 errors, 0 warnings"
expect_out summary "PDI-109.PV              data set 1  ReadAO    status 4: 7 times"
expect_out summary "FIC-101.SP              data set 1  ReadAI    status 7: 2 times"
expect_out summary "tags that never succeeded: 0"
expect_out summary "flag          WriteDI LINK.RUNNING = 1 failed with status 12"
expect_out summary "reset         ResetLink"

# The captured string is what the server served, byte for byte: carriage
# returns, quotes, bytes above 0x7F, and a binary tail without NUL.
mkdir "$work/bytes"
printf '*AI*\r\n"FI\351-1",-,1,0,100\r\n'"'"'Q;2'"'"',-,1,0,1\n*DI*\nLINK.ENABLED,-,1\n\200\377\001\002\033\177\376' >"$work/bytes/odd.mrx"
cat >"$work/bytes/odd.toml" <<'TOML'
init_string = "odd.mrx"
steps = 1
[general]
"Data Set" = 1
"Enabled Flag" = "LINK.ENABLED"
TOML
run bytes.traced 0 run "$work/bytes/odd.toml" --trace "$work/bytes.jsonl"
# A second traced run to the same name keeps the first trace, as the tracer does.
cp "$work/bytes.jsonl" "$work/bytes.kept"
run bytes.again 0 run "$work/bytes/odd.toml" --trace "$work/bytes.jsonl"
same "the first trace after a second run to its name" "$work/bytes.kept" "$work/bytes.jsonl"
[ -s "$work/bytes.1.jsonl" ] || fail "the second traced run wrote no bytes.1.jsonl"
run bytes.captured 0 trace "$work/bytes.jsonl" --init-string "$work/bytes/captured.mrx"
same "the captured string" "$work/bytes/odd.mrx" "$work/bytes/captured.mrx"
run bytes.fetch2 2 trace "$work/bytes.jsonl" --init-string "$work/bytes/none.mrx" --fetch 2
[ -e "$work/bytes/none.mrx" ] && fail "--fetch 2 of a trace with one fetch wrote a file"
# check and run take the captured string in place of the case's own.
printf '*AI*\nOTHER,-,1,0,1\n*DI*\nX,-,1\n' >"$work/bytes/other.mrx"
sed 's/odd.mrx/other.mrx/' "$work/bytes/odd.toml" >"$work/bytes/other.toml"
run bytes.check 1 check "$work/bytes/other.toml" --init-string "$work/bytes/captured.mrx" --json "$work/bytes/check.json"
grep -q '"initStringPath": *".*captured.mrx"\|captured.mrx' "$work/bytes/check.json" || fail "check --init-string: the diagnosis does not name the captured string"
run bytes.run 0 run "$work/bytes/other.toml" --init-string "$work/bytes/captured.mrx" --trace "$work/bytes2.jsonl"
run bytes.captured2 0 trace "$work/bytes2.jsonl" --init-string "$work/bytes/captured2.mrx"
same "the string run --init-string served" "$work/bytes/odd.mrx" "$work/bytes/captured2.mrx"

# The check with the live trace: what the link did with each tag, and a tag
# that binds here but never once succeeded live.
run live 1 check "$work/failing/plant.toml" --trace "$work/failing-changes.jsonl" --all
expect_out live "live: 14 calls of ReadAO (data set 1), 7 failed, last status 4"
expect_out live "live: 3 calls of WriteDI (data set 1), 1 failed, last status 0"
# Without --all every live failure is listed all the same.
run live.default 1 check "$work/failing/plant.toml" --trace "$work/failing-changes.jsonl"
expect_out live.default "(PDI-109) PV Tag \"PDI-109.PV\": live: 14 calls of ReadAO (data set 1), 7 failed"

# The catalogue tools read a trace as the string it captured: the same
# listing, no change against the served file, the same check.
run tags.file 0 tags "$work/failing/plant.mrx"
run tags.trace 0 tags "$work/failing-changes.jsonl"
tail -n +2 "$work/tags.file.out" >"$work/tags.file.rest"
tail -n +2 "$work/tags.trace.out" >"$work/tags.trace.rest"
same "tags of the trace and of its string" "$work/tags.file.rest" "$work/tags.trace.rest"
expect_out tags.trace "failing-changes.jsonl, fetch 1: 30 tags"
run diff.trace 0 diff "$work/failing-changes.jsonl" "$work/failing/plant.mrx"
expect_out diff.trace "0 tag change(s)"
run tags.nofetch 2 tags "$work/failing-changes.jsonl" --fetch 2
run map.trace 0 map "$work/failing-changes.jsonl" --out "$work/map"
same "the string map writes beside its lists" "$work/failing/plant.mrx" "$work/map/failing-changes.jsonl.mrx"
cp "$work/failing/plant.toml" "$work/failing/lost.toml"
printf '\n[[fail]]\nop = "ReadAO"\nname = "PDI-109.PV"\nstatus = 4\ntimes = -1\n' >>"$work/failing/lost.toml"
run lost.traced 1 run "$work/failing/lost.toml" --trace "$work/lost.jsonl"
run lost 1 check "$work/failing/plant.toml" --trace "$work/lost.jsonl" --json "$work/lost.json"
expect_out lost "failed, last status 4; binds here but never once succeeded live"
grep -q '"disagrees": true' "$work/lost.json" || fail "lost: the JSON does not mark the disagreement"

# A [[fail]] the server cannot answer with is refused where it stands.
for bad in 'op = "ReadAI"\nstatus = 0' 'op = "ReadDCD"' 'op = "ReadAI"\ntimes = 0' 'name = "X"'; do
    cp "$work/failing/plant.toml" "$work/failing/bad.toml"
    printf '\n[[fail]]\n'"$bad"'\n' >>"$work/failing/bad.toml"
    run bad 2 run "$work/failing/bad.toml"
    grep -q 'bad.toml:[0-9:]*: fail [0-9]*: ' "$work/bad.err" || { fail "[[fail]] $bad: no located refusal"; cat "$work/bad.err"; }
done

# A trace of another format and one cut off in its last line.
sed '1s/"version":3/"version":4/' "$work/plant.jsonl" >"$work/v4.jsonl"
run v4 2 trace "$work/v4.jsonl"
grep -q "format version 4; this dcs-host reads versions 1 to 3" "$work/v4.err" || fail "v4: no clear refusal"
head -c -30 "$work/plant.jsonl" >"$work/cut.jsonl"
run cut 0 trace "$work/cut.jsonl"
expect_out cut "note: line "
expect_out cut "cut off after"

# Names outside ASCII, in the code page the plant runs in: the trace names
# it, every output of trace shows the names as the characters they are (in
# valid UTF-8), --tags matches them so, the catalogue tools list them so, and
# a replay answers them. Columns: code page, set point, output, PV, flag.
utf8() {  # WHAT FILE
    python3 -c 'import sys; open(sys.argv[1], "rb").read().decode("utf-8")' "$2" 2>/dev/null || fail "$1: not UTF-8"
}
has() {  # WHAT FILE TEXT
    grep -F -q -e "$3" "$2" || fail "$1 lacks \"$3\""
}
while IFS='|' read -r cp sp op pv flag; do
    d=$work/cp$cp
    mkdir "$d"
    printf '*AI*\n%s,-,1,0,100\n%s.OPINIT,-,1,0,100\n%s,-,1,0,100\n*AO*\n%s,-,1,0,100\n*DI*\n%s,-,1\n' \
        "$sp" "${op%.*}" "$pv" "$op" "$flag" |
        python3 -c 'import sys; sys.stdout.buffer.write(sys.stdin.read().encode("cp'"$cp"'"))' >"$d/k.mrx"
    cat >"$d/k.toml" <<TOML
init_string = "k.mrx"
code_page = $cp
steps = 4
[[tag]]
kind = "AI"
name = "$sp"
value = 50.0
[[tag]]
kind = "AO"
name = "$op"
value = 40.0
[general]
"Data Set" = 1
"Enabled Flag" = "$flag"
[[controller]]
name = "C1"
"SP Tag" = "$sp"
"OP Tag" = "$op"
"OP Init Tag" = "${op%.*}.OPINIT"
[[pv_export]]
name = "P1"
"PV Tag" = "$pv"
[[event]]
step = 1
action = "start"
[[fail]]
step = 2
op = "ReadAI"
status = 7
TOML
    run "cp$cp.traced" 1 run "$d/k.toml" --trace "$d/k.jsonl"
    head -n 1 "$d/k.jsonl" | grep -q "\"version\":3,.*\"code_page\":$cp," || fail "cp$cp: the header names no code page $cp"
    run "cp$cp.trace" 1 trace "$d/k.jsonl" --tags "${sp%%.*}*" --json "$d/s.json" --problems-csv "$d/p.csv" --html "$d/p.html"
    for f in "$work/cp$cp.trace.out" "$d/s.json" "$d/p.csv" "$d/p.html"; do utf8 "cp$cp: $(basename "$f")" "$f"; done
    has "cp$cp: the terminal" "$work/cp$cp.trace.out" "tag names shown in code page $cp (the trace's header)"
    has "cp$cp: the terminal" "$work/cp$cp.trace.out" "$sp"
    has "cp$cp: the CSV" "$d/p.csv" "$sp,1,ReadAI,7,"
    has "cp$cp: the page's chart" "$d/p.html" "data-tag=\"$sp\""
    python3 - "$d/s.json" "$sp" "$cp" <<'PY' || fail "cp$cp: the JSON summary (above)"
import json, sys
s = json.load(open(sys.argv[1], encoding="utf-8"))
assert s["version"] == 2 and s["code_page"]["number"] == int(sys.argv[3]), s["code_page"]
assert [g["tag"] for g in s["failures_by_tag"]] == [sys.argv[2]], s["failures_by_tag"]
assert sys.argv[2] in [x["tag"] for x in s["series"]], s["series"]
PY
    # The catalogue tools and the check take the trace's code page.
    run "cp$cp.tags" 0 tags "$d/k.jsonl" --match "${pv%%.*}*" --json "$d/t.json"
    has "cp$cp: tags" "$work/cp$cp.tags.out" "\"$pv\""
    has "cp$cp: tags --json" "$d/t.json" "\"name\": \"$pv\""
    run "cp$cp.diff" 0 diff "$d/k.jsonl" "$d/k.mrx" --case "$d/k.toml"
    # A case that names no code page takes the trace's for its names.
    sed '/^code_page = /d' "$d/k.toml" >"$d/n.toml"
    for c in k n; do
        run "cp$cp.unused.$c" 0 tags "$d/k.jsonl" --unused "$d/$c.toml"
        has "cp$cp: tags --unused $c.toml" "$work/cp$cp.unused.$c.out" "0 of them named by no row"
    done
    run "cp$cp.check" 0 check "$d/n.toml" --init-string "$d/k.jsonl" --all
    has "cp$cp: check --init-string" "$work/cp$cp.check.out" "SP Tag \"$sp\": bound AI ReadAI"
    run "cp$cp.replayed" 1 run "$d/k.toml" --replay "$d/k.jsonl"
    has "cp$cp: the replay" "$work/cp$cp.replayed.out" "the replay made exactly the recorded calls"
    # A trace of format 2 names no code page: 1252 unless told otherwise,
    # and told, the same summary as the trace that names it.
    sed '1s/"version":3/"version":2/; 1s/"code_page":[0-9]*,//' "$d/k.jsonl" >"$d/v2.jsonl"
    run "cp$cp.v2" 1 trace "$d/v2.jsonl" --code-page "$cp" --json "$d/v2.json"
    has "cp$cp: format 2 with --code-page" "$work/cp$cp.v2.out" "tag names shown in code page $cp (--code-page)"
    python3 - "$d/s.json" "$d/v2.json" <<'PY' || fail "cp$cp: format 2 read with --code-page differs (above)"
import json, sys
a, b = (json.load(open(p, encoding="utf-8")) for p in sys.argv[1:])
for key in ("failures_by_tag", "never_succeeded", "events"):
    assert a[key] == b[key], (key, a[key], b[key])
PY
done <<'ROWS'
1252|Kühl.SP|Kühl.OP|Œl.PV|LINK.EN
1250|Łącze.SP|Łącze.OP|Żar.PV|ŁĄCZE.EN
ROWS
# A run in another code page replays a trace of 1252: Ø is D8 there and A8
# in 1257, and the replay answers the names as the run writes them.
sed 's/^code_page = 1252$//; s/^init_string = .*/init_string = "o.mrx"/; s/Kühl/Øl/g; s/Œl/Ål/g' \
    "$work/cp1252/k.toml" >"$work/cp1252/o.toml"
python3 -c 'import sys; sys.stdout.buffer.write(open(sys.argv[1], "rb").read().decode("cp1252").replace("Kühl", "Øl").replace("Œl", "Ål").encode("cp1252"))' \
    "$work/cp1252/k.mrx" >"$work/cp1252/o.mrx"
run o.traced 1 run "$work/cp1252/o.toml" --trace "$work/cp1252/o.jsonl"
run o.replayed 1 run "$work/cp1252/o.toml" --code-page 1257 --replay "$work/cp1252/o.jsonl"
sed '/^replay of /,$d' "$work/o.replayed.out" >"$work/o.replayed.table"
same "a replay in 1257 of a trace in 1252: step table" "$work/o.traced.out" "$work/o.replayed.table"
has "a replay in 1257 of a trace in 1252" "$work/o.replayed.out" "the replay made exactly the recorded calls"
has "a replay in 1257 of a trace in 1252" "$work/o.replayed.out" "the trace's names are in code page 1252, the run's in code page 1257"
# Read in 1252, as a trace of format 2 is by default, the 1250 names come
# out as other characters: the code page matters.
run cp1250.v2.default 1 trace "$work/cp1250/v2.jsonl"
has "format 2 by default" "$work/cp1250.v2.default.out" "£¹cze.SP"
has "format 2 by default" "$work/cp1250.v2.default.out" "the default: a trace of format version 2 names no code page"

finish "trace round-trip"
