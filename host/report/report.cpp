#include "report.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>

#include "number_text.h"

namespace host {

namespace {

constexpr size_t kMinColumnWidth = 9;

// Numbers only, but a value of 1e300 in %.3f is 300 digits long: the text
// is sized to the result.
__attribute__((format(printf, 1, 2))) std::string Format(const char* format, ...) {
    va_list args;
    va_start(args, format);
    const int length = std::vsnprintf(nullptr, 0, format, args);
    va_end(args);
    if (length <= 0) {
        return std::string();
    }
    std::string text(static_cast<size_t>(length) + 1, '\0');
    va_start(args, format);
    std::vsnprintf(&text[0], text.size(), format, args);
    va_end(args);
    text.resize(static_cast<size_t>(length));
    return text;
}

std::string Fixed(double value) { return Format("%.3f", value); }

std::string PadLeft(const std::string& text, size_t width) {
    return text.size() >= width ? text : std::string(width - text.size(), ' ') + text;
}

// The table's numeric columns, each wide enough for its header.
struct Column {
    std::string header;
    size_t width;
};

std::vector<Column> NumericColumns(const Layout& layout) {
    std::vector<Column> columns;
    auto add = [&](const std::string& header) {
        columns.push_back({header, std::max(header.size(), kMinColumnWidth)});
    };
    for (const std::string& name : layout.controllers) {
        add(name + " SP");
        add(name + " OP");
    }
    for (const std::string& name : layout.pvExports) add(name);
    for (const std::string& name : layout.pvImports) add(name);
    add("Enabled");
    add("Running");
    return columns;
}

std::string FlagText(const std::optional<int32_t>& flag) { return flag ? std::to_string(*flag) : "-"; }

// Every value of the row in the numeric columns' order, with its mark.
std::vector<std::string> RowCells(const StepRecord& record) {
    std::vector<std::string> cells;
    for (const ControllerSample& c : record.controllers) {
        cells.push_back(Fixed(c.sp) + (c.spChanged ? "*" : " "));
        cells.push_back(Fixed(c.op) + (c.opChanged ? "*" : " "));
    }
    for (double v : record.pvExports) cells.push_back(Fixed(v) + " ");
    for (double v : record.pvImports) cells.push_back(Fixed(v) + " ");
    cells.push_back(FlagText(record.enabled) + " ");
    cells.push_back(FlagText(record.running) + " ");
    return cells;
}

}  // namespace

std::string TableHeader(const Layout& layout) {
    std::string line = " step  status";
    for (const Column& column : NumericColumns(layout)) {
        line += " " + PadLeft(column.header, column.width) + " ";
    }
    line += "  events";
    return line + "\n" + std::string(line.size(), '-') + "\n";
}

std::string TableRow(const Layout& layout, const StepRecord& record) {
    const std::vector<Column> columns = NumericColumns(layout);
    const std::vector<std::string> cells = RowCells(record);
    std::string line = PadLeft(record.step == 0 ? "init" : std::to_string(record.step), 5) + "  " +
                       PadLeft(record.ok ? "ok" : "FAIL", 6);
    for (size_t i = 0; i < columns.size() && i < cells.size(); ++i) {
        line += " " + PadLeft(cells[i], columns[i].width + 1);
    }
    if (!record.events.empty()) {
        line += "  " + record.events;
    }
    return line + "\n";
}

std::string CsvField(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) {
        return text;
    }
    std::string quoted = "\"";
    for (char c : text) {
        quoted += c;
        if (c == '"') {
            quoted += '"';
        }
    }
    return quoted + "\"";
}

std::string CsvHeader(const Layout& layout) {
    std::string line = "step,status";
    for (const std::string& name : layout.controllers) {
        line += "," + CsvField(name + " SP") + "," + CsvField(name + " SP changed") + "," + CsvField(name + " OP") +
                "," + CsvField(name + " OP changed");
    }
    for (const std::string& name : layout.pvExports) line += "," + CsvField(name);
    for (const std::string& name : layout.pvImports) line += "," + CsvField(name);
    return line + ",Enabled,Running,events\n";
}

std::string CsvRow(const Layout&, const StepRecord& record) {
    std::string line = std::to_string(record.step) + "," + (record.ok ? "ok" : "FAIL");
    for (const ControllerSample& c : record.controllers) {
        line += "," + NumberText(c.sp) + "," + (c.spChanged ? "1" : "0") + "," + NumberText(c.op) + "," +
                (c.opChanged ? "1" : "0");
    }
    for (double v : record.pvExports) line += "," + NumberText(v);
    for (double v : record.pvImports) line += "," + NumberText(v);
    line += "," + (record.enabled ? std::to_string(*record.enabled) : std::string());
    line += "," + (record.running ? std::to_string(*record.running) : std::string());
    return line + "," + CsvField(record.events) + "\n";
}

namespace {

std::string Escaped(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        default: out += c;
        }
    }
    return out;
}

struct Series {
    std::string name;
    std::vector<double> values;  // one per record
    bool dashed;
};

const char* const kPalette[] = {"#1f77b4", "#d62728", "#2ca02c", "#9467bd", "#ff7f0e",
                                "#8c564b", "#e377c2", "#17becf", "#7f7f7f", "#bcbd22"};
constexpr size_t kPaletteSize = sizeof kPalette / sizeof kPalette[0];

constexpr double kWidth = 900.0;
constexpr double kLeft = 70.0;
constexpr double kPlotWidth = 560.0;
constexpr double kLegendX = kLeft + kPlotWidth + 30.0;
constexpr double kPanelHeight = 260.0;
constexpr double kPanelGap = 70.0;
constexpr double kTop = 50.0;

// A round step for about `ticks` divisions of the range.
double NiceStep(double range, int ticks) {
    const double raw = range / ticks;
    const double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
    for (double m : {1.0, 2.0, 5.0, 10.0}) {
        if (raw <= m * magnitude) {
            return m * magnitude;
        }
    }
    return 10.0 * magnitude;
}

void Panel(std::ostream& out, const std::string& title, const std::vector<Series>& series,
           const std::vector<int32_t>& steps, double top, size_t colourOffset) {
    double low = 0.0, high = 0.0;
    bool any = false;
    for (const Series& s : series) {
        for (double v : s.values) {
            if (!std::isfinite(v)) continue;
            low = any ? std::min(low, v) : v;
            high = any ? std::max(high, v) : v;
            any = true;
        }
    }
    if (!any) {
        low = 0.0;
        high = 1.0;
    }
    if (high - low < 1e-9) {
        low -= 0.5;
        high += 0.5;
    }
    const double tick = NiceStep(high - low, 5);
    low = std::floor(low / tick) * tick;
    high = std::ceil(high / tick) * tick;
    const int32_t firstStep = steps.empty() ? 0 : steps.front();
    const int32_t lastStep = steps.empty() ? 1 : std::max(steps.back(), firstStep + 1);
    auto x = [&](double step) { return kLeft + (step - firstStep) / (lastStep - firstStep) * kPlotWidth; };
    auto y = [&](double v) { return top + kPanelHeight - (v - low) / (high - low) * kPanelHeight; };

    out << "<text x=\"" << kLeft << "\" y=\"" << top - 10 << "\" font-size=\"14\" font-weight=\"bold\">"
        << Escaped(title) << "</text>\n";
    out << "<rect x=\"" << kLeft << "\" y=\"" << top << "\" width=\"" << kPlotWidth << "\" height=\"" << kPanelHeight
        << "\" fill=\"none\" stroke=\"#444\"/>\n";
    for (double v = low; v <= high + tick / 2; v += tick) {
        const double yy = y(v);
        out << "<line x1=\"" << kLeft - 5 << "\" y1=\"" << yy << "\" x2=\"" << kLeft + kPlotWidth << "\" y2=\"" << yy
            << "\" stroke=\"#ddd\"/>\n";
        out << "<text x=\"" << kLeft - 8 << "\" y=\"" << yy + 4 << "\" font-size=\"11\" text-anchor=\"end\">"
            << Format("%g", std::fabs(v) < tick / 1e6 ? 0.0 : v) << "</text>\n";
    }
    const double stepTick = std::max(1.0, NiceStep(lastStep - firstStep, 10));
    for (double s = firstStep; s <= lastStep + 0.5; s += stepTick) {
        const double xx = x(s);
        out << "<line x1=\"" << xx << "\" y1=\"" << top + kPanelHeight << "\" x2=\"" << xx << "\" y2=\""
            << top + kPanelHeight + 5 << "\" stroke=\"#444\"/>\n";
        out << "<text x=\"" << xx << "\" y=\"" << top + kPanelHeight + 18 << "\" font-size=\"11\" "
            << "text-anchor=\"middle\">" << Format("%g", s) << "</text>\n";
    }
    out << "<text x=\"" << kLeft + kPlotWidth / 2 << "\" y=\"" << top + kPanelHeight + 34
        << "\" font-size=\"12\" text-anchor=\"middle\">step</text>\n";

    for (size_t i = 0; i < series.size(); ++i) {
        const Series& s = series[i];
        const char* colour = kPalette[(i + colourOffset) % kPaletteSize];
        out << "<polyline fill=\"none\" stroke=\"" << colour << "\" stroke-width=\"2\""
            << (s.dashed ? " stroke-dasharray=\"6 3\"" : "") << " points=\"";
        for (size_t k = 0; k < s.values.size() && k < steps.size(); ++k) {
            if (std::isfinite(s.values[k])) {
                out << Format("%.2f", x(steps[k])) << "," << Format("%.2f", y(s.values[k])) << " ";
            }
        }
        out << "\"/>\n";
        const double ly = top + 10 + 18.0 * static_cast<double>(i);
        out << "<line x1=\"" << kLegendX << "\" y1=\"" << ly << "\" x2=\"" << kLegendX + 24 << "\" y2=\"" << ly
            << "\" stroke=\"" << colour << "\" stroke-width=\"2\"" << (s.dashed ? " stroke-dasharray=\"6 3\"" : "")
            << "/>\n";
        out << "<text x=\"" << kLegendX + 30 << "\" y=\"" << ly + 4 << "\" font-size=\"12\">" << Escaped(s.name)
            << "</text>\n";
    }
}

}  // namespace

void WriteSvg(std::ostream& out, const Layout& layout, const std::vector<StepRecord>& records,
              const std::string& title) {
    std::vector<int32_t> steps;
    for (const StepRecord& r : records) steps.push_back(r.step);
    std::vector<Series> process;
    std::vector<Series> outputs;
    for (size_t c = 0; c < layout.controllers.size(); ++c) {
        Series sp{layout.controllers[c] + " SP", {}, true};
        Series op{layout.controllers[c] + " OP", {}, false};
        for (const StepRecord& r : records) {
            sp.values.push_back(c < r.controllers.size() ? r.controllers[c].sp : NAN);
            op.values.push_back(c < r.controllers.size() ? r.controllers[c].op : NAN);
        }
        process.push_back(std::move(sp));
        outputs.push_back(std::move(op));
    }
    auto addPV = [&](const std::vector<std::string>& names, std::vector<double> StepRecord::*member,
                     const std::string& suffix) {
        for (size_t i = 0; i < names.size(); ++i) {
            Series s{names[i] + suffix, {}, false};
            for (const StepRecord& r : records) {
                const std::vector<double>& values = r.*member;
                s.values.push_back(i < values.size() ? values[i] : NAN);
            }
            process.push_back(std::move(s));
        }
    };
    addPV(layout.pvExports, &StepRecord::pvExports, "");
    addPV(layout.pvImports, &StepRecord::pvImports, " (import)");

    const size_t legendRows = std::max(process.size(), outputs.size());
    const double panelsBottom = kTop + 2 * kPanelHeight + kPanelGap + 50.0;
    const double height = std::max(panelsBottom, kTop + 20.0 + 18.0 * static_cast<double>(legendRows));
    out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" << kWidth << "\" height=\"" << height
        << "\" viewBox=\"0 0 " << kWidth << " " << height << "\" font-family=\"sans-serif\">\n"
        << "<rect width=\"100%\" height=\"100%\" fill=\"white\"/>\n"
        << "<text x=\"" << kWidth / 2 << "\" y=\"22\" font-size=\"16\" text-anchor=\"middle\">" << Escaped(title)
        << "</text>\n";
    Panel(out, "SP and PV", process, steps, kTop, 0);
    Panel(out, "OP", outputs, steps, kTop + kPanelHeight + kPanelGap, 0);
    out << "</svg>\n";
}

}  // namespace host
