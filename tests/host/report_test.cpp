// The per-step table, its CSV form and the chart.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "report/report.h"
#include "report/terminal_table.h"

namespace {

std::vector<std::string> Split(const std::string& line, char separator) {
    std::vector<std::string> fields;
    std::string field;
    std::istringstream in(line);
    while (std::getline(in, field, separator)) fields.push_back(field);
    if (!line.empty() && line.back() == separator) fields.emplace_back();
    return fields;
}

host::Layout TwoByOne() {
    host::Layout layout;
    layout.controllers = {"FIC-101", "TIC-102"};
    layout.pvExports = {"FI-101"};
    layout.pvImports = {"mode"};
    return layout;
}

host::StepRecord Record() {
    host::StepRecord r;
    r.step = 4;
    r.events = "start";
    r.controllers = {{50.0, 0.5, true, false}, {120.0, 0.25, false, true}};
    r.pvExports = {47.1875};
    r.pvImports = {3.0};
    r.enabled = 1;
    r.running = std::nullopt;
    return r;
}

TEST(CsvTest, HeaderNamesEveryColumnInRowOrder) {
    const std::string header = host::CsvHeader(TwoByOne());
    EXPECT_EQ(header,
              "step,status,FIC-101 SP,FIC-101 SP changed,FIC-101 OP,FIC-101 OP changed,"
              "TIC-102 SP,TIC-102 SP changed,TIC-102 OP,TIC-102 OP changed,FI-101,mode,Enabled,Running,events\n");
}

TEST(CsvTest, RowHasOneFieldPerHeaderColumn) {
    const host::Layout layout = TwoByOne();
    std::string header = host::CsvHeader(layout);
    std::string row = host::CsvRow(layout, Record());
    header.pop_back();
    row.pop_back();
    const std::vector<std::string> names = Split(header, ',');
    const std::vector<std::string> values = Split(row, ',');
    ASSERT_EQ(names.size(), values.size()) << row;
    auto at = [&](const std::string& name) {
        for (size_t i = 0; i < names.size(); ++i)
            if (names[i] == name) return values[i];
        return std::string("(no column)");
    };
    EXPECT_EQ(at("step"), "4");
    EXPECT_EQ(at("status"), "ok");
    EXPECT_EQ(at("FIC-101 SP"), "50");
    EXPECT_EQ(at("FIC-101 SP changed"), "1");
    EXPECT_EQ(at("FIC-101 OP"), "0.5");
    EXPECT_EQ(at("FIC-101 OP changed"), "0");
    EXPECT_EQ(at("TIC-102 OP changed"), "1");
    EXPECT_EQ(at("FI-101"), "47.1875");
    EXPECT_EQ(at("mode"), "3");
    EXPECT_EQ(at("Enabled"), "1");
    EXPECT_EQ(at("Running"), "") << "a flag the server does not hold is left empty";
    EXPECT_EQ(at("events"), "start");
}

TEST(CsvTest, FieldsWithSeparatorsAreQuoted) {
    EXPECT_EQ(host::CsvField("plain"), "plain");
    EXPECT_EQ(host::CsvField("a,b"), "\"a,b\"");
    EXPECT_EQ(host::CsvField("say \"hi\""), "\"say \"\"hi\"\"\"");
    host::Layout layout;
    layout.pvExports = {"FI,101"};
    EXPECT_NE(host::CsvHeader(layout).find(",\"FI,101\","), std::string::npos);
    host::StepRecord r;
    r.pvExports = {1.0};
    r.events = "set_tag A=1 set_tag B,C=2";
    r.ok = false;
    EXPECT_EQ(host::CsvRow(layout, r), "0,FAIL,1,,,\"set_tag A=1 set_tag B,C=2\"\n");
}

std::string Render(host::TerminalTable& table, const std::vector<host::StepRecord>& records) {
    std::ostringstream out;
    for (const host::StepRecord& r : records) table.Add(r, out);
    table.Finish(out);
    return out.str();
}

TEST(TableTest, MarksShowWhatTheDriverStored) {
    host::TerminalTable table(TwoByOne(), 200, {});
    const std::string text = Render(table, {Record()});
    EXPECT_NE(text.find("50*"), std::string::npos) << text;
    EXPECT_NE(text.find("0.5 "), std::string::npos) << text;
    EXPECT_NE(text.find("0.25*"), std::string::npos) << text;
    EXPECT_NE(text.find(" - "), std::string::npos) << "a flag not held shows as -: " << text;
    EXPECT_NE(text.find("\n    4"), std::string::npos) << text;
    EXPECT_NE(text.find("start\n"), std::string::npos) << text;
}

TEST(TableTest, NumbersKeepTheirSignificantDigitsInTheColumn) {
    const struct {
        double value;
        const char* text;
    } cases[] = {{0.0004, "0.0004"},
                 {1e8, "1e+08"},
                 {123.456789, "123.457"},
                 {-1.23456789e-7, "-1.235e-07"},
                 {50.0, "50"},
                 {-987654321.0, "-9.877e+08"}};
    for (const auto& c : cases) {
        EXPECT_EQ(host::FitNumber(c.value, 10), c.text);
        EXPECT_LE(host::FitNumber(c.value, 10).size(), 10u);
    }
}

// Every line of a block is as long as its header's rule, so every column
// lines up, and no line is wider than asked.
TEST(TableTest, BlocksFitTheWidthAndEachRepeatsTheStep) {
    host::Layout layout;
    for (int i = 0; i < 12; ++i) layout.controllers.push_back("TIC-" + std::to_string(100 + i));
    std::vector<host::StepRecord> records;
    for (int step = 0; step < 3; ++step) {
        host::StepRecord r;
        r.step = step;
        for (int i = 0; i < 12; ++i) r.controllers.push_back({1e8 * i, 0.0004 * step, false, step == 1});
        records.push_back(r);
    }
    host::TerminalTable table(layout, 80, {});
    ASSERT_GT(table.Blocks(), 3u);
    const std::string text = Render(table, records);
    std::istringstream in(text);
    size_t headers = 0, rule = 0;
    for (std::string line; std::getline(in, line);) {
        if (line.rfind(" step  status", 0) == 0) ++headers;
        if (!line.empty() && line[0] == '-') rule = line.size();
        if (!line.empty() && line[0] != '-' && line.rfind(" step", 0) != 0 &&
            line.find("initialize") == std::string::npos) {
            EXPECT_EQ(line.size(), rule) << line;
        }
        EXPECT_LE(line.size(), 80u) << line;
    }
    EXPECT_EQ(headers, table.Blocks());
    EXPECT_NE(text.find("1.1e+09"), std::string::npos) << text;
    EXPECT_NE(text.find("0.0004*"), std::string::npos) << text;
}

TEST(TableTest, ColumnsArePickedByGlob) {
    host::TerminalTable table(TwoByOne(), 200, {"FIC-*", "mode"});
    const std::string text = Render(table, {Record()});
    const std::string header = text.substr(0, text.find('\n'));
    EXPECT_NE(header.find("FIC-101 SP"), std::string::npos);
    EXPECT_NE(header.find("FIC-101 OP"), std::string::npos);
    EXPECT_NE(header.find("mode"), std::string::npos);
    EXPECT_EQ(header.find("TIC-102"), std::string::npos) << header;
    EXPECT_EQ(header.find("Enabled"), std::string::npos) << header;
    EXPECT_THROW(host::TerminalTable(TwoByOne(), 200, {"PIC-*"}), host::ColumnError);
}

// The glob is the host's own (Windows has no fnmatch): each row picks one
// column and must leave out another.
TEST(TableTest, GlobPatterns) {
    struct Row {
        const char* pattern;
        const char* picked;
        const char* left;
    };
    const Row rows[] = {
        {"?IC-101 SP", "FIC-101 SP", "TIC-102 SP"},     {"[FT]IC-10[1] OP", "FIC-101 OP", "TIC-102 OP"},
        {"[!F]IC-*", "TIC-102 SP", "FIC-101 SP"},       {"*102*", "TIC-102 OP", "FIC-101 OP"},
        {"TIC-10[0-2] S?", "TIC-102 SP", "TIC-102 OP"},
    };
    for (const Row& row : rows) {
        host::TerminalTable table(TwoByOne(), 200, {row.pattern});
        const std::string text = Render(table, {Record()});
        const std::string header = text.substr(0, text.find('\n'));
        EXPECT_NE(header.find(row.picked), std::string::npos) << row.pattern << ": " << header;
        EXPECT_EQ(header.find(row.left), std::string::npos) << row.pattern << ": " << header;
    }
}

}  // namespace
