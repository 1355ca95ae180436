#include "chart_style.h"

#include <cmath>

namespace host {

namespace {

// Twenty colours of distinct hue or lightness that read on white and in
// print, no two of one family; the dash patterns multiply them, so series
// beyond the twentieth still differ.
const char* const kPalette[] = {"#1f77b4", "#d62728", "#2ca02c", "#9467bd", "#ff7f0e", "#8c564b", "#e377c2",
                                "#17becf", "#7f7f7f", "#bcbd22", "#000075", "#800000", "#469990", "#f032e6",
                                "#000000", "#a6761d", "#5e3c99", "#7fbf00", "#e6ab02", "#b15928"};
constexpr size_t kPaletteSize = sizeof kPalette / sizeof kPalette[0];
const char* const kDashes[] = {"", "7 3", "2 3", "9 3 2 3", "12 4", "4 2 1 2"};
constexpr size_t kDashCount = sizeof kDashes / sizeof kDashes[0];

}  // namespace

std::string SeriesColour(size_t index) { return kPalette[index % kPaletteSize]; }

std::string SeriesDash(size_t index) {
    const size_t pattern = index / kPaletteSize;
    if (pattern < kDashCount) return kDashes[pattern];
    // Beyond the fixed patterns, dashes of a length of their own.
    return std::to_string(pattern + 8 - kDashCount) + " 3 1 3";
}

double NiceStep(double range, int ticks) {
    const double raw = range / ticks;
    const double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
    for (double m : {1.0, 2.0, 5.0, 10.0}) {
        if (raw <= m * magnitude) return m * magnitude;
    }
    return 10.0 * magnitude;
}

}  // namespace host
