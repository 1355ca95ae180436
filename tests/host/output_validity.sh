#!/bin/sh
# Every output of a run and a check is valid in its format whatever bytes
# the catalogue and the case hold: bytes 0x80 to 0xFF (holes of code page
# 1252 included), control characters and markup characters, in tag names,
# row names and the initialization string's lines. Each output is parsed by
# a real parser: the SVG and test's JUnit XML by xmllint (strict XML), the JSON by Python's json
# module after a strict UTF-8 decode, the pages by a strict UTF-8 decode and
# Chromium, which must show the decoded names.
# Usage: output_validity.sh DCS_HOST
set -u
host=$1
for tool in xmllint python3; do
    command -v "$tool" >/dev/null || { echo "SKIPPED: $tool is missing (scripts/install-deps.sh installs it)"; exit 77; }
done
browser=$(command -v chromium-headless-shell || command -v chromium || true)
work=$(mktemp -d "${TMPDIR:-/tmp}/dcs-validity.XXXXXX")
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

# The catalogue, in code page 1252: a line of every byte 0x80 to 0xFF before
# the first header (the lint quotes it), names with markup, C1 holes and
# control characters.
{
    printf 'junk'
    i=128
    while [ $i -le 255 ]; do printf "\\$(printf %o $i)"; i=$((i + 1)); done
    printf '\n*AI*\n'
    printf 'A<b>&x\200\201\215\237\240\260\377,-,1,0,100\n'
    printf ']]>x\047"\001\033\177y,-,1,0,100\n'
    printf '*DI*\nLINK.ENABLED,-,1\n*AO*\nOP<1>,-,1,0,100\n*CALC*\nOPINIT&1,-,1\n'
} >"$work/odd.mrx"

# The case, in UTF-8: the same names as characters, and names the catalogue
# lacks (a near-miss by letter case, a name in another encoding).
cat >"$work/odd.toml" <<'TOML'
init_string = "odd.mrx"
steps = 3
[[tag]]
kind = "AO"
name = "OP<1>"
value = 40.0
[[tag]]
kind = "AI"
name = "A<b>&x€\u0081\u008dŸ\u00a0°ÿ"
value = 2.0
[general]
"Data Set" = 1
"Enabled Flag" = "LINK.ENABLED"
[[controller]]
name = "<script>alert('x')</script> & \"ü\""
"SP Tag" = "]]>X'\"\u0001\u001b\u007fy"
"OP Tag" = "OP<1>"
"OP Init Tag" = "OPINIT&1"
[[pv_export]]
name = "Fühler ]]> \u0007"
"PV Tag" = "A<b>&x€\u0081\u008dŸ\u00a0°ÿ"
follows = 0
[[pv_import]]
name = "Ölstand"
"PV Tag" = "A<b>&x€\u0081\u008dŸ\u00a0°ÿ"
[[expect]]
name = "<odd> ]]> \u0001 & \u0085"
step = 1
tag = "A<b>&x€\u0081\u008dŸ\u00a0°ÿ"
kind = "AI"
value = 3
[[expect]]
step = 1
controller = "<script>alert('x')</script> & \"ü\""
field = "SP"
value = 1
[[expect]]
when = "configure"
box_text = "*"
TOML

cd "$work" || exit 1
"$host" run odd.toml --csv odd.csv --plot odd.svg --plot-constant --html run.html >run.out 2>run.err
[ $? -le 1 ] || { fail "run: exit status above 1"; cat run.err; }
"$host" check odd.toml --all --json odd.json --html check.html >check.out 2>check.err
[ $? -le 1 ] || { fail "check: exit status above 1"; cat check.err; }

"$host" test odd.toml --junit test.xml --json test.json >test.out 2>test.err
[ $? -eq 1 ] || { fail "test: exit status not 1"; cat test.err; }
xmllint --noout test.xml 2>xmllint.err || { fail "test.xml is not XML"; head -5 xmllint.err; }
grep -F -q 'A&lt;b&gt;&amp;x€' test.xml || fail "test.xml does not show the tag name decoded"

for f in odd.csv odd.svg run.html odd.json check.html; do
    [ -s "$f" ] || fail "$f was not written"
done
xmllint --noout odd.svg 2>xmllint.err || { fail "odd.svg is not XML"; head -5 xmllint.err; }
python3 - odd.json run.html check.html odd.csv run.out check.out test.xml test.json test.out <<'PY' || fail "a strict UTF-8 or JSON parse failed (above)"
import json, sys
ok = True
for name in sys.argv[1:]:
    try:
        text = open(name, 'rb').read().decode('utf-8', errors='strict')
    except UnicodeDecodeError as e:
        print(f"{name}: not UTF-8: {e}"); ok = False; continue
    if '\ufffd' in text:
        print(f"{name}: holds U+FFFD: a byte was lost"); ok = False
    if name.endswith('.html'):
        bad = [c for c in text if (ord(c) < 0x20 and c not in '\t\n\r') or 0x7f <= ord(c) < 0xa0]
        if bad: print(f"{name}: raw control characters {sorted(set(map(hex, map(ord, bad))))}"); ok = False
    if name == 'test.json':
        d = json.loads(text)
        names = [e['name'] for c in d['cases'] for e in c['expectations']]
        if '<odd> ]]> \x01 & \x85' not in names: print(f"{name}: the expectation's name is lost: {names}"); ok = False
        continue
    if name.endswith('.json'):
        d = json.loads(text)
        texts = [t['text'] for r in d['rows'] for t in r['tags']]
        want = 'A<b>&x\u20ac\x81\x8d\u0178\xa0\xb0\xff'
        if want not in texts: print(f"{name}: the PV Tag is not {want!r}: {texts}"); ok = False
        codes = {t['code'] for r in d['rows'] for t in r['tags']}
        if 'near-miss' not in codes: print(f"{name}: no near-miss among {codes}"); ok = False
sys.exit(0 if ok else 1)
PY

if [ -n "$browser" ]; then
    for page in run check; do
        timeout 120 "$browser" --headless --no-sandbox --disable-gpu --no-first-run --virtual-time-budget=2000 \
            --user-data-dir="$work/profile" --dump-dom "file://$work/$page.html" >"$page.dom" 2>"$page.browser.err" ||
            fail "$page.html: the browser could not load it"
        grep -F -q 'A&lt;b&gt;&amp;x€' "$page.dom" || fail "$page.html: the browser does not show the tag name"
        grep -F -q '&lt;script&gt;alert' "$page.dom" || fail "$page.html: the browser does not show the row name as text"
        if grep -F -q 'parsererror' "$page.dom"; then fail "$page.html: the chart did not parse"; fi
    done
    timeout 120 "$browser" --headless --no-sandbox --disable-gpu --no-first-run --user-data-dir="$work/profile" \
        --dump-dom "file://$work/odd.svg" >svg.dom 2>/dev/null || fail "odd.svg: the browser could not load it"
    if grep -F -q 'parsererror' svg.dom; then fail "odd.svg: the browser reports a parse error"; fi
else
    echo "note: no Chromium here; the pages were checked for UTF-8 only"
fi

echo "formats: SVG (xmllint), JSON (python3 json), HTML (UTF-8 decode, Chromium), CSV and terminal (UTF-8 decode)"
if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed"
    exit 1
fi
echo "every output valid"
