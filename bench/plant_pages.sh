#!/bin/sh
# Measures the pages of the generated 15,001-row plant: the size of the
# check page and of the run page of 100 steps, and how long Chromium takes
# from loading each to its screenshot. A measurement, not a test: it prints
# the figures and says whether they are within 4 MB and 5 s.
# Usage: plant_pages.sh DCS_HOST [WORKDIR]
set -u
host=$1
work=${2:-$(mktemp -d "${TMPDIR:-/tmp}/dcs-plant-pages.XXXXXX")}
here=$(dirname "$0")
browser=$(command -v chromium-headless-shell || command -v chromium || true)
mkdir -p "$work"
"$here/plant_case.sh" "$work/plant"

seconds() { date +%s.%N; }
elapsed() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", b - a }'; }

t0=$(seconds)
"$host" check "$work/plant/plant.toml" --html "$work/check.html" >"$work/check.out" 2>"$work/check.err"
t1=$(seconds)
"$host" run "$work/plant/plant.toml" --steps 100 --html "$work/run.html" --plot "$work/run.svg" \
    >"$work/run.out" 2>"$work/run.err"
t2=$(seconds)
echo "dcs-host check $(elapsed "$t0" "$t1") s, run of 100 steps $(elapsed "$t1" "$t2") s"

ok=1
for page in check run; do
    size=$(wc -c <"$work/$page.html")
    line="$page page: $size bytes"
    [ "$size" -le 4194304 ] || ok=0
    if [ -n "$browser" ]; then
        t0=$(seconds)
        timeout 600 "$browser" --headless --no-sandbox --disable-gpu --no-first-run --hide-scrollbars \
            --user-data-dir="$work/profile" --window-size=1280,1000 --screenshot="$work/$page.png" \
            "file://$work/$page.html" >/dev/null 2>"$work/$page.browser.err"
        t1=$(seconds)
        render=$(elapsed "$t0" "$t1")
        line="$line, rendered in $render s"
        awk -v t="$render" 'BEGIN { exit !(t <= 5.0) }' || ok=0
    fi
    echo "$line"
done
[ -f "$work/run.svg" ] && echo "run chart: $(wc -c <"$work/run.svg") bytes"
if [ "$ok" -eq 1 ]; then echo "within 4 MB and 5 s"; else echo "NOT within 4 MB and 5 s"; fi
echo "files in $work"
