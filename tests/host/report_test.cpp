// The per-step table, its CSV form and the chart.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "report.h"

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

TEST(TableTest, MarksShowWhatTheDriverStored) {
    const host::Layout layout = TwoByOne();
    const std::string row = host::TableRow(layout, Record());
    EXPECT_NE(row.find("50.000*"), std::string::npos) << row;
    EXPECT_NE(row.find("0.500 "), std::string::npos) << row;
    EXPECT_EQ(row.find("0.500*"), std::string::npos) << row;
    EXPECT_NE(row.find("0.250*"), std::string::npos) << row;
    EXPECT_NE(row.find(" - "), std::string::npos) << "a flag not held shows as -: " << row;
    EXPECT_EQ(row.rfind("    4", 0), 0u);
    EXPECT_NE(row.find("start\n"), std::string::npos);
}

TEST(TableTest, ColumnsLineUpWithTheHeader) {
    const host::Layout layout = TwoByOne();
    const std::string header = host::TableHeader(layout);
    const std::string first = header.substr(0, header.find('\n'));
    host::StepRecord init = Record();
    init.step = 0;
    const std::string row = host::TableRow(layout, init);
    EXPECT_EQ(row.rfind(" init", 0), 0u);
    // Every header ends where the values of its column end (before the mark).
    for (const char* name : {"FIC-101 SP", "FI-101", "Running"}) {
        const size_t end = first.find(name) + std::string(name).size();
        ASSERT_LT(end, row.size());
        EXPECT_NE(row[end - 1], ' ') << name << "\n" << first << "\n" << row;
        EXPECT_TRUE(row[end] == ' ' || row[end] == '*') << name << "\n" << first << "\n" << row;
    }
}

TEST(SvgTest, OneLineOfEachSeriesAndALegend) {
    const host::Layout layout = TwoByOne();
    std::vector<host::StepRecord> records;
    for (int step = 0; step < 5; ++step) {
        host::StepRecord r = Record();
        r.step = step;
        r.pvExports = {40.0 + step};
        records.push_back(r);
    }
    std::ostringstream out;
    host::WriteSvg(out, layout, records, "plant <1>");
    const std::string svg = out.str();
    size_t polylines = 0;
    for (size_t at = svg.find("<polyline"); at != std::string::npos; at = svg.find("<polyline", at + 1)) ++polylines;
    EXPECT_EQ(polylines, 6u) << "two SP, one export, one import, two OP";
    EXPECT_NE(svg.find(">FIC-101 SP</text>"), std::string::npos);
    EXPECT_NE(svg.find(">TIC-102 OP</text>"), std::string::npos);
    EXPECT_NE(svg.find(">mode (import)</text>"), std::string::npos);
    EXPECT_NE(svg.find("plant &lt;1&gt;"), std::string::npos) << "text is escaped";
    EXPECT_EQ(svg.find("nan"), std::string::npos);
    EXPECT_EQ(svg.rfind("</svg>\n"), svg.size() - 7);
}

TEST(SvgTest, FlatAndEmptySeriesStillDraw) {
    host::Layout layout;
    layout.pvExports = {"flat"};
    std::ostringstream out;
    host::WriteSvg(out, layout, {}, "empty");
    EXPECT_EQ(out.str().find("nan"), std::string::npos);
    host::StepRecord r;
    r.pvExports = {5.0};
    std::ostringstream one;
    host::WriteSvg(one, layout, {r, r}, "flat");
    EXPECT_EQ(one.str().find("nan"), std::string::npos);
    EXPECT_EQ(one.str().find("inf"), std::string::npos);
}

}  // namespace
