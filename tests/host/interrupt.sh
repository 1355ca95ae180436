#!/bin/sh
# Ctrl-C during a long run: the temporary outputs go, the earlier files of
# those names stay as they were, and standard error says so. On Linux the
# run gets SIGINT; under Wine, SIGINT reaches the program as the console's
# CTRL_C_EVENT, which is what Ctrl-C sends on Windows.
# Usage: interrupt.sh DCS_HOST EXAMPLES_DIR [LAUNCHER...]   (e.g. win-run.sh)
set -u
host=$1
examples=$2
shift 2
work=$(mktemp -d "${TMPDIR:-/tmp}/dcs-interrupt.XXXXXX")
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

cd "$work" || exit 1
cp "$examples/plant/plant.toml" "$examples/plant/plant.mrx" .
echo "earlier csv" >keep.csv
echo "earlier page" >keep.html
# A job started with & gets SIGINT ignored, and dcs-host keeps a signal it
# is told to ignore ignored: env gives it back its default, as a terminal's
# foreground job has it.
env --default-signal=INT "$@" "$host" run plant.toml --steps 5000000 --csv keep.csv --html keep.html >/dev/null 2>run.err &
pid=$!
# Wait until both temporary files exist: the run is then well under way.
tries=0
until [ "$(ls -A | grep -c '^\.keep\..*\.tmp$')" -eq 2 ] || [ $tries -ge 600 ]; do
    sleep 0.1
    tries=$((tries + 1))
done
[ $tries -lt 600 ] || fail "the run made no temporary files within a minute"
# Never more than a minute more: a run the signal missed is ended.
( sleep 60; kill -KILL $pid 2>/dev/null ) >/dev/null 2>&1 &
guard=$!
sleep 1
kill -INT $pid
wait $pid
status=$?
kill $guard 2>/dev/null
[ "$status" -ne 0 ] || fail "an interrupted run exited 0"
if ls -A | grep -q '\.tmp$'; then fail "a temporary file was left: $(ls -A | grep '\.tmp$')"; fi
[ "$(cat keep.csv)" = "earlier csv" ] || fail "the earlier CSV changed"
[ "$(cat keep.html)" = "earlier page" ] || fail "the earlier page changed"
grep -q 'interrupted: this run wrote no output; files of the same names from earlier runs are kept' run.err ||
    { fail "standard error does not say the run was interrupted"; cat run.err; }

# A follower that has written its page: interrupted, it says the finished
# outputs are in place, not that it wrote none. (Here, not under Wine.)
if [ $# -eq 0 ]; then
    "$host" run plant.toml --trace live.jsonl >/dev/null 2>&1
    env --default-signal=INT "$host" trace live.jsonl --follow --html live.html >/dev/null 2>follow.err &
    pid=$!
    tries=0
    until [ -s live.html ] || [ $tries -ge 300 ]; do
        sleep 0.1
        tries=$((tries + 1))
    done
    [ $tries -lt 300 ] || fail "the follower wrote no page within half a minute"
    kill -INT $pid
    wait $pid
    grep -q 'interrupted: the outputs this run finished are in place' follow.err ||
        { fail "the interrupted follower does not say its page is in place"; cat follow.err; }
    [ -s live.html ] || fail "the follower's page went"
fi

if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed"
    exit 1
fi
echo "interrupted cleanly (exit status $status)"
