#!/bin/sh
# The tracer changes nothing: the same runs with the driver bound to the
# stand-in server directly and to the tracing client in front of it give the
# same server call log (arguments, cookie cells, values, statuses), the same
# message boxes, ErrorMsg texts and CSV, byte for byte; and every tag's
# sequence of values and statuses rebuilt from the `changes` trace equals
# the server's call log.
#  - the examples, through dcs-host (Linux): the stand-in log shim, preloaded,
#    takes dcs-host's control calls of the stand-in to the stand-in itself,
#    while the tracer, preloaded too, satisfies dcs-host's and the driver's
#    need of libmrx3p.so;
#  - the life-cycle fuzzer's kept programs, replayed on the driver library
#    by trace_replay (Linux, and Windows under Wine).
. "$(dirname "$0")/trace_lib.sh"
export ASAN_OPTIONS="${ASAN_OPTIONS:-}:verify_asan_link_order=0"

if [ -z "$RUN" ] && [ -n "${DCS_HOST:-}" ]; then
    for toml in "$EXAMPLES"/*/*.toml; do
        name=$(basename "$toml" .toml)
        for mode in direct changes all failures; do
            dir=$work/$name/$mode
            mkdir -p "$dir"
            if [ "$mode" = direct ]; then
                (cd "$dir" && MRX3P_SHIM_STANDIN=$STANDIN MRX3P_SHIM_LOG=calls LD_PRELOAD=$SHIM \
                    "$DCS_HOST" run "$toml" --csv run.csv >out 2>err; echo $? >status)
            else
                (cd "$dir" && MRX3P_TRACE_REAL=$STANDIN MRX3P_TRACE_FILE=$dir/trace.jsonl MRX3P_TRACE_LEVEL=$mode \
                    MRX3P_SHIM_STANDIN=$STANDIN MRX3P_SHIM_LOG=calls LD_PRELOAD="$TRACER $SHIM" \
                    "$DCS_HOST" run "$toml" --csv run.csv >out 2>err; echo $? >status)
                for f in calls out err status run.csv; do
                    if [ -e "$work/$name/direct/$f" ] || [ -e "$dir/$f" ]; then
                        check "$name at $mode: $f differs" cmp -s "$work/$name/direct/$f" "$dir/$f"
                    fi
                done
                check "$name at $mode: no trace, or a broken one" tcheck structure "$dir/trace.jsonl" >/dev/null
                check "$name at $mode: the trace says another level" header_has "$dir/trace.jsonl" "\"level\":\"$mode\""
            fi
        done
        [ -s "$work/$name/direct/calls" ] || fail "$name: the server saw no call (is the shim in place?)"
        check "$name: the tag sequences rebuilt from the changes trace" \
            tcheck rebuild "$work/$name/changes/trace.jsonl" "$work/$name/changes/calls"
    done
fi

if [ -n "${TRACE_REPLAY:-}" ]; then
    run "$TRACE_REPLAY" "$DRIVER" "$STANDIN" "$STANDIN" "$work/direct.out" "$work/direct.calls" "$CORPUS" \
        2>"$work/direct.err" || fail "the corpus replay, direct"
    MRX3P_TRACE_REAL=$STANDIN MRX3P_TRACE_FILE=$work/corpus.jsonl MRX3P_TRACE_LEVEL=changes \
        run "$TRACE_REPLAY" "$DRIVER" "$TRACER" "$STANDIN" "$work/traced.out" "$work/traced.calls" "$CORPUS" \
        2>"$work/traced.err" || fail "the corpus replay, through the tracer"
    check "the corpus programs saw no call" test -s "$work/direct.calls"
    check "the corpus through the tracer: what the host and server saw differs" \
        cmp "$work/direct.out" "$work/traced.out"
    check "the corpus through the tracer: standard error differs" cmp "$work/direct.err" "$work/traced.err"
    check "the corpus trace is broken" tcheck structure "$work/corpus.jsonl"
    check "the corpus: the tag sequences rebuilt from the trace" \
        tcheck rebuild "$work/corpus.jsonl" "$work/traced.calls"
fi

finish "trace differential"
