#!/bin/sh
# README.md gives each command a synopsis (a line that starts with the
# command in backticks) that names exactly the options its --help lists,
# and no other; the same for dcs-host's own options.
# Usage: readme_synopses.sh DCS_HOST SOURCE_DIR
set -u
host=$1
readme=$2/README.md
failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

# The long options a --help text lists, one a line, sorted.
options_of_help() {
    sed -n 's/^ *\(-[a-zA-Z], *\)\{0,1\}\(--[a-z][a-z-]*\).*/\2/p' | grep -v -x -e --help | LC_ALL=C sort -u
}
# The long options a synopsis names, sorted.
options_of_line() {
    grep -o -e '--[a-z][a-z-]*' | LC_ALL=C sort -u
}
# compare WHAT HELP_OPTIONS README_OPTIONS
compare() {
    missing=$(printf '%s\n' "$2" | LC_ALL=C comm -23 - "$3" | tr '\n' ' ')
    extra=$(printf '%s\n' "$2" | LC_ALL=C comm -13 - "$3" | tr '\n' ' ')
    [ -z "${missing% }" ] || fail "$1: the README's synopsis lacks $missing(its --help lists it)"
    [ -z "${extra% }" ] || fail "$1: the README's synopsis names $extra, which its --help does not list"
}

work=$(mktemp -d "${TMPDIR:-/tmp}/dcs-synopses.XXXXXX")
trap 'rm -rf "$work"' EXIT
commands=$("$host" --help | sed -n '/^Subcommands:/,$ s/^  \([a-z][a-z-]*\) .*/\1/p')
[ -n "$commands" ] || fail "dcs-host --help lists no command"
for command in $commands; do
    lines=$(grep -c -e "^\`$command [A-Z]" "$readme")
    if [ "$lines" -ne 1 ]; then
        fail "$command: the README has $lines synopsis lines (a line that starts with \`$command ARGUMENT...\`), not 1"
        continue
    fi
    grep -e "^\`$command [A-Z]" "$readme" | sed 's/^`\([^`]*\)`.*/\1/' | options_of_line >"$work/$command.readme"
    compare "$command" "$("$host" "$command" --help | options_of_help)" "$work/$command.readme"
done
grep -e '^`dcs-host --' "$readme" | sed 's/^`\([^`]*\)`.*/\1/' | options_of_line >"$work/top.readme"
top=$("$host" --help | sed '/^Subcommands:/,$d' | options_of_help)
compare "dcs-host" "$top" "$work/top.readme"

if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed"
    exit 1
fi
echo "the README's synopses name every option of every command, and no other"
