#include "report/problems_csv.h"

#include "report/check_report.h"
#include "report/report.h"
#include "source_place.h"

namespace host {

namespace {

std::string Position(const std::string& file, int line, int column) { return PlaceText({file, line, column}); }

std::string SourceOf(const Case& c, const std::string& table, int32_t index, int32_t rowLine,
                     const std::string& field) {
    return PlaceText(PlaceOfField(c, table, index, rowLine, field));
}

}  // namespace

std::string ProblemsCsv(const Diagnosis& d, const Case& c) {
    std::string out = CsvLine({"table", "row", "name", "field", "text", "code", "reason", "suggestion", "source"});
    for (const RootCause& cause : d.causes) {
        const LintFinding& f = cause.finding;
        out += CsvLine({"init_string", std::to_string(f.line), "", "", f.quote, f.code,
                        f.text + "; explains " + std::to_string(cause.explains) + " row verdict(s)", f.hint,
                        Position(d.initStringPath, f.line, f.column)});
    }
    for (const RowDiagnosis& row : d.rows) {
        for (const TagDiagnosis& tag : row.tags) {
            if (tag.status != Verdict::Problem) continue;
            out += CsvLine({row.table, std::to_string(row.index), row.name, tag.field, tag.text, tag.code, tag.reason,
                            SuggestionText(tag.suggestions), SourceOf(c, row.table, row.index, row.line, tag.field)});
        }
    }
    for (const RowConflict& conflict : d.conflicts) {
        const ConflictSide& s = conflict.second;
        out += CsvLine({s.table, std::to_string(s.index), s.name, s.field, s.text, conflict.code,
                        std::string(SeverityName(conflict.severity)) + ": " + conflict.text, "",
                        SourceOf(c, s.table, s.index, s.line, s.field)});
    }
    for (const LintFinding& f : d.lint) {
        if (f.severity != Severity::Error) continue;
        out += CsvLine({"init_string", std::to_string(f.line), "", "", f.quote, f.code, f.text, f.hint,
                        Position(d.initStringPath, f.line, f.column)});
    }
    return out;
}

}  // namespace host
