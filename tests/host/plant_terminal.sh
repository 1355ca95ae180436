#!/bin/sh
# The terminal table of the generated plant (bench/plant_case.sh) is for a
# person: at most 40 columns, the changing ones first, and one line saying
# how many were left out and how to choose; the CSV keeps every column, and
# a view of a few columns prints as a small case does. The test command runs
# the whole plant (5,000 of each row) on the optimised build; ctest a small
# one under the sanitizers.
# Usage: plant_terminal.sh DCS_HOST EXAMPLES_DIR [ROWS_OF_EACH_TABLE]
. "$(dirname "$0")/test_lib.sh"
n=${3:-5000}
PLANT_SIZE=$n sh "$(dirname "$0")/../../bench/plant_case.sh" "$work/plant" >/dev/null
columns=$((4 * n + 2))  # SP and OP of each controller, the exports, the imports, the two flags
cd "$work/plant" || exit 1

"$host" run plant.toml --steps 3 --csv run.csv >out.txt 2>err.txt || fail "the run exited $?: $(cat err.txt)"
# Each block's init line holds the step, the status, a cell a column and,
# in the first block, the event.
shown=$(awk '$1 == "init" { n += NF - 2 - ($NF == "initialize") } END { print n + 0 }' out.txt)
[ "$shown" -eq 40 ] || fail "the table shows $shown columns, not 40"
note=$(grep '^Showing ' out.txt)
[ "$(grep -c '^Showing ' out.txt)" -eq 1 ] || fail "not one line says what was left out: $note"
grouped=$(echo "$columns" | sed -e ':a' -e 's/\([0-9]\)\([0-9]\{3\}\)\($\|,\)/\1,\2\3/' -e 'ta')
echo "$note" | grep -q "^Showing 40 of $grouped columns: 40 that change\. Left out: " ||
    fail "the note does not name the columns shown of $grouped: $note"
left=$(echo "$note" | sed -n 's/.*Left out: \([0-9,]*\) changing and \([0-9,]*\) never-changing.*/\1 \2/p' | tr -d ,)
# shellcheck disable=SC2086
set -- $left
[ $# -eq 2 ] && [ $(($1 + $2 + 40)) -eq "$columns" ] ||
    fail "the columns left out ($left) and shown do not add up to $columns: $note"
echo "$note" | grep -q -- '--columns GLOB' || fail "the note does not say how to choose: $note"
[ "$(grep -c '^ step  status' out.txt)" -ge 1 ] || fail "no table header"
# The CSV: the step and status, four fields a controller, one an export and
# an import, the flags and the events.
fields=$(head -1 run.csv | awk -F, '{ print NF }')
[ "$fields" -eq $((2 + 4 * n + 2 * n + 3)) ] || fail "the CSV has $fields columns, not every one"
[ "$(wc -l <run.csv)" -eq 5 ] || fail "the CSV does not have init and 3 steps"

# A few columns picked print as a small case does: those, and no note.
"$host" run plant.toml --steps 3 --columns 'FIC-1 SP' >one.txt 2>err.txt || fail "the run exited $?: $(cat err.txt)"
grep -q '^Showing ' one.txt && fail "a single picked column is noted as a left-out view"
[ "$(awk '$1 == "init" { print NF }' one.txt)" = 4 ] || fail "--columns 'FIC-1 SP' does not show one column"

# Held to its own run as a test's reference, the plant stays in the tube
# (every compared column: the status, four a controller, one an export and
# an import, the flags);
# and matching its tens of thousands of columns by name, every step, costs
# less than a few runs: timed against the run that wrote the CSV, on the
# whole plant only (a small one is all start-up).
now_ms() { echo $(($(date +%s%N) / 1000000)); }
sed -i 's/^steps = .*/steps = 30/' plant.toml
t0=$(now_ms)
"$host" run plant.toml --csv ref.csv >/dev/null 2>err.txt || fail "the run exited $?: $(cat err.txt)"
t1=$(now_ms)
printf '\n[[expect]]\nname = "as run"\nreference = "ref.csv"\n' >>plant.toml
"$host" test plant.toml >test.txt 2>err.txt || fail "the test exited $?: $(cat err.txt) $(tail -2 test.txt)"
t2=$(now_ms)
grep -q ': passed: "as run" (the curves of "ref.csv" at every step): all '"$((6 * n + 3))"' column(s) inside' test.txt ||
    fail "the plant does not hold to its own run: $(grep 'as run' test.txt)"
if [ "$n" -ge 1000 ] && [ $((t2 - t1)) -gt $((5 * (t1 - t0))) ]; then
    fail "the test against the reference took $((t2 - t1)) ms, over 5 times the run's $((t1 - t0)) ms"
fi
echo "run of 30 steps: $((t1 - t0)) ms; test against it: $((t2 - t1)) ms"
finish "plant terminal ($n of each row)"
