#!/bin/sh
# Every file dcs-host reads or writes, under names in several scripts: a
# folder, a case, its initialization string and IO list, and every output,
# all named alike. Each must be found and written under exactly the name the
# user gave, nothing else may appear, and the messages name the paths as
# typed. Runs the Linux build, and the Windows build under Wine (short).
# Usage: path_names.sh DCS_HOST [LAUNCHER...]   (e.g. win-run.sh for Wine)
set -u
host=$1
shift
work=$(mktemp -d "${TMPDIR:-/tmp}/dcs-names.XXXXXX")
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

cd "$work" || exit 1
# name | what it tries
for name in "Jörg Müller" "Ελληνικά" "漢字テスト" "two  blanks" "-leading dash"; do
    mkdir -p -- "$name"
    printf '*AI*\nFI-1.PV,-,1,0,100\n*DI*\nLINK.ENABLED,-,1\n*AO*\nFIC-1.OP,-,1,0,100\n*CALC*\nFIC-1.OPINIT,-,1\n' \
        >"$name/$name.mrx"
    printf 'name,OP Tag,OP Init Tag\n%s,FIC-1.OP,FIC-1.OPINIT\n' "$name" >"$name/$name.csv"
    cat >"$name/$name.toml" <<TOML
init_string = "$name.mrx"
controllers = "$name.csv"
steps = 3
[[tag]]
kind = "AO"
name = "FIC-1.OP"
value = 40.0
[general]
"Enabled Flag" = "LINK.ENABLED"
[[pv_export]]
name = "$name"
"PV Tag" = "FI-1.PV"
value = 1.0
TOML
    # "./" keeps a name with a leading dash from reading as an option.
    dir="./$name"
    "$@" "$host" run "$dir/$name.toml" --csv "$dir/out $name.csv" --plot "$dir/$name.svg" \
        --html "$dir/$name.html" >"$work/run.out" 2>"$work/run.err" ||
        { fail "$name: run failed"; cat "$work/run.err"; }
    "$@" "$host" check "$dir/$name.toml" --json "$dir/$name.json" >"$work/check.out" 2>"$work/check.err" ||
        { fail "$name: check failed"; cat "$work/check.err"; }
    grep -F -q "check $dir/$name.toml" "$work/check.out" || fail "$name: check does not name the case as typed"
    grep -F -q "\"$name\"" "$dir/$name.json" || fail "$name: the JSON does not hold the row's name"
    expected=$(printf '%s\n' "$name.csv" "$name.html" "$name.json" "$name.mrx" "$name.svg" "$name.toml" \
        "out $name.csv" | LC_ALL=C sort)
    got=$(ls -A -- "$name" | LC_ALL=C sort)
    [ "$got" = "$expected" ] || fail "$name: the folder holds [$(echo $got)], expected [$(echo $expected)]"
done
# A path that does not exist is named as typed.
"$@" "$host" check "./Jörg Müller/none.toml" >/dev/null 2>"$work/none.err"
grep -F -q '"./Jörg Müller/none.toml"' "$work/none.err" || { fail "missing case not named as typed"; cat "$work/none.err"; }

if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed"
    exit 1
fi
echo "every name read and written as given"
