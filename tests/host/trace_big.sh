#!/bin/sh
# dcs-host reads a large trace as a stream: a generated trace of SIZE_MB
# (default 1024) is summed up, and the peak resident memory must stay below
# LIMIT_MB (default 64) however large the trace. It takes minutes at 1 GiB,
# so it is not part of the default test command; scripts/test-all.sh runs it
# when DCS_LONG_TESTS=1. Usage: trace_big.sh DCS_HOST [SIZE_MB] [LIMIT_MB]
set -u
host=$1
size_mb=${2:-1024}
limit_mb=${3:-64}
if [ ! -x /usr/bin/time ]; then
    echo "SKIPPED: /usr/bin/time is missing (Debian package time)"
    exit 77
fi
work=$(mktemp -d "${TMPDIR:-/tmp}/dcs-trace-big.XXXXXX")
trap 'rm -rf "$work"' EXIT

# One block of about 1 MiB: 200 tags read in turn, every 97th call a failure,
# three equal reads folded into each success that follows a success of its
# tag (a failure is never folded, nor folded into), then the block repeated
# up to the size asked for.
awk 'BEGIN {
    for (i = 1; i <= 7000; i++) {
        tag = sprintf("TAG-%03d.PV", i % 200)
        if (i % 97 == 0)
            printf "{\"type\":\"call\",\"seq\":%d,\"t_us\":%d,\"op\":\"ReadAI\",\"ordinal\":4,\"data_set\":1,\"tag\":\"%s\",\"status\":5,\"result\":0,\"cookie_before\":1297612801,\"cookie_after\":1297612801,\"dur_ns\":%d,\"folded\":0}\n", i, i * 10, tag, 900 + i % 1000
        else
            printf "{\"type\":\"call\",\"seq\":%d,\"t_us\":%d,\"op\":\"ReadAI\",\"ordinal\":4,\"data_set\":1,\"tag\":\"%s\",\"value\":%d.25,\"status\":0,\"result\":%d.25,\"cookie_before\":1297612801,\"cookie_after\":1297612801,\"dur_ns\":%d,\"folded\":%d}\n", i, i * 10, tag, i, i, 700 + i % 500, (i > 200 && (i - 200) % 97 != 0) ? 3 : 0
    }
}' >"$work/block"
block_bytes=$(wc -c <"$work/block")
blocks=$((size_mb * 1048576 / block_bytes + 1))
{
    echo '{"type":"header","format":"mrx3p-trace","version":1,"tracer":"1.0.0","level":"changes","limit_mb":2048,"pid":1,"start_utc":"2026-12-09T00:00:00.000000Z","timer_resolution_ns":1,"real_library":"generated","settings":null}'
    printf '{"type":"call","seq":1,"t_us":1,"op":"GetInitStringLength","ordinal":1,"result":40,"dur_ns":100,"folded":0}\n'
    printf '{"type":"init_string","seq":2,"t_us":2,"length":40,"bytes":39,"text":"*AI*\\nSP,-,1,0,1\\nPV,-,1,0,1\\n*DI*\\nEN,-,1\\n"}\n'
    n=0
    while [ "$n" -lt "$blocks" ]; do
        cat "$work/block"
        n=$((n + 1))
    done
} >"$work/big.jsonl"
bytes=$(wc -c <"$work/big.jsonl")

start=$(date +%s)
/usr/bin/time -f %M -o "$work/peak" "$host" trace "$work/big.jsonl" --tags 'TAG-00*' --html "$work/big.html" \
    --json "$work/big.json" >"$work/out" 2>"$work/err"
status=$?
seconds=$(($(date +%s) - start))
peak_kb=$(tail -n 1 "$work/peak")
echo "read $bytes bytes in $seconds s; peak resident memory $peak_kb KiB"
failures=0
[ "$status" -eq 0 ] || { echo "FAIL: exit status $status"; cat "$work/err"; failures=$((failures + 1)); }
expected_failures=$((blocks * (7000 / 97)))
grep -q " calls, $expected_failures failed" "$work/out" ||
    { echo "FAIL: expected $expected_failures failures"; head -5 "$work/out"; failures=$((failures + 1)); }
[ "$peak_kb" -lt $((limit_mb * 1024)) ] ||
    { echo "FAIL: peak $peak_kb KiB is above $limit_mb MiB"; failures=$((failures + 1)); }
if [ "$failures" -ne 0 ]; then
    echo "big trace: $failures check(s) failed"
    exit 1
fi
echo "big trace: 1 passed, 0 failed"
