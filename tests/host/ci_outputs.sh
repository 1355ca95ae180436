#!/bin/sh
# The check's outputs for CI systems, read back by independent readers: the
# SARIF log's required properties, and every location it gives pointing at
# the very line and column of the case file, the IO list or the
# initialization string that holds what its message names.
# Usage: ci_outputs.sh DCS_HOST EXAMPLES_DIR
. "$(dirname "$0")/test_lib.sh"

cp -r "$examples/crude" "$examples/iolist" "$work/"
cd "$work" || exit 1
# An IO list with a tag that binds nothing, and one the driver reads but
# the case gives no value: a problem in a CSV cell, and a case gap.
sed -i 's/^TIC-202,TIC-202.SP/TIC-202,TIC-202.SPX/' iolist/controllers.csv
awk 'BEGIN { RS = ""; ORS = "\n\n" } !/name = "FIC-201.SP"/' iolist/iolist.toml >iolist/gap.toml

for c in crude/crude.toml iolist/gap.toml; do
    name=$(basename "$c" .toml)
    "$host" check "$c" --sarif "$name.sarif" --json "$name.json" --junit "$name.xml" >"$name.out" 2>&1
    [ $? -le 1 ] || fail "$c: check failed: $(head -c 300 "$name.out")"
done

python3 - crude.sarif crude.json iolist/gap.toml gap.sarif gap.json <<'PY' || fail "the SARIF logs (above)"
import json, re, sys

def lines_of(path):
    with open(path, encoding="utf-8", errors="surrogateescape", newline="") as f:
        return re.split(r"\r\n|\r|\n", f.read())

def check(sarif_path, json_path, expect_codes):
    log = json.load(open(sarif_path, encoding="utf-8"))
    assert log["version"] == "2.1.0" and "sarif-2.1.0" in log["$schema"], "not a SARIF 2.1.0 log"
    run = log["runs"][0]
    tool = run["tool"]["driver"]
    assert tool["name"] == "dcs-host" and tool["version"], tool
    rules = {r["id"] for r in tool["rules"]}
    diagnosis = json.load(open(json_path, encoding="utf-8"))
    seen = set()
    for r in run["results"]:
        assert r["ruleId"] in rules, r["ruleId"]
        assert r["level"] in ("error", "warning", "note"), r
        assert r["message"]["text"], r
        seen.add(r["ruleId"])
        place = r["locations"][0]["physicalLocation"]
        path = place["artifactLocation"]["uri"]
        region = place["region"]
        line = lines_of(path)[region["startLine"] - 1]
        if "startColumn" not in region:  # a required text left out: the row's own line
            assert r["ruleId"] == "missing-text" and line.startswith("[["), (r, line)
            continue
        at = line[region["startColumn"] - 1:]
        m = re.match(r'[^:]+: [^"]* "((?:[^"\\]|\\.)*)": ', r["message"]["text"])
        if m:  # a row's tag: the cell or the TOML value starts there
            text = m.group(1)
            assert at.startswith(text) or at.startswith('"' + text), (path, region, line, text)
        else:  # the initialization string: where the check's own JSON puts it
            places = {(f["code"], f["line"], f["column"]) for f in diagnosis["lint"] + diagnosis["causes"]}
            assert (r["ruleId"], region["startLine"], region["startColumn"]) in places, (r, places)
            assert path.endswith(".mrx"), path
    missing = set(expect_codes) - seen
    assert not missing, "%s lacks %s" % (sarif_path, missing)
    problems = diagnosis["problems"]
    errors = sum(1 for r in run["results"] if r["level"] == "error")
    assert errors >= problems - len(diagnosis["conflicts"]), (errors, problems)

check(sys.argv[1], sys.argv[2], ["header-swallowed", "parse-ends-early", "kind-not-allowed", "near-miss"])
check(sys.argv[4], sys.argv[5], ["not-in-catalogue", "no-tag-value"])
PY

# The JUnit XML read back by an independent reader: a test per row and per
# root cause, failed exactly where the check's JSON has a problem, and the
# case gap told in the row's output.
# Debian's python3-junitparser belongs to Debian's python3, which another
# python3 earlier on PATH (pyenv, a venv) does not see.
/usr/bin/python3 - crude.xml crude.json gap.xml gap.json <<'PY' || fail "the JUnit files (above)"
import json, sys
from junitparser import JUnitXml, Failure

def check(xml_path, json_path):
    d = json.load(open(json_path, encoding="utf-8"))
    suites = list(JUnitXml.fromfile(xml_path))
    assert len(suites) == 1, len(suites)
    props = {p.name: p.value for p in suites[0].properties()}
    assert props == {"format": "dcs-host-check-junit", "version": "1"}, props
    cases = {c.classname + "/" + c.name: c for c in suites[0]}
    failed = {k for k, c in cases.items() if any(isinstance(r, Failure) for r in c.result)}
    rows = [r for r in d["rows"]]
    for r in rows:
        name = "general" if r["table"] == "general" else "%s %d%s" % (r["table"], r["index"], " (%s)" % r["name"] if r["name"] else "")
        key = "check." + r["table"] + "/" + name
        assert key in cases, (key, sorted(cases)[:5])
        bad = any(t["status"] == "problem" for t in r["tags"]) or bool(r["driver_differs"])
        assert (key in failed) == bad, (key, bad)
        gap = any("gap" in t for t in r["tags"])
        assert ("no-tag-value" in (cases[key].system_out or "")) == gap, key
    causes = [k for k in cases if k.startswith("check.init_string/root cause")]
    assert len(causes) == len(d["causes"]), (causes, len(d["causes"]))
    assert ("check.link/the link configures and its dry run agrees with the rules" in failed) == (not d["configured"])
    assert suites[0].tests == len(cases) and suites[0].failures == len(failed)

check(sys.argv[1], sys.argv[2])
check(sys.argv[3], sys.argv[4])
PY

finish "CI output"
