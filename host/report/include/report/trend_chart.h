// The trend chart of a run: one panel per scale group (SP and PV, OP, modes
// and flags), values held between steps, events as labelled vertical lines
// and a legend laid out in a grid that cannot overlap itself or the plot.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "report/report.h"

namespace host {

// An event applied before a step, drawn where that step begins.
struct ChartEvent {
    int32_t step = 0;
    std::string label;  // "start", "set_tag FIC-101.SP=60", ...
};

struct ChartInput {
    std::string title;
    bool configured = true;     // false: no steps ran, and the chart says so
    bool keepConstant = false;  // draw series that never change
    int32_t stride = 1;         // the records hold every stride-th step (1: every step)
    std::vector<ChartEvent> events;
    std::vector<std::string> columns;  // --columns globs: only the series they match; none: all
    size_t maxSeries = 0;              // at most this many series drawn, the changing ones; 0: no limit
};

// Sizes the layout is built from, shared with the tests that check it.
namespace chart {
constexpr double kWidth = 1000.0;
constexpr double kLeft = 90.0;
constexpr double kPlotWidth = 860.0;
constexpr double kPanelHeight = 220.0;
constexpr double kFontSize = 12.0;
// Generous for sans-serif at kFontSize, so a box never under-estimates a label.
constexpr double kCharWidth = 7.5;
constexpr double kSwatchWidth = 28.0;
constexpr double kLegendRowHeight = 18.0;
}  // namespace chart

// A stand-alone SVG document (with the XML declaration when `standalone`,
// without it for inlining in a page).
void WriteChart(std::ostream& out, const Layout& layout, const std::vector<StepRecord>& records,
                const ChartInput& input, bool standalone = true);

}  // namespace host
