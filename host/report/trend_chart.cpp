#include "report/trend_chart.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <optional>
#include <sstream>

#include "chart_style.h"
#include "markup.h"
#include "report/terminal_table.h"
#include "text/glob.h"

namespace host {

namespace {

using namespace chart;

constexpr double kTitleHeight = 34.0;
constexpr double kNoteHeight = 16.0;
constexpr double kEventRowHeight = 15.0;
constexpr double kAxisLabelsHeight = 40.0;
constexpr double kPanelGap = 26.0;

enum class Group { ProcessValues, SmallProcessValues, Outputs, ModesAndFlags };
constexpr Group kGroups[] = {Group::ProcessValues, Group::SmallProcessValues, Group::Outputs, Group::ModesAndFlags};
// A value this many times smaller than the largest of its group would be a
// flat line at the bottom of the panel: it gets a panel of its own.
constexpr double kScaleRatio = 25.0;

const char* GroupName(Group group) {
    switch (group) {
    case Group::ProcessValues: return "SP and PV";
    case Group::SmallProcessValues: return "SP and PV, small scale";
    case Group::Outputs: return "OP";
    case Group::ModesAndFlags: return "modes and flags";
    }
    return "";
}

struct Series {
    std::string name;
    Group group;
    std::vector<double> values;  // one per record; NaN where there is none
    size_t style = 0;            // index into the colour and dash sequence
};

bool IsConstant(const Series& s) {
    bool any = false;
    double first = 0.0;
    for (double v : s.values) {
        if (!std::isfinite(v)) continue;
        if (any && v != first) return false;
        first = any ? first : v;
        any = true;
    }
    return true;
}

// Small whole numbers are modes, switches and states: they get a panel of
// their own so that a 0/1 line is not flattened against a 120 degC one.
bool LooksLikeFlag(const std::vector<double>& values) {
    bool any = false;
    for (double v : values) {
        if (!std::isfinite(v)) continue;
        if (v != std::floor(v) || v < -1.0 || v > 16.0) return false;
        any = true;
    }
    return any;
}

std::vector<Series> CollectSeries(const Layout& layout, const std::vector<StepRecord>& records) {
    std::vector<Series> all;
    for (size_t c = 0; c < layout.controllers.size(); ++c) {
        Series sp{layout.controllers[c] + " SP", Group::ProcessValues, {}, 0};
        Series op{layout.controllers[c] + " OP", Group::Outputs, {}, 0};
        for (const StepRecord& r : records) {
            sp.values.push_back(c < r.controllers.size() ? r.controllers[c].sp : NAN);
            op.values.push_back(c < r.controllers.size() ? r.controllers[c].op : NAN);
        }
        all.push_back(std::move(sp));
        all.push_back(std::move(op));
    }
    auto addPV = [&](const std::vector<std::string>& names, std::vector<double> StepRecord::*member,
                     const std::string& suffix) {
        for (size_t i = 0; i < names.size(); ++i) {
            Series s{names[i] + suffix, Group::ProcessValues, {}, 0};
            for (const StepRecord& r : records) {
                const std::vector<double>& values = r.*member;
                s.values.push_back(i < values.size() ? values[i] : NAN);
            }
            if (LooksLikeFlag(s.values)) s.group = Group::ModesAndFlags;
            all.push_back(std::move(s));
        }
    };
    addPV(layout.pvExports, &StepRecord::pvExports, "");
    addPV(layout.pvImports, &StepRecord::pvImports, " (import)");
    auto addFlag = [&](const char* name, std::optional<int32_t> StepRecord::*member) {
        Series s{name, Group::ModesAndFlags, {}, 0};
        bool held = false;
        for (const StepRecord& r : records) {
            const std::optional<int32_t>& flag = r.*member;
            s.values.push_back(flag ? static_cast<double>(*flag) : NAN);
            held = held || flag.has_value();
        }
        if (held) all.push_back(std::move(s));
    };
    addFlag("Enabled", &StepRecord::enabled);
    addFlag("Running", &StepRecord::running);
    for (size_t i = 0; i < all.size(); ++i) all[i].style = i;
    return all;
}

double Magnitude(const Series& s) {
    double magnitude = 0.0;
    for (double v : s.values) {
        if (std::isfinite(v)) magnitude = std::max(magnitude, std::fabs(v));
    }
    return magnitude;
}

// Moves the SP and PV series far smaller than the largest to a panel of
// their own, so a 0.35 bar pressure is not drawn flat under a 120 degC SP.
void SplitByScale(const std::vector<Series*>& shown) {
    double largest = 0.0;
    for (const Series* s : shown) {
        if (s->group == Group::ProcessValues) largest = std::max(largest, Magnitude(*s));
    }
    for (Series* s : shown) {
        if (s->group == Group::ProcessValues && Magnitude(*s) * kScaleRatio < largest) {
            s->group = Group::SmallProcessValues;
        }
    }
}

// The words of `text` in lines of at most `width` characters.
std::vector<std::string> Wrapped(const std::string& text, size_t width) {
    std::vector<std::string> lines(1);
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find(' ', start);
        if (end == std::string::npos) end = text.size();
        const std::string word = text.substr(start, end - start);
        if (!lines.back().empty() && lines.back().size() + 1 + word.size() > width) lines.emplace_back();
        lines.back() += (lines.back().empty() ? "" : " ") + word;
        start = end + 1;
    }
    return lines;
}

double TextWidth(const std::string& text) { return static_cast<double>(text.size()) * kCharWidth; }

struct XAxis {
    double first = 0.0;
    double last = 1.0;  // the last step plus one stride: the last value is held for a step too
    double X(double step) const { return kLeft + (step - first) / (last - first) * kPlotWidth; }
};

struct LegendGrid {
    size_t columns = 1;
    double columnWidth = 0.0;
    size_t rows = 0;
};

LegendGrid LegendFor(const std::vector<const Series*>& series) {
    LegendGrid grid;
    for (const Series* s : series) {
        grid.columnWidth = std::max(grid.columnWidth, kSwatchWidth + 6.0 + TextWidth(s->name) + 18.0);
    }
    const double available = kWidth - kLeft - 10.0;
    grid.columnWidth = std::min(grid.columnWidth, available);
    grid.columns = std::max<size_t>(1, static_cast<size_t>(available / std::max(grid.columnWidth, 1.0)));
    grid.rows = (series.size() + grid.columns - 1) / grid.columns;
    return grid;
}

void WritePath(std::ostream& out, const Series& s, const std::vector<int32_t>& steps, const XAxis& axis, double low,
               double high, double top) {
    auto y = [&](double v) { return top + kPanelHeight - (v - low) / (high - low) * kPanelHeight; };
    std::string d;
    bool open = false;
    for (size_t k = 0; k < s.values.size() && k < steps.size(); ++k) {
        const double v = s.values[k];
        if (!std::isfinite(v)) {
            open = false;
            continue;
        }
        const double next = k + 1 < steps.size() ? steps[k + 1] : axis.last;
        // Held from this step until the next: a vertical move, then flat.
        d += (open ? " V" : " M" + Number(axis.X(steps[k]))) + " " + Number(y(v)) + " H" + Number(axis.X(next));
        open = true;
    }
    const std::string dash = SeriesDash(s.style);
    out << "<path class=\"series\" data-series=\"" << Escape(s.name) << "\" fill=\"none\" stroke=\""
        << SeriesColour(s.style) << "\" stroke-width=\"1.8\""
        << (dash.empty() ? "" : " stroke-dasharray=\"" + dash + "\"") << " d=\"" << (d.empty() ? "M0 0" : d.substr(1))
        << "\"/>\n";
}

// One panel: frame, grid, event lines, the series above them, the axes'
// labels and the legend beneath. Returns the height it took.
double WritePanel(std::ostream& out, Group group, const std::vector<const Series*>& series,
                  const std::vector<int32_t>& steps, const XAxis& axis, const std::vector<ChartEvent>& events,
                  double top) {
    double low = 0.0, high = 0.0;
    bool any = false;
    for (const Series* s : series) {
        for (double v : s->values) {
            if (!std::isfinite(v)) continue;
            low = any ? std::min(low, v) : v;
            high = any ? std::max(high, v) : v;
            any = true;
        }
    }
    if (!any) high = 1.0;
    // Beyond this the range itself overflows; such values are drawn at the edge.
    low = std::max(low, -1e307);
    high = std::min(high, 1e307);
    if (high - low < 1e-12 * std::max(1.0, std::fabs(high))) {
        low -= 0.5;
        high += 0.5;
    }
    // A little room, so a line at the extreme does not run along the frame;
    // modes and flags keep their whole-number scale.
    const double room = group == Group::ModesAndFlags ? 0.0 : (high - low) * 0.04;
    low -= low == 0.0 ? 0.0 : room;
    high += room;
    const double tick = NiceStep(high - low, 5);
    low = std::floor(low / tick) * tick;
    high = std::ceil(high / tick) * tick;
    auto y = [&](double v) { return top + kPanelHeight - (v - low) / (high - low) * kPanelHeight; };
    const double right = kLeft + kPlotWidth;

    out << "<g class=\"panel\" data-group=\"" << GroupName(group) << "\">\n";
    out << "<rect class=\"frame\" x=\"" << kLeft << "\" y=\"" << top << "\" width=\"" << kPlotWidth << "\" height=\""
        << kPanelHeight << "\" fill=\"#fcfcfc\" stroke=\"#888\"/>\n";
    // Counted in whole ticks, so rounding cannot add or drop a grid line.
    const int ticks = static_cast<int>(std::lround((high - low) / tick));
    for (int k = 0; k <= ticks; ++k) {
        const double v = low + tick * k;
        const double yy = y(v);
        out << "<line x1=\"" << kLeft - 4 << "\" y1=\"" << Number(yy) << "\" x2=\"" << right << "\" y2=\"" << Number(yy)
            << "\" stroke=\"#e4e4e4\"/>\n<text x=\"" << kLeft - 8 << "\" y=\"" << Number(yy + 4)
            << "\" font-size=\"11\" text-anchor=\"end\">" << ShortNumber(std::fabs(v) < tick / 1e6 ? 0.0 : v)
            << "</text>\n";
    }
    const double stepTick = std::max(1.0, NiceStep(axis.last - axis.first, 12));
    const double firstTick = std::ceil(axis.first / stepTick) * stepTick;
    const int stepTicks = static_cast<int>(std::floor((axis.last - firstTick) / stepTick + 1e-9));
    for (int k = 0; k <= stepTicks; ++k) {
        const double s = firstTick + stepTick * k;
        const double xx = axis.X(s);
        out << "<line x1=\"" << Number(xx) << "\" y1=\"" << top + kPanelHeight << "\" x2=\"" << Number(xx) << "\" y2=\""
            << top + kPanelHeight + 5 << "\" stroke=\"#888\"/>\n<text x=\"" << Number(xx) << "\" y=\""
            << top + kPanelHeight + 18 << "\" font-size=\"11\" text-anchor=\"middle\">" << ShortNumber(s)
            << "</text>\n";
    }
    out << "<text x=\"" << kLeft + kPlotWidth / 2 << "\" y=\"" << top + kPanelHeight + 33
        << "\" font-size=\"11\" text-anchor=\"middle\">step</text>\n";
    const double middle = top + kPanelHeight / 2;
    out << "<text class=\"y-label\" x=\"24\" y=\"" << middle << "\" font-size=\"" << kFontSize
        << "\" font-weight=\"bold\" text-anchor=\"middle\" transform=\"rotate(-90 24 " << middle << ")\">"
        << GroupName(group) << "</text>\n";
    for (const ChartEvent& e : events) {
        const double xx = axis.X(e.step);
        out << "<line class=\"event\" x1=\"" << Number(xx) << "\" y1=\"" << top << "\" x2=\"" << Number(xx)
            << "\" y2=\"" << top + kPanelHeight << "\" stroke=\"#555\" stroke-dasharray=\"3 3\"/>\n";
    }
    for (const Series* s : series) WritePath(out, *s, steps, axis, low, high, top);

    const LegendGrid grid = LegendFor(series);
    const double legendTop = top + kPanelHeight + kAxisLabelsHeight;
    for (size_t i = 0; i < series.size(); ++i) {
        const size_t row = i / grid.columns, column = i % grid.columns;
        const double x = kLeft + static_cast<double>(column) * grid.columnWidth;
        const double rowTop = legendTop + static_cast<double>(row) * kLegendRowHeight;
        const double mid = rowTop + kLegendRowHeight / 2;
        const std::string dash = SeriesDash(series[i]->style);
        out << "<g class=\"legend-entry\"><line x1=\"" << Number(x) << "\" y1=\"" << Number(mid) << "\" x2=\""
            << Number(x + kSwatchWidth) << "\" y2=\"" << Number(mid) << "\" stroke=\"" << SeriesColour(series[i]->style)
            << "\" stroke-width=\"2.5\"" << (dash.empty() ? "" : " stroke-dasharray=\"" + dash + "\"") << "/><text x=\""
            << Number(x + kSwatchWidth + 6) << "\" y=\"" << Number(mid + 4) << "\" font-size=\"" << kFontSize << "\">"
            << Escape(series[i]->name) << "</text></g>\n";
    }
    out << "</g>\n";
    return kPanelHeight + kAxisLabelsHeight + static_cast<double>(grid.rows) * kLegendRowHeight + kPanelGap;
}

// The event labels above the first panel, each in the first row where it
// does not run into a label before it. Returns the rows' height.
double WriteEventLabels(std::ostream& out, const std::vector<ChartEvent>& events, const XAxis& axis, double top) {
    std::vector<double> rowEnds;                    // where the last label of each row ends
    std::vector<std::pair<double, size_t>> placed;  // x and row of each label
    for (const ChartEvent& e : events) {
        const double width = TextWidth(e.label) + 6.0;
        const double start = std::min(axis.X(e.step) + 2.0, kWidth - width);
        size_t row = 0;
        while (row < rowEnds.size() && rowEnds[row] > start) ++row;
        if (row == rowEnds.size()) rowEnds.push_back(0.0);
        rowEnds[row] = start + width;
        placed.emplace_back(start, row);
    }
    // The first row sits lowest, next to the plot.
    for (size_t i = 0; i < events.size(); ++i) {
        const double baseline = top + static_cast<double>(rowEnds.size() - placed[i].second) * kEventRowHeight - 4.0;
        out << "<text class=\"event-label\" x=\"" << Number(placed[i].first) << "\" y=\"" << Number(baseline)
            << "\" font-size=\"11\">" << Escape(events[i].label) << "</text>\n";
    }
    return static_cast<double>(rowEnds.size()) * kEventRowHeight;
}

}  // namespace

void WriteChart(std::ostream& out, const Layout& layout, const std::vector<StepRecord>& records,
                const ChartInput& input, bool standalone) {
    std::vector<Series> all = CollectSeries(layout, records);
    std::vector<std::string> notes;
    std::string constant;
    size_t constants = 0;
    std::vector<Series*> kept;
    size_t unpicked = 0;
    for (Series& s : all) {
        if (!input.columns.empty()) {
            // An import's series carries " (import)"; a glob names the table's column.
            const std::string column = s.name.size() > 9 && s.name.compare(s.name.size() - 9, 9, " (import)") == 0
                                           ? s.name.substr(0, s.name.size() - 9)
                                           : s.name;
            bool picked = false;
            for (const std::string& pattern : input.columns) picked = picked || GlobMatch(pattern, column);
            if (!picked) {
                ++unpicked;
                continue;
            }
        }
        if (!input.keepConstant && IsConstant(s)) {
            // A plant has thousands: the first few show what they are.
            if (constants++ < 20) constant += (constant.empty() ? "" : ", ") + s.name;
        } else {
            kept.push_back(&s);
        }
    }
    if (constants > 20) constant += " and " + std::to_string(constants - 20) + " more";
    size_t dropped = 0;
    if (input.maxSeries > 0 && kept.size() > input.maxSeries) {
        dropped = kept.size() - input.maxSeries;
        kept.resize(input.maxSeries);
    }
    SplitByScale(kept);
    const std::vector<const Series*> shown(kept.begin(), kept.end());
    if (!input.configured) {
        notes.push_back("The link was not configured: no steps ran, so there is nothing to draw.");
    } else {
        if (input.stride > 1) {
            notes.push_back("Every " + std::to_string(input.stride) +
                            "th step is drawn (thinned to keep the chart small).");
        }
        if (!constant.empty()) notes.push_back("Left out, never changing (--plot-constant draws them): " + constant);
        if (dropped > 0) {
            notes.push_back("Drawn: the first " + std::to_string(kept.size()) + " changing series; " +
                            std::to_string(dropped) + " more left out (--columns GLOB picks which are drawn).");
        }
        if (unpicked > 0) notes.push_back(std::to_string(unpicked) + " series not picked by --columns.");
    }

    std::vector<int32_t> steps;
    for (const StepRecord& r : records) steps.push_back(r.step);
    XAxis axis;
    if (!steps.empty()) {
        axis.first = steps.front();
        axis.last = static_cast<double>(steps.back()) + std::max(1, input.stride);
    }
    std::vector<std::vector<const Series*>> panels;
    std::vector<Group> panelGroups;
    if (input.configured) {
        for (Group group : kGroups) {
            std::vector<const Series*> members;
            for (const Series* s : shown) {
                if (s->group == group) members.push_back(s);
            }
            if (!members.empty()) {
                panels.push_back(members);
                panelGroups.push_back(group);
            }
        }
    }

    std::ostringstream body;
    double y = kTitleHeight;
    const size_t noteWidth = static_cast<size_t>((kWidth - kLeft - 10.0) / kCharWidth);
    for (const std::string& note : notes) {
        for (const std::string& line : Wrapped(note, noteWidth)) {
            y += kNoteHeight;
            body << "<text class=\"note\" x=\"" << kLeft << "\" y=\"" << y - 4 << "\" font-size=\"12\" fill=\"#444\">"
                 << Escape(line) << "</text>\n";
        }
    }
    if (!panels.empty()) {
        y += WriteEventLabels(body, input.events, axis, y) + 6;
        for (size_t p = 0; p < panels.size(); ++p) {
            y += WritePanel(body, panelGroups[p], panels[p], steps, axis, input.events, y);
        }
    } else if (input.configured) {
        y += kNoteHeight;
        body << "<text class=\"note\" x=\"" << kLeft << "\" y=\"" << y
             << "\" font-size=\"12\">No series to draw.</text>\n";
    }
    const double height = y + 10;

    if (standalone) out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    out << "<svg xmlns=\"http://www.w3.org/2000/svg\" class=\"trend-chart\" width=\"" << kWidth << "\" height=\""
        << Number(height) << "\" viewBox=\"0 0 " << kWidth << " " << Number(height)
        << "\" font-family=\"sans-serif\">\n<rect width=\"100%\" height=\"100%\" fill=\"white\"/>\n<text x=\""
        << kWidth / 2 << "\" y=\"22\" font-size=\"16\" text-anchor=\"middle\">" << Escape(input.title) << "</text>\n"
        << body.str() << "</svg>\n";
}

}  // namespace host
