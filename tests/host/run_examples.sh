#!/bin/sh
# Runs the built dcs-host on the examples and on a few faulty cases, and
# checks the numbers and messages that matter. Usage: run_examples.sh DCS_HOST EXAMPLES_DIR
. "$(dirname "$0")/test_lib.sh"

# run NAME EXPECTED_STATUS ARGS...: output in $work/NAME.out and .err
run() {
    name=$1
    expected=$2
    shift 2
    "$host" "$@" >"$work/$name.out" 2>"$work/$name.err"
    status=$?
    [ "$status" -eq "$expected" ] || fail "$name: exit status $status, expected $expected"
    if grep -q -e "runtime error" -e "AddressSanitizer" -e "LeakSanitizer" -e "still holds" "$work/$name.err"; then
        fail "$name: sanitizer or leak report"; cat "$work/$name.err"
    fi
}

expect_out() {  # NAME TEXT: the output holds the line part TEXT
    grep -F -q -e "$2" "$work/$1.out" || { fail "$1: output lacks: $2"; }
}

expect_err() {
    grep -F -q -e "$2" "$work/$1.err" || { fail "$1: standard error lacks: $2"; cat "$work/$1.err"; }
}

# csv_value STEP COLUMN: the value of COLUMN in the row of STEP
csv_value() {
    awk -F, -v step="$1" -v column="$2" '
        NR == 1 { for (i = 1; i <= NF; i++) if ($i == column) c = i; next }
        $1 == step && c { print $c }' "$work/plant.csv"
}

expect_csv() {  # STEP COLUMN VALUE
    got=$(csv_value "$1" "$2")
    [ "$got" = "$3" ] || fail "plant step $1 column '$2': got '$got', expected '$3'"
}

# The plant runs clean.
run plant 0 run "$examples/plant/plant.toml" --csv "$work/plant.csv" --plot "$work/plant.svg"
expect_out plant "DCSConfigure configured the link"
expect_out plant "after DCSReset: Enabled 0, Running 0"
expect_csv 1 "FIC-101 OP" 0.5          # AO tag 50 read as OP 0.5
expect_csv 1 "FIC-101 OP changed" 1
expect_csv 1 "TIC-102 OP" 0.6          # AI tag 60
expect_csv 1 "LIC-103 OP" 0.4          # AO tag with a quoted name
expect_csv 1 "HS-104 OP" 1             # DO tag: not scaled
expect_csv 1 "HS-104 SP changed" 0     # no SP tag, no SP stored
expect_csv 8 "FIC-101 OP" 0.7000000000000001  # after set_tag FIC-101.OP = 70: 70 * 0.01, every bit shown
expect_csv 6 "FIC-101 SP" 60
expect_csv 2 "FI-101" 46.25            # 45 + (100 * 0.5 - 45) / 4
expect_csv 1 "PDI-109" 0.35            # 1:1 mapping
expect_csv 1 "FIC-101 mode" 1          # mode tag 0 after initialize, + 1
expect_csv 3 "FIC-101 mode" 3          # mode 2 restored at start, + 1
expect_csv 12 "FIC-101 mode" 1         # captured again at stop
expect_csv 0 Enabled 1
expect_csv 0 Running 0
expect_csv 3 Running 1
expect_csv 11 Running 1
expect_csv 12 Running 0
expect_csv 16 status ok
[ "$(wc -l <"$work/plant.csv")" -eq 18 ] || fail "plant.csv: expected a header and 17 rows"
grep -q '<path class="series"' "$work/plant.svg" && tail -n 1 "$work/plant.svg" | grep -q "</svg>" || fail "plant.svg is no chart"
grep -q -- "-----" "$work/plant.out" || fail "plant: no table"
grep -q " 0\.5\*" "$work/plant.out" || fail "plant: no change mark on the OP"

run plant_steps 0 run "$examples/plant/plant.toml" --steps 2 --columns 'FIC-*' --columns Enabled
expect_out plant_steps " step  status FIC-101 SP  FIC-101 OP  FIC-101 mode     Enabled"
[ "$(grep -c -E '^ +[0-9]+ +ok' "$work/plant_steps.out")" -eq 2 ] || fail "plant --steps 2: expected two steps"
expect_err plant_steps "event at step 3 lies beyond the last step (2)"

run plant_check 0 check "$examples/plant/plant.toml" --all
expect_out plant_check "configured; 16 rows checked, 0 with problems; lint 0 errors, 0 warnings; 0 driver messages"
expect_out plant_check "dry run: initialize and one step ok"
expect_out plant_check 'SP Init Tag "FIC-101.SPINIT": bound AI WriteAI'
expect_out plant_check 'OP Tag "HS-104.CMD": bound DO ReadDO'
expect_out plant_check 'PV Tag "FI-108.PV": unused'
expect_out plant_check 'Running Flag "LINK.RUNNING": bound DI WriteDI'
if grep -q "^problems:" "$work/plant_check.out"; then fail "plant_check: problems reported"; fi

# The README's small case is the one in examples/unit, and runs as written.
awk '/^A complete small case/ { found = 1 } found && /^```toml$/ { on = 1; next } on && /^```$/ { exit } on' \
    "$examples/../README.md" >"$work/readme.toml"
cmp -s "$work/readme.toml" "$examples/unit/unit.toml" || fail "README's small case differs from examples/unit/unit.toml"
awk '/^The small case.s file/ { found = 1 } found && /^```$/ { if (on) exit; on = 1; next } on' \
    "$examples/../README.md" >"$work/readme.mrx"
cmp -s "$work/readme.mrx" "$examples/unit/unit.mrx" || fail "README's initialization string differs from examples/unit/unit.mrx"
run unit 0 run "$examples/unit/unit.toml"
expect_out unit "DCSConfigure configured the link"

# Rows from CSV IO lists (commas; semicolons with decimal commas) run clean,
# after the case's own row.
run iolist 0 run "$examples/iolist/iolist.toml"
expect_out iolist "TI-203      FI-201      TI-202"
expect_out iolist "   5      ok         45*"
run iolist_check 0 check "$examples/iolist/iolist.toml"
expect_out iolist_check "configured; 6 rows checked, 0 with problems"

# The broken case: what the driver says about each mistake.
run broken_check 1 check "$examples/broken/broken.toml"
expect_out broken_check 'DCSConfigure: box "KVMRXNT Error": Unknown tag type 0 encountered when initializing tag lists'
expect_out broken_check 'driver shows: box "MARLIXNT": Incorrect data set or unknown SP tag for controller at index 0'
expect_out broken_check 'SPInit tags must be writable (AI, DI or CALC)'
expect_out broken_check 'Incorrect data set or unknown tag for PV Import at index 0'
expect_out broken_check "NOT configured; 6 rows checked, 2 with problems"
expect_out broken_check '[token-before-header] token "BROKEN UNIT TAG LIST"'

# The crude unit: every planted mistake in one run, and the JSON written.
run crude_check 1 check "$examples/crude/crude.toml" --json "$work/crude.json"
expect_out crude_check "NOT configured; 31 rows checked, 16 with problems; lint 1 error, 3 warnings; 2 driver messages; 1 root cause(s)"
# The early end explains the rows naming tags after it, and the carriage
# returns past it follow from it.
expect_out crude_check "lines 60 to 65: error [parse-ends-early]"
expect_out crude_check "explains 3 row verdict(s); 1 lint finding(s) inside these lines follow from it: [carriage-return] line 63"
expect_out crude_check 'PV Tag "LI-121.PV": problem [not-in-catalogue] - the parse ended early at line 60'
expect_out crude_check 'did you mean: "FIC-106.SP" (AI, data set 1)'
expect_out crude_check 'PV Tag "FI-108.PV": problem [other-data-set]'
expect_out crude_check "the driver's configuration stops at controller 7 (FIC-108)"
for code in not-in-catalogue other-data-set kind-not-allowed dcd-not-readable near-miss missing-text \
            token-before-header header-swallowed parse-ends-early data-set-not-decimal duplicate-name carriage-return; do
    expect_out crude_check "[$code]"
done
# 16 row problems, the header-swallowed error and the root cause (the carriage returns follow from it)
[ -s "$work/crude.json" ] && grep -q '"problems": 18' "$work/crude.json" || fail "crude_check: JSON not written or wrong count"
run crude_json_dir 2 check "$examples/crude/crude.toml" --json "$work/no/such/dir/crude.json"

run broken_run 1 run "$examples/broken/broken.toml"
expect_out broken_run "did not configure the link; no steps run"
expect_err broken_run "Incorrect data set or unknown tag for PV Import at index 0"  # boxes show as they happen

# Faults of the case file: named with their line, and the driver never configured.
cp "$examples/plant/plant.mrx" "$work/plant.mrx"
printf 'init_string = "plant.mrx"\n[[controller]]\n"OP Tag" = "FIC-101.OP"\n"SP Tagg" = "FIC-101.SP"\n' >"$work/label.toml"
run label 2 check "$work/label.toml"
expect_err label "label.toml:4:13: controller 0: no field \"SP Tagg\" is declared for controller rows"
if grep -q "configuration" "$work/label.out"; then fail "label: the driver was configured"; fi

# Three typos, three keys named in one run: the host's own and the driver's labels.
printf 'init_string = "plant.mrx"\nstep = 3\n[general]\n"Enable Flag" = "LINK.ENABLED"\n[[controller]]\n"OP Tag" = "FIC-101.OP"\n"SP tag" = "FIC-101.SP"\n' >"$work/typos.toml"
run typos 2 check "$work/typos.toml"
expect_err typos 'unknown key "step"; did you mean "steps"?'
expect_err typos 'general: no field "Enable Flag" is declared for the general data'
expect_err typos 'did you mean "Enabled Flag"?'
expect_err typos 'controller 0: no field "SP tag" is declared for controller rows'
expect_err typos 'did you mean "SP Tag"?'

printf 'init_string = "plant.mrx"\n[[pv_import]]\n"PV Tag" = "X"\nMapping = "2:1"\n' >"$work/option.toml"
run option 2 run "$work/option.toml"
expect_err option "option.toml:4:11: pv_import 0: field \"Mapping\" takes one of \"1:1\", \"Controller Mode\", not \"2:1\""

printf 'init_string = "plant.mrx"\n\n[general\n' >"$work/syntax.toml"
run syntax 2 run "$work/syntax.toml"
expect_err syntax "syntax.toml:3:"

run missing 2 run "$work/none.toml"
expect_err missing "cannot read the case file \"$work/none.toml\": No such file or directory"
run no_driver 2 run "$examples/plant/plant.toml" --driver "$work/libnone.so"
expect_err no_driver "cannot read the driver \"$work/libnone.so\": No such file or directory"
# The table fits the width asked for, in blocks that each repeat the step.
COLUMNS=60 run narrow 0 run "$examples/plant/plant.toml" --steps 1
[ "$(awk '/^[ -]/ { if (length($0) > 60 && $0 !~ /initialize$/) n++ } END { print n + 0 }' "$work/narrow.out")" -eq 0 ] ||
    fail "narrow: lines wider than COLUMNS=60"
[ "$(grep -c '^ step  status' "$work/narrow.out")" -gt 3 ] || fail "narrow: expected several blocks"
run no_column 2 run "$examples/plant/plant.toml" --columns 'PIC-*'
expect_err no_column '--columns "PIC-*" matches no column'
run plot_name 2 run "$examples/plant/plant.toml" --plot "$work/plant.png"
expect_err plot_name "expected a name ending in .svg"
[ ! -e "$work/plant.png" ] || fail "plot_name: a chart was written under a name that is not .svg"

# IO lists from a spreadsheet, semicolons and all, give the same run as TOML rows.
mkdir -p "$work/csv/io"
cp "$examples/plant/plant.mrx" "$work/csv/"
printf '\357\273\277name;Data Set;SP Tag;OP Tag;OP Init Tag;SP;OP;;\r\n"FIC-101";1;FIC-101.SP;FIC-101.OP;FIC-101.OPINIT;48;0,45;;\r\n;;;;;;;;\r\n' \
    >"$work/csv/io/controllers.csv"
printf 'name,PV Tag,follows,gain,time_constant,initial\n"FI-101","FI-101.PV",0,100,4,45\n' >"$work/csv/io/pv.csv"
printf 'init_string = "plant.mrx"\ncontrollers = "io/controllers.csv"\npv_exports = "io/pv.csv"\n[[tag]]\nkind = "AI"\nname = "FIC-101.SP"\nvalue = 50.0\n[[tag]]\nkind = "AO"\nname = "FIC-101.OP"\nvalue = 50.0\n' \
    >"$work/csv/case.toml"
run csv_lists 0 run "$work/csv/case.toml" --steps 2 --csv "$work/plant.csv"
expect_csv 2 "FI-101" 46.25
expect_csv 1 "FIC-101 OP" 0.5
printf 'name;SP Tag\r\nFIC-101;"FIC-101.SP\r\n' >"$work/csv/io/controllers.csv"
run csv_fault 2 run "$work/csv/case.toml"
expect_err csv_fault "io/controllers.csv:2:9: expected a closing quote for the field opened here"

# A tag the driver reads but the case gives no value: named as the case's gap.
mkdir -p "$work/gap"
cp "$examples/unit/unit.mrx" "$work/gap/"
awk 'BEGIN { RS = ""; ORS = "\n\n" } !/name = "FIC-1.SP"/' "$examples/unit/unit.toml" >"$work/gap/unit.toml"
run gap_run 1 run "$work/gap/unit.toml" --steps 2
expect_err gap_run 'step 1: the case gives the tag server no value for AI tag "FIC-1.SP" (data set 1)'
expect_err gap_run 'add a [[tag]] table with kind = "AI", name = "FIC-1.SP", value = 0.0'
# The check calls it a gap of the case beside a bound verdict, not a problem
# of the link: it finds nothing else, so it exits 0.
run gap_check 0 check "$work/gap/unit.toml" --problems-csv "$work/gap/problems.csv" --json "$work/gap/check.json"
expect_out gap_check '0 with problems'
expect_out gap_check '; 1 case gap'
expect_out gap_check 'SP Tag "FIC-1.SP": bound AI ReadAI [no-tag-value] - the case gives the simulated tag server no value'
if grep -q 'no-tag-value' "$work/gap/problems.csv"; then fail "gap_check: a gap is listed as a problem"; fi
python3 - "$work/gap/check.json" <<'PY' || fail "gap_check: the JSON does not carry the gap"
import json, sys
d = json.load(open(sys.argv[1], encoding="utf-8"))
sp = [t for r in d["rows"] if r["table"] == "controller" for t in r["tags"] if t["field"] == "SP Tag"][0]
assert (d["problems"], d["gaps"], sp["status"], sp["code"]) == (0, 1, "bound", None), (d["problems"], d["gaps"], sp)
assert sp["gap"] == {"code": "no-tag-value", "add": 'a [[tag]] table with kind = "AI", name = "FIC-1.SP", value = 0.0',
                     "text": sp["gap"]["text"]}, sp["gap"]
PY

run bad_steps 2 run "$examples/plant/plant.toml" --steps ten
run usage 2 frobnicate

finish "host end-to-end"
