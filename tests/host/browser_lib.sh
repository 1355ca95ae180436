# What the browser tests share; sourced with the browser's work to do.
# Sets browser and an emptied work folder (exits 77 when there is no
# browser: said plainly, not a pass), and dump/expect/refuse/generate to
# load pages and check the DOM they dump, counting failures.
browser=$(command -v chromium-headless-shell || command -v chromium || true)
if [ -z "$browser" ]; then
    echo "SKIPPED: no chromium-headless-shell or chromium on this machine (scripts/install-deps.sh installs it)"
    exit 77
fi
work=$(mktemp -d "${TMPDIR:-/tmp}/dcs-pages.XXXXXX")
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

# dump NAME FILE: the DOM after the page's scripts ran, in $work/NAME.dom
dump() {
    timeout 120 "$browser" --headless --no-sandbox --disable-gpu --no-first-run --virtual-time-budget=2000 \
        --user-data-dir="$work/profile" \
        --dump-dom "file://$2" >"$work/$1.dom" 2>"$work/$1.browser.err" ||
        { fail "$1: the browser could not load $2"; tail -n 5 "$work/$1.browser.err"; }
}
expect() {  # NAME TEXT: the DOM holds TEXT
    grep -F -q -e "$2" "$work/$1.dom" || fail "$1: the page lacks: $2"
}
refuse() {  # NAME TEXT: the DOM does not hold TEXT
    if grep -F -q -e "$2" "$work/$1.dom"; then fail "$1: the page holds: $2"; fi
}
generate() {  # NAME EXPECTED_STATUS ARGS...
    name=$1
    expected=$2
    shift 2
    "$@" >"$work/$name.out" 2>"$work/$name.err"
    status=$?
    [ "$status" -eq "$expected" ] || { fail "$name: exit status $status, expected $expected"; cat "$work/$name.err"; }
}

# The closing line and the exit status.
browser_finish() {
    if [ "$failures" -ne 0 ]; then
        echo "$failures check(s) of the pages failed"
        exit 1
    fi
    echo "all page checks passed in $("$browser" --version 2>/dev/null | head -n 1)"
    exit 0
}
