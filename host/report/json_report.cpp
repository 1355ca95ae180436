#include "report/json_report.h"

#include <nlohmann/json.hpp>

namespace host {

namespace {

using nlohmann::json;

json OrNull(const std::string& text) { return text.empty() ? json(nullptr) : json(text); }

json TagJson(const TagDiagnosis& tag) {
    json out = {{"field", tag.field},       {"text", tag.text},         {"status", VerdictName(tag.status)},
                {"required", tag.required}, {"kind", OrNull(tag.kind)}, {"operation", OrNull(tag.operation)},
                {"code", OrNull(tag.code)}, {"reason", tag.reason}};
    json suggestions = json::array();
    for (const Suggestion& s : tag.suggestions) {
        suggestions.push_back({{"name", s.name}, {"kind", s.kind}, {"data_set", s.dataSet}});
    }
    out["suggestions"] = suggestions;
    out["data_set"] = tag.dataSet;
    out["cause"] = OrNull(tag.cause);
    out["message"] =
        tag.message ? json{{"source", tag.message->source}, {"title", tag.message->title}, {"text", tag.message->text}}
                    : json(nullptr);
    if (!tag.live.empty())
        out["live"] = {{"text", tag.live}, {"disagrees", tag.liveDisagrees}, {"failures", tag.liveFailures}};
    if (!tag.gap.empty()) out["gap"] = {{"code", code::kNoTagValue}, {"text", tag.gap}, {"add", tag.gapTable}};
    return out;
}

}  // namespace

std::string JsonReport(const Diagnosis& d) {
    json messages = json::array();
    for (const DriverMessage& m : d.messages) {
        messages.push_back({{"source", m.source}, {"title", m.title}, {"text", m.text}, {"raised_by", m.raisedBy}});
    }
    json rows = json::array();
    for (const RowDiagnosis& row : d.rows) {
        json tags = json::array();
        for (const TagDiagnosis& tag : row.tags) tags.push_back(TagJson(tag));
        rows.push_back({{"table", row.table},
                        {"index", row.index},
                        {"name", row.name},
                        {"line", row.line},
                        {"tags", tags},
                        {"driver_differs", row.driverDiffers}});
    }
    json lint = json::array();
    for (const LintFinding& f : d.lint) {
        lint.push_back({{"line", f.line},
                        {"column", f.column},
                        {"severity", SeverityName(f.severity)},
                        {"code", f.code},
                        {"text", f.text},
                        {"hint", f.hint}});
    }
    json causes = json::array();
    for (const RootCause& c : d.causes) {
        const LintFinding& f = c.finding;
        causes.push_back({{"line", f.line},
                          {"column", f.column},
                          {"last_line", c.lastLine},
                          {"severity", SeverityName(f.severity)},
                          {"code", f.code},
                          {"text", f.text},
                          {"hint", f.hint},
                          {"explains", c.explains},
                          {"folded", c.folded},
                          {"folded_codes", c.foldedCodes},
                          {"summary", c.summary}});
    }
    json conflicts = json::array();
    auto side = [](const ConflictSide& s) {
        return json{{"table", s.table}, {"index", s.index}, {"name", s.name}, {"field", s.field},
                    {"text", s.text},   {"line", s.line},   {"when", s.when}};
    };
    for (const RowConflict& c : d.conflicts) {
        conflicts.push_back({{"severity", SeverityName(c.severity)},
                             {"code", c.code},
                             {"text", c.text},
                             {"first", side(c.first)},
                             {"second", side(c.second)}});
    }
    json out = {{"format", "dcs-host-check"},
                {"version", 1},
                {"case", d.casePath},
                {"causes", causes},
                {"conflicts", conflicts},
                {"init_string", d.initStringPath},
                {"configured", d.configured},
                {"messages", messages},
                {"rows", rows},
                {"lint", lint},
                {"problems", d.Problems()},
                {"gaps", d.Gaps()}};
    json unexplained = json::array();
    for (const DriverMessage& m : d.unexplained) {
        unexplained.push_back({{"source", m.source}, {"title", m.title}, {"text", m.text}, {"raised_by", m.raisedBy}});
    }
    out["verdicts_from"] = d.verdictSource;
    out["driver"] = d.driverPath;
    out["rows_driver_differs"] = d.RowsDiffering();
    out["unexplained_messages"] = unexplained;
    out["stops_at"] = d.stop.table.empty()
                          ? json(nullptr)
                          : json{{"table", d.stop.table}, {"index", d.stop.index}, {"name", d.stop.name}};
    // Tag texts are the user's bytes: what is not UTF-8 is replaced, not refused.
    return out.dump(2, ' ', false, json::error_handler_t::replace) + "\n";
}

}  // namespace host
