// The per-step table, its CSV form and the chart.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "report/html_report.h"
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
// lines up, and no line is wider than asked, events included: beside a
// full row they go on lines of their own, every word kept.
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
    const std::string events =
        "set_tag TIC-101.OP=70 set_tag TIC-102.SP=1234567 set_tag TIC-103.SP=0.5 set_tag TIC-104.SP=2 start";
    records[1].events = events;
    host::TerminalTable table(layout, 80, {});
    ASSERT_GT(table.Blocks(), 3u);
    const std::string text = Render(table, records);
    std::istringstream in(text);
    size_t headers = 0, rule = 0;
    std::string eventWords;
    for (std::string line; std::getline(in, line);) {
        EXPECT_LE(line.size(), 80u) << line;
        if (line.rfind("        > ", 0) == 0) {
            eventWords += (eventWords.empty() ? "" : " ") + line.substr(10);
            continue;
        }
        if (line.rfind(" step  status", 0) == 0) ++headers;
        if (!line.empty() && line[0] == '-') rule = line.size();
        if (!line.empty() && line[0] != '-' && line.rfind(" step", 0) != 0 &&
            line.find("initialize") == std::string::npos) {
            EXPECT_EQ(line.size(), rule) << line;
        }
    }
    EXPECT_EQ(headers, table.Blocks());
    EXPECT_EQ(eventWords, events) << text;
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

// The columns a table shows, read from its block headers (every name here
// is ten characters at most, so each column takes twelve).
std::vector<std::string> TerminalColumns(const std::string& text) {
    std::vector<std::string> names;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (line.rfind(" step  status", 0) != 0) continue;
        for (size_t at = 13; at + 12 <= line.size(); at += 12) {
            const std::string cell = line.substr(at, 12);
            names.push_back(cell.substr(cell.find_first_not_of(' ')));
            names.back().pop_back();
        }
    }
    return names;
}

std::vector<std::string> PageColumns(const std::string& html) {
    std::vector<std::string> names;
    const size_t table = html.find("<table class=\"steps\">");
    const size_t end = html.find("</tr>", table);
    for (size_t at = html.find("<th>", table); at < end; at = html.find("<th>", at + 1)) {
        names.push_back(html.substr(at + 4, html.find("</th>", at) - at - 4));
    }
    return std::vector<std::string>(names.begin() + 2, names.end() - 1);  // step, status ... events
}

// A plant's terminal table and its page keep the same columns, at most 40,
// the changing ones first, and say alike what they left out; a view of at
// most 40 columns keeps table order and, on the terminal, says nothing.
TEST(TableTest, PlantViewsKeepTheSameColumnsChangingOnesFirst) {
    struct Row {
        const char* what;
        int controllers;
        int spChangesEvery;  // every how many controllers the SP changes (0: none)
        std::vector<std::string> patterns;
        std::vector<std::string> firstShown;
        const char* note;  // empty: the terminal says nothing
    };
    const Row rows[] = {
        {"a few change: they come first, then the others in table order",
         30,
         10,
         {},
         {"C-0 SP", "C-10 SP", "C-20 SP", "C-0 OP", "C-1 SP"},
         "Showing 40 of 62 columns: 3 that change and 37 that never change. Left out: 0 changing and 22 "
         "never-changing column(s); --columns GLOB (repeatable) picks the columns."},
        {"more change than are shown",
         100,
         1,
         {},
         {"C-0 SP", "C-1 SP", "C-2 SP"},
         "Showing 40 of 202 columns: 40 that change. Left out: 60 changing and 102 never-changing column(s); "
         "--columns GLOB (repeatable) picks the columns."},
        {"picked by --columns, more than are shown",
         100,
         1,
         {"* OP", "C-9? SP"},
         {"C-90 SP", "C-91 SP", "C-92 SP"},
         "Showing 40 of 202 columns (110 picked by --columns): 10 that change and 30 that never change. Left out: "
         "0 changing and 70 never-changing column(s), 92 not picked; --columns GLOB (repeatable) picks the "
         "columns."},
        {"picked by --columns, few enough", 100, 1, {"C-1? OP", "C-1? SP"}, {"C-10 SP", "C-10 OP", "C-11 SP"}, ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        host::Layout layout;
        for (int i = 0; i < row.controllers; ++i) layout.controllers.push_back("C-" + std::to_string(i));
        std::vector<host::StepRecord> records;
        for (int step = 0; step < 4; ++step) {
            host::StepRecord r;
            r.step = step;
            for (int i = 0; i < row.controllers; ++i) {
                const bool changes = row.spChangesEvery > 0 && i % row.spChangesEvery == 0;
                r.controllers.push_back({changes ? 50.0 + step : 50.0, 0.5, changes, false});
            }
            records.push_back(r);
        }
        host::TerminalTable table(layout, 100, row.patterns);
        const std::string text = Render(table, records);
        const std::vector<std::string> shown = TerminalColumns(text);
        EXPECT_LE(shown.size(), 40u);
        ASSERT_GE(shown.size(), row.firstShown.size());
        EXPECT_EQ(std::vector<std::string>(shown.begin(), shown.begin() + row.firstShown.size()), row.firstShown);
        const std::string noteLine = text.substr(0, text.find('\n'));
        if (*row.note == '\0') {
            EXPECT_EQ(noteLine.rfind(" step", 0), 0u) << "no note: " << noteLine;
        } else {
            EXPECT_EQ(noteLine, std::string(row.note) + " --csv FILE writes every column.");
        }
        const long blocks = static_cast<long>(table.Blocks());
        EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), (*row.note ? 1 : 0) + blocks * 7 - 1)
            << "each block: a blank line before all but the first, its header, rule and four steps";

        host::PageInput page;
        page.command = "run";
        page.run = host::PageRun{3, 0, layout, records, {}};
        page.run->chart.columns = row.patterns;
        const std::string html = host::HtmlPage(page);
        EXPECT_EQ(PageColumns(html), shown) << "the page keeps what the terminal keeps";
        if (*row.note != '\0') {
            EXPECT_NE(html.find(row.note), std::string::npos) << "the page says it alike";
        }
    }
}

}  // namespace
