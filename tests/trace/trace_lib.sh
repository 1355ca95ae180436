# What the tracer's shell tests share. The programs and libraries come in
# the environment (set by CTest); RUN, when set, runs a Windows program
# (under Wine).
set -u
work=$(mktemp -d "${TMPDIR:-/tmp}/trace-test.XXXXXX")
trap 'rm -rf "$work"' EXIT
RUN=${RUN:-}
passed=0
failed=0

ok() { passed=$((passed + 1)); }
fail() {
    echo "FAIL: $*"
    failed=$((failed + 1))
}
# check WHAT COMMAND...: one counted check
check() {
    what=$1
    shift
    if "$@"; then ok; else fail "$what"; fi
}
run() {
    if [ -n "$RUN" ]; then "$RUN" "$@"; else "$@"; fi
}
# The trace reader, a program of the same build.
tcheck() { run "$TRACE_CHECK" "$@"; }
# The closing line that scripts/test-all.sh counts.
finish() {
    echo "$1: $passed passed, $failed failed"
    [ "$failed" -eq 0 ]
}
# The trace file's first line, for a field.
header_has() { head -n 1 "$1" | grep -F -q -e "$2"; }
