#!/bin/sh
# The kits' README.txt files and README.md name exactly the verdicts,
# problem codes and lint codes dcs-host can give, as the tool itself lists
# them (dcs-host --list-codes, from the check's own tables), and the kits'
# files say what the tool does today.
# Usage: docs_codes.sh DCS_HOST SOURCE_DIR
set -u
host=$1
root=$2
work=$(mktemp -d "${TMPDIR:-/tmp}/dcs-docs.XXXXXX")
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

"$host" --list-codes >"$work/codes" || fail "dcs-host --list-codes failed"
[ -s "$work/codes" ] || fail "dcs-host --list-codes printed nothing"
for kind in verdict problem lint conflict gap; do
    sed -n "s/^$kind //p" "$work/codes" | LC_ALL=C sort >"$work/tool.$kind"
done

# compare DOC KIND FILE: the codes FILE lists for KIND equal the tool's
compare() {
    LC_ALL=C sort -u "$3" >"$3.sorted"
    missing=$(LC_ALL=C comm -23 "$work/tool.$2" "$3.sorted" | tr '\n' ' ')
    extra=$(LC_ALL=C comm -13 "$work/tool.$2" "$3.sorted" | tr '\n' ' ')
    [ -z "$missing" ] || fail "$1 lacks the $2 code(s): $missing"
    [ -z "$extra" ] || fail "$1 names $2 code(s) the tool does not have: $extra"
}

# A kit's README: each section lists one code a line, indented by two.
for doc in README-windows.txt README-linux.txt; do
    file=$root/kit/$doc
    for section in "Verdicts:verdict" "Problem codes:problem" "Lint codes:lint" "Conflict codes:conflict" "Gap codes:gap"; do
        title=${section%%:*}
        kind=${section#*:}
        awk -v title="$title" '
            index($0, title) == 1 { on = 1; next }
            on && /^[A-Z]/ && !/^-/ { on = 0 }
            on && /^  [a-z][a-z-]*  / { print $1 }' "$file" >"$work/$doc.$kind"
        compare "kit/$doc" "$kind" "$work/$doc.$kind"
    done
    for text in --json --html --csv --plot --code-page code_page "IO list" UTF-8; do
        grep -F -q -e "$text" "$file" || fail "kit/$doc does not mention $text"
    done
    for old in "not bound" "(no tag)" "result: ok" "result: FAILED"; do
        if grep -F -q -e "$old" "$file"; then fail "kit/$doc names \"$old\", which the tool no longer prints"; fi
    done
    for example in "$root"/examples/*/; do
        name=$(basename "$example")
        grep -q -w -e "$name" "$file" || fail "kit/$doc does not name the example $name"
    done
done

# README.md: the verdict, problem code and lint code tables, one code a row.
for section in "| Verdict |:verdict" "| Problem code |:problem" "| Lint code |:lint" "| Conflict code |:conflict" "| Gap code |:gap"; do
    title=${section%%:*}
    kind=${section#*:}
    awk -v title="$title" '
        index($0, title) == 1 { on = 1; next }
        on && !/^\|/ { on = 0 }
        on && /^\| `[a-z-]*` \|/ { split($0, f, "`"); print f[2] }' "$root/README.md" >"$work/readme.$kind"
    compare README.md "$kind" "$work/readme.$kind"
done

if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed"
    exit 1
fi
echo "the documentation names every code the tool gives, and no other"
