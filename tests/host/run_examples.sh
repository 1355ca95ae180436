#!/bin/sh
# Runs the built dcs-host on the examples and on a few faulty cases, and
# checks the numbers and messages that matter. Usage: run_examples.sh DCS_HOST EXAMPLES_DIR
set -u
host=$1
examples=$2
work=$(mktemp -d "${TMPDIR:-/tmp}/dcs-host-e2e.XXXXXX")
trap 'rm -rf "$work"' EXIT
# A sanitizer report must not pass for the exit status 1 of a failed case.
export ASAN_OPTIONS="${ASAN_OPTIONS:-}:exitcode=86"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-}:exitcode=87"
failures=0

fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

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
grep -q "<polyline" "$work/plant.svg" && tail -n 1 "$work/plant.svg" | grep -q "</svg>" || fail "plant.svg is no chart"
grep -q -- "-----" "$work/plant.out" || fail "plant: no table"
grep -q "0\.500\*" "$work/plant.out" || fail "plant: no change mark on the OP"

run plant_steps 0 run "$examples/plant/plant.toml" --steps 2
[ "$(grep -c -E '^ +[0-9]+ +ok' "$work/plant_steps.out")" -eq 2 ] || fail "plant --steps 2: expected two steps"
expect_err plant_steps "event at step 3 lies beyond the last step (2)"

run plant_check 0 check "$examples/plant/plant.toml"
expect_out plant_check "configuration: configured (DCSConfigure returned 1)"
expect_out plant_check "controller 0 (FIC-101): SP FIC-101.SP ReadAI, SP Init FIC-101.SPINIT WriteAI, OP FIC-101.OP ReadAO, OP Init FIC-101.OPINIT WriteAI, Mode FIC-101.MODE WriteDI"
expect_out plant_check "controller 1 (TIC-102): SP TIC-102.SP ReadCALC, SP Init TIC-102.SPINIT WriteCALC, OP TIC-102.OP ReadAI, OP Init TIC-102.OPINIT WriteCALC"
expect_out plant_check "controller 3 (HS-104): SP (no tag), SP Init (no tag), OP HS-104.CMD ReadDO, OP Init HS-104.CMDINIT WriteDI, Mode (no tag)"
expect_out plant_check "pv_export 1 (TI-102): PV TI-102.PV WriteCALC"
expect_out plant_check "pv_export 4 (PUMP RUN): PV FEED PUMP.RUN WriteDI"
expect_out plant_check "pv_export 7 (FI-108): PV FI-108.PV not used (Active 0)"
expect_out plant_check "pv_import 0 (FIC-101 mode): PV FIC-101.MODE ReadDI"
expect_out plant_check "pv_import 2 (XS-110): PV XS-110.STATE ReadDO"
expect_out plant_check "general: Enabled Flag LINK.ENABLED WriteDI, Running Flag LINK.RUNNING WriteDI"
expect_out plant_check "result: ok"
if grep -q "messages during" "$work/plant_check.out"; then fail "plant_check: the driver raised messages"; fi

# The broken case: what the driver says about each mistake.
run broken_check 1 check "$examples/broken/broken.toml"
expect_out broken_check 'box "KVMRXNT Error": Unknown tag type 0 encountered when initializing tag lists'
expect_out broken_check 'box "MARLIXNT": Incorrect data set or unknown SP tag for controller at index 0'
expect_out broken_check 'box "MARLIXNT": Incorrect data set or unknown SPInit tag for controller at index 0'
expect_out broken_check 'SPInit tags must be writable (AI, DI or CALC)'
expect_out broken_check 'box "MARLIXNT": Incorrect data set or unknown mode tag for controller at index 0'
expect_out broken_check 'box "MARLIXNT": Incorrect data set or unknown tag for PV Import at index 0'
expect_out broken_check "configuration: not configured (DCSConfigure returned 0)"
expect_out broken_check "pv_import 0 (PI-299): PV PI-299.PV not bound"
expect_out broken_check "result: FAILED"

run broken_run 1 run "$examples/broken/broken.toml"
expect_out broken_run "did not configure the link; no steps run"
expect_err broken_run "Incorrect data set or unknown tag for PV Import at index 0"  # boxes show as they happen

# Faults of the case file: named with their line, and the driver never configured.
cp "$examples/plant/plant.mrx" "$work/plant.mrx"
printf 'init_string = "plant.mrx"\n[[controller]]\n"OP Tag" = "FIC-101.OP"\n"SP Tagg" = "FIC-101.SP"\n' >"$work/label.toml"
run label 2 check "$work/label.toml"
expect_err label "label.toml:4: controller 0: no field \"SP Tagg\" is declared for controller rows"
if grep -q "configuration" "$work/label.out"; then fail "label: the driver was configured"; fi

printf 'init_string = "plant.mrx"\n[[pv_import]]\n"PV Tag" = "X"\nMapping = "2:1"\n' >"$work/option.toml"
run option 2 run "$work/option.toml"
expect_err option "option.toml:4: pv_import 0: field \"Mapping\" takes one of \"1:1\", \"Controller Mode\", not \"2:1\""

printf 'init_string = "plant.mrx"\n\n[general\n' >"$work/syntax.toml"
run syntax 2 run "$work/syntax.toml"
expect_err syntax "syntax.toml:3:"

run missing 2 run "$work/none.toml"
expect_err missing "none.toml: cannot open the case file"
run no_driver 2 run "$examples/plant/plant.toml" --driver "$work/libnone.so"
expect_err no_driver "cannot load the driver"
run bad_steps 2 run "$examples/plant/plant.toml" --steps ten
run usage 2 frobnicate

if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed"
    exit 1
fi
echo "all host end-to-end checks passed"
