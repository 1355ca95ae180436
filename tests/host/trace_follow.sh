#!/bin/sh
# trace --follow against a folder a traced plant run writes into: the view
# follows the trace as it grows, is cut short and is replaced, moves to a
# newer trace in the folder, keeps a reloading page, marks a tag that starts
# failing as new, and ends on a signal. Under Wine (a LAUNCHER given), the
# trace is also renamed and deleted by a Windows program while it is
# followed, as the tracer may do: the follower's reads must not refuse it.
# Usage: trace_follow.sh DCS_HOST EXAMPLES_DIR [LAUNCHER...]   (e.g. win-run.sh)
. "$(dirname "$0")/test_lib.sh"
shift 2
# Wine takes seconds to start a program: the first screen may be long in
# coming there.
first_wait=120
if [ $# -gt 0 ]; then
    first_wait=600
    launcher=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
    shift
    set -- "$launcher" "$@"
fi
# Relative paths: Windows-style options begin with "/", as Unix paths do.
cd "$work" || exit 1

cp -r "$examples/plant" "plant"
printf '\n[[fail]]\nstep = 3\nop = "ReadAO"\nname = "PDI-109.PV"\nstatus = 4\ntimes = -1\n' >>"plant/plant.toml"
"$@" "$host" run "plant/plant.toml" --trace "full.jsonl" >/dev/null 2>&1
mkdir "live"
head -n 30 "full.jsonl" >"live/a.jsonl"

screens() { grep -a -c "^.*following " "follow.out"; }
wait_screens() {  # N [TRIES]: wait up to 30 s (TRIES quarters of a second) for the Nth screen
    i=0
    while [ "$(screens)" -lt "$1" ] && [ $i -lt "${2:-120}" ]; do sleep 0.25; i=$((i + 1)); done
    [ "$(screens)" -ge "$1" ] || fail "screen $1 never came"
}
env --default-signal=INT "$@" "$host" trace --follow "live" --html "live.html" >"follow.out" 2>&1 &
follower=$!
wait_screens 1 $first_wait
tail -n +31 "full.jsonl" >>"live/a.jsonl"  # grows
wait_screens 2
head -n 5 "full.jsonl" >"live/a.jsonl.new" && mv "live/a.jsonl.new" "live/a.jsonl"  # replaced
wait_screens 3
sleep 1.1  # a newer trace: the simulator restarted
cp "full.jsonl" "live/b.jsonl"
wait_screens 4
if [ $# -gt 0 ]; then
    # A Windows program renames the followed trace and deletes it, as the
    # tracer may: each must succeed, and the view follows the folder on.
    sleep 1.1
    cp "full.jsonl" "live/c.jsonl"
    wait_screens 5
    grep -a -q "following .*c.jsonl" "follow.out" || fail "the view did not move to c.jsonl"
    (cd live && "$@" cmd /c "move c.jsonl d.jsonl" >/dev/null 2>&1)
    [ -f "live/d.jsonl" ] && [ ! -f "live/c.jsonl" ] || fail "Windows could not rename the followed trace"
    (cd live && "$@" cmd /c "del d.jsonl" >/dev/null 2>&1)
    [ ! -f "live/d.jsonl" ] || fail "Windows could not delete the followed trace"
fi
kill -INT "$follower"
wait "$follower" 2>/dev/null
i=0
while kill -0 "$follower" 2>/dev/null && [ $i -lt 60 ]; do sleep 0.25; i=$((i + 1)); done
kill -0 "$follower" 2>/dev/null && fail "the follower did not end on a signal"

# The screens, one after another: first part, whole, cut, the newer file.
grep -a "level changes, " "follow.out" | sed "s/.*level changes, //" | tr -d "\r" >"figures"
whole=$("$@" "$host" trace "full.jsonl" | sed -n 's/.* lines, \([0-9]*\) calls, \([0-9]*\) failed.*/\1 calls, \2 failed/p')
grep -q "^$whole, ended" "figures" || { fail "no screen of the whole trace ($whole)"; cat "figures"; }
[ "$(sed -n 4p "figures")" = "$whole, ended" ] || fail "the last screen is not of the newer trace"
grep -a -q "following .*b.jsonl" "follow.out" || fail "the view did not move to the newer trace"
grep -a -q "NEW PDI-109.PV (data set 1, ReadAO) status 4, failing since" "follow.out" ||
    fail "the failing tag is not marked new"
grep -q 'http-equiv="refresh"' "live.html" || fail "the page does not reload itself"
finish "trace follow"
