// The trend chart: panels by scale group, series that never look alike, and
// a legend whose boxes never meet each other or a plot, however many series.
#include <gtest/gtest.h>

#include <cmath>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "report/chart_style.h"
#include "report/trend_chart.h"

namespace {

struct Box {
    double left, top, right, bottom;
    bool Meets(const Box& o) const { return left < o.right && o.left < right && top < o.bottom && o.top < bottom; }
};

double Attribute(const std::string& element, const std::string& name) {
    std::smatch m;
    const std::regex pattern(" " + name + "=\"([-0-9.]+)\"");
    if (!std::regex_search(element, m, pattern)) return -1.0;
    return std::stod(m[1]);
}

std::vector<std::string> Elements(const std::string& svg, const std::string& start, const std::string& end) {
    std::vector<std::string> found;
    for (size_t at = svg.find(start); at != std::string::npos; at = svg.find(start, at + 1)) {
        found.push_back(svg.substr(at, svg.find(end, at) - at));
    }
    return found;
}

// The legend entries' boxes: from the swatch's start to the end of the
// label, the label measured at the chart's own character width.
std::vector<Box> LegendBoxes(const std::string& svg) {
    std::vector<Box> boxes;
    for (const std::string& entry : Elements(svg, "<g class=\"legend-entry\">", "</g>")) {
        const std::string text = entry.substr(entry.find("<text"));
        std::string label = text.substr(text.find('>') + 1, text.find("</text>") - text.find('>') - 1);
        label = std::regex_replace(label, std::regex("&[a-z#0-9]+;"), "x");  // an entity is one character
        const double mid = Attribute(entry, "y1");
        boxes.push_back({Attribute(entry, "x1"), mid - host::chart::kLegendRowHeight / 2,
                         Attribute(text, "x") + static_cast<double>(label.size()) * host::chart::kCharWidth,
                         mid + host::chart::kLegendRowHeight / 2});
    }
    return boxes;
}

std::vector<Box> Frames(const std::string& svg) {
    std::vector<Box> frames;
    for (const std::string& rect : Elements(svg, "<rect class=\"frame\"", "/>")) {
        const double x = Attribute(rect, "x"), y = Attribute(rect, "y");
        frames.push_back({x, y, x + Attribute(rect, "width"), y + Attribute(rect, "height") + 40.0});
    }
    return frames;
}

// `count` controllers with long and short names, each with a moving SP and
// OP, a PV export, an import that is a mode, and one constant PV.
std::string Chart(size_t count, bool keepConstant, std::vector<host::StepRecord>* out = nullptr) {
    host::Layout layout;
    for (size_t i = 0; i < count; ++i) {
        layout.controllers.push_back(i % 3 == 0 ? "TIC-" + std::to_string(i) + " reactor jacket outlet temperature"
                                                : "FIC-" + std::to_string(i));
        layout.pvExports.push_back("PV-" + std::to_string(i));
    }
    layout.pvExports.push_back("CONSTANT");
    layout.pvImports.push_back("mode <&>");
    std::vector<host::StepRecord> records;
    for (int step = 0; step <= 20; ++step) {
        host::StepRecord r;
        r.step = step;
        for (size_t i = 0; i < count; ++i) {
            r.controllers.push_back({100.0 + step + static_cast<double>(i), 0.01 * step, false, false});
            r.pvExports.push_back(50.0 + step * 0.5);
        }
        r.pvExports.push_back(7.0);
        r.pvImports.push_back(step < 10 ? 1.0 : 3.0);
        r.running = step >= 5 ? 1 : 0;
        records.push_back(r);
    }
    host::ChartInput input;
    input.title = "plant";
    input.keepConstant = keepConstant;
    input.events = {{5, "start"}, {6, "set_tag FIC-1.SP=60"}, {7, "stop"}};
    std::ostringstream svg;
    host::WriteChart(svg, layout, records, input);
    if (out != nullptr) *out = records;
    return svg.str();
}

TEST(ChartTest, PanelsByScaleGroupAndConstantsLeftOut) {
    const std::string svg = Chart(3, false);
    EXPECT_EQ(Elements(svg, "<g class=\"panel\"", ">").size(), 3u);
    for (const char* group : {"SP and PV", "OP", "modes and flags"}) {
        EXPECT_NE(svg.find("data-group=\"" + std::string(group) + "\""), std::string::npos) << group;
    }
    EXPECT_EQ(svg.find("data-series=\"CONSTANT\""), std::string::npos);
    EXPECT_NE(svg.find("Left out, never changing (--plot-constant draws them): CONSTANT"), std::string::npos);
    EXPECT_NE(Chart(3, true).find("data-series=\"CONSTANT\""), std::string::npos);
    EXPECT_NE(svg.find("data-series=\"mode &lt;&amp;&gt; (import)\""), std::string::npos) << "escaped";
    EXPECT_EQ(Elements(svg, "<text class=\"event-label\"", "</text>").size(), 3u);
    EXPECT_EQ(svg.find("nan"), std::string::npos);
}

TEST(ChartTest, AFarSmallerProcessValueGetsAPanelOfItsOwn) {
    host::Layout layout;
    layout.pvExports = {"TI-1", "PDI-2"};
    std::vector<host::StepRecord> records(3);
    for (int step = 0; step < 3; ++step) {
        records[step].step = step;
        records[step].pvExports = {120.0 + step, 0.35 + 0.01 * step};
    }
    std::ostringstream svg;
    host::WriteChart(svg, layout, records, host::ChartInput{});
    const std::string small = svg.str().substr(svg.str().find("data-group=\"SP and PV, small scale\""));
    EXPECT_NE(small.find("data-series=\"PDI-2\""), std::string::npos);
    EXPECT_EQ(small.find("data-series=\"TI-1\""), std::string::npos);
}

TEST(ChartTest, ValuesAreHeldBetweenSteps) {
    const std::string svg = Chart(1, false);
    const std::vector<std::string> paths = Elements(svg, "<path class=\"series\"", "/>");
    ASSERT_FALSE(paths.empty());
    // Only horizontal and vertical moves: no ramp between two steps.
    for (const std::string& path : paths) {
        const std::string d = path.substr(path.find(" d=\"") + 4);
        EXPECT_EQ(d.find_first_of("LlCcQq"), std::string::npos) << d;
        EXPECT_NE(d.find(" H"), std::string::npos) << d;
    }
}

TEST(ChartTest, NoTwoSeriesAlikeAndTheLegendNeverOverlaps) {
    for (size_t count : {1u, 4u, 30u, 70u}) {
        const std::string svg = Chart(count, true);
        std::set<std::string> styles;
        const std::vector<std::string> paths = Elements(svg, "<path class=\"series\"", "/>");
        for (const std::string& path : paths) {
            const size_t stroke = path.find("stroke=\"");
            const size_t dash = path.find("stroke-dasharray=\"");
            const std::string style =
                path.substr(stroke, path.find('"', stroke + 8) - stroke) + "|" +
                (dash == std::string::npos ? "" : path.substr(dash, path.find('"', dash + 18) - dash));
            EXPECT_TRUE(styles.insert(style).second) << count << " series: " << style << " twice";
        }
        const std::vector<Box> boxes = LegendBoxes(svg);
        ASSERT_EQ(boxes.size(), paths.size());
        const std::vector<Box> frames = Frames(svg);
        for (size_t i = 0; i < boxes.size(); ++i) {
            EXPECT_LE(boxes[i].right, host::chart::kWidth) << count << " series, entry " << i;
            for (size_t j = i + 1; j < boxes.size(); ++j) {
                EXPECT_FALSE(boxes[i].Meets(boxes[j])) << count << " series: entries " << i << " and " << j;
            }
            for (const Box& frame : frames) EXPECT_FALSE(boxes[i].Meets(frame)) << count << " series, entry " << i;
        }
    }
}

// Whatever the plant model produces, the document stays valid and finite.
TEST(ChartTest, ExtremeValuesStillDraw) {
    const std::vector<std::vector<double>> cases = {{1e300, -1e300},       {1e308, -1e308},  {NAN, 1.0},
                                                    {INFINITY, -INFINITY}, {1e15, 1e15 + 1}, {0.0004, 1e8}};
    for (const auto& values : cases) {
        host::Layout layout;
        layout.pvExports = {"A", "B"};
        std::vector<host::StepRecord> records(2);
        records[0].pvExports = values;
        records[1].step = 1;
        records[1].pvExports = {values[1], values[0]};
        std::ostringstream svg;
        host::WriteChart(svg, layout, records, host::ChartInput{});
        EXPECT_EQ(svg.str().find("nan"), std::string::npos) << values[0];
        EXPECT_EQ(svg.str().find("inf\""), std::string::npos) << values[0];
        EXPECT_EQ(svg.str().rfind("</svg>\n"), svg.str().size() - 7);
    }
}

TEST(ChartTest, AnUnconfiguredRunSaysSo) {
    host::Layout layout;
    layout.controllers = {"FIC-101"};
    host::ChartInput input;
    input.configured = false;
    std::ostringstream svg;
    host::WriteChart(svg, layout, {}, input);
    EXPECT_NE(svg.str().find("not configured"), std::string::npos);
    EXPECT_EQ(svg.str().find("class=\"panel\""), std::string::npos);
}

TEST(ChartTest, AThinnedChartSaysSo) {
    std::vector<host::StepRecord> records;
    Chart(1, false, &records);
    host::Layout layout;
    layout.controllers = {"FIC-0"};
    layout.pvExports = {"PV-0", "CONSTANT"};
    layout.pvImports = {"mode"};
    host::ChartInput input;
    input.stride = 50;
    std::ostringstream svg;
    host::WriteChart(svg, layout, records, input);
    EXPECT_NE(svg.str().find("Every 50th step is drawn"), std::string::npos);
}

}  // namespace
