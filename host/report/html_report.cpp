#include "report/html_report.h"

#include <algorithm>
#include <cstdio>
#include <sstream>
#include <stdexcept>

#include "output/output_file.h"
#include "report/markup.h"
#include "text/code_page.h"

namespace host {

namespace {

// Kept inline so the page opens from a mail attachment with nothing else.
const char kStyle[] = R"(
body{font:14px/1.4 system-ui,-apple-system,"Segoe UI",sans-serif;margin:1.5em auto;max-width:1200px;padding:0 1em;color:#222}
h1{font-size:1.4em;margin:.2em 0}h2{font-size:1.15em;border-bottom:1px solid #ccc;margin-top:1.6em}
table{border-collapse:collapse;margin:.5em 0}td,th{border:1px solid #ccc;padding:.25em .5em;vertical-align:top;text-align:left}
th{background:#f2f2f2}.summary th{width:14em}.figure{font-weight:bold}
.bad{color:#b00020}.good{color:#116611}
.verdict-bound{background:#e3f4e3}.verdict-empty{background:#f6f6f6;color:#777}
.verdict-unused{background:#ececf8;color:#555}.verdict-problem{background:#fde2e1}
td.tag{position:relative;min-width:7em}.tag-text{font-family:monospace}
.why{display:none;font-size:.85em;color:#333;white-space:pre-wrap}
td.tag:hover .why{display:block;position:absolute;z-index:2;left:0;top:100%;width:24em;background:#fffbe6;border:1px solid #c9b458;padding:.4em;box-shadow:0 2px 6px #0003}
body.only-problems tr.row-ok{display:none}
.key span[class^=verdict]{display:inline-block;padding:0 .6em;margin-right:.4em;border:1px solid #ccc}
.finding{margin:.8em 0}.finding pre,.message pre{background:#f7f7f7;border:1px solid #ddd;padding:.4em;overflow-x:auto;margin:.3em 0}
.hit{background:#fde2e1}.ctl{color:#b00020;font-size:.8em}.caret{color:#b00020}
.severity-error{color:#b00020;font-weight:bold}.severity-warning{color:#8a6100;font-weight:bold}
ol.messages li{margin:.5em 0}.raised-by{font-family:monospace;background:#eef;padding:0 .3em}
.steps td{text-align:right;font-family:monospace}.steps td.events{text-align:left;white-space:nowrap}.fail{background:#fde2e1}
.chart svg{max-width:100%;height:auto}.wide{overflow-x:auto}
@media print{body{-webkit-print-color-adjust:exact;print-color-adjust:exact}.no-print{display:none}body.only-problems tr.row-ok{display:table-row}.why{display:block!important;position:static!important;width:auto!important;box-shadow:none!important;border:0!important;padding:0!important}td.tag:hover .why{background:none}}
)";

const char kFilterScript[] = R"(<script>
document.getElementById('only-problems').addEventListener('change',function(e){document.body.classList.toggle('only-problems',e.target.checked);});
</script>
)";

std::string Figure(const std::string& id, const std::string& value, const std::string& cls = "") {
    return "<span class=\"figure" + (cls.empty() ? "" : " " + cls) + "\" data-figure=\"" + id + "\">" + Escape(value) +
           "</span>";
}

void SummaryRow(std::ostream& out, const std::string& label, const std::string& figure) {
    out << "<tr><th>" << label << "</th><td>" << figure << "</td></tr>\n";
}

std::string Count(int32_t n, bool badWhenAny) { return n > 0 && badWhenAny ? "bad" : (badWhenAny ? "good" : ""); }

void WriteSummary(std::ostream& out, const PageInput& input) {
    const Diagnosis* d = input.diagnosis;
    out << "<section id=\"summary\"><h1>dcs-host " << Escape(input.command) << ": " << Escape(input.casePath)
        << "</h1>\n<table class=\"summary\">\n";
    SummaryRow(out, "Case", Figure("case", input.casePath));
    SummaryRow(out, "Driver",
               Figure("driver", input.driverPath) + " version " + Figure("driver-version", input.driverVersion));
    SummaryRow(
        out, "Link",
        Figure("configured", input.configured ? "configured" : "not configured", input.configured ? "good" : "bad"));
    if (d != nullptr) {
        const int32_t rows = static_cast<int32_t>(d->rows.size());
        SummaryRow(out, "Rows checked", Figure("rows-checked", std::to_string(rows)));
        SummaryRow(
            out, "Rows with problems",
            Figure("rows-with-problems", std::to_string(d->RowsWithProblems()), Count(d->RowsWithProblems(), true)));
        const int32_t errors = d->LintCount(Severity::Error);
        const int32_t warnings = d->LintCount(Severity::Warning);
        SummaryRow(out, "Lint",
                   Figure("lint-errors", std::to_string(errors), Count(errors, true)) +
                       (errors == 1 ? " error, " : " errors, ") + Figure("lint-warnings", std::to_string(warnings)) +
                       (warnings == 1 ? " warning" : " warnings"));
    }
    if (input.run) {
        SummaryRow(
            out, "Steps",
            Figure("steps-run", std::to_string(input.run->stepsRun)) + " run, " +
                Figure("steps-failed", std::to_string(input.run->stepsFailed), Count(input.run->stepsFailed, true)) +
                " failed");
    }
    out << "</table></section>\n";
}

// What a cell tells on hover and in print.
std::string Explanation(const TagDiagnosis& tag) {
    std::string text;
    if (tag.status == Verdict::Bound) {
        text = tag.kind + (tag.operation.empty() ? "" : " " + tag.operation);
    } else {
        text = tag.reason;
        if (!tag.code.empty()) text = tag.code + (text.empty() ? "" : ": " + text);
    }
    if (tag.message) {
        text += (text.empty() ? "" : "\n") + std::string("Driver: ") +
                (tag.message->title.empty() ? "" : tag.message->title + ": ") + tag.message->text;
    }
    return text;
}

void WriteTagCell(std::ostream& out, const TagDiagnosis& tag) {
    const std::string why = Explanation(tag);
    out << "<td class=\"tag verdict-" << VerdictName(tag.status) << "\" data-field=\"" << Escape(tag.field)
        << "\" title=\"" << Escape(why) << "\"><span class=\"tag-text\">"
        << (tag.text.empty() ? "&mdash;" : Escape(tag.text)) << "</span>"
        << (tag.required && tag.text.empty() ? " (required)" : "");
    if (!why.empty()) out << "<div class=\"why\">" << Escape(why) << "</div>";
    out << "</td>";
}

void WriteDiagnosisTable(std::ostream& out, const std::string& table, std::vector<const RowDiagnosis*> rows) {
    std::vector<std::string> fields;
    for (const RowDiagnosis* row : rows) {
        for (const TagDiagnosis& tag : row->tags) {
            if (std::find(fields.begin(), fields.end(), tag.field) == fields.end()) fields.push_back(tag.field);
        }
    }
    // Problems first; otherwise the case's order.
    std::stable_sort(rows.begin(), rows.end(),
                     [](const RowDiagnosis* a, const RowDiagnosis* b) { return a->HasProblem() && !b->HasProblem(); });
    out << "<h3>" << Escape(table) << "</h3>\n<table class=\"diagnosis\" data-table=\"" << Escape(table)
        << "\">\n<tr><th>row</th>";
    for (const std::string& field : fields) out << "<th>" << Escape(field) << "</th>";
    out << "</tr>\n";
    for (const RowDiagnosis* row : rows) {
        out << "<tr class=\"" << (row->HasProblem() ? "row-problem" : "row-ok") << "\"><th>" << row->index << " "
            << Escape(row->name) << (row->line > 0 ? " <small>line " + std::to_string(row->line) + "</small>" : "")
            << "</th>";
        for (const std::string& field : fields) {
            auto tag = std::find_if(row->tags.begin(), row->tags.end(),
                                    [&](const TagDiagnosis& t) { return t.field == field; });
            if (tag == row->tags.end()) {
                out << "<td></td>";
            } else {
                WriteTagCell(out, *tag);
            }
        }
        out << "</tr>\n";
    }
    out << "</table>\n";
}

void WriteDiagnosis(std::ostream& out, const Diagnosis& d) {
    out << "<section id=\"diagnosis\"><h2>Tags, row by row</h2>\n"
        << "<p class=\"key\"><span class=\"verdict-bound\">bound</span><span class=\"verdict-empty\">empty</span>"
        << "<span class=\"verdict-unused\">unused</span><span class=\"verdict-problem\">problem</span> "
        << "<span class=\"no-print\">Point at a cell for how it is served or why it is a problem.</span></p>\n"
        << "<p class=\"no-print\"><label><input type=\"checkbox\" id=\"only-problems\"> show only rows with problems"
        << "</label></p>\n";
    std::vector<std::string> tables;
    for (const RowDiagnosis& row : d.rows) {
        if (std::find(tables.begin(), tables.end(), row.table) == tables.end()) tables.push_back(row.table);
    }
    for (const std::string& table : tables) {
        std::vector<const RowDiagnosis*> rows;
        for (const RowDiagnosis& row : d.rows) {
            if (row.table == table) rows.push_back(&row);
        }
        WriteDiagnosisTable(out, table, rows);
    }
    if (!d.verdictSource.empty()) out << "<p>Verdicts: from " << Escape(d.verdictSource) << ".</p>\n";
    bool differs = false;
    for (const RowDiagnosis& row : d.rows) {
        for (const std::string& line : row.driverDiffers) {
            if (!differs) out << "<h3>Where the loaded driver differs from the rules</h3>\n<ul>\n";
            differs = true;
            out << "<li>" << Escape(row.table) << " " << row.index << " " << Escape(row.name) << ": " << Escape(line)
                << "</li>\n";
        }
    }
    if (differs) out << "</ul>\n";
    out << "</section>\n";
}

// A line of the initialization string file with its control characters made
// visible: a stray carriage return is often the very finding.
std::string Visible(const std::string& line) {
    std::string out;
    for (size_t i = 0; i < line.size();) {
        size_t length = 1;
        const char32_t c = NextCharacter(line, i, &length);
        if (c == '\r') {
            out += "<span class=\"ctl\">CR</span>";
        } else if ((c < 0x20 && c != '\t') || c == 0x7F || (c >= 0x80 && c < 0xA0)) {
            char code[16];
            std::snprintf(code, sizeof code, c < 0x80 ? "\\x%02X" : "\\u%04X", static_cast<unsigned>(c));
            out += std::string("<span class=\"ctl\">") + code + "</span>";
        } else {
            out += Escape(line.substr(i, length));
        }
        i += length;
    }
    return out;
}

void WriteLint(std::ostream& out, const Diagnosis& d, const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    out << "<section id=\"lint\"><h2>The initialization string file";
    if (!d.initStringPath.empty()) out << ": " << Escape(d.initStringPath);
    out << "</h2>\n";
    if (d.lint.empty()) out << "<p>No findings.</p>\n";
    constexpr int32_t kAround = 2;
    for (const LintFinding& f : d.lint) {
        out << "<div class=\"finding\"><span class=\"severity-" << SeverityName(f.severity) << "\">"
            << SeverityName(f.severity) << "</span> line " << f.line << ", column " << f.column << " <code>"
            << Escape(f.code) << "</code>: " << Escape(f.text);
        if (!f.hint.empty()) out << " <em>" << Escape(f.hint) << "</em>";
        out << "\n<pre>";
        const int32_t count = static_cast<int32_t>(lines.size());
        for (int32_t n = std::max(1, f.line - kAround); n <= std::min(count, f.line + kAround); ++n) {
            const std::string& line = lines[static_cast<size_t>(n - 1)];
            char number[16];
            std::snprintf(number, sizeof number, "%5d | ", static_cast<int>(n));
            out << (n == f.line ? "<span class=\"hit\">" : "") << number << Visible(line)
                << (n == f.line ? "</span>" : "") << "\n";
            if (n == f.line && f.column > 0) {
                out << "        <span class=\"caret\">" << std::string(static_cast<size_t>(f.column - 1), ' ')
                    << "^</span>\n";
            }
        }
        out << "</pre></div>\n";
    }
    out << "</section>\n";
}

void WriteMessages(std::ostream& out, const std::vector<DriverMessage>& messages) {
    out << "<section id=\"messages\"><h2>Messages the driver raised</h2>\n";
    if (messages.empty()) {
        out << "<p>None.</p></section>\n";
        return;
    }
    out << "<ol class=\"messages\">\n";
    for (const DriverMessage& m : messages) {
        out << "<li class=\"message\"><span class=\"raised-by\">" << Escape(m.raisedBy) << "</span> "
            << (m.source == "box" ? "message box " : Escape(m.source) + " ");
        if (!m.title.empty()) out << "<b class=\"title\">" << Escape(m.title) << "</b>";
        out << "<pre>" << Escape(m.text) << "</pre></li>\n";
    }
    out << "</ol></section>\n";
}

void WriteStepTable(std::ostream& out, const PageRun& run) {
    out << "<h2>Steps</h2>\n<div class=\"wide\"><table class=\"steps\">\n<tr><th>step</th><th>status</th>";
    for (const std::string& name : run.layout.controllers)
        out << "<th>" << Escape(name) << " SP</th><th>" << Escape(name) << " OP</th>";
    for (const std::string& name : run.layout.pvExports) out << "<th>" << Escape(name) << "</th>";
    for (const std::string& name : run.layout.pvImports) out << "<th>" << Escape(name) << "</th>";
    out << "<th>Enabled</th><th>Running</th><th>events</th></tr>\n";
    auto flag = [](const std::optional<int32_t>& f) { return f ? std::to_string(*f) : std::string("-"); };
    for (const StepRecord& r : run.records) {
        out << "<tr" << (r.ok ? "" : " class=\"fail\"") << "><td>" << (r.step == 0 ? "init" : std::to_string(r.step))
            << "</td><td>" << (r.ok ? "ok" : "FAIL") << "</td>";
        for (const ControllerSample& c : r.controllers) {
            out << "<td>" << ShortNumber(c.sp) << (c.spChanged ? "*" : "") << "</td><td>" << ShortNumber(c.op)
                << (c.opChanged ? "*" : "") << "</td>";
        }
        for (double v : r.pvExports) out << "<td>" << ShortNumber(v) << "</td>";
        for (double v : r.pvImports) out << "<td>" << ShortNumber(v) << "</td>";
        out << "<td>" << flag(r.enabled) << "</td><td>" << flag(r.running) << "</td><td class=\"events\">"
            << Escape(r.events) << "</td></tr>\n";
    }
    out << "</table></div>\n<p>* the driver stored the value during the step.</p>\n";
}

}  // namespace

std::string HtmlPage(const PageInput& input) {
    std::ostringstream out;
    out << "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">\n"
        << "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n<title>dcs-host "
        << Escape(input.command) << ": " << Escape(input.casePath) << "</title>\n<style>" << kStyle
        << "</style></head>\n<body>\n";
    WriteSummary(out, input);
    if (input.diagnosis != nullptr) {
        WriteDiagnosis(out, *input.diagnosis);
        WriteLint(out, *input.diagnosis, input.diagnosis->initStringText);
    }
    const bool ownMessages = !input.messages.empty() || input.diagnosis == nullptr || input.run;
    WriteMessages(out, ownMessages ? input.messages : input.diagnosis->messages);
    if (input.run) {
        out << "<section id=\"run\"><h2>Trend</h2>\n<div class=\"chart\">\n";
        WriteChart(out, input.run->layout, input.run->records, input.run->chart, false);
        out << "</div>\n";
        WriteStepTable(out, *input.run);
        out << "</section>\n";
    }
    if (input.diagnosis != nullptr) out << kFilterScript;
    out << "</body></html>\n";
    return out.str();
}

void WriteHtmlPage(OutputFile& file, const PageInput& input) {
    file.Stream() << HtmlPage(input);
    file.Commit();
}

void WriteHtmlPage(const std::string& path, const PageInput& input) {
    OutputFile file(path);
    WriteHtmlPage(file, input);
}

}  // namespace host
