#!/bin/sh
# dcs-host test on the examples, on a case whose expectations fail and on
# one that cannot be read: the exit statuses, the lines a user sees, and the
# JUnit XML read back by an independent reader (junitparser where installed,
# else Python's own XML parser) against the JSON of the same run. And run
# --compare against a reference run.
# Usage: test_command.sh DCS_HOST EXAMPLES_DIR
. "$(dirname "$0")/test_lib.sh"

run() {  # NAME EXPECTED_STATUS ARGS...
    name=$1
    expected=$2
    shift 2
    "$host" "$@" >"$work/$name.out" 2>"$work/$name.err"
    status=$?
    [ "$status" -eq "$expected" ] || { fail "$name: exit status $status, expected $expected"; cat "$work/$name.err"; }
}

expect_out() {  # NAME TEXT
    grep -F -q -e "$2" "$work/$1.out" || fail "$1: output lacks: $2"
}

# read_back NAME TESTS FAILURES ERRORS: the JUnit file against the JSON
read_back() {
    # Debian's python3, which sees Debian's python3-junitparser.
    /usr/bin/python3 - "$work/$1.xml" "$work/$1.json" "$2" "$3" "$4" <<'PY' || fail "$1: the JUnit XML does not read back"
import json, sys
xml_path, json_path = sys.argv[1], sys.argv[2]
tests, failures, errors = map(int, sys.argv[3:6])
results = json.load(open(json_path, encoding="utf-8"))
assert (results["format"], results["version"]) == ("dcs-host-test-results", 1), results["format"]
try:
    from junitparser import JUnitXml, Failure, Error
    suites = list(JUnitXml.fromfile(xml_path))
    got = [(s.name, [(c.name, [type(r).__name__.lower() for r in c.result]) for c in s]) for s in suites]
except ImportError:
    import xml.etree.ElementTree as ET
    root = ET.parse(xml_path).getroot()
    assert root.tag == "testsuites"
    assert (int(root.get("tests")), int(root.get("failures")), int(root.get("errors"))) == (tests, failures, errors), root.attrib
    got = [(s.get("name"), [(c.get("name"), [r.tag for r in c if r.tag in ("failure", "error")]) for c in s.iter("testcase")])
           for s in root.iter("testsuite")]
    for s in root.iter("testsuite"):
        props = {p.get("name"): p.get("value") for p in s.iter("property")}
        assert props == {"format": "dcs-host-test-results-junit", "version": "1"}, props
        float(s.get("time"))
        for c in s.iter("testcase"):
            float(c.get("time"))
want = []
for case in results["cases"]:
    cases = [("the case is read and run", ["error"])] if case["status"] == "error" else []
    cases += [(e["name"], [] if e["passed"] else ["failure"]) for e in case["expectations"]]
    want.append((case["file"], cases))
assert got == want, (got, want)
flat = [r for _, cases in got for _, rs in cases for r in rs]
assert (sum(len(c) for _, c in got), flat.count("failure"), flat.count("error")) == (tests, failures, errors)
PY
}

# The examples hold what they do today.
cd "$examples/.." || exit 1
run examples 0 test examples --junit "$work/examples.xml" --json "$work/examples.json" --html "$work/examples.html"
expect_out examples 'examples/plant/plant.toml:235: passed: "an AO OP tag of 50 reads as 0.5" (controller FIC-101 OP at step 1): 0.5'
expect_out examples 'examples/broken/broken.toml: 8 expectation(s), 8 passed, 0 failed'
expect_out examples '5 case(s), 36 expectation(s): 36 passed, 0 failed'
read_back examples 36 0 0
[ "$(grep -c '<tr class="passed">' "$work/examples.html")" -eq 36 ] || fail "examples: the page lacks a row per expectation"
grep -q '<p id="totals">5 case(s), 36 expectation(s): 36 passed, 0 failed</p>' "$work/examples.html" ||
    fail "examples: the page lacks the totals"

# A changed gain and an exact comparison fail, each with what it saw and when;
# the gain leaves the tube around the recorded run too.
mkdir -p "$work/cases"
cp "$examples/plant/plant.mrx" "$examples/plant/plant-reference.csv" "$work/cases/"
sed -e 's/^gain = 100.0$/gain = 120.0/' -e 's/^tolerance = 1e-12$//' "$examples/plant/plant.toml" >"$work/cases/plant.toml"
printf 'init_string = "plant.mrx"\n[[expect]]\nstep = 1\ncontroller = "FIC-101"\nfield = "OP"\nvalue = 1\n' \
    >"$work/cases/typo.toml"
run failing 2 test "$work/cases" --junit "$work/failing.xml" --json "$work/failing.json" --html "$work/failing.html"
[ "$(grep -c '<tr class="failed">' "$work/failing.html")" -eq 3 ] || fail "failing: the page does not mark the 3 failures"
grep -q '<h2 class="error">' "$work/failing.html" || fail "failing: the page does not mark the case that could not be tested"
expect_out failing "plant.toml:262: FAILED: \"an OP tag of 70 reads as 0.7\" (controller 0 OP at step 8): expected 0.7, actual 0.7000000000000001 (off by 1.1102230246251565e-16)"
expect_out failing "plant.toml:289: FAILED: \"the flow follows the valve\" (AI tag \"FI-101.PV\" at step 16): expected from 65 to 70, actual 81.42690591118298"
expect_out failing "typo.toml: cannot be tested: $work/cases/typo.toml:4:14: expect 0: the case has no controller named \"FIC-101\""
expect_out failing "plant.toml:317: FAILED: \"every curve as recorded\" (the curves of \"plant-reference.csv\" at every step): expected inside the tube: ± 1e-09, 0 step(s) either side, actual FI-101 was 47.25, the reference 45; its largest deviation 13.495981517015025 at step 16, at step 1"
expect_out failing "2 case(s), 20 expectation(s): 17 passed, 3 failed; 1 case(s) could not be tested"
read_back failing 21 3 1
run failing_only 1 test "$work/cases/plant.toml"
printf 'init_string = "plant.mrx"\n[[expect]]\nwhen = "configure"\nconfigured = true\nvaule = 1\n' >"$work/typo_key.toml"
cp "$examples/plant/plant.mrx" "$work/"
run typo_key 2 test "$work/typo_key.toml"
expect_out typo_key 'typo_key.toml:5:1: expect 0: unknown key "vaule"; did you mean "value"?'


# run --compare: the same case stays in the tube around its reference run; a
# changed gain leaves it, named by its column, first step and largest deviation.
run reference 0 run "$examples/plant/plant.toml" --csv "$work/reference.csv"
run same 0 run "$examples/plant/plant.toml" --compare "$work/reference.csv"
expect_out same "30 of 30 column(s) inside the tube over 17 step(s)"
run gain 1 run "$work/cases/plant.toml" --compare "$work/reference.csv" --tolerance 0.5 --time-tolerance 1
expect_out gain "FI-101: outside the tube from step 1 (47.25, the reference 45), at 16 step(s); largest deviation 13.495981517015025 at step 16"
expect_out gain "29 of 30 column(s) inside the tube"
run gain_wide 0 run "$work/cases/plant.toml" --compare "$work/reference.csv" --rel-tolerance 0.25
run short 1 run "$examples/plant/plant.toml" --compare "$work/reference.csv" --steps 3
expect_out short "the reference runs to step 16, this run to step 3"
run no_reference 2 run "$examples/plant/plant.toml" --compare "$work/none.csv"

# A reference run in the case: `test` takes the link through the same steps
# as `run`, so every example that configures holds exactly to the CSV its own run
# wrote (change marks and statuses included); the changed gain leaves the tube.
for example in unit plant iolist; do  # (the broken ones do not configure: no CSV)
    mkdir -p "$work/ref"
    cp -r "$examples/$example" "$work/ref/"
    run "ref_csv_$example" 0 run "$work/ref/$example/$example.toml" --csv "$work/ref/$example/run.csv"
    printf '\n[[expect]]\nname = "as run"\nreference = "run.csv"\n' >>"$work/ref/$example/$example.toml"
    run "ref_$example" 0 test "$work/ref/$example/$example.toml"
    expect_out "ref_$example" ': passed: "as run" (the curves of "run.csv" at every step): all '
done
# Steps that fail too, by a failed read and by a box at DCSInitialize alone:
# the status column says FAIL at the same steps in both.
mkdir -p "$work/ref/failing"
cp "$examples/plant/plant.mrx" "$work/ref/failing/"
sed '/^\[\[expect\]\]/,$d' "$examples/plant/plant.toml" >"$work/ref/failing/plant.toml"
printf '\n[[fail]]\nop = "ReadAO"\nstep = 5\ntimes = 2\n\n[[fail]]\nop = "WriteAI"\ntimes = 1\n' \
    >>"$work/ref/failing/plant.toml"
run ref_csv_failing 1 run "$work/ref/failing/plant.toml" --csv "$work/ref/failing/run.csv"
[ "$(grep -c '^[0-9]*,FAIL,' "$work/ref/failing/run.csv")" -eq 3 ] || fail "ref_csv_failing: not 3 failed steps"
printf '\n[[expect]]\nreference = "run.csv"\n' >>"$work/ref/failing/plant.toml"
run ref_failing 0 test "$work/ref/failing/plant.toml"
expect_out ref_failing ': passed: the curves of "run.csv" at every step: all 30 column(s) inside over 17 step(s)'

printf '\n[[expect]]\nreference = "%s"\ntolerance = 0.5\ntime_tolerance = 1\n' "$work/reference.csv" >>"$work/cases/plant.toml"
run ref_gain 1 test "$work/cases/plant.toml"
expect_out ref_gain "FAILED: the curves of \"$work/reference.csv\" at every step: expected inside the tube: ± 0.5, 1 step(s) either side, actual FI-101 was 47.25, the reference 45; its largest deviation 13.495981517015025 at step 16, at step 1"
printf '\n[[expect]]\nreference = "none.csv"\n' >>"$work/cases/plant.toml"
run ref_none 2 test "$work/cases/plant.toml"
expect_out ref_none "plant.toml:$(grep -c '' "$work/cases/plant.toml"):13: cannot read the reference run"

# Outputs go through the safe writer: not over an input, nor left half written.
run over_input 2 test "$work/cases/plant.toml" --json "$work/cases/plant.mrx"
grep -q '^\*AI\*' "$work/cases/plant.mrx" || fail "over_input: the initialization string was overwritten"
run no_folder 2 test "$work/none"
mkdir "$work/empty"
run empty_folder 2 test "$work/empty"
grep -q 'holds no case file' "$work/empty_folder.err" || fail "empty_folder: no reason given"

finish "test command"
