#include "report/html_report.h"

#include <algorithm>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <sstream>
#include <stdexcept>
#include <unordered_map>

#include "markup.h"
#include "output/output_file.h"
#include "page.h"
#include "report/step_columns.h"
#include "text/code_page.h"

namespace host {

namespace {

const char kFilterScript[] = R"(<script>
document.getElementById('only-problems').addEventListener('change',function(e){document.body.classList.toggle('only-problems',e.target.checked);});
</script>
)";

// Renders the rows a long table keeps as data, a thousand at a time, when
// the reader opens them: a plant's page opens at once however many rows.
const char kLazyRowsScript[] = R"(<script>
(function(){
var S=['bound','empty','unused','problem'];
function esc(t){return t.replace(/[&<>"']/g,function(c){return {'&':'&amp;','<':'&lt;','>':'&gt;','"':'&quot;',"'":'&#39;'}[c];});}
function vis(t){if(t==='')return '&mdash;';var m=/^([ \t\r\n]*)([\s\S]*?)([ \t\r\n]*)$/.exec(t);
function b(s){return s.replace(/./g,function(c){return '<span class="blank">'+({' ':'&#9251;','\t':'TAB','\r':'CR','\n':'LF'}[c])+'</span>';});}
return b(m[1])+esc(m[2]).replace(/\r/g,'<span class="blank">CR</span>')+b(m[3]);}
document.querySelectorAll('details.more').forEach(function(d){
  var data=null,shown=0,body=d.querySelector('tbody');
  function more(){
    var end=Math.min(shown+1000,data.rows.length),h='';
    for(;shown<end;shown++){var r=data.rows[shown];
      h+='<tr class="'+(r[3]?'row-problem':'row-ok')+'"><th>'+r[0]+' '+esc(r[1])+(r[2]>0?' <small>line '+r[2]+'</small>':'')+'</th>';
      for(var i=0;i<r[4].length;i++){var c=r[4][i];if(!c){h+='<td></td>';continue;}var why=data.why[c[2]];
        h+='<td class="tag verdict-'+S[c[1]]+'" data-field="'+esc(data.fields[i])+'" title="'+esc(why)+'"><span class="tag-text">'+vis(c[0])+'</span>'+(why?'<div class="why">'+esc(why)+'</div>':'')+'</td>';}
      h+='</tr>';}
    body.insertAdjacentHTML('beforeend',h);
    var b=d.querySelector('button');b.hidden=shown>=data.rows.length;b.textContent='show 1000 more of '+(data.rows.length-shown);
  }
  d.addEventListener('toggle',function(){if(!d.open||data)return;data=JSON.parse(document.getElementById(d.getAttribute('data-rows')).textContent);more();});
  d.querySelector('button').addEventListener('click',more);
});
})();
</script>
)";

std::string Count(int32_t n, bool badWhenAny) { return n > 0 && badWhenAny ? "bad" : (badWhenAny ? "good" : ""); }

void WriteSummary(std::ostream& out, const PageInput& input) {
    const Diagnosis* d = input.diagnosis;
    out << "<section id=\"summary\"><h1>dcs-host " << Escape(input.command) << ": " << Escape(input.casePath)
        << "</h1>\n<table class=\"summary\">\n";
    out << SummaryRow("Case", Figure("case", input.casePath));
    if (!input.replayOf.empty()) {
        out << SummaryRow("Replay",
                          Figure("replay-of", input.replayOf) +
                              ": the tag server's answers, failures included, came from this trace, not from the case");
    }
    out << SummaryRow("Driver",
                      Figure("driver", input.driverPath) + " version " + Figure("driver-version", input.driverVersion));
    out << SummaryRow("Link", Figure("configured", input.configured ? "configured" : "not configured",
                                     input.configured ? "good" : "bad"));
    if (d != nullptr) {
        const int32_t rows = static_cast<int32_t>(d->rows.size());
        out << SummaryRow("Rows checked", Figure("rows-checked", std::to_string(rows)));
        out << SummaryRow("Rows with problems", Figure("rows-with-problems", std::to_string(d->RowsWithProblems()),
                                                       Count(d->RowsWithProblems(), true)));
        const int32_t errors = d->LintCount(Severity::Error);
        const int32_t warnings = d->LintCount(Severity::Warning);
        out << SummaryRow("Lint", Figure("lint-errors", std::to_string(errors), Count(errors, true)) +
                                      (errors == 1 ? " error, " : " errors, ") +
                                      Figure("lint-warnings", std::to_string(warnings)) +
                                      (warnings == 1 ? " warning" : " warnings"));
        if (!d->causes.empty()) {
            out << SummaryRow("Root causes",
                              Figure("root-causes", std::to_string(d->causes.size()), "bad") + " (see below, first)");
        }
        if (!d->conflicts.empty()) {
            out << SummaryRow("Conflicts between rows",
                              Figure("conflicts", std::to_string(d->conflicts.size()), "bad"));
        }
        if (d->Gaps() > 0) {
            out << SummaryRow("Case gaps",
                              Figure("case-gaps", std::to_string(d->Gaps()), "bad") +
                                  " tag(s) the link binds but the case gives no value (marked in the table)");
        }
    }
    if (input.run) {
        out << SummaryRow("Steps", Figure("steps-run", std::to_string(input.run->stepsRun)) + " run, " +
                                       Figure("steps-failed", std::to_string(input.run->stepsFailed),
                                              Count(input.run->stepsFailed, true)) +
                                       " failed");
    }
    out << "</table></section>\n";
}

// A tag text as HTML with what a reader cannot see made visible: blanks at
// either end (a trailing blank keeps a name from binding), carriage
// returns, line feeds and tabs.
std::string VisibleTag(const std::string& text) {
    if (text.empty()) return "&mdash;";
    size_t begin = 0, end = text.size();
    auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (begin < end && blank(text[begin])) ++begin;
    while (end > begin && blank(text[end - 1])) --end;
    auto mark = [](char c) -> std::string {
        const char* shown = c == ' ' ? "&#9251;" : c == '\t' ? "TAB" : c == '\r' ? "CR" : "LF";
        return std::string("<span class=\"blank\">") + shown + "</span>";
    };
    std::string out;
    for (size_t i = 0; i < begin; ++i) out += mark(text[i]);
    // Runs between line breaks are escaped whole: a character of several
    // UTF-8 bytes must reach the escaping in one piece.
    for (size_t i = begin; i < end;) {
        if (text[i] == '\r' || text[i] == '\n') {
            out += mark(text[i++]);
            continue;
        }
        size_t stop = text.find_first_of("\r\n", i);
        if (stop == std::string::npos || stop > end) stop = end;
        out += Escape(text.substr(i, stop - i));
        i = stop;
    }
    for (size_t i = end; i < text.size(); ++i) out += mark(text[i]);
    return out;
}

// What a cell tells on hover and in print; a problem's is always shown.
std::string Explanation(const TagDiagnosis& tag) {
    std::string text;
    if (tag.status == Verdict::Bound) {
        text = tag.kind + (tag.operation.empty() ? "" : " " + tag.operation);
    } else {
        text = tag.reason;
        if (!tag.code.empty()) text = tag.code + (text.empty() ? "" : ": " + text);
    }
    if (!tag.suggestions.empty()) {
        std::string names;
        for (const Suggestion& n : tag.suggestions) {
            names += (names.empty() ? "\"" : ", \"") + n.name + "\" (" + n.kind + ", data set " +
                     std::to_string(n.dataSet) + ")";
        }
        text += "\nDid you mean: " + names + "?";
    }
    if (tag.message) {
        text += (text.empty() ? "" : "\n") + std::string("Driver: ") +
                (tag.message->title.empty() ? "" : tag.message->title + ": ") + tag.message->text;
    }
    if (!tag.live.empty()) text += (text.empty() ? "" : "\n") + tag.live;
    if (!tag.gap.empty()) text += (text.empty() ? "" : "\n") + std::string("Case gap: ") + tag.gap;
    return text;
}

void WriteTagCell(std::ostream& out, const TagDiagnosis& tag) {
    const std::string why = Explanation(tag);
    out << "<td class=\"tag verdict-" << VerdictName(tag.status) << "\" data-field=\"" << Escape(tag.field)
        << "\" title=\"" << Escape(why) << "\"><span class=\"tag-text\">" << VisibleTag(tag.text) << "</span>"
        << (tag.required && tag.text.empty() ? " (required)" : "")
        << (tag.liveDisagrees ? " <span class=\"live-disagrees bad\">(live differs)</span>" : "")
        << (tag.gap.empty() ? "" : " <span class=\"case-gap bad\">(case gap)</span>");
    if (!why.empty()) out << "<div class=\"why\">" << Escape(why) << "</div>";
    out << "</td>";
}

// A table this long is written out whole, as it always was; a longer one
// (a plant) shows its first problem rows and keeps the rest as data that a
// small script turns into rows when the reader opens them.
constexpr size_t kWholeTable = 400;
constexpr size_t kShownProblemRows = 300;

// JSON for a script element: "</script>" in a text would end the element,
// so <, > and & are written as \u escapes. Outside its strings, JSON holds
// none of the three.
std::string ScriptJson(const nlohmann::ordered_json& value) {
    std::string out;
    for (const char c : value.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace)) {
        switch (c) {
        case '<': out += "\\u003c"; break;
        case '>': out += "\\u003e"; break;
        case '&': out += "\\u0026"; break;
        default: out += c;
        }
    }
    return out;
}

int32_t StatusIndex(Verdict v) {
    switch (v) {
    case Verdict::Bound: return 0;
    case Verdict::Empty: return 1;
    case Verdict::Unused: return 2;
    case Verdict::Problem: return 3;
    }
    return 3;
}

void WriteRow(std::ostream& out, const RowDiagnosis& row, const std::vector<std::string>& fields) {
    out << "<tr class=\"" << (row.HasProblem() ? "row-problem" : "row-ok") << "\"><th>" << row.index << " "
        << Escape(row.name) << (row.line > 0 ? " <small>line " + std::to_string(row.line) + "</small>" : "") << "</th>";
    for (const std::string& field : fields) {
        auto tag =
            std::find_if(row.tags.begin(), row.tags.end(), [&](const TagDiagnosis& t) { return t.field == field; });
        if (tag == row.tags.end()) {
            out << "<td></td>";
        } else {
            WriteTagCell(out, *tag);
        }
    }
    out << "</tr>\n";
}

// The rows left out of the page's markup, as data: each explanation once.
void WriteRowData(std::ostream& out, const std::string& id, const std::vector<const RowDiagnosis*>& rows,
                  const std::vector<std::string>& fields) {
    using nlohmann::ordered_json;
    std::vector<std::string> whys;
    std::unordered_map<std::string, size_t> whyIndex;
    ordered_json data = ordered_json::array();
    for (const RowDiagnosis* row : rows) {
        ordered_json cells = ordered_json::array();
        for (const std::string& field : fields) {
            auto tag = std::find_if(row->tags.begin(), row->tags.end(),
                                    [&](const TagDiagnosis& t) { return t.field == field; });
            if (tag == row->tags.end()) {
                cells.push_back(0);
                continue;
            }
            const std::string why = Explanation(*tag);
            const auto found = whyIndex.emplace(why, whys.size());
            if (found.second) whys.push_back(why);
            cells.push_back(ordered_json::array({tag->text, StatusIndex(tag->status), found.first->second}));
        }
        data.push_back(ordered_json::array({row->index, row->name, row->line, row->HasProblem() ? 1 : 0, cells}));
    }
    out << "<script type=\"application/json\" id=\"" << id << "\">"
        << ScriptJson(ordered_json{{"fields", fields}, {"why", whys}, {"rows", std::move(data)}}) << "</script>\n";
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
    size_t problems = 0;
    size_t counts[4] = {};
    for (const RowDiagnosis* row : rows) {
        problems += row->HasProblem() ? 1 : 0;
        for (const TagDiagnosis& tag : row->tags) ++counts[StatusIndex(tag.status)];
    }
    const bool whole = rows.size() <= kWholeTable;
    const size_t shown = whole ? rows.size() : std::min(problems, kShownProblemRows);
    out << "<h3>" << Escape(table) << " <small>" << Thousands(rows.size()) << " row(s), " << Thousands(problems)
        << " with problems</small></h3>\n";
    auto header = [&] {
        out << "<tr><th>row</th>";
        for (const std::string& field : fields) out << "<th>" << Escape(field) << "</th>";
        out << "</tr>\n";
    };
    out << "<table class=\"diagnosis\" data-table=\"" << Escape(table) << "\">\n";
    header();
    for (size_t r = 0; r < shown; ++r) WriteRow(out, *rows[r], fields);
    out << "</table>\n";
    if (whole) return;
    const std::vector<const RowDiagnosis*> rest(rows.begin() + static_cast<std::ptrdiff_t>(shown), rows.end());
    const std::string id = "rows-" + table;
    const size_t restProblems = problems - shown;
    out << "<details class=\"more\" data-table=\"" << Escape(table) << "\" data-rows=\"" << Escape(id) << "\"><summary>"
        << Thousands(rest.size()) << " more row(s)";
    if (restProblems > 0) out << ", " << Thousands(restProblems) << " of them with problems";
    out << " (of all " << Thousands(rows.size()) << ": tags bound " << Thousands(counts[0]) << ", empty "
        << Thousands(counts[1]) << ", unused " << Thousands(counts[2]) << ", problems " << Thousands(counts[3])
        << "); open to list them</summary>\n<table class=\"diagnosis\"><thead>";
    header();
    out << "</thead><tbody></tbody></table><button type=\"button\">show more</button></details>\n";
    WriteRowData(out, id, rest, fields);
}

// The faults of the initialization string that explain the others, first.
void WriteCauses(std::ostream& out, const Diagnosis& d) {
    if (d.causes.empty()) return;
    out << "<section id=\"causes\"><h2>Root causes</h2>\n<p>Each explains the rows and findings after it; "
        << "fix these first.</p>\n";
    for (const RootCause& c : d.causes) {
        const LintFinding& f = c.finding;
        out << "<div class=\"cause\" data-code=\"" << Escape(f.code) << "\"><span class=\"severity-"
            << SeverityName(f.severity) << "\">" << SeverityName(f.severity) << "</span> <code>" << Escape(f.code)
            << "</code> lines " << f.line << " to " << c.lastLine << ": " << Escape(f.text) << " <em>" << Escape(f.hint)
            << "</em><br>explains <b data-figure=\"explains\">" << c.explains << "</b> row verdict(s)";
        if (c.folded > 0) {
            out << "; " << c.folded << " lint finding(s) inside these lines follow from it: " << Escape(c.foldedCodes);
        }
        out << "</div>\n";
    }
    out << "</section>\n";
}

void WriteConflicts(std::ostream& out, const Diagnosis& d) {
    if (d.conflicts.empty()) return;
    out << "<section id=\"conflicts\"><h2>Conflicts between rows</h2>\n";
    for (const RowConflict& c : d.conflicts) {
        out << "<div class=\"conflict\" data-code=\"" << Escape(c.code) << "\"><span class=\"severity-"
            << SeverityName(c.severity) << "\">" << SeverityName(c.severity) << "</span> <code>" << Escape(c.code)
            << "</code>: " << Escape(c.text) << "\n<ul>";
        for (const ConflictSide* side : {&c.first, &c.second}) {
            out << "<li>" << Escape(side->table) << " " << side->index << " " << Escape(side->name)
                << (side->line > 0 ? " <small>line " + std::to_string(side->line) + "</small>" : "") << ", "
                << Escape(side->field) << " <span class=\"tag-text\">" << VisibleTag(side->text)
                << "</span>: " << Escape(side->when) << "</li>";
        }
        out << "</ul></div>\n";
    }
    out << "</section>\n";
}

void WriteDiagnosis(std::ostream& out, const Diagnosis& d) {
    out << "<section id=\"diagnosis\"><h2>Tags, row by row</h2>\n"
        << "<p class=\"key\"><span class=\"verdict-bound\">bound</span><span class=\"verdict-empty\">empty</span>"
        << "<span class=\"verdict-unused\">unused</span><span class=\"verdict-problem\">problem</span> "
        << "<span class=\"no-print\">Point at a cell for how it is served; a problem says why beneath it.</span></p>\n"
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
    // A generated string can hold thousands of findings of one kind.
    constexpr size_t kFindings = 300;
    if (d.lint.size() > kFindings) {
        out << "<p class=\"left-out\">The first " << kFindings << " of " << Thousands(d.lint.size())
            << " findings; the terminal and JSON reports hold them all.</p>\n";
    }
    for (size_t k = 0; k < d.lint.size() && k < kFindings; ++k) {
        const LintFinding& f = d.lint[k];
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

// A run of one message (a box for every stray token) is one item with its
// count; past this many items the rest are counted, not listed.
constexpr size_t kMessageItems = 200;

void WriteMessages(std::ostream& out, const std::vector<DriverMessage>& messages) {
    out << "<section id=\"messages\"><h2>Messages the driver raised</h2>\n";
    if (messages.empty()) {
        out << "<p>None.</p></section>\n";
        return;
    }
    out << "<ol class=\"messages\">\n";
    size_t items = 0, i = 0;
    for (; i < messages.size() && items < kMessageItems; ++items) {
        const DriverMessage& m = messages[i];
        size_t same = 1;
        while (i + same < messages.size() && messages[i + same].raisedBy == m.raisedBy &&
               messages[i + same].source == m.source && messages[i + same].title == m.title &&
               messages[i + same].text == m.text) {
            ++same;
        }
        out << "<li class=\"message\"><span class=\"raised-by\">" << Escape(m.raisedBy) << "</span> "
            << (m.source == "box" ? "message box " : Escape(m.source) + " ");
        if (!m.title.empty()) out << "<b class=\"title\">" << Escape(m.title) << "</b>";
        if (same > 1) out << " (" << same << " times)";
        out << "<pre>" << Escape(m.text) << "</pre></li>\n";
        i += same;
    }
    out << "</ol>\n";
    if (i < messages.size()) {
        out << "<p class=\"left-out\">" << Thousands(messages.size() - i)
            << " more message(s) not listed here; the terminal report counts them all.</p>\n";
    }
    out << "</section>\n";
}

void WriteStepTable(std::ostream& out, const PageRun& run) {
    const StepColumns columns(run.layout);
    ColumnChanges changes(columns);
    for (const StepRecord& r : run.records) changes.Add(r);
    const ColumnPick pick =
        PickColumns(PickedBy(columns.Names(), run.chart.columns).picked, changes.Changing(), kShownColumns);
    // Only the cells shown are written: a plant has tens of thousands a step.
    auto cell = [&](const StepRecord& r, size_t c) {
        const StepCell v = columns.Cell(r, c);
        if (v.flag) return v.held ? std::to_string(static_cast<int32_t>(v.value)) : std::string("-");
        return v.held ? ShortNumber(v.value) + (v.stored ? "*" : "") : std::string();
    };
    const std::vector<size_t>& shown = pick.shown;
    out << "<h2>Steps</h2>\n";
    const std::string note = LeftOutNote(pick);
    if (!note.empty()) out << "<p class=\"left-out\" data-figure=\"step-columns\">" << note << "</p>\n";
    out << "<div class=\"wide\"><table class=\"steps\">\n<tr><th>step</th><th>status</th>";
    for (size_t c : shown) out << "<th>" << Escape(columns.Names()[c]) << "</th>";
    out << "<th>events</th></tr>\n";
    for (size_t r = 0; r < run.records.size(); ++r) {
        const StepRecord& rec = run.records[r];
        out << "<tr" << (rec.ok ? "" : " class=\"fail\"") << "><td>"
            << (rec.step == 0 ? "init" : std::to_string(rec.step)) << "</td><td>" << (rec.ok ? "ok" : "FAIL")
            << "</td>";
        for (size_t c : shown) out << "<td>" << cell(rec, c) << "</td>";
        out << "<td class=\"events\">" << Escape(rec.events) << "</td></tr>\n";
    }
    out << "</table></div>\n<p>* the driver stored the value during the step.</p>\n";
}

}  // namespace

std::string HtmlPage(const PageInput& input) {
    std::ostringstream out;
    out << PageStart("dcs-host " + input.command + ": " + input.casePath);
    WriteSummary(out, input);
    if (input.diagnosis != nullptr) {
        WriteCauses(out, *input.diagnosis);
        WriteDiagnosis(out, *input.diagnosis);
        WriteConflicts(out, *input.diagnosis);
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
    if (input.diagnosis != nullptr) out << kFilterScript << kLazyRowsScript;
    out << PageEnd();
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
