#!/bin/sh
# Loads the reports of the examples, and a page of a diagnosis built by
# hand, in a real browser and checks what it shows from the DOM it dumps:
# the summary figures, the problem cells and their reasons, that a tag name
# like a script stayed text, and that the chart parses and its legend,
# measured by the browser itself, overlaps nothing. The generated plant's
# pages are plant_pages_in_browser.sh's, run on an optimised build.
# Usage: pages_in_browser.sh DCS_HOST HTML_PAGE_SAMPLE EXAMPLES_DIR
set -u
host=$1
sample=$2
examples=$3
. "$(dirname "$0")/browser_lib.sh"

# A diagnosis built by hand: problems, reasons, lint quotes, a script-like tag.
generate sample 0 "$sample" "$work/sample.html"
dump sample "$work/sample.html"
expect sample '<title>dcs-host check: cases/unit &lt;2&gt;.toml</title>'
refuse sample '<title>ran</title>'
expect sample '&lt;script&gt;document.title='"'"'ran'"'"'&lt;/script&gt;'
expect sample 'data-figure="rows-checked">4<'
expect sample 'data-figure="rows-with-problems">1<'
expect sample 'data-figure="lint-errors">1<'
expect sample 'data-figure="lint-warnings">1<'
expect sample 'not-in-catalogue: no such tag in data set 1; the driver refuses the configuration'
expect sample 'Driver: MARLIXNT: Incorrect data set or unknown SP tag for controller at index 1'
grep -o 'class="tag verdict-problem"[^>]*data-field="SP Tag"' "$work/sample.dom" >/dev/null ||
    fail "sample: the SP Tag problem cell is not marked as a problem"
# Rows with problems come first in their table.
awk '/data-table="controller"/ { on = 1 } on && /<tr class="row-/ { print; exit }' "$work/sample.dom" |
    grep -q 'row-problem' || fail "sample: the first controller row is not the one with a problem"

# The filter: with the box ticked, only rows with problems stay visible.
sed 's|</body>|<script>document.getElementById("only-problems").click();document.body.setAttribute("data-visible", Array.from(document.querySelectorAll("tr.row-ok, tr.row-problem")).filter(function (r) { return r.offsetParent !== null; }).map(function (r) { return r.className; }).join(" "));</script></body>|' \
    "$work/sample.html" >"$work/filter.html"
dump filter "$work/filter.html"
expect filter 'data-visible="row-problem"'

# The plant: configured, every step ran; its chart inline and on its own.
cp -r "$examples/plant" "$work/plant"
# A set_tag event naming a script-like tag: its name shows in the table and the chart.
cat >>"$work/plant/plant.toml" <<'TOML'

[[event]]
step = 15
action = "set_tag"
kind = "AI"
name = "<script>document.title='ran'</script>"
value = 1.0
TOML
generate plant 0 "$host" run "$work/plant/plant.toml" --html "$work/plant.html" --plot "$work/plant.svg"
dump plant "$work/plant.html"
expect plant 'data-figure="configured">configured<'
expect plant 'data-figure="steps-run">16<'
expect plant 'data-figure="steps-failed">0<'
expect plant 'class="trend-chart"'
expect plant 'set_tag &lt;script&gt;document.title='
refuse plant '<title>ran</title>'
echo "plant page: $(wc -c <"$work/plant.html") bytes, chart $(wc -c <"$work/plant.svg") bytes"

# The chart on its own parses as XML (a browser shows a parser error otherwise).
dump plant_svg "$work/plant.svg"
refuse plant_svg 'parsererror'
expect plant_svg '<svg'
# The chart measured by the browser: panels, styles, and legend boxes
# against each other and against the plots.
{
    echo '<!DOCTYPE html><html><body>'
    grep -v '^<?xml' "$work/plant.svg"
    cat <<'JS'
<script>
var entries = Array.from(document.querySelectorAll('g.legend-entry')).map(function (g) { return g.getBBox(); });
var frames = Array.from(document.querySelectorAll('rect.frame')).map(function (r) { return r.getBBox(); });
function meet(a, b) { return a.x < b.x + b.width && b.x < a.x + a.width && a.y < b.y + b.height && b.y < a.y + a.height; }
var overlaps = 0, duplicates = 0, styles = {};
entries.forEach(function (a, i) {
  entries.slice(i + 1).forEach(function (b) { if (meet(a, b)) overlaps++; });
  frames.forEach(function (f) { if (meet(a, f)) overlaps++; });
});
document.querySelectorAll('path.series').forEach(function (p) {
  var style = p.getAttribute('stroke') + '|' + (p.getAttribute('stroke-dasharray') || '');
  if (styles[style]) duplicates++;
  styles[style] = 1;
});
document.body.setAttribute('data-result', 'panels=' + document.querySelectorAll('g.panel').length +
  ' series=' + document.querySelectorAll('path.series').length + ' entries=' + entries.length +
  ' overlaps=' + overlaps + ' duplicates=' + duplicates);
</script></body></html>
JS
} >"$work/measure.html"
dump measure "$work/measure.html"
expect measure 'data-result="panels=4 series=12 entries=12 overlaps=0 duplicates=0"'
grep -o 'data-result="[^"]*"' "$work/measure.dom"

# The broken case: not configured; every message, in order, with what raised it.
generate broken_run 1 "$host" run "$examples/broken/broken.toml" --html "$work/broken_run.html"
dump broken_run "$work/broken_run.html"
expect broken_run 'data-figure="configured">not configured<'
expect broken_run 'The link was not configured'
expect broken_run 'Incorrect data set or unknown tag for PV Import at index 0'
expect broken_run '<span class="raised-by">DCSConfigure</span>'
generate broken_check 1 "$host" check "$examples/broken/broken.toml" --html "$work/broken_check.html"
dump broken_check "$work/broken_check.html"
expect broken_check 'data-figure="configured">not configured<'
expect broken_check '<b class="title">KVMRXNT Error</b>'
first=$(grep -o 'unknown [A-Za-z]* *tag for [A-Za-z ]*at index 0' "$work/broken_check.dom" | head -n 1)
[ "$first" = "unknown SP tag for controller at index 0" ] || fail "broken_check: messages out of order: first is '$first'"
echo "broken pages: run $(wc -c <"$work/broken_run.html") bytes, check $(wc -c <"$work/broken_check.html") bytes"

browser_finish
