#!/bin/sh
# The tracing client library as an integrator meets it: where its settings
# come from, and what it does when something is missing or wrong. The probe
# loads it (with the stand-in server as its real library) and calls as a
# driver does; "length L good S bad S" is what the caller got back.
. "$(dirname "$0")/trace_lib.sh"
export ASAN_OPTIONS="${ASAN_OPTIONS:-}:verify_asan_link_order=0"
unset MRX3P_TRACE_REAL MRX3P_TRACE_FILE MRX3P_TRACE_LEVEL MRX3P_TRACE_LIMIT_MB

probe() { run "$TRACE_PROBE" "$@"; }
fine="length 20 good 0 bad 2"       # the probe's catalogue, a known and an unknown tag
refused="length 0 good -1 bad -1"   # no real library: every operation fails safely
expect() {  # WHAT EXPECTED FILE
    if [ "$(tr -d '\r' <"$3")" = "$2" ]; then ok; else fail "$1: got '$(cat "$3")', expected '$2'"; fi
}
native() { [ -z "$RUN" ]; }  # standard error and the temp folder are checked natively only

# A tracer of its own folder, with a settings file and a real library
# beside it (relative paths count from the settings file's folder).
lib=$work/lib
mkdir -p "$lib/real" "$lib/traces"
cp "$TRACER" "$lib/"
tracer=$lib/$(basename "$TRACER")
real=$lib/real/$(basename "$STANDIN")
cp "$STANDIN" "$real"

# 1. Environment only, no settings file.
MRX3P_TRACE_REAL=$STANDIN MRX3P_TRACE_FILE=$work/env-%p.jsonl probe "$tracer" "$STANDIN" once >"$work/env.out" 2>"$work/env.err"
expect "environment settings" "$fine" "$work/env.out"
set -- "$work"/env-*.jsonl
check "%p in the file name: no trace named by the process id" test -f "$1"
check "the trace of the environment's settings" tcheck structure "$1" >/dev/null
check "no settings file: the header says null" header_has "$1" '"settings":null'
check "the default level is changes" header_has "$1" '"level":"changes"'
check "the header is of format version 3" header_has "$1" '"version":3,'
check "the default code page is 1252" header_has "$1" '"code_page":1252,'
if native; then check "a clean run writes nothing to standard error" test ! -s "$work/env.err"; fi

# 2. The settings file, and the environment over it.
printf '; a comment\nreal = real/%s\r\nfile = traces/t-%%p.jsonl\nlevel = ALL\nlimit_mb = 5\ncode_page = 1250\n' "$(basename "$STANDIN")" \
    >"$lib/MRX3P-trace.ini"
probe "$tracer" "$real" once >"$work/ini.out" 2>/dev/null
expect "settings from MRX3P-trace.ini" "$fine" "$work/ini.out"
set -- "$lib"/traces/t-*.jsonl
check "the settings file's trace path" test -f "$1"
check "the settings file's level" header_has "$1" '"level":"all"'
check "the settings file's limit" header_has "$1" '"limit_mb":5'
check "the settings file's code page" header_has "$1" '"code_page":1250,'
check "the header names the settings file" header_has "$1" 'MRX3P-trace.ini"'
check "level all: both reads written" test "$(grep -c '"op":"ReadAI"' "$1")" -eq 2
rm -f "$lib"/traces/*
MRX3P_TRACE_LEVEL=failures probe "$tracer" "$real" once >"$work/over.out" 2>/dev/null
set -- "$lib"/traces/t-*.jsonl
check "the environment's level over the file's" header_has "$1" '"level":"failures"'
check "level failures: only the failed read" test "$(grep -c '"op":"ReadAI"' "$1")" -eq 1
MRX3P_TRACE_LEVEL=loud MRX3P_TRACE_LIMIT_MB=-3 probe "$tracer" "$real" once >"$work/bad.out" 2>"$work/bad.err"
expect "bad level and limit: the calls go on" "$fine" "$work/bad.out"
set -- $(ls -t "$lib"/traces/t-*.jsonl | head -n 1)
check "bad settings are named in the header" header_has "$1" 'unknown level \"loud\"'
if native; then check "bad settings are reported" grep -q 'limit_mb "-3"' "$work/bad.err"; fi
rm -f "$lib/MRX3P-trace.ini" "$lib"/traces/*

# 3. No settings file and no MRX3P_TRACE_REAL: the real library is unknown.
if native; then
    mkdir -p "$work/tmp"
    TMPDIR=$work/tmp probe "$tracer" - once >"$work/none.out" 2>"$work/none.err"
    expect "no settings at all" "$refused" "$work/none.out"
    set -- "$work"/tmp/MRX3P-trace-*.jsonl
    check "no settings: the trace goes to the temp folder" test -f "$1"
    check "no settings: the header says why" header_has "$1" 'no settings file'
    check "no settings: said on standard error" grep -q 'no settings file' "$work/none.err"
else
    probe "$tracer" - once >"$work/none.out" 2>/dev/null
    expect "no settings at all" "$refused" "$work/none.out"
fi

# 4. A real library that is not there.
MRX3P_TRACE_REAL=$work/nowhere/$(basename "$STANDIN") MRX3P_TRACE_FILE=$work/missing.jsonl \
    probe "$tracer" - once >"$work/missing.out" 2>"$work/missing.err"
expect "a missing real library" "$refused" "$work/missing.out"
check "a missing real library: the header says why" header_has "$work/missing.jsonl" 'cannot load the real client library'
check "a missing real library: each failed call is in the trace" \
    test "$(grep -c '"status":-1' "$work/missing.jsonl")" -eq 2
if native; then check "a missing real library: said on standard error" grep -q 'cannot load' "$work/missing.err"; fi

# 5. The tracer pointed at itself, by its own name and by another one.
ln -s "$tracer" "$work/alias-$(basename "$TRACER")"
for self in "$tracer" "$work/alias-$(basename "$TRACER")"; do
    rm -f "$work/self.jsonl"
    MRX3P_TRACE_REAL=$self MRX3P_TRACE_FILE=$work/self.jsonl probe "$tracer" - once >"$work/self.out" 2>/dev/null
    expect "the tracer as its own real library ($self)" "$refused" "$work/self.out"
    check "the tracer as its own real library: the header says so" header_has "$work/self.jsonl" 'tracing library itself'
done

# 6. A trace folder that does not exist: the link is not disturbed.
MRX3P_TRACE_REAL=$STANDIN MRX3P_TRACE_FILE=$work/no/such/folder/t.jsonl \
    probe "$tracer" "$STANDIN" once >"$work/nofile.out" 2>"$work/nofile.err"
expect "an unwritable trace" "$fine" "$work/nofile.out"
if native; then
    check "an unwritable trace is reported once" test "$(grep -c 'cannot create the trace file' "$work/nofile.err")" -eq 1
fi

# 7. Two processes, one file name: the second takes the next free name.
rm -f "$work"/same*.jsonl
MRX3P_TRACE_REAL=$STANDIN MRX3P_TRACE_FILE=$work/same.jsonl probe "$tracer" "$STANDIN" once >/dev/null 2>&1
MRX3P_TRACE_REAL=$STANDIN MRX3P_TRACE_FILE=$work/same.jsonl probe "$tracer" "$STANDIN" once >/dev/null 2>&1
check "the second process of a file name writes .1" test -f "$work/same.1.jsonl"
check "the first process's trace is kept whole" tcheck structure "$work/same.jsonl" >/dev/null

# 8. The size limit.
MRX3P_TRACE_REAL=$STANDIN MRX3P_TRACE_FILE=$work/limit.jsonl MRX3P_TRACE_LEVEL=all MRX3P_TRACE_LIMIT_MB=1 \
    probe "$tracer" "$STANDIN" loop 30000 >/dev/null 2>&1
size=$(wc -c <"$work/limit.jsonl")
check "the size limit: $size bytes" test "$size" -le 1048576 -a "$size" -gt 900000
check "the size limit: the trace says it stopped" sh -c "tail -n 1 '$work/limit.jsonl' | grep -q '\"reason\":\"limit\".*\"stopped\":true'"

# 9. Killed in the middle of a run: whole records (but a last line the kill cut
# off), every failure before the kill.
# Started directly, not through a shell function, so that $! is the probe
# itself (under Wine, win-run.sh execs Wine in its own place).
# start_killed: the probe in the background, its pid in $pid.
start_killed() {
    rm -f "$work/killed.jsonl" "$work/killed.out"
    export MRX3P_TRACE_REAL="$STANDIN" MRX3P_TRACE_FILE="$work/killed.jsonl" MRX3P_TRACE_LEVEL=changes
    if [ -n "$RUN" ]; then
        "$RUN" "$TRACE_PROBE" "$tracer" "$STANDIN" loop 0 >"$work/killed.out" 2>/dev/null &
    else
        "$TRACE_PROBE" "$tracer" "$STANDIN" loop 0 >"$work/killed.out" 2>/dev/null &
    fi
    pid=$!
    unset MRX3P_TRACE_REAL MRX3P_TRACE_FILE MRX3P_TRACE_LEVEL
    n=0
    while [ "$n" -lt 600 ] && ! grep -q '^failures 20' "$work/killed.out" 2>/dev/null; do
        sleep 0.1
        n=$((n + 1))
    done
    kill -9 "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
}
start_killed
# Once, on a loaded machine, a Wine process started in the background made
# no call at all within the minute (its trace empty, not one line out):
# Wine had not got it going. That is no fault of the tracer, so such a start
# is tried once more, and said; a probe that ran and then lost records still
# fails below.
if [ ! -s "$work/killed.out" ] && [ ! -s "$work/killed.jsonl" ]; then
    echo "note: killed: the probe made no call within a minute; started once more"
    start_killed
fi
seen=$(grep -c '^failures' "$work/killed.out")
# SIGKILL may stop the kernel in the middle of a write that spans pages of
# the file, so the last line may be cut off (dcs-host reads such a trace up
# to the line before); every line before it must be whole.
found=$(tcheck structure --killed "$work/killed.jsonl" | sed -n 's/.* failures \([0-9]*\) .*/\1/p')
check "killed: every line but one cut off at the end is a whole record" \
    tcheck structure --killed "$work/killed.jsonl" >/dev/null
check "killed: $seen failures returned before the kill, ${found:-none} in the trace" \
    test "$seen" -ge 20 -a "${found:-0}" -ge "$seen"

# 10. Ordinal 10 is passed on with the stack and registers as they were.
if [ -n "$RUN" ]; then
    MRX3P_TRACE_REAL=$FAKE_REAL MRX3P_TRACE_FILE=$work/ten.jsonl probe "$tracer" - ordinal10 >"$work/ten.out" 2>/dev/null
    expect "ordinal 10 through the tracer" "ordinal10 123 guard 1234" "$work/ten.out"
    MRX3P_TRACE_REAL=$STANDIN MRX3P_TRACE_FILE=$work/noten.jsonl probe "$tracer" - ordinal10 >"$work/noten.out" 2>/dev/null
    expect "ordinal 10 where the real library has none" "ordinal10 0 guard 1234" "$work/noten.out"
fi

# 11. Settings of every kind, as a careless user may leave them. For each
# row: what the probe gets back (the untraced run's answers, or those of a
# library refused), whether a trace is there (then whole, its header valid
# UTF-8 and short) or none at all, and one warning, which names what is
# used instead. Rows: NAME|WINE|SETUP|ENV|OUTCOME|TRACE|WARNING; SETUP is
# run first, ENV follows MRX3P_TRACE_REAL and MRX3P_TRACE_FILE and may
# override them; WINE "w" runs the row under Wine too.
untraced=$(run "$TRACE_PROBE" "$STANDIN" "$STANDIN" once | tr -d '\r')
check "an untraced run" test "$untraced" = "$fine"
ini=$lib/MRX3P-trace.ini
mkfifo "$work/fifo"
bad=$(printf '\370\200\200') # F8 80 80: no UTF-8 at all
keys() {
    echo 'limit_mb = 1'
    i=0
    while [ "$i" -lt 5000 ]; do
        echo "k$i = 1"
        i=$((i + 1))
    done
}
comments() { yes '; a comment' | head -n 100000; }
if [ -n "$RUN" ]; then set -- "$RUN" "$TRACE_PROBE"; else set -- "$TRACE_PROBE"; fi
while IFS='|' read -r name wine setup vars outcome trace warning; do
    if [ -n "$RUN" ] && [ "$wine" != w ]; then continue; fi
    rm -rf "$ini" "$work/v"
    mkdir -p "$work/v"
    eval "$setup"
    out=$work/v/out err=$work/v/err path=$work/v/t.jsonl
    eval "env MRX3P_TRACE_REAL=\"\$real\" MRX3P_TRACE_FILE=\"\$path\" $vars timeout 120 \"\$@\" \"\$tracer\" \"\$real\" once" \
        >"$out" 2>"$err"
    if [ "$outcome" = same ]; then want=$untraced; else want=$refused; fi
    expect "$name: the host's results" "$want" "$out"
    others=$(ls "$work/v" | grep -v -x -e out -e err -e dir -e t.jsonl | tr '\n' ' ')
    check "$name: no other file ($others)" test -z "$others"
    if [ "$trace" = parses ]; then
        check "$name: the trace parses" tcheck structure "$path" >/dev/null
        check "$name: a header of at most 4 KiB" test "$(head -n 1 "$path" | wc -c)" -le 4096
        [ -z "$warning" ] || check "$name: the header says '$warning'" \
            header_has "$path" "$(printf '%s' "$warning" | sed 's/"/\\"/g')"
    else
        check "$name: no trace" test ! -f "$path"
    fi
    if native; then
        lines=$(wc -l <"$err")
        check "$name: $lines lines on standard error, $(wc -c <"$err") bytes" \
            test "$lines" -eq "$([ -z "$warning" ] && echo 0 || echo 1)" -a "$(wc -c <"$err")" -le 1024
        [ -z "$warning" ] || check "$name: standard error says '$warning'" grep -q -F -e "$warning" "$err"
    fi
done <<ROWS
empty||: >"\$ini"||same|parses|
BOM and CRLF||printf '\357\273\277level = all\r\nlimit_mb = 5\r\n' >"\$ini"||same|parses|
1 GB sparse|w|truncate -s 1G "\$ini"||same|parses|has more than 65536 bytes): the defaults and the environment are used
named pipe||mkfifo "\$ini"||same|parses|is a named pipe, not a regular file
link to /dev/zero||ln -s /dev/zero "\$ini"||same|parses|is a character device, not a regular file
folder|w|mkdir "\$ini"||same|parses|is a folder, not a regular file
link loop||ln -s MRX3P-trace.ini "\$ini"||same|parses|MRX3P-trace.ini is not read (
100,000 comment lines||comments >"\$ini"||same|parses|has more than 65536 bytes
5,000 unknown keys||keys >"\$ini"||same|parses|unknown key "k3"; and 4996 more such faults
random bytes||perl -e 'srand(7); print map { chr(int(rand(256))) } 1..60000' >"\$ini"||same|parses|MRX3P-trace.ini line 1
level in the file, over by the environment||echo 'level = loud' >"\$ini"|MRX3P_TRACE_LEVEL=all|same|parses|unknown level "loud" in MRX3P-trace.ini line 1; "all" is used
a bad level, then a good one||printf 'level = loud\nlevel = failures\n' >"\$ini"||same|parses|"loud" in MRX3P-trace.ini line 1; "failures" is used
limit in the file, over by the environment||echo 'limit_mb = abc' >"\$ini"|MRX3P_TRACE_LIMIT_MB=5|same|parses|limit_mb "abc" in MRX3P-trace.ini line 1 is no whole number of MiB from 1 to 1048576; 5 is used
limit 0|||MRX3P_TRACE_LIMIT_MB=0|same|parses|limit_mb "0" in MRX3P_TRACE_LIMIT_MB is no whole number of MiB from 1 to 1048576; 256 is used
limit -5|||MRX3P_TRACE_LIMIT_MB=-5|same|parses|limit_mb "-5" in MRX3P_TRACE_LIMIT_MB is no whole number of MiB from 1 to 1048576; 256 is used
limit 1e9|||MRX3P_TRACE_LIMIT_MB=1e9|same|parses|limit_mb "1e9" in MRX3P_TRACE_LIMIT_MB is no whole number of MiB from 1 to 1048576; 256 is used
code page in the file, over by the environment||echo 'code_page = x' >"\$ini"|MRX3P_TRACE_CODE_PAGE=1250|same|parses|code_page "x" in MRX3P-trace.ini line 1 is no code page number from 1 to 65535; 1250 is used
code page 0|||MRX3P_TRACE_CODE_PAGE=0|same|parses|code_page "0" in MRX3P_TRACE_CODE_PAGE is no code page number from 1 to 65535; 1252 is used
code page 65536|||MRX3P_TRACE_CODE_PAGE=65536|same|parses|code_page "65536" in MRX3P_TRACE_CODE_PAGE is no code page number from 1 to 65535; 1252 is used
code page -1250|||MRX3P_TRACE_CODE_PAGE=-1250|same|parses|code_page "-1250" in MRX3P_TRACE_CODE_PAGE is no code page number from 1 to 65535; 1252 is used
a level of no UTF-8|||MRX3P_TRACE_LEVEL=\$bad|same|parses|"changes" is used
a real library named in no UTF-8|||MRX3P_TRACE_REAL=\$work/\$bad.so|refused|parses|cannot load the real client library
the real library a named pipe|||MRX3P_TRACE_REAL=\$work/fifo|refused|parses|is a named pipe, not a file
the trace path /dev/null|||MRX3P_TRACE_FILE=/dev/null|same|absent|the trace path /dev/null is a character device, not a file
the trace path /dev/full|||MRX3P_TRACE_FILE=/dev/full|same|absent|the trace path /dev/full is a character device, not a file
the trace path a folder||mkdir "\$work/v/dir"|MRX3P_TRACE_FILE=\$work/v/dir|same|absent|is a folder, not a file
ROWS
check "no numbered files beside devices" test ! -e /dev/null.1 -a ! -e /dev/full.1

# 12. A process that forks while a second thread calls on: the child never
# writes into its parent's trace, but starts one of its own (the name taken,
# so the next free one) with its own header and numbering; each stays within
# its limit, and nothing follows a limit summary. The real library is one
# without state, which threads may call at once.
if native; then
    rm -rf "$work/v"
    mkdir -p "$work/v"
    "$TRACE_PROBE" "$FAKE_REAL" - fork | sort >"$work/v/untraced"
    MRX3P_TRACE_REAL=$FAKE_REAL MRX3P_TRACE_FILE=$work/v/f.jsonl MRX3P_TRACE_LEVEL=all MRX3P_TRACE_LIMIT_MB=1 \
        timeout 120 "$TRACE_PROBE" "$tracer" - fork 2>/dev/null | sort >"$work/v/traced"
    check "fork: the host's results are those of an untraced run" cmp -s "$work/v/untraced" "$work/v/traced"
    check "fork: three rounds of results" test "$(wc -l <"$work/v/traced")" -eq 3
    check "fork: two traces" test "$(ls "$work/v" | grep -c jsonl)" -eq 2
    for f in "$work/v/f.jsonl" "$work/v/f.1.jsonl"; do
        check "fork: $(basename "$f") whole" tcheck structure "$f" >/dev/null
        check "fork: $(basename "$f") within its limit" test "$(wc -c <"$f")" -le 1048576
        check "fork: $(basename "$f") ends with a summary" sh -c "tail -n 1 '$f' | grep -q '\"type\":\"summary\"'"
    done
    pids=$(cat "$work"/v/f*.jsonl | sed -n 's/^{"type":"header".*"pid":\([0-9]*\),.*/\1/p' | sort -u | wc -l)
    check "fork: the headers of two processes" test "$pids" -eq 2
    child=$(grep -l '"reason":"exit".*"calls":3,' "$work"/v/f*.jsonl | head -n 1)
    check "fork: the child's trace holds its own three calls, numbered from 1" \
        test -n "$child" -a "$(grep -c '"type":"call"' "${child:-/dev/null}")" -eq 3 -a \
        "$(grep -c '"type":"call","seq":1,' "${child:-/dev/null}")" -eq 1
fi

finish "trace client"
