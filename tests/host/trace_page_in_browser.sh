#!/bin/sh
# The trace command's page of a small hand-written trace, loaded in a real
# browser: its figures, the failure timeline and the chart of the chosen
# tags as the DOM the browser built shows them, and a script-like tag name
# that stayed text. Usage: trace_page_in_browser.sh DCS_HOST [SCREENSHOT.png]
set -u
host=$1
shot=${2:-}
browser=$(command -v chromium-headless-shell || command -v chromium || true)
if [ -z "$browser" ]; then
    echo "SKIPPED: no chromium-headless-shell or chromium on this machine (scripts/install-deps.sh installs it)"
    exit 77
fi
work=$(mktemp -d "${TMPDIR:-/tmp}/dcs-trace-page.XXXXXX")
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}
expect() {  # TEXT: the DOM holds TEXT
    grep -F -q -e "$1" "$work/page.dom" || fail "the page lacks: $1"
}

cat >"$work/small.jsonl" <<'JSONL'
{"type":"header","format":"mrx3p-trace","version":1,"tracer":"1.0.0","level":"changes","limit_mb":256,"pid":4242,"start_utc":"2026-12-09T03:12:04.123456Z","timer_resolution_ns":100,"real_library":"C:\\Marlix\\MRX3P.dll","settings":null}
{"type":"call","seq":1,"t_us":10,"op":"GetInitStringLength","ordinal":1,"result":40,"dur_ns":100}
{"type":"call","seq":2,"t_us":20,"op":"GetInitString","ordinal":2,"result":39,"dur_ns":200}
{"type":"init_string","seq":2,"t_us":20,"length":40,"bytes":39,"text":"*AI*\nSP,-,1,0,1\nPV,-,1,0,1\n*DI*\nEN,-,1\n"}
{"type":"call","seq":3,"t_us":30,"op":"GetInitStringLength","ordinal":1,"result":40,"dur_ns":100}
{"type":"call","seq":4,"t_us":40,"op":"WriteDI","ordinal":8,"data_set":1,"tag":"EN","value":0,"status":0,"result":0,"cookie_before":0,"cookie_after":7,"dur_ns":900,"folded":0}
{"type":"call","seq":5,"t_us":1000,"op":"ReadAI","ordinal":4,"data_set":1,"tag":"SP","value":50.5,"status":0,"result":50.5,"cookie_before":0,"cookie_after":9,"dur_ns":800,"folded":0}
{"type":"call","seq":6,"t_us":2000,"op":"ReadAI","ordinal":4,"data_set":1,"tag":"PV","value":1.5,"status":0,"result":1.5,"cookie_before":0,"cookie_after":10,"dur_ns":800,"folded":0}
{"type":"call","seq":9,"t_us":4000,"op":"ReadAI","ordinal":4,"data_set":1,"tag":"SP","status":7,"result":0,"cookie_before":9,"cookie_after":9,"dur_ns":5000,"folded":2}
{"type":"call","seq":10,"t_us":5000,"op":"ReadAI","ordinal":4,"data_set":1,"tag":"<script>document.title='ran'</script>","status":3,"result":0,"cookie_before":0,"cookie_after":0,"dur_ns":700,"folded":0}
{"type":"call","seq":11,"t_us":6000,"op":"ReadAI","ordinal":4,"data_set":1,"tag":"PV","value":3.5,"status":0,"result":3.5,"cookie_before":10,"cookie_after":10,"dur_ns":800,"folded":0}
{"type":"call","seq":14,"t_us":9000,"op":"ReadAI","ordinal":4,"data_set":1,"tag":"SP","value":60,"status":0,"result":60,"cookie_before":9,"cookie_after":9,"dur_ns":600,"folded":2}
{"type":"call","seq":15,"t_us":9500,"op":"WriteDI","ordinal":8,"data_set":1,"tag":"EN","value":0,"status":0,"result":0,"cookie_before":7,"cookie_after":7,"dur_ns":900,"folded":0}
{"type":"call","seq":16,"t_us":9600,"op":"ResetLink","ordinal":3,"result":0,"dur_ns":300}
{"type":"summary","reason":"exit","seq":16,"t_us":10000,"calls":16,"failures":4,"ops":{},"pending_folds":[],"stopped":false}
JSONL
# Exit status 1: the trace holds failed calls.
"$host" trace "$work/small.jsonl" --html "$work/page.html" --tags 'S*' --tags PV >"$work/out" 2>&1
[ $? -eq 1 ] || { fail "dcs-host trace: exit status other than 1 (calls failed)"; cat "$work/out"; }
# The browser reports what it laid out: the lanes and series it drew.
sed 's|</body>|<script>document.body.setAttribute("data-drawn", document.querySelectorAll("#failure-timeline g.lane").length + " lanes, " + document.querySelectorAll("#value-chart path.series").length + " series, timeline width " + Math.round(document.getElementById("failure-timeline").getBBox().width));</script></body>|' \
    "$work/page.html" >"$work/measured.html"
timeout 120 "$browser" --headless --no-sandbox --disable-gpu --no-first-run --virtual-time-budget=2000 \
    --user-data-dir="$work/profile" --dump-dom "file://$work/measured.html" >"$work/page.dom" 2>"$work/browser.err" ||
    { fail "the browser could not load the page"; tail -n 5 "$work/browser.err"; }

expect '<title>dcs-host trace: '
expect 'data-figure="calls">16<'
expect 'data-figure="failures">4<'
expect 'data-figure="level">changes<'
expect 'data-figure="real-library">C:\Marlix\MRX3P.dll<'
expect 'data-drawn="2 lanes, 2 series, timeline width'
expect '<tr data-op="ReadAI"><td>ReadAI</td><td class="num">10</td><td class="num">4</td>'
expect 'data-tag="SP" data-count="3"'
expect 'data-tag="SP" data-points="2"'
expect 'data-tag="PV" data-points="2"'
expect '&lt;script&gt;document.title='"'"'ran'"'"'&lt;/script&gt;'
grep -F -q '<title>ran</title>' "$work/page.dom" && fail "a tag name ran as a script"
expect '<tr data-fetch="1"><td class="num">1</td>'
expect 'AI 2, AO 0, DI 1, DO 0, DCD 0, CALC 0'
expect '<tr class="event-reset">'
if [ -n "$shot" ]; then
    timeout 120 "$browser" --headless --no-sandbox --disable-gpu --no-first-run --hide-scrollbars \
        --user-data-dir="$work/profile" --window-size=1200,1700 --screenshot="$shot" "file://$work/page.html" \
        >/dev/null 2>&1 || fail "no screenshot"
fi

if [ "$failures" -ne 0 ]; then
    echo "trace page: $failures check(s) failed"
    exit 1
fi
echo "all trace page checks passed"
