// One small case for each verdict and problem code, one string for each
// lint code, and the JSON report's shape field by field.

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "check_support.h"
#include "diagnose/dry_run_compare.h"
#include "diagnose/lint.h"
#include "diagnose/root_cause.h"
#include "diagnose/suggest.h"
#include "report/check_report.h"
#include "report/json_report.h"
#include "report/problems_csv.h"

namespace {

using host::Verdict;

const std::string kPadding = "*DO*\nPADDING_SO_THE_STRING_IS_NOT_EMPTY,-,99\n";
const std::string kCatalogue =
    "*AI*\nA1,-,1,0,100\nSHARED,-,1,0,100\nMixed.Case,-,1,0,100\n*AO*\nAO1,-,1,0,100\n*DI*\nD1,-,1\n"
    "*DCD*\nDC1,-,1,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0\n*CALC*\nSHARED,-,1\nOTHER,-,2\n" +
    kPadding;

const std::string kClean = "*AI*\nA1,-,1,0,100\n" + kPadding;

struct RowCase {
    const char* what;
    std::vector<std::string> controller;  // SP, SP Init, OP, OP Init, Mode
    int32_t opEnabled;
    std::string pvExport;  // "-": no PV export row
    const char* table;
    const char* field;
    Verdict status;
    const char* code;
    const char* kind;
    const char* operation;
    const char* message;  // what the driver shows; "" none
};

TEST(CheckCodes, RowVerdicts) {
    const RowCase cases[] = {
        {"unknown name",
         {"NOPE", "", "A1", "A1", ""},
         1,
         "-",
         "controller",
         "SP Tag",
         Verdict::Problem,
         "not-in-catalogue",
         "",
         "",
         "Incorrect data set or unknown SP tag for controller at index 0"},
        {"another data set",
         {"OTHER", "", "A1", "A1", ""},
         1,
         "-",
         "controller",
         "SP Tag",
         Verdict::Problem,
         "other-data-set",
         "",
         "",
         "Incorrect data set or unknown SP tag for controller at index 0"},
        {"AO cannot be written",
         {"", "AO1", "A1", "A1", ""},
         1,
         "-",
         "controller",
         "SP Init Tag",
         Verdict::Problem,
         "kind-not-allowed",
         "",
         "",
         "Incorrect data set or unknown SPInit tag for controller at index 0\n"
         "                SPInit tags must be writable (AI, DI or CALC)"},
        {"DCD read",
         {"DC1", "", "A1", "A1", ""},
         1,
         "-",
         "controller",
         "SP Tag",
         Verdict::Problem,
         "dcd-not-readable",
         "DCD",
         "",
         "Bad tag type 5 for SP tag DC1 of controller at index 0\n"},
        {"DCD serves SP or OP",
         {"DC1", "", "DC1", "A1", ""},
         1,
         "-",
         "controller",
         "OP Tag",
         Verdict::Problem,
         "kind-not-allowed",
         "",
         "",
         "Incorrect data set or unknown OP tag for controller at index 0"},
        {"letter case",
         {"mixed.case", "", "A1", "A1", ""},
         1,
         "-",
         "controller",
         "SP Tag",
         Verdict::Problem,
         "near-miss",
         "",
         "",
         "Incorrect data set or unknown SP tag for controller at index 0"},
        {"trailing blank",
         {"", "", "A1 ", "A1", ""},
         1,
         "-",
         "controller",
         "OP Tag",
         Verdict::Problem,
         "near-miss",
         "",
         "",
         "Incorrect data set or unknown OP tag for controller at index 0"},
        {"no OP Init",
         {"", "", "A1", "", ""},
         1,
         "-",
         "controller",
         "OP Init Tag",
         Verdict::Problem,
         "missing-text",
         "",
         "",
         "OP Init Tags must be specified for all controllers"},
        {"no PV tag",
         {"", "", "A1", "A1", ""},
         1,
         "",
         "pv_export",
         "PV Tag",
         Verdict::Problem,
         "missing-text",
         "",
         "",
         "DCSPVTagFieldError"},
        {"last list wins",
         {"SHARED", "", "A1", "A1", ""},
         1,
         "-",
         "controller",
         "SP Tag",
         Verdict::Bound,
         "",
         "CALC",
         "ReadCALC",
         ""},
        {"first list wins",
         {"", "", "A1", "A1", ""},
         1,
         "SHARED",
         "pv_export",
         "PV Tag",
         Verdict::Bound,
         "",
         "AI",
         "WriteAI",
         ""},
        {"OP not enabled",
         {"", "", "AO1", "A1", ""},
         0,
         "-",
         "controller",
         "OP Tag",
         Verdict::Unused,
         "",
         "AO",
         "ReadAO",
         ""},
        {"optional and empty",
         {"", "", "A1", "A1", ""},
         1,
         "-",
         "controller",
         "Mode Tag",
         Verdict::Empty,
         "",
         "",
         "",
         ""},
        {"DI written",
         {"", "", "A1", "A1", "D1"},
         1,
         "-",
         "controller",
         "Mode Tag",
         Verdict::Bound,
         "",
         "DI",
         "WriteDI",
         ""},
    };
    for (const RowCase& rc : cases) {
        SCOPED_TRACE(rc.what);
        host::Case c;
        c.controllers.push_back(checktest::Controller(1, rc.controller, rc.opEnabled));
        if (rc.pvExport != "-") c.pvExports.push_back(checktest::PVRow<host::PVExportCase>(1, rc.pvExport));
        // Every tag the driver may read holds a value, so no read fails for want of one.
        const host::Diagnosis d = checktest::Check(c, kCatalogue,
                                                   {{MRX_KIND_AI, {1, "A1"}},
                                                    {MRX_KIND_AI, {1, "SHARED"}},
                                                    {MRX_KIND_AI, {1, "Mixed.Case"}},
                                                    {MRX_KIND_AO, {1, "AO1"}},
                                                    {MRX_KIND_DI, {1, "D1"}},
                                                    {MRX_KIND_CALC, {1, "SHARED"}}});
        const host::TagDiagnosis& tag = checktest::TagOf(d, rc.table, 0, rc.field);
        EXPECT_EQ(tag.status, rc.status);
        EXPECT_EQ(tag.code, rc.code);
        EXPECT_EQ(tag.kind, rc.kind);
        EXPECT_EQ(tag.operation, rc.operation);
        EXPECT_EQ(tag.message ? tag.message->text : "", rc.message);
        EXPECT_FALSE(tag.reason.empty() && tag.status != Verdict::Bound);
    }
}

TEST(CheckCodes, FlagsAndDataSetsNamed) {
    host::Case c;
    c.general = {checktest::Integer("Data Set", 1), checktest::Text("Enabled Flag", "D1"),
                 checktest::Text("Running Flag", "D1")};
    c.controllers.push_back(checktest::Controller(1, {"OTHER", "", "A1", "A1", ""}));
    const host::Diagnosis d = checktest::Check(c, kCatalogue);
    EXPECT_EQ(checktest::TagOf(d, "general", 0, "Enabled Flag").operation, "WriteDI");
    EXPECT_EQ(checktest::TagOf(d, "general", 0, "Running Flag").code, "same-as-enabled-flag");
    EXPECT_NE(checktest::TagOf(d, "controller", 0, "SP Tag").reason.find("data set 2 (CALC)"), std::string::npos);
    EXPECT_FALSE(d.configured);
    EXPECT_EQ(d.stop.table, "general");
}

struct LintCase {
    const char* code;
    std::string text;
    int32_t line;
    int32_t column;
    host::Severity severity;
    const char* says;
};

TEST(CheckCodes, LintFindings) {
    const LintCase cases[] = {
        {"carriage-return", "*AI*\r\nA1,-,1,0,100\r\n*DI*\r\nD1,-,1\r\n" + kPadding, 1, 5, host::Severity::Error,
         "\"*DI*\\r\" on line 3"},
        {"token-before-header", "TAG LIST\n*AI*\nA1,-,1,0,100\n" + kPadding, 1, 1, host::Severity::Warning,
         "\"TAG LIST\""},
        {"header-swallowed", "*AI*\nA1,-,1,0\n*DI*\nD1,-,1\nD2,-,1\n" + kPadding, 3, 1, host::Severity::Error,
         "land in the AI list instead of DI"},
        {"parse-ends-early", "*AI*\nA1,-,1,0,100\n,\nB1,-,1,0,100\n" + kPadding, 3, 1, host::Severity::Error,
         "3 non-blank line(s)"},
        {"data-set-not-decimal", "*AI*\nA1,-,010,0,100\n" + kPadding, 2, 6, host::Severity::Warning, "reads it as 8"},
        {"data-set-not-decimal", "*DI*\nD1,-,0x10\n" + kPadding, 2, 6, host::Severity::Warning, "reads it as 16"},
        {"duplicate-name", "*AI*\nA1,-,1,0,100\n*CALC*\nA1,-,1\n" + kPadding, 4, 1, host::Severity::Warning,
         "SP or OP column takes CALC, its SP Init, OP Init or Mode column CALC (the last list wins); a PV export takes "
         "AI and a PV import AI"},
    };
    for (const LintCase& lc : cases) {
        SCOPED_TRACE(lc.code);
        const host::Diagnosis d = checktest::Check(host::Case{}, lc.text);
        bool found = false;
        // A finding that explains others is reported as a root cause.
        std::vector<host::LintFinding> all = d.lint;
        for (const host::RootCause& cause : d.causes) all.push_back(cause.finding);
        for (const host::LintFinding& f : all) {
            if (f.code != lc.code || f.line != lc.line) continue;
            found = true;
            EXPECT_EQ(f.column, lc.column);
            EXPECT_EQ(f.severity, lc.severity);
            EXPECT_NE(f.text.find(lc.says), std::string::npos) << f.text;
            EXPECT_FALSE(f.hint.empty());
        }
        EXPECT_TRUE(found);
    }
}

// A list past its capacity: the entries the parse could not keep, built by
// hand, since a string of 32,768 tags takes minutes under the sanitizers.
TEST(CheckCodes, LintFullList) {
    host::CatalogueParse parse;
    parse.loaded = true;
    parse.text = "*DI*\nD0,-,1\nD1,-,1\nD2,-,1\n";
    parse.endOffset = parse.text.size();
    for (int i = 0; i < 3; ++i) {
        host::CatalogueEntry entry;
        entry.kind = 3;
        entry.name = "D" + std::to_string(i);
        entry.dataSet = 1;
        entry.stored = i == 0;
        entry.offset = 5 + 7 * static_cast<size_t>(i);
        parse.entries.push_back(entry);
    }
    const std::vector<host::LintFinding> findings = host::LintInitString(parse);
    ASSERT_EQ(findings.size(), 1u);
    EXPECT_EQ(findings[0].code, "list-full");
    EXPECT_EQ(findings[0].line, 3);
    EXPECT_EQ(findings[0].severity, host::Severity::Error);
    EXPECT_NE(findings[0].text.find("the 2 from this one on are skipped"), std::string::npos);
}

TEST(CheckCodes, EmptyStringStopsEverything) {
    host::Case c;
    c.controllers.push_back(checktest::Controller(1, {"", "", "A1", "A1", ""}));
    const host::Diagnosis d = checktest::Check(c, "*AI*\nA1,-,1,0,100\n");
    EXPECT_TRUE(d.lint.empty());
    ASSERT_EQ(d.causes.size(), 1u);
    EXPECT_EQ(d.causes[0].finding.code, "empty-init-string");
    EXPECT_EQ(d.causes[0].explains, 2);  // the OP and OP Init texts
    EXPECT_EQ(checktest::TagOf(d, "controller", 0, "OP Tag").cause, "empty-init-string");
    EXPECT_EQ(d.stop.table, "init_string");
    EXPECT_FALSE(d.configured);
}

TEST(CheckCodes, CleanStringHasNoFindings) {
    const host::Diagnosis d = checktest::Check(host::Case{}, kClean);
    EXPECT_TRUE(d.lint.empty());
}

TEST(CheckReports, JsonShapeFieldByField) {
    host::Case c;
    c.file = "case.toml";
    c.controllers.push_back(checktest::Controller(1, {"NOPE", "", "A1", "A1", ""}));
    const host::Diagnosis d = checktest::Check(c, "TITLE\n" + kClean);
    const nlohmann::json j = nlohmann::json::parse(host::JsonReport(d));
    EXPECT_EQ(j["case"], "case.toml");
    EXPECT_EQ(j["configured"], true);
    EXPECT_EQ(j["problems"], 1);  // the SP row problem; the stray title is a warning
    ASSERT_EQ(j["messages"].size(), 2u);
    EXPECT_EQ(j["messages"][0]["source"], "box");
    EXPECT_EQ(j["messages"][0]["title"], "KVMRXNT Error");
    EXPECT_EQ(j["messages"][1]["text"], "Incorrect data set or unknown SP tag for controller at index 0");
    const nlohmann::json& row = j["rows"][1];
    EXPECT_EQ(row["table"], "controller");
    EXPECT_EQ(row["index"], 0);
    EXPECT_EQ(row["name"], "C");
    const nlohmann::json& sp = row["tags"][0];
    EXPECT_EQ(sp["field"], "SP Tag");
    EXPECT_EQ(sp["text"], "NOPE");
    EXPECT_EQ(sp["status"], "problem");
    EXPECT_TRUE(sp["kind"].is_null());
    EXPECT_TRUE(sp["operation"].is_null());
    EXPECT_EQ(sp["code"], "not-in-catalogue");
    EXPECT_TRUE(sp["reason"].is_string());
    EXPECT_EQ(sp["message"]["title"], "MARLIXNT");
    const nlohmann::json& op = row["tags"][2];
    EXPECT_EQ(op["status"], "bound");
    EXPECT_EQ(op["kind"], "AI");
    EXPECT_EQ(op["operation"], "ReadAI");
    EXPECT_TRUE(op["code"].is_null());
    EXPECT_TRUE(op["message"].is_null());
    ASSERT_EQ(j["lint"].size(), 1u);
    const nlohmann::json& lint = j["lint"][0];
    EXPECT_EQ(lint["line"], 1);
    EXPECT_EQ(lint["column"], 1);
    EXPECT_EQ(lint["severity"], "warning");
    EXPECT_EQ(lint["code"], "token-before-header");
    EXPECT_TRUE(lint["text"].is_string() && lint["hint"].is_string());
}

TEST(CheckReports, TerminalPutsProblemsFirst) {
    host::Case c;
    c.controllers.push_back(checktest::Controller(1, {"NOPE", "", "A1", "A1", ""}));
    c.controllers.push_back(checktest::Controller(1, {"A1", "", "A1", "A1", ""}));
    const host::Diagnosis d = checktest::Check(c, "TITLE\n" + kClean);
    const std::string brief = host::CheckReport(d, false);
    const std::string all = host::CheckReport(d, true);
    EXPECT_NE(brief.find("configured; 3 rows checked, 1 with problems; lint 0 errors, 1 warning"), std::string::npos)
        << brief;
    EXPECT_LT(brief.find("controller 0"), brief.find("line 1, column 1"));
    EXPECT_NE(brief.find("      | TITLE"), std::string::npos);
    EXPECT_EQ(brief.find("\n  controller 1 (C)\n"), std::string::npos);
    EXPECT_NE(all.find("\n  controller 1 (C)\n"), std::string::npos);
}

struct ConflictCase {
    const char* what;
    host::Case c;
    const char* code;
    host::Severity severity;
    const char* first;  // "table index" of each side
    const char* second;
    const char* says;
};

std::string SideOf(const host::ConflictSide& side) { return side.table + " " + std::to_string(side.index); }

TEST(CheckCodes, ConflictsBetweenRows) {
    using host::Severity;
    auto exportRow = [](const std::string& tag) { return checktest::PVRow<host::PVExportCase>(1, tag); };
    auto importRow = [](const std::string& tag) { return checktest::PVRow<host::PVImportCase>(1, tag); };
    host::Case twice, twoExports, readBack, flag, initValues;
    twice.controllers = {checktest::Controller(1, {"A1", "", "AO1", "A1", ""}),
                         checktest::Controller(1, {"A1", "", "AO1", "A1", ""})};
    twoExports.pvExports = {exportRow("SHARED"), exportRow("D1"), exportRow("SHARED")};
    readBack.pvExports = {exportRow("SHARED")};
    readBack.pvImports = {importRow("SHARED")};
    flag.general = {checktest::Integer("Data Set", 1), checktest::Text("Running Flag", "D1")};
    flag.controllers = {checktest::Controller(1, {"", "", "AO1", "A1", "D1"})};
    initValues.controllers = {checktest::Controller(1, {"", "A1", "AO1", "D1", ""}),
                              checktest::Controller(1, {"", "", "AO1", "A1", ""})};
    const ConflictCase cases[] = {
        {"one controller twice", twice, "duplicate-controller", Severity::Error, "controller 0", "controller 1",
         "one controller linked twice"},
        {"two PV exports on one tag", twoExports, "two-writers", Severity::Error, "pv_export 0", "pv_export 2",
         "every step pv_export 2 (P) PV Tag writes last"},
        {"an export read back", readBack, "export-read-back", Severity::Warning, "pv_export 0", "pv_import 0",
         "this step's exported value back"},
        {"a flag written by a row", flag, "flag-written-by-row", Severity::Error, "general 0", "controller 0",
         "1 at DCSStart"},
        {"SP Init and another row's OP Init", initValues, "two-writers", Severity::Warning, "controller 0",
         "controller 1", "at DCSInitialize controller 1 (C) OP Init Tag writes last"},
    };
    for (const ConflictCase& cc : cases) {
        SCOPED_TRACE(cc.what);
        const host::Diagnosis d = checktest::Check(cc.c, kCatalogue);
        ASSERT_EQ(d.conflicts.size(), 1u);
        const host::RowConflict& conflict = d.conflicts[0];
        EXPECT_EQ(conflict.code, cc.code);
        EXPECT_EQ(conflict.severity, cc.severity);
        EXPECT_EQ(SideOf(conflict.first), cc.first);
        EXPECT_EQ(SideOf(conflict.second), cc.second);
        EXPECT_NE(conflict.text.find(cc.says), std::string::npos) << conflict.text;
        EXPECT_FALSE(conflict.first.when.empty() || conflict.second.when.empty());
    }
}

struct CauseCase {
    const char* code;
    std::string text;
    host::Case c;
    int32_t explains;
    int32_t folded;    // at least
    const char* says;  // in the verdict of the first row's tag it explains
};

TEST(CheckCodes, RootCausesExplainTheRowsAfterThem) {
    host::Case flags;  // a flag that must be DI, and two controller texts
    flags.general = {checktest::Integer("Data Set", 1), checktest::Text("Enabled Flag", "D9")};
    host::Case ctrl;
    ctrl.controllers = {checktest::Controller(1, {"A1", "", "B1", "A1", ""})};
    host::Case link;
    link.general = {checktest::Integer("Data Set", 1), checktest::Text("Enabled Flag", "LINK.ON")};
    const CauseCase cases[] = {
        {"carriage-return", "*AI*\r\nA1,-,1,0,100\r\nB1,-,1,0,100\r\n" + kPadding, ctrl, 3, 5,
         "headers to carriage returns"},
        {"carriage-return", kPadding + "*AI*\nA1,-,1,0,100\n*DI*\r\nLINK.ON,-,1\r\n", link, 1, 1,
         "lost headers to carriage returns"},
        {"header-swallowed", kPadding + "*AI*\nA1,-,1,0\n*DI*\nD9,-,1\n", flags, 1, 0,
         "swallowed the header *DI* at line 5"},
        {"parse-ends-early", "*AI*\nA1,-,1,0,100\n,\nB1,-,1,0,100\n" + kPadding, ctrl, 1, 0,
         "the parse ended early at line 3"},
        {"token-before-header", "A1,-,1,0,100\n*AI*\nB1,-,1,0,100\n" + kPadding, ctrl, 2, 4,
         "before the first section header"},
    };
    for (const CauseCase& cc : cases) {
        SCOPED_TRACE(cc.text);
        const host::Diagnosis d = checktest::Check(cc.c, cc.text);
        ASSERT_EQ(d.causes.size(), 1u);
        const host::RootCause& cause = d.causes[0];
        EXPECT_EQ(cause.finding.code, cc.code);
        EXPECT_EQ(cause.explains, cc.explains);
        EXPECT_GE(cause.folded, cc.folded);
        for (const host::LintFinding& f : d.lint) {
            EXPECT_FALSE(f.line >= cause.finding.line && f.line <= cause.lastLine) << f.code << " was not folded";
        }
        int32_t named = 0;
        for (const host::RowDiagnosis& row : d.rows) {
            for (const host::TagDiagnosis& tag : row.tags) {
                if (tag.cause != cc.code) continue;
                ++named;
                EXPECT_NE(tag.reason.find(cc.says), std::string::npos) << tag.reason;
                EXPECT_TRUE(tag.suggestions.empty());
            }
        }
        EXPECT_EQ(named, cc.explains);
        EXPECT_LT(host::CheckReport(d, false).find("root causes"), host::CheckReport(d, false).find("problems:"));
    }
}

// The full list, from a parse built by hand (see LintFullList).
TEST(CheckCodes, FullListExplainsTheTagsItSkipped) {
    host::CatalogueParse parse;
    parse.loaded = true;
    parse.text = "*DI*\nD0,-,1\nD1,-,1\nD2,-,1\n";
    parse.endOffset = parse.text.size();
    parse.headers.push_back({3, 0});
    for (int i = 0; i < 3; ++i) {
        host::CatalogueEntry entry;
        entry.kind = 3;
        entry.name = "D" + std::to_string(i);
        entry.dataSet = 1;
        entry.stored = i == 0;
        entry.offset = 5 + 7 * static_cast<size_t>(i);
        parse.entries.push_back(entry);
    }
    std::vector<host::LintFinding> lint = host::LintInitString(parse);
    host::RowDiagnosis row{"general", 0, "general data", 0, {}};
    host::TagDiagnosis tag;
    tag.field = "Enabled Flag";
    tag.text = "D2";
    tag.status = Verdict::Problem;
    tag.code = "not-in-catalogue";
    row.tags = {tag};
    std::vector<host::RowDiagnosis> rows = {row};
    const std::vector<host::RootCause> causes = host::FindRootCauses(parse, lint, rows);
    ASSERT_EQ(causes.size(), 1u);
    EXPECT_EQ(causes[0].finding.code, "list-full");
    EXPECT_EQ(causes[0].explains, 1);
    EXPECT_TRUE(lint.empty());
    EXPECT_NE(rows[0].tags[0].reason.find("the DI list was full (32767 tags)"), std::string::npos);
}

TEST(CheckCodes, CaseGapNamedAsOne) {
    host::Case c;
    c.controllers = {checktest::Controller(1, {"A1", "", "AO1", "D1", ""})};
    // The server holds the OP's value but not the SP's.
    const host::Diagnosis d = checktest::Check(c, "*AI*\nA1,-,1,0,100\n*AO*\nAO1,-,1,0,100\n*DI*\nD1,-,1\n" + kPadding,
                                               {{MRX_KIND_AO, {1, "AO1"}}});
    const host::TagDiagnosis& sp = checktest::TagOf(d, "controller", 0, "SP Tag");
    EXPECT_EQ(sp.status, Verdict::Bound) << "a gap of the simulation, not of the link";
    EXPECT_EQ(sp.gapTable, "a [[tag]] table with kind = \"AI\", name = \"A1\", value = 0.0");
    EXPECT_NE(sp.gap.find(sp.gapTable), std::string::npos) << sp.gap;
    ASSERT_TRUE(sp.message.has_value());
    EXPECT_EQ(sp.message->text, "Error reading AI tag for SP tag A1 of controller at index 0");
    bool raised = false;
    for (const host::DriverMessage& m : d.messages) raised = raised || m.text == sp.message->text;
    EXPECT_TRUE(raised) << "the dry run meets the same read error";
    EXPECT_EQ(checktest::TagOf(d, "controller", 0, "OP Tag").status, Verdict::Bound);
    EXPECT_TRUE(checktest::TagOf(d, "controller", 0, "OP Tag").gap.empty());
    EXPECT_EQ(d.Problems(), 0);
    EXPECT_EQ(d.Gaps(), 1);
    EXPECT_EQ(d.messagesOfGaps, 1) << "the step's read error is the gap's";
    EXPECT_EQ(d.RowsDiffering(), 0);
    EXPECT_EQ(host::ExitStatusOf(d), 0) << "the link is right; only the simulation lacks a value";
}

TEST(CheckCodes, CaseGapsFoundWhenTheConfigurationStopsToo) {
    // The Enabled Flag binds nothing, so the driver stops before any read.
    // A read the case gives no value is a gap all the same; one of a tag a
    // row writes (the export writes AI1, the import reads it) is not.
    host::Case c;
    c.general.push_back(checktest::Text("Enabled Flag", "NOWHERE"));
    c.controllers = {checktest::Controller(1, {"A1", "", "AO1", "D1", ""})};
    c.pvExports = {checktest::PVRow<host::PVExportCase>(1, "AI1")};
    c.pvImports = {checktest::PVRow<host::PVImportCase>(1, "AI1")};
    const host::Diagnosis d =
        checktest::Check(c, "*AI*\nA1,-,1,0,100\nAI1,-,1,0,100\n*AO*\nAO1,-,1,0,100\n*DI*\nD1,-,1\n" + kPadding,
                         {{MRX_KIND_AO, {1, "AO1"}}});
    ASSERT_FALSE(d.configured);
    EXPECT_FALSE(checktest::TagOf(d, "controller", 0, "SP Tag").gap.empty()) << "found in the same run";
    EXPECT_TRUE(checktest::TagOf(d, "controller", 0, "OP Tag").gap.empty()) << "the case gives it";
    EXPECT_TRUE(checktest::TagOf(d, "pv_import", 0, "PV Tag").gap.empty()) << "the export gives it";
    EXPECT_EQ(d.Gaps(), 1);
}

host::CatalogueEntry Entry(int32_t kind, const std::string& name, int32_t dataSet) {
    host::CatalogueEntry e;
    e.kind = kind;
    e.name = name;
    e.dataSet = dataSet;
    e.stored = true;
    return e;
}

struct Typo {
    const char* text;
    std::vector<int32_t> kinds;
    int32_t dataSet;
    std::vector<std::string> expected;  // best first
};

TEST(Suggestions, RankTheUsualSlipsFirst) {
    host::CatalogueParse parse;
    parse.entries = {Entry(1, "FIC-101.SP", 1), Entry(2, "FIC-101.OP", 1), Entry(1, "FIC-101.SPI", 1),
                     Entry(1, "FIC_102.PV", 1), Entry(1, "TIC-1O1.PV", 1), Entry(1, "LIC-100.SP", 2),
                     Entry(1, "LIC-100.SP", 1), Entry(3, "PUMP 7", 1),     Entry(1, "FIC-101.MODE", 1),
                     Entry(1, "FIC-101.SP", 3)};
    parse.entries.back().stored = false;  // skipped by a full list: nothing binds to it
    const host::SuggestionIndex index(parse, *host::CodePage::Find(1252));
    const std::vector<int32_t> any = {1, 2, 3, 4, 5, 6}, writable = {1, 3, 6};
    const Typo typos[] = {
        {"FIC-101.SPT", any, 1, {"FIC-101.SP", "FIC-101.SPI", "FIC-101.OP"}},  // a letter too many
        {"FIC101.SP", any, 1, {"FIC-101.SP"}},                                 // the dash left out
        {"fic-101.sp", any, 1, {"FIC-101.SP"}},                                // letter case
        {"FIC-101.SP ", any, 1, {"FIC-101.SP"}},                               // a trailing blank
        {"FIC-102.PV", any, 1, {"FIC_102.PV"}},                                // "_" for "-"
        {"TIC-101.PV", any, 1, {"TIC-1O1.PV"}},                                // O for 0
        {"PUMP7", any, 1, {"PUMP 7"}},                                         // a blank left out
        {"FIC-101.0P", writable, 1, {"FIC-101.SP", "FIC-101.SPI"}},            // the AO tag cannot be written
        {"FIC-101.S", any, 1, {"FIC-101.SP", "FIC-101.OP", "FIC-101.SPI"}},    // a letter too few
        {"FIC-101.PS", any, 1, {"FIC-101.SP", "FIC-101.OP", "FIC-101.SPI"}},   // two letters swapped
        {"FIC-101.MOD", any, 1, {"FIC-101.MODE", "FIC-101.OP"}},
        {"FIC-101.XYZ", any, 1, {"FIC-101.SP", "FIC-101.OP", "FIC-101.SPI"}},  // a swapped suffix: three at most
        {"LIC-100.SPT", any, 2, {"LIC-100.SP", "LIC-100.SP"}},                 // the row's data set first
        {"ZZZ-999.QQ", any, 1, {}},
    };
    for (const Typo& t : typos) {
        SCOPED_TRACE(t.text);
        const std::vector<host::Suggestion> got = index.Nearest(t.text, t.kinds, t.dataSet);
        std::vector<std::string> names;
        for (const host::Suggestion& s : got) names.push_back(s.name);
        EXPECT_EQ(names, t.expected);
        if (std::string(t.text) == "LIC-100.SPT") {
            ASSERT_EQ(got.size(), 2u);
            EXPECT_EQ(got[0].dataSet, 2);
        }
    }
}

TEST(CheckReports, ProblemsCsvOneLinePerProblem) {
    host::Case c;
    c.file = "case.toml";
    c.controllers.push_back(checktest::Controller(1, {"a1", "", "A1", "A1", ""}));
    c.controllers[0].fields[1].line = 7;
    c.controllers[0].fields[1].column = 9;
    const host::Diagnosis d = checktest::Check(c, kClean);
    const std::string csv = host::ProblemsCsv(d, c);
    EXPECT_EQ(csv.substr(0, csv.find('\n')), "table,row,name,field,text,code,reason,suggestion,source");
    EXPECT_NE(csv.find("\ncontroller,0,C,SP Tag,a1,near-miss,"), std::string::npos) << csv;
    EXPECT_NE(csv.find(",\"\"\"A1\"\" (AI, data set 1)\",case.toml:7:9\n"), std::string::npos) << csv;
}

// A driver whose messages differ from the rules is flagged row by row:
// the real driver agrees with the rules, and each kind of divergence is
// pinned on the row it concerns (or, when no row accounts for it, listed
// on its own). The divergent message lists stand in for a driver built
// with other rules.
TEST(CheckCodes, DriverThatDiffersFromTheRulesIsFlagged) {
    host::Case c;
    c.file = "differs.toml";
    c.controllers.push_back(checktest::Controller(1, {"", "", "A1", "A1", ""}));
    c.controllers.push_back(checktest::Controller(1, {"NOPE", "", "A1", "A1", ""}));
    c.controllers.push_back(checktest::Controller(1, {"", "", "AO1", "AO1", ""}));
    const host::Diagnosis real = checktest::Check(c, kCatalogue);
    ASSERT_EQ(real.RowsDiffering(), 0);
    ASSERT_TRUE(real.unexplained.empty());
    ASSERT_FALSE(real.verdictSource.empty());
    ASSERT_EQ(real.stop.table, "controller");
    ASSERT_EQ(real.stop.index, 2);

    const host::DriverMessage extraBox{"box", "MARLIXNT",
                                       "Incorrect data set or unknown mode tag for controller at index 0\n"
                                       "          Mode tags must be writable (AI, DI, or CALC)",
                                       "DCSConfigure"};
    const host::DriverMessage stray{"box", "MARLIXNT", "Something else entirely", "DCSConfigure"};
    struct Divergence {
        const char* what;
        void (*change)(std::vector<host::DriverMessage>&, const host::DriverMessage&, const host::DriverMessage&);
        std::vector<int32_t> flagged;  // controller rows
        size_t unexplained;
    };
    const Divergence cases[] = {
        {"a predicted message missing",
         [](std::vector<host::DriverMessage>& m, const host::DriverMessage&, const host::DriverMessage&) {
             m.erase(m.begin());
         },
         {1},
         0},
        {"a message for a row that binds",
         [](std::vector<host::DriverMessage>& m, const host::DriverMessage& extra, const host::DriverMessage&) {
             m.insert(m.begin(), extra);
         },
         {0},
         0},
        {"a message no row accounts for",
         [](std::vector<host::DriverMessage>& m, const host::DriverMessage&, const host::DriverMessage& other) {
             m.push_back(other);
         },
         {},
         1},
        {"a step message where the rules predict a configuration failure",
         [](std::vector<host::DriverMessage>& m, const host::DriverMessage&, const host::DriverMessage&) {
             m.push_back(
                 {"box", "KVMRXNT Error", "Error reading AI tag for SP tag A1 of controller at index 0", "step 1"});
         },
         {0},
         0},
    };
    for (const Divergence& test : cases) {
        SCOPED_TRACE(test.what);
        host::Diagnosis d = real;
        d.stepRun = true;
        test.change(d.messages, extraBox, stray);
        host::CompareWithDryRun(d);
        std::vector<int32_t> flagged;
        for (const host::RowDiagnosis& row : d.rows) {
            if (!row.driverDiffers.empty()) flagged.push_back(row.index);
        }
        EXPECT_EQ(flagged, test.flagged);
        EXPECT_EQ(d.unexplained.size(), test.unexplained);
        const std::string report = host::CheckReport(d, false);
        EXPECT_NE(report.find("verdicts: from the driver's binding rules built into this dcs-host"), std::string::npos);
        EXPECT_NE(report.find("DIFFER from the rules"), std::string::npos) << report;
    }
}

}  // namespace
