#!/bin/sh
# The tracer changes nothing: the same runs with the driver bound to the
# stand-in server directly and to the tracing client in front of it give the
# same server call log (arguments, cookie cells, values, statuses), the same
# message boxes, ErrorMsg texts and CSV, byte for byte; and every tag's
# sequence of values and statuses rebuilt from the `changes` trace equals
# the server's call log.
#  - the examples, through dcs-host and the driver library: on Linux the
#    stand-in log shim, preloaded, takes dcs-host's control calls of the
#    stand-in to the stand-in itself, while the tracer, preloaded too,
#    satisfies dcs-host's and the driver's need of libmrx3p.so; under Wine
#    the shim is dcs-host.exe's MRX3P.dll and passes the driver's tag
#    operations on to the stand-in or the tracer;
#  - the life-cycle fuzzer's kept programs, replayed on the driver library
#    by trace_replay (Linux, and Windows under Wine).
. "$(dirname "$0")/trace_lib.sh"
export ASAN_OPTIONS="${ASAN_OPTIONS:-}:verify_asan_link_order=0"

# Under Wine, dcs-host.exe runs from a folder of its own laid out as the
# kit's tools folder, with the shim as its MRX3P.dll: the program's control
# calls and the driver's tag operations (the driver binds the MRX3P.dll the
# process already holds) both reach the shim, which hands the tag operations
# to MRX3P_SHIM_NEXT, the stand-in or the tracer. Every path the Windows
# side reads is a Windows path, as a user's would be, and the stand-in is
# named by one path everywhere, so the process holds one server.
if [ -n "$RUN" ] && [ -n "${DCS_HOST:-}" ]; then
    winpath() { "$RUN" winepath -w "$1" | tr -d '\r'; }
    host=$work/host
    mkdir -p "$host"
    cp "$DCS_HOST" "$IFACE" "$host/" && cp "$SHIM" "$host/MRX3P.dll" || fail "the host's folder"
    host_exe=$host/$(basename "$DCS_HOST")
    w_standin=$(winpath "$STANDIN")
    w_tracer=$(winpath "$TRACER")
    w_driver=$(winpath "$DRIVER")
    w_examples=$(winpath "$EXAMPLES")
    w_work=$(winpath "$work")
    # The shim must offer whatever the stand-in does, or the host cannot start.
    exports() { "$OBJDUMP" -p "$1" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p'; }
    check "the shim's exports are the stand-in's" test "$(exports "$SHIM")" = "$(exports "$STANDIN")"
fi
# host_run DIR MODE TOML: one run of dcs-host on the case in DIR, with the
# stand-in directly behind the driver (MODE direct) or the tracer in front of
# it at the level MODE.
host_run() {
    if [ -n "$RUN" ]; then
        case_file=$w_examples\\$(printf '%s' "${3#"$EXAMPLES"/}" | tr / '\\')
        w_dir=$w_work\\$(printf '%s' "${1#"$work"/}" | tr / '\\')
        if [ "$2" = direct ]; then
            (cd "$1" && MRX3P_SHIM_STANDIN=$w_standin MRX3P_SHIM_NEXT=$w_standin MRX3P_SHIM_LOG=calls \
                "$RUN" "$host_exe" run "$case_file" --driver "$w_driver" --csv run.csv >out 2>err; echo $? >status)
        else
            (cd "$1" && MRX3P_SHIM_STANDIN=$w_standin MRX3P_SHIM_NEXT=$w_tracer MRX3P_SHIM_LOG=calls \
                MRX3P_TRACE_REAL=$w_standin MRX3P_TRACE_FILE=$w_dir\\trace.jsonl MRX3P_TRACE_LEVEL=$2 \
                "$RUN" "$host_exe" run "$case_file" --driver "$w_driver" --csv run.csv >out 2>err; echo $? >status)
        fi
    elif [ "$2" = direct ]; then
        (cd "$1" && MRX3P_SHIM_STANDIN=$STANDIN MRX3P_SHIM_LOG=calls LD_PRELOAD=$SHIM \
            "$DCS_HOST" run "$3" --csv run.csv >out 2>err; echo $? >status)
    else
        (cd "$1" && MRX3P_TRACE_REAL=$STANDIN MRX3P_TRACE_FILE=$1/trace.jsonl MRX3P_TRACE_LEVEL=$2 \
            MRX3P_SHIM_STANDIN=$STANDIN MRX3P_SHIM_LOG=calls LD_PRELOAD="$TRACER $SHIM" \
            "$DCS_HOST" run "$3" --csv run.csv >out 2>err; echo $? >status)
    fi
}

if [ -n "${DCS_HOST:-}" ]; then
    for toml in "$EXAMPLES"/*/*.toml; do
        name=$(basename "$toml" .toml)
        for mode in direct changes all failures; do
            dir=$work/$name/$mode
            mkdir -p "$dir"
            host_run "$dir" "$mode" "$toml"
            [ "$mode" = direct ] && continue
            for f in calls out err status run.csv; do
                if [ -e "$work/$name/direct/$f" ] || [ -e "$dir/$f" ]; then
                    check "$name at $mode: $f differs" cmp -s "$work/$name/direct/$f" "$dir/$f"
                fi
            done
            check "$name at $mode: no trace, or a broken one" tcheck structure "$dir/trace.jsonl" >/dev/null
            check "$name at $mode: the trace says another level" header_has "$dir/trace.jsonl" "\"level\":\"$mode\""
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
