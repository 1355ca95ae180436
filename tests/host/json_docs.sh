#!/bin/sh
# Every JSON output's documented fields against the fields it writes on the
# examples: each key it writes, at any depth, is named in its section of
# the documentation, and its top-level keys are exactly those the section's
# first table lists.
# Usage: json_docs.sh DCS_HOST EXAMPLES_DIR SOURCE_DIR
. "$(dirname "$0")/test_lib.sh"
docs=$(cd "$3/docs" && pwd)

cp -r "$examples/crude" "$examples/plant" "$examples/unit" "$work/"
cd "$work" || exit 1
# A case with a gap, and a trace of the plant with a failure, so that the
# optional fields are written too.
awk 'BEGIN { RS = ""; ORS = "\n\n" } !/name = "FIC-1.SP"/' unit/unit.toml >unit/gap.toml
"$host" run plant/plant.toml --trace plant.jsonl --trace-level all >/dev/null 2>&1
sed 's/^\*AI\*$/*AI*\nNEW.PV,-,1,0,100/' plant/plant.mrx >plant/new.mrx

"$host" check crude/crude.toml --json check-crude.json >/dev/null 2>&1
"$host" check unit/gap.toml --json check-gap.json >/dev/null 2>&1
"$host" check plant/plant.toml --trace plant.jsonl --all --json check-live.json >/dev/null 2>&1
"$host" tags plant/plant.mrx --unused plant/plant.toml --json tags.json >/dev/null 2>&1
"$host" diff plant/plant.mrx plant/new.mrx --case plant/plant.toml --json diff.json >/dev/null 2>&1
"$host" trace plant.jsonl --tags 'FIC-*' --json trace.json >/dev/null 2>&1
"$host" test plant unit --json test.json >/dev/null 2>&1

python3 - "$docs" <<'PY' || fail "documented fields differ from the written ones (above)"
import json, re, sys
docs = sys.argv[1]

def section(path, heading):
    text = open(path, encoding="utf-8").read()
    if heading is None:
        return text
    start = text.index(heading)
    end = text.find("\n## ", start + len(heading))
    return text[start:] if end < 0 else text[start:end]

# Keys that are data, not fields: a tag kind or a Marlix operation (the
# trace summary's per-kind and per-operation objects).
DATA_KEY = re.compile(r"^(AI|AO|DI|DO|DCD|CALC|Read[A-Z]+|Write[A-Z]+|GetInitString(Length)?|ResetLink)$")

def keys(value, out):
    if isinstance(value, dict):
        for k, v in value.items():
            if not DATA_KEY.match(k):
                out.add(k)
            keys(v, out)
    elif isinstance(value, list):
        for v in value:
            keys(v, out)
    return out

def first_table_names(text):
    names, in_table = set(), False
    for line in text.split("\n"):
        if line.startswith("| Field"):
            if in_table:
                break
            in_table = True
            continue
        if in_table and line.startswith("|") and not line.startswith("|---"):
            first = line.split("|")[1]
            names |= {n for n in re.findall(r"`([a-z_]+)`", first)}
        elif in_table and not line.startswith("|"):
            break
    return names

failures = 0
for files, doc, heading in [
    (["check-crude.json", "check-gap.json", "check-live.json"], "json-outputs.md", "## `dcs-host-check`"),
    (["tags.json"], "json-outputs.md", "## `dcs-host-tags`"),
    (["diff.json"], "json-outputs.md", "## `dcs-host-diff`"),
    (["trace.json"], "trace-summary-format.md", None),
    (["test.json"], "test-results-format.md", None),
]:
    text = section(docs + "/" + doc, heading)
    documented = set(re.findall(r"`([A-Za-z_][A-Za-z0-9_]*)`", text))
    written, top = set(), set()
    for f in files:
        d = json.load(open(f, encoding="utf-8"))
        keys(d, written)
        top |= set(d)
    top -= {"format", "version"}
    listed = first_table_names(text) - {"format", "version"}
    for what, names in [("writes but does not document", written - documented - {"format", "version"}),
                        ("lists at the top but the output lacks", listed - top),
                        ("writes at the top but does not list there", top - listed)]:
        if names:
            print("FAIL: %s (%s): %s %s" % (doc, heading or "whole page", what, sorted(names)))
            failures += 1
sys.exit(1 if failures else 0)
PY

finish "JSON documentation"
