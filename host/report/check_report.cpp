#include "report/check_report.h"

#include <sstream>
#include <vector>

namespace host {

namespace {

// A driver text on one line: line feeds shown as " / ", the blanks that line
// a message box up dropped.
std::string OneLine(const std::string& text) {
    std::string line;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string part = text.substr(start, end - start);
        const size_t lead = part.find_first_not_of(' ');
        part = lead == std::string::npos ? std::string() : part.substr(lead);
        if (!part.empty()) line += (line.empty() ? "" : " / ") + part;
        start = end + 1;
    }
    return line;
}

std::string MessageLine(const std::string& source, const std::string& title, const std::string& text) {
    return source == "box" ? "box \"" + title + "\": " + OneLine(text) : "ErrorMsg: " + OneLine(text);
}

std::string RowHeading(const RowDiagnosis& row) {
    std::string heading = row.table == "general" ? std::string("general") : row.table + " " + std::to_string(row.index);
    if (!row.name.empty() && row.table != "general") heading += " (" + row.name + ")";
    if (row.line > 0) heading += ", case line " + std::to_string(row.line);
    return heading;
}

}  // namespace

std::string ShownText(const std::string& text) {
    std::string shown = "\"";
    for (char c : text) {
        if (c == '\r') {
            shown += "\\r";
        } else if (c == '\n') {
            shown += "\\n";
        } else if (c == '\t') {
            shown += "\\t";
        } else {
            shown += c;
        }
    }
    return shown + "\"";
}

std::string SuggestionText(const std::vector<Suggestion>& suggestions) {
    std::string text;
    for (const Suggestion& s : suggestions) {
        text += (text.empty() ? "" : ", ") + ShownText(s.name) + " (" + s.kind + ", data set " +
                std::to_string(s.dataSet) + ")";
    }
    return text;
}

namespace {

void TagLines(std::ostringstream& out, const RowDiagnosis& row) {
    for (const TagDiagnosis& tag : row.tags) {
        out << "    " << tag.field << " " << (tag.text.empty() ? "(none)" : ShownText(tag.text)) << ": "
            << VerdictName(tag.status);
        if (!tag.kind.empty()) out << " " << tag.kind;
        if (!tag.operation.empty()) out << " " << tag.operation;
        if (!tag.code.empty()) out << " [" << tag.code << "]";
        if (tag.status == Verdict::Problem || tag.status == Verdict::Unused) out << " - " << tag.reason;
        if (!tag.gap.empty()) out << " [" << code::kNoTagValue << "] - " << tag.gap;
        out << "\n";
        if (!tag.live.empty()) out << "      " << tag.live << "\n";
        if (!tag.suggestions.empty()) out << "      did you mean: " << SuggestionText(tag.suggestions) << "\n";
        if (tag.message) {
            out << "      driver shows: " << MessageLine(tag.message->source, tag.message->title, tag.message->text)
                << "\n";
        }
    }
}

}  // namespace

std::string Counted(int64_t count, const std::string& noun) {
    return std::to_string(count) + " " + noun + (count == 1 ? "" : "s");
}

std::string CheckReport(const Diagnosis& d, bool all) {
    std::ostringstream out;
    const int32_t checked = static_cast<int32_t>(d.rows.size());
    out << "check " << d.casePath << "\n";
    out << (d.configured ? "configured" : "NOT configured") << "; " << Counted(checked, "row") << " checked, "
        << d.RowsWithProblems() << " with problems; lint " << Counted(d.LintCount(Severity::Error), "error") << ", "
        << Counted(d.LintCount(Severity::Warning), "warning") << "; "
        << Counted(static_cast<int64_t>(d.messages.size()), "driver message");
    if (!d.causes.empty()) out << "; " << d.causes.size() << " root cause(s)";
    if (!d.conflicts.empty()) out << "; " << d.conflicts.size() << " conflict(s) between rows";
    if (d.Gaps() > 0) out << "; " << Counted(d.Gaps(), "case gap");
    out << "\n";
    if (!d.stop.table.empty()) {
        out << "the driver's configuration stops at " << d.stop.table << " " << d.stop.index
            << (d.stop.name.empty() ? "" : " (" + d.stop.name + ")") << "; every row is checked here all the same\n";
    }
    if (d.stepRun) {
        const bool onlyGaps = d.messagesOfGaps > 0 && d.messages.size() == static_cast<size_t>(d.messagesOfGaps);
        out << "dry run: initialize and one step "
            << (d.stepOk   ? "ok"
                : onlyGaps ? "raised only the read error of a case gap"
                           : "raised messages")
            << "\n";
    }
    if (!d.verdictSource.empty()) {
        out << "verdicts: from " << d.verdictSource;
        if (!d.driverPath.empty()) out << " (driver " << d.driverPath << ")";
        out << "\n";
        const int32_t differing = d.RowsDiffering();
        out << (differing == 0 && d.unexplained.empty()
                    ? std::string("the driver's messages in the dry run agree with the rules\n")
                    : "the driver's messages in the dry run DIFFER from the rules: " + std::to_string(differing) +
                          " rows, " + std::to_string(d.unexplained.size()) + " messages no row accounts for\n");
    }

    if (!d.causes.empty()) {
        out << "\nroot causes (each explains the findings after it):\n";
        for (const RootCause& c : d.causes) {
            const LintFinding& f = c.finding;
            out << "  " << d.initStringPath << " lines " << f.line << " to " << c.lastLine << ": "
                << SeverityName(f.severity) << " [" << f.code << "] " << f.text << "\n";
            out << "      | " << f.quote << "\n";
            out << "      fix: " << f.hint << "\n";
            out << "      explains " << c.explains << " row verdict(s)";
            if (c.folded > 0) {
                out << "; " << c.folded << " lint finding(s) inside these lines follow from it: " << c.foldedCodes;
            }
            out << "\n";
        }
    }
    bool heading = false;
    for (const RowDiagnosis& row : d.rows) {
        if (!row.HasProblem() && row.driverDiffers.empty()) continue;
        if (!heading) out << "\nproblems:\n";
        heading = true;
        out << "  " << RowHeading(row) << "\n";
        TagLines(out, row);
        for (const std::string& line : row.driverDiffers) out << "    DRIVER DIFFERS: " << OneLine(line) << "\n";
    }
    heading = false;
    for (const RowDiagnosis& row : d.rows) {
        if (!row.HasGap() || row.HasProblem() || !row.driverDiffers.empty()) continue;
        if (!heading)
            out << "\ncase gaps (the link binds these; a run fails reading them until the case gives a value):\n";
        heading = true;
        out << "  " << RowHeading(row) << "\n";
        TagLines(out, row);
    }
    if (!d.unexplained.empty()) {
        out << "\ndriver messages the rules do not account for:\n";
        for (const DriverMessage& m : d.unexplained) {
            out << "  " << m.raisedBy << ": " << MessageLine(m.source, m.title, m.text) << "\n";
        }
    }
    if (!d.conflicts.empty()) {
        out << "\nconflicts between rows:\n";
        for (const RowConflict& c : d.conflicts) {
            out << "  " << SeverityName(c.severity) << " [" << c.code << "] " << c.text << "\n";
            for (const ConflictSide* side : {&c.first, &c.second}) {
                out << "      "
                    << (side->table == "general" ? std::string("general")
                                                 : side->table + " " + std::to_string(side->index))
                    << (side->name.empty() || side->table == "general" ? "" : " (" + side->name + ")")
                    << (side->line > 0 ? ", case line " + std::to_string(side->line) : "") << ": " << side->field << " "
                    << ShownText(side->text) << ": " << side->when << "\n";
            }
        }
    }
    if (!d.lint.empty()) {
        out << "\ninitialization string " << d.initStringPath << ":\n";
        for (const LintFinding& f : d.lint) {
            out << "  line " << f.line << ", column " << f.column << ": " << SeverityName(f.severity) << " [" << f.code
                << "] " << f.text << "\n";
            out << "      | " << f.quote << "\n";
            out << "      fix: " << f.hint << "\n";
        }
    }
    if (!d.messages.empty()) {
        out << "\nmessages the driver raised in the dry run:\n";
        // A run of the same message (a box for every stray token) is one line.
        for (size_t i = 0; i < d.messages.size();) {
            const DriverMessage& m = d.messages[i];
            size_t same = 1;
            while (i + same < d.messages.size() && d.messages[i + same].raisedBy == m.raisedBy &&
                   d.messages[i + same].source == m.source && d.messages[i + same].title == m.title &&
                   d.messages[i + same].text == m.text) {
                ++same;
            }
            out << "  " << m.raisedBy << ": " << MessageLine(m.source, m.title, m.text);
            if (same > 1) out << " (" << same << " times)";
            out << "\n";
            i += same;
        }
    }
    if (all) {
        out << "\nrows without problems:\n";
        for (const RowDiagnosis& row : d.rows) {
            if (row.HasProblem() || row.HasGap() || !row.driverDiffers.empty()) continue;
            out << "  " << RowHeading(row) << "\n";
            TagLines(out, row);
        }
    }
    return out.str();
}

}  // namespace host
