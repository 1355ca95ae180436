#!/bin/sh
# Every dcs-host command with its main options, on every example and on a
# small generated plant: standard output, standard error, the exit status
# and every file written, compared byte for byte with the recorded set in
# tests/host/golden/. What differs from run to run (the work folder, the
# trace's times, process ids and durations) is masked first.
#
# Usage: golden_outputs.sh [--refresh] DCS_HOST
#   --refresh  write the outputs as the new recorded set (after a change
#              meant to alter them; review `git diff tests/host/golden`)
# On a difference the new outputs are left in $GOLDEN_KEEP (default:
# ./golden-actual), and `diff -r tests/host/golden ./golden-actual` shows
# every one. A file above 32 KB is recorded as its hash and size (FILE.sha256)
# and left whole in $GOLDEN_KEEP.large.
set -u
refresh=0
if [ "${1:-}" = "--refresh" ]; then
    refresh=1
    shift
fi
[ $# -eq 1 ] || { echo "usage: $0 [--refresh] DCS_HOST" >&2; exit 2; }
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
host=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
# The build tree, where the default driver is.
build=$(dirname "$(dirname "$host")")
golden=$here/golden
keep=${GOLDEN_KEEP:-$(pwd)/golden-actual}
work=$(mktemp -d "${TMPDIR:-/tmp}/dcs-golden.XXXXXX")
trap 'rm -rf "$work"' EXIT
export ASAN_OPTIONS="${ASAN_OPTIONS:-}:exitcode=86"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-}:exitcode=87"
# Fixed terminal width and language, whatever the caller's.
export COLUMNS=100 LC_ALL=C.UTF-8
unset NO_COLOR MRX3P_TRACE 2>/dev/null

# The inputs, under one folder with short names: the examples, and a plant
# of a few controllers, PV exports and PV imports made as the big one is.
cd "$work" || exit 1
cp -r "$root/examples" ex
PLANT_SIZE=4 sh "$root/bench/plant_case.sh" ex/gen >/dev/null
sed -e "s/^steps = 100$/steps = 12/" ex/gen/plant.toml >ex/gen/gen.toml && rm ex/gen/plant.toml
sed -e 's/^FI-101.PV,-,1,0,200$//' -e 's/^XV-202,/XV-299,/' ex/plant/plant.mrx >ex/plant/changed.mrx
mkdir raw steady

# One invocation per line: NAME, then dcs-host's arguments (split as the
# shell splits words). Outputs go into o/, collected as NAME's files; a
# later line reaches an earlier one's files as raw/NAME/files/, and a trace
# T.jsonl it wrote, with steady times, as steady/T-NAME.jsonl.
invocations() {
    cat <<'LIST'
no-command
help --help
version --version
version-run-driver --version run ex/unit/unit.toml --driver ex/unit/unit.toml
list-codes --list-codes
help-run run --help
help-check check --help
help-tags tags --help
help-diff diff --help
help-map map --help
help-export export --help
help-trace trace --help
help-test test --help
test-examples test ex --junit o/test.xml --json o/test.json
LIST
    for c in unit plant iolist broken crude gen; do
        toml=ex/$c/$c.toml
        cat <<LIST
run-$c run $toml --csv o/$c.csv --plot o/$c.svg --html o/$c.html
run-$c-steps run $toml --steps 3 --plot-constant --columns * --plot o/$c.svg
run-$c-trace run $toml --trace o/$c.jsonl --trace-level all
run-$c-replay run $toml --replay raw/run-$c-trace/files/$c.jsonl
check-$c check $toml --json o/$c.json --html o/$c.html --problems-csv o/$c.csv
check-$c-all check $toml --all --code-page 1252
check-$c-live check $toml --trace raw/run-$c-trace/files/$c.jsonl
tags-$c tags $toml --json o/$c.json --csv o/$c.csv
tags-$c-unused tags $toml --unused $toml --kind AI --kind DI
diff-$c diff $toml ex/plant/changed.mrx --case $toml --json o/$c.json --html o/$c.html
map-$c map $toml --out o/map
map-$c-case map $toml --out o/map --case $toml --conventions ex/map/conventions.txt
export-$c export $toml --out o/export
export-$c-semicolon export $toml --out o/export --separator ; --decimal-mark , --no-bom
trace-$c trace steady/$c-run-$c-trace.jsonl --json o/$c.json --html o/$c.html --tags * --init-string o/init.txt
LIST
    done
    cat <<'LIST'
run-plant-changes run ex/plant/plant.toml --trace o/plant.jsonl
run-plant-failures run ex/plant/plant.toml --trace o/plant.jsonl --trace-level failures
trace-plant-changes trace steady/plant-run-plant-changes.jsonl --tags FIC-10[12].*
tags-plant-trace tags steady/plant-run-plant-changes.jsonl --fetch 1
tags-plant-trace-no-fetch tags steady/plant-run-plant-changes.jsonl --fetch 2
check-plant-trace-string check ex/plant/plant.toml --init-string steady/plant-run-plant-changes.jsonl --fetch 1
diff-plant-trace diff steady/plant-run-plant-changes.jsonl ex/plant/changed.mrx --old-fetch 1 --case ex/plant/plant.toml
run-plant-init-string run ex/plant/plant.toml --init-string ex/plant/changed.mrx --steps 2
tags-plant-match tags ex/plant/plant.mrx --match FIC-10?.OP* --data-set 1
diff-plant-same diff ex/plant/plant.mrx ex/plant/plant.mrx
run-missing run ex/missing.toml
check-bad-code-page check ex/plant/plant.toml --code-page 9999
tags-bad-kind tags ex/plant/plant.mrx --kind XX
export-refused export ex/plant/plant.toml --out o/export --decimal-mark ,
unknown-command frobnicate
LIST
}

# Masks what differs between runs in one file: the work and build folders,
# in a trace the start time, process id, times and durations, and the
# times of test's results.
normalise() {
    perl -pi -e '
        s#\Q'"$work"'\E#<work>#g; s#\Q'"$build"'\E#<build>#g;
        s#\.[0-9]+\.tracing#.<pid>.tracing#g;
        if ($ARGV =~ /test\.xml$/) { s/ time="[0-9.]+"/ time="<t>"/g; }
        if ($ARGV =~ /test\.json$/) { s/"seconds": [0-9.e+-]+/"seconds": "<t>"/g; }
        if ($ARGV =~ /\.jsonl$/) {
            s/"start_utc":"[^"]*"/"start_utc":"<time>"/;
            s/"(pid|t_us|dur_ns|timer_resolution_ns|median|p99|max)":[0-9]+/"$1":"<n>"/g;
        }' "$1"
}

# A trace with fixed times and durations in place of the measured ones, for
# the trace command to read: its summary then comes out the same each run.
steady_trace() {  # TRACE COPY
    perl -pe '
        my ($seq) = /"seq":([0-9]+)/;
        $seq //= 0;
        s/"start_utc":"[^"]*"/"start_utc":"2026-01-01T00:00:00.000000Z"/;
        s/"pid":[0-9]+/"pid":4242/;
        s/"timer_resolution_ns":[0-9]+/"timer_resolution_ns":1/;
        s/"t_us":[0-9]+/"t_us":@{[$seq * 25]}/;
        s/"dur_ns":[0-9]+/"dur_ns":@{[300 + ($seq * 37) % 500]}/g;
        s/"median":[0-9]+/"median":400/g; s/"p99":[0-9]+/"p99":700/g; s/"max":[0-9]+/"max":800/g;
    ' "$1" >"$2"
}

invocations | while read -r name args; do
    rm -rf o && mkdir o
    # shellcheck disable=SC2086  # the arguments split as written
    (set -f; exec "$host" $args) >"raw/out" 2>"raw/err" </dev/null
    status=$?
    dir=raw/$name
    mkdir -p "$dir"
    echo "dcs-host $args" >"$dir/command"
    echo "$status" >"$dir/status"
    [ -s raw/out ] && mv raw/out "$dir/stdout"
    [ -s raw/err ] && mv raw/err "$dir/stderr"
    rm -f raw/out raw/err
    [ -n "$(ls -A o)" ] && cp -r o "$dir/files"
    for trace in o/*.jsonl; do
        [ -f "$trace" ] && steady_trace "$trace" "steady/$(basename "$trace" .jsonl)-$name.jsonl"
    done
done

# The masked copy that is compared or recorded.
rm -rf "$keep" && mkdir -p "$keep" && cp -r raw/. "$keep/"
find "$keep" -type f | while read -r f; do normalise "$f"; done
# A file above 32 KB is recorded as its hash and size, to keep the set
# small; the file itself is left in $keep.large for a look.
rm -rf "$keep.large"
find "$keep" -type f -size +32k | while read -r f; do
    printf '%s %s bytes\n' "$(sha256sum <"$f" | cut -d' ' -f1)" "$(wc -c <"$f")" >"$f.sha256"
    mkdir -p "$(dirname "$keep.large/${f#"$keep"/}")" && mv "$f" "$keep.large/${f#"$keep"/}"
done

if [ "$refresh" -eq 1 ]; then
    rm -rf "$golden" && cp -r "$keep" "$golden" && rm -rf "$keep" "$keep.large"
    echo "recorded $(ls "$golden" | wc -l) invocations in $golden"
    exit 0
fi
if diff -r "$golden" "$keep" >"$work/diff"; then
    rm -rf "$keep" "$keep.large"
    echo "all $(ls "$golden" | wc -l) invocations give their recorded outputs"
    exit 0
fi
head -200 "$work/diff"
echo "FAIL: outputs differ from the recorded set; every difference: diff -r $golden $keep"
echo "a FILE.sha256 stands for a file above 32 KB: the new one is in $keep.large; the recorded one comes"
echo "from running this script at the recorded commit with GOLDEN_KEEP=DIR"
echo "when the change is meant: $0 --refresh $1, and review git diff tests/host/golden"
exit 1
