#include "report/sarif_report.h"

#include <cctype>
#include <cstdio>

#include <nlohmann/json.hpp>

#include "junit_xml.h"
#include "report/check_report.h"
#include "source_place.h"

namespace host {

namespace {

using nlohmann::json;

const char* LevelOf(Severity severity) { return severity == Severity::Error ? "error" : "warning"; }

json Location(const SourcePlace& place, int endLine = 0) {
    json physical = {{"artifactLocation", {{"uri", ArtifactUri(place.file)}}}};
    if (place.line > 0) {
        json region = {{"startLine", place.line}};
        if (place.column > 0) region["startColumn"] = place.column;
        if (endLine > place.line) region["endLine"] = endLine;
        physical["region"] = region;
    }
    return {{"physicalLocation", physical}};
}

json Result(const std::string& rule, const char* level, const std::string& text, const json& location) {
    return {{"ruleId", rule}, {"level", level}, {"message", {{"text", text}}}, {"locations", json::array({location})}};
}

std::string RowName(const RowDiagnosis& row) {
    if (row.table == "general") return "general";
    return row.table + " " + std::to_string(row.index) + (row.name.empty() ? "" : " (" + row.name + ")");
}

// Every code the check can give, with the kind of finding it names: the
// log says what its rules are even where a run finds none of them.
json Rules() {
    json rules = json::array();
    const struct {
        const char* const* codes;
        size_t count;
        const char* category;
    } groups[] = {{kProblemCodes, kProblemCodeCount, "problem"},
                  {kLintCodes, kLintCodeCount, "lint"},
                  {kConflictCodes, kConflictCodeCount, "conflict"},
                  {kGapCodes, kGapCodeCount, "gap"}};
    for (const auto& group : groups) {
        for (size_t i = 0; i < group.count; ++i) {
            rules.push_back({{"id", group.codes[i]},
                             {"shortDescription",
                              {{"text", std::string("dcs-host ") + group.category + " code " + group.codes[i]}}},
                             {"properties", {{"category", group.category}}}});
        }
    }
    return rules;
}

}  // namespace

std::string ArtifactUri(const std::string& path) {
    std::string p = path;
    for (char& ch : p) {
        if (ch == '\\') ch = '/';
    }
    std::string prefix;
    if (!p.empty() && p[0] == '/') {
        prefix = "file://";
    } else if (p.size() >= 2 && std::isalpha(static_cast<unsigned char>(p[0])) != 0 && p[1] == ':') {
        prefix = "file:///";
    }
    std::string out = prefix;
    for (size_t i = 0; i < p.size(); ++i) {
        const auto ch = static_cast<unsigned char>(p[i]);
        const bool drive = !prefix.empty() && prefix.size() == 8 && i == 1;  // the colon of "C:"
        if (std::isalnum(ch) != 0 || ch == '-' || ch == '.' || ch == '_' || ch == '~' || ch == '/' || drive) {
            out += static_cast<char>(ch);
        } else {
            char code[4];
            std::snprintf(code, sizeof code, "%%%02X", ch);
            out += code;
        }
    }
    return out;
}

std::string CheckJunitReport(const Diagnosis& d, const Case& c) {
    junit::TestSuite suite;
    suite.name = c.file;
    suite.file = c.file;
    // Named and versioned as the test command's JUnit is, so that a reader
    // can tell the two apart and notice a change of layout.
    suite.properties = {{"format", "dcs-host-check-junit"}, {"version", "1"}};
    const std::string group = "check";

    junit::TestCase link{"the link configures and its dry run agrees with the rules", group + ".link", 0.0, {}, {}, ""};
    if (!d.configured || d.RowsDiffering() > 0 || !d.unexplained.empty()) {
        std::string text = d.configured ? "configured" : "NOT configured";
        if (!d.stop.table.empty())
            text += "; the configuration stops at " + d.stop.table + " " + std::to_string(d.stop.index);
        for (const DriverMessage& m : d.unexplained)
            text += "\nunexplained: " + m.raisedBy + ": " + m.title + ": " + m.text;
        link.failure =
            junit::Fault{d.configured ? "the driver's messages differ from the rules" : "NOT configured", "link", text};
    }
    suite.cases.push_back(link);

    for (const RowDiagnosis& row : d.rows) {
        junit::TestCase t{RowName(row), group + "." + row.table, 0.0, {}, {}, ""};
        std::string problems;
        std::string first;
        for (const TagDiagnosis& tag : row.tags) {
            const std::string what = tag.field + " " + ShownText(tag.text) + ": ";
            if (tag.status == Verdict::Problem) {
                if (first.empty()) first = what + tag.code;
                problems += what + "[" + tag.code + "] " + tag.reason;
                if (!tag.suggestions.empty()) problems += " Did you mean: " + SuggestionText(tag.suggestions) + "?";
                problems += "\n";
            }
            if (!tag.gap.empty()) t.systemOut += what + "[" + code::kNoTagValue + "] " + tag.gap + "\n";
        }
        for (const std::string& line : row.driverDiffers) {
            if (first.empty()) first = "the driver differs from the rules";
            problems += "DRIVER DIFFERS: " + line + "\n";
        }
        if (!problems.empty()) t.failure = junit::Fault{first, "problem", problems};
        suite.cases.push_back(t);
    }
    for (const RootCause& cause : d.causes) {
        const LintFinding& f = cause.finding;
        junit::TestCase t{"root cause [" + f.code + "] " + d.initStringPath + " line " + std::to_string(f.line),
                          group + ".init_string",
                          0.0,
                          {},
                          {},
                          ""};
        t.failure = junit::Fault{f.text, f.code,
                                 f.text + "\n| " + f.quote + "\nfix: " + f.hint + "\nexplains " +
                                     std::to_string(cause.explains) + " row verdict(s)"};
        suite.cases.push_back(t);
    }
    for (const RowConflict& conflict : d.conflicts) {
        junit::TestCase t{"conflict [" + conflict.code + "] " + conflict.first.table + " " +
                              std::to_string(conflict.first.index) + " and " + conflict.second.table + " " +
                              std::to_string(conflict.second.index),
                          group + ".conflicts",
                          0.0,
                          {},
                          {},
                          ""};
        t.failure = junit::Fault{conflict.text, conflict.code, conflict.text};
        suite.cases.push_back(t);
    }
    for (const LintFinding& f : d.lint) {
        if (f.severity != Severity::Error) continue;
        junit::TestCase t{"lint [" + f.code + "] " + d.initStringPath + " line " + std::to_string(f.line),
                          group + ".init_string",
                          0.0,
                          {},
                          {},
                          ""};
        t.failure = junit::Fault{f.text, f.code, f.text + "\n| " + f.quote + "\nfix: " + f.hint};
        suite.cases.push_back(t);
    }
    return junit::Document("dcs-host check", {suite});
}

std::string SarifReport(const Diagnosis& d, const Case& c, const std::string& toolVersion) {
    json results = json::array();
    for (const RootCause& cause : d.causes) {
        const LintFinding& f = cause.finding;
        results.push_back(
            Result(f.code, LevelOf(f.severity),
                   f.text + "; explains " + std::to_string(cause.explains) + " row verdict(s). Fix: " + f.hint,
                   Location({d.initStringPath, f.line, f.column}, cause.lastLine)));
    }
    for (const RowDiagnosis& row : d.rows) {
        for (const TagDiagnosis& tag : row.tags) {
            if (tag.status != Verdict::Problem && tag.gap.empty()) continue;
            const bool gap = tag.status != Verdict::Problem;
            std::string text =
                RowName(row) + ": " + tag.field + " " + ShownText(tag.text) + ": " + (gap ? tag.gap : tag.reason);
            if (!tag.suggestions.empty()) text += ". Did you mean: " + SuggestionText(tag.suggestions) + "?";
            results.push_back(Result(gap ? code::kNoTagValue : tag.code, gap ? "note" : "error", text,
                                     Location(PlaceOfField(c, row.table, row.index, row.line, tag.field))));
        }
    }
    for (const RowConflict& conflict : d.conflicts) {
        json result = Result(conflict.code, LevelOf(conflict.severity), conflict.text,
                             Location(PlaceOfField(c, conflict.second.table, conflict.second.index,
                                                   conflict.second.line, conflict.second.field)));
        json related = Location(
            PlaceOfField(c, conflict.first.table, conflict.first.index, conflict.first.line, conflict.first.field));
        related["message"] = {{"text", "the other row: " + conflict.first.table + " " +
                                           std::to_string(conflict.first.index) + " " + conflict.first.field}};
        result["relatedLocations"] = json::array({related});
        results.push_back(result);
    }
    for (const LintFinding& f : d.lint) {
        results.push_back(Result(f.code, LevelOf(f.severity), f.text + ". Fix: " + f.hint,
                                 Location({d.initStringPath, f.line, f.column})));
    }
    json run = {{"tool", {{"driver", {{"name", "dcs-host"}, {"version", toolVersion}, {"rules", Rules()}}}}},
                // A case file and an IO list count columns in characters; the
                // initialization string is single-byte text, where a byte is one.
                {"columnKind", "unicodeCodePoints"},
                {"results", results}};
    const json log = {{"$schema", "https://json.schemastore.org/sarif-2.1.0.json"},
                      {"version", "2.1.0"},
                      {"runs", json::array({run})}};
    return log.dump(2, ' ', false, json::error_handler_t::replace) + "\n";
}

}  // namespace host
