#include "page.h"

namespace host {

namespace {

// The one style sheet of every page. A class means the same on each page
// that uses it; what only one page uses costs the others a few bytes. A
// rule some page also uses on another element (SVG text of a chart, the
// trace's lint lines) names the element it is meant for.
const char kStyle[] = R"(
body{font:14px/1.4 system-ui,-apple-system,"Segoe UI",sans-serif;margin:1.5em auto;max-width:1200px;padding:0 1em;color:#222}
h1{font-size:1.4em;margin:.2em 0}h2{font-size:1.15em;border-bottom:1px solid #ccc;margin-top:1.6em}
table{border-collapse:collapse;margin:.5em 0}td,th{border:1px solid #ccc;padding:.25em .5em;vertical-align:top;text-align:left}
th{background:#f2f2f2}.summary th{width:14em}.figure{font-weight:bold}
.bad{color:#b00020}.good{color:#116611}.num{text-align:right;font-family:monospace}.name{font-family:monospace}
p.note{background:#fffbe6;border:1px solid #c9b458;padding:.3em .6em}
.verdict-bound{background:#e3f4e3}.verdict-empty{background:#f6f6f6;color:#777}
.verdict-unused{background:#ececf8;color:#555}.verdict-problem{background:#fde2e1}
td.tag{position:relative;min-width:7em}.tag-text{font-family:monospace}
.why{display:none;font-size:.85em;color:#333;white-space:pre-wrap}
td.tag:hover .why{display:block;position:absolute;z-index:2;left:0;top:100%;width:24em;background:#fffbe6;border:1px solid #c9b458;padding:.4em;box-shadow:0 2px 6px #0003}
td.tag.verdict-problem .why,td.tag.verdict-problem:hover .why{display:block;position:static;width:auto;max-width:28em;background:none;border:0;padding:.2em 0 0;box-shadow:none}
.blank{color:#b00020;background:#fde2e1;font-size:.85em;padding:0 1px}.suggest{color:#116611}
details.more{margin:.4em 0 1em}details.more summary{cursor:pointer;color:#1f4f9f}.cause{border-left:4px solid #b00020;padding:.2em .8em;margin:.8em 0}
.conflict{margin:.6em 0}.conflict ul{margin:.2em 0}p.left-out{color:#555;font-size:.9em}
body.only-problems tr.row-ok{display:none}
.key span[class^=verdict]{display:inline-block;padding:0 .6em;margin-right:.4em;border:1px solid #ccc}
.finding{margin:.8em 0}.finding pre,.message pre{background:#f7f7f7;border:1px solid #ddd;padding:.4em;overflow-x:auto;margin:.3em 0}
.hit{background:#fde2e1}.ctl{color:#b00020;font-size:.8em}.caret{color:#b00020}
span.severity-error{color:#b00020;font-weight:bold}span.severity-warning{color:#8a6100;font-weight:bold}
ol.messages li{margin:.5em 0}.raised-by{font-family:monospace;background:#eef;padding:0 .3em}
.steps td{text-align:right;font-family:monospace}.steps td.events{text-align:left;white-space:nowrap}.fail{background:#fde2e1}
.added,.passed{background:#e3f4e3}.removed,.worse,.failed,.error{background:#fde2e1}.kind,.data-set,.duplicate{background:#fff4d6}
.chart svg{max-width:100%;height:auto}.wide{overflow-x:auto}
@media print{body{-webkit-print-color-adjust:exact;print-color-adjust:exact}.no-print{display:none}body.only-problems tr.row-ok{display:table-row}.why{display:block!important;position:static!important;width:auto!important;box-shadow:none!important;border:0!important;padding:0!important}td.tag:hover .why{background:none}}
)";

}  // namespace

std::string PageStart(const std::string& title, int reloadSeconds) {
    std::string out =
        "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">\n"
        "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n";
    if (reloadSeconds > 0) out += "<meta http-equiv=\"refresh\" content=\"" + std::to_string(reloadSeconds) + "\">\n";
    return out + "<title>" + Escape(title) + "</title>\n<style>" + kStyle + "</style></head>\n<body>\n";
}

std::string PageEnd() { return "</body></html>\n"; }

std::string Figure(const std::string& id, const std::string& value, const std::string& cls) {
    return "<span class=\"figure" + (cls.empty() ? "" : " " + cls) + "\" data-figure=\"" + id + "\">" + Escape(value) +
           "</span>";
}

std::string SummaryRow(const std::string& label, const std::string& cell) {
    return "<tr><th>" + Escape(label) + "</th><td>" + cell + "</td></tr>\n";
}

}  // namespace host
