#include "report/problems_csv.h"

#include "report/check_report.h"
#include "report/report.h"

namespace host {

namespace {

const std::vector<FieldValue>* FieldsOf(const Case& c, const std::string& table, int32_t index) {
    const auto at = static_cast<size_t>(index);
    if (table == "general") return &c.general;
    if (table == "controller" && at < c.controllers.size()) return &c.controllers[at].fields;
    if (table == "pv_export" && at < c.pvExports.size()) return &c.pvExports[at].fields;
    if (table == "pv_import" && at < c.pvImports.size()) return &c.pvImports[at].fields;
    return nullptr;
}

std::string Position(const std::string& file, int line, int column) {
    if (line <= 0) return file;
    return file + ":" + std::to_string(line) + (column > 0 ? ":" + std::to_string(column) : "");
}

// Where the field's value stands: its own place, else the row's.
std::string SourceOf(const Case& c, const std::string& table, int32_t index, int32_t rowLine,
                     const std::string& field) {
    if (const std::vector<FieldValue>* fields = FieldsOf(c, table, index)) {
        for (const FieldValue& value : *fields) {
            if (value.label == field)
                return Position(value.file.empty() ? c.file : value.file, value.line, value.column);
        }
    }
    return Position(c.file, rowLine, 0);
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
