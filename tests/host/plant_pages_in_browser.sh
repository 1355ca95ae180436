#!/bin/sh
# The generated plant (15,001 rows) in a real browser: its run, trace and
# check pages stay small, the problems come first with their reasons shown, and
# the rows without problems open on demand. Minutes under the sanitizers,
# so the test command runs it on the optimised kit's dcs-host.
# Usage: plant_pages_in_browser.sh DCS_HOST
set -u
host=$1
. "$(dirname "$0")/browser_lib.sh"

"$(dirname "$0")/../../bench/plant_case.sh" "$work/big"
generate big_run 0 "$host" run "$work/big/plant.toml" --steps 2 --html "$work/big_run.html" --trace "$work/big.jsonl"
size=$(wc -c <"$work/big_run.html")
[ "$size" -le 4194304 ] || fail "big_run: the page is $size bytes"
dump big_run "$work/big_run.html"
expect big_run 'data-figure="step-columns">Showing 40 of 20,002 columns'
expect big_run 'more left out (--columns GLOB picks which are drawn)'
echo "plant run page: $size bytes"
# The same run's trace, charted for a glob that matches thousands of tags:
# at most 40 series, one per tag (not one per operation), each in the
# legend once, and the tags left out counted.
generate big_trace 0 "$host" trace "$work/big.jsonl" --tags 'FIC-1*' --html "$work/big_trace.html"
size=$(wc -c <"$work/big_trace.html")
[ "$size" -le 1048576 ] || fail "big_trace: the page is $size bytes"
dump big_trace "$work/big_trace.html"
series=$(grep -o 'class="series" data-tag="[^"]*"' "$work/big_trace.dom" | sort | uniq | wc -l)
drawn=$(grep -o 'class="series" data-tag="[^"]*"' "$work/big_trace.dom" | wc -l)
legend=$(grep -o '<text [^>]*>FIC-1[^<]* (data set [0-9]*, [A-Za-z]*)</text>' "$work/big_trace.dom" | sort -u | wc -l)
[ "$series" -eq 40 ] && [ "$drawn" -eq 40 ] && [ "$legend" -eq 40 ] ||
    fail "big_trace: $drawn series drawn for $series tags, $legend legend entries; 40 of each expected"
grep -q '^note: [0-9,]* more tags match --tags than the 40 the chart draws' "$work/big_trace.out" ||
    fail "big_trace: the terminal does not count the tags left out"
expect big_trace 'more tags match --tags than the 40 the chart draws; they are left out of it'
echo "plant trace page: $size bytes, $series series"
cat >>"$work/big/plant.toml" <<'TOML'

[[controller]]
name = "FIC-X1"
"SP Tag" = "FIC-1.SPT"
"OP Tag" = "FIC-2.OP "
"OP Init Tag" = "FIC-9.OPI"
TOML
generate big_check 1 "$host" check "$work/big/plant.toml" --html "$work/big_check.html"
size=$(wc -c <"$work/big_check.html")
[ "$size" -le 4194304 ] || fail "big_check: the page is $size bytes"
sed 's|</body>|<script>var rows0=document.querySelectorAll("tr").length;var shown=Array.from(document.querySelectorAll("td.verdict-problem .why")).filter(function (w) { return getComputedStyle(w).display !== "none" \&\& w.offsetParent !== null; }).length;var d=document.querySelector("details.more[data-table=controller]");d.open=true;setTimeout(function () { document.body.setAttribute("data-counts", rows0 + " " + shown + " " + d.querySelectorAll("tbody tr").length); }, 500);</script></body>|' \
    "$work/big_check.html" >"$work/big_counts.html"
dump big_counts "$work/big_counts.html"
expect big_counts 'data-figure="rows-checked">15002<'
expect big_counts 'data-figure="rows-with-problems">1<'
expect big_counts 'Did you mean: "FIC-1.SP" (AI, data set 1)'
expect big_counts 'FIC-2.OP<span class="blank">'
# Rendered at first: the problem row, the general row, the headers and the
# summary; the 15,000 others wait as data until opened, a thousand at a time.
counts=$(grep -o 'data-counts="[^"]*"' "$work/big_counts.dom" | tr -d '"' | sed 's/data-counts=//')
echo "$counts" | awk '{ exit !($1 < 100 && $2 == 2 && $3 == 1000) }' ||
    fail "big_check: rows rendered, reasons shown, rows after opening: '$counts', expected < 100, 2, 1000"
echo "plant check page: $size bytes; rows rendered, reasons shown, rows after opening: $counts"

browser_finish
