# What the host's shell tests share; sourced with the host and the examples
# folder as $1 and $2. Sets host, examples and an emptied work folder, and
# fail/finish to count and report failed checks.
set -u
# Absolute, so that a test may work from inside its work folder.
host=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
examples=$(cd "$2" && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/dcs-host-test.XXXXXX")
trap 'rm -rf "$work"' EXIT
# A sanitizer report must not pass for the exit status 1 of a failed case.
export ASAN_OPTIONS="${ASAN_OPTIONS:-}:exitcode=86"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-}:exitcode=87"
failures=0

fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

# finish WHAT: the closing line and the exit status
finish() {
    if [ "$failures" -ne 0 ]; then
        echo "$failures check(s) failed"
        exit 1
    fi
    echo "all $1 checks passed"
    exit 0
}
