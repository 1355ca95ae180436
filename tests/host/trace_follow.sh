#!/bin/sh
# trace --follow against a folder a traced plant run writes into: the view
# follows the trace as it grows, is cut short and is replaced, moves to a
# newer trace in the folder, keeps a reloading page, marks a tag that starts
# failing as new, and ends on a signal. Usage: trace_follow.sh DCS_HOST EXAMPLES_DIR
. "$(dirname "$0")/test_lib.sh"

cp -r "$examples/plant" "$work/plant"
printf '\n[[fail]]\nstep = 3\nop = "ReadAO"\nname = "PDI-109.PV"\nstatus = 4\ntimes = -1\n' >>"$work/plant/plant.toml"
"$host" run "$work/plant/plant.toml" --trace "$work/full.jsonl" >/dev/null 2>&1
mkdir "$work/live"
head -n 30 "$work/full.jsonl" >"$work/live/a.jsonl"

screens() { grep -a -c "^.*following " "$work/follow.out"; }
wait_screens() {  # N: wait up to 10 s for the Nth screen
    i=0
    while [ "$(screens)" -lt "$1" ] && [ $i -lt 40 ]; do sleep 0.25; i=$((i + 1)); done
    [ "$(screens)" -ge "$1" ] || fail "screen $1 never came"
}
"$host" trace --follow "$work/live" --html "$work/live.html" >"$work/follow.out" 2>&1 &
follower=$!
wait_screens 1
tail -n +31 "$work/full.jsonl" >>"$work/live/a.jsonl"  # grows
wait_screens 2
head -n 5 "$work/full.jsonl" >"$work/live/a.jsonl.new" && mv "$work/live/a.jsonl.new" "$work/live/a.jsonl"  # replaced
wait_screens 3
sleep 1.1  # a newer trace: the simulator restarted
cp "$work/full.jsonl" "$work/live/b.jsonl"
wait_screens 4
kill -TERM "$follower"
wait "$follower" 2>/dev/null
i=0
while kill -0 "$follower" 2>/dev/null && [ $i -lt 20 ]; do sleep 0.25; i=$((i + 1)); done
kill -0 "$follower" 2>/dev/null && fail "the follower did not end on a signal"

# The screens, one after another: first part, whole, cut, the newer file.
grep -a "level changes, " "$work/follow.out" | sed 's/.*level changes, //' >"$work/figures"
whole=$("$host" trace "$work/full.jsonl" | sed -n 's/.* lines, \([0-9]*\) calls, \([0-9]*\) failed.*/\1 calls, \2 failed/p')
grep -q "^$whole, ended" "$work/figures" || { fail "no screen of the whole trace ($whole)"; cat "$work/figures"; }
[ "$(sed -n 4p "$work/figures")" = "$whole, ended" ] || fail "the last screen is not of the newer trace"
grep -a -q "following .*b.jsonl" "$work/follow.out" || fail "the view did not move to the newer trace"
grep -a -q "NEW PDI-109.PV (data set 1, ReadAO) status 4, failing since" "$work/follow.out" ||
    fail "the failing tag is not marked new"
grep -q 'http-equiv="refresh"' "$work/live.html" || fail "the page does not reload itself"
finish "trace follow"
