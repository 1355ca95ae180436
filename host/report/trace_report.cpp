#include "report/trace_report.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <sstream>
#include <vector>

#include "chart_style.h"
#include "diagnose/catalogue_parse.h"
#include "page.h"
#include "platform/mrx3p_operations.h"
#include "report/report.h"
#include "text/tag_name.h"

namespace host {

namespace {

using nlohmann::json;

// Failure groups and events beyond these are counted on the screen, not
// listed; the JSON and the page list them all.
constexpr size_t kScreenGroups = 15;
constexpr size_t kScreenEvents = 25;

std::string KeyText(const TagKeyT& key, const CodePage& codePage) {
    return ShortDisplayBytes(std::get<0>(key), codePage) + " (data set " + std::to_string(std::get<1>(key)) + ", " +
           std::get<2>(key) + ")";
}

std::string EntriesText(const FetchDigest& f) {
    std::string text;
    for (int32_t kind = 1; kind <= 6; ++kind) {
        text += (text.empty() ? "" : ", ") + std::string(KindName(kind)) + " " + std::to_string(f.entries[kind]);
    }
    return text;
}

int32_t LintCount(const FetchDigest& f, Severity severity) {
    return static_cast<int32_t>(
        std::count_if(f.lint.begin(), f.lint.end(), [&](const LintFinding& l) { return l.severity == severity; }));
}

std::string Pad(const std::string& text, size_t width) {
    // Display width in characters: UTF-8 continuation bytes take no column.
    size_t columns = 0;
    for (const char c : text) columns += (static_cast<unsigned char>(c) & 0xC0) != 0x80 ? 1 : 0;
    return text + std::string(columns < width ? width - columns : 1, ' ');
}

std::string PadLeft(const std::string& text, size_t width) {
    return std::string(text.size() < width ? width - text.size() : 0, ' ') + text;
}

// A tag name in JSON: its text, as every other output shows it.
std::string NameJson(const std::string& bytes, const CodePage& codePage) {
    return TagName::OfBytes(bytes).Text(codePage);
}

// "code page 1250 (the trace's header)".
std::string CodePageText(const TraceDigest& d) { return d.codePage.Name() + " (" + d.codePageFrom + ")"; }

const char kNoSuccesses[] = "the trace is at level failures, which records no successful call";

}  // namespace

std::string SecondsText(int64_t us) {
    char text[48];
    std::snprintf(text, sizeof text, "%lld.%06lld s", static_cast<long long>(us / 1000000),
                  static_cast<long long>(std::llabs(us % 1000000)));
    return text;
}

std::string DurationText(int64_t ns) {
    char text[48];
    if (ns < 0) {
        return "-";  // not timed
    }
    if (ns < 1000) {
        std::snprintf(text, sizeof text, "%lld ns", static_cast<long long>(ns));
    } else if (ns < 1000000) {
        std::snprintf(text, sizeof text, "%.3g us", static_cast<double>(ns) / 1e3);
    } else if (ns < 1000000000) {
        std::snprintf(text, sizeof text, "%.3g ms", static_cast<double>(ns) / 1e6);
    } else {
        std::snprintf(text, sizeof text, "%.3g s", static_cast<double>(ns) / 1e9);
    }
    return text;
}

// Where an operation's durations come from, and over how many of its calls.
std::string DurationSource(const OpDigest& op) {
    std::string source = op.fromSummary ? "the tracer's figures" : "";
    if (op.timed < op.calls) {
        source += (source.empty() ? "" : ", ") + std::to_string(op.timed) + " of the calls timed";
    }
    return source.empty() ? source : "  (" + source + ")";
}

std::string TraceText(const TraceDigest& d) {
    std::ostringstream out;
    const TraceHeader& h = d.header;
    out << "trace " << d.path << ": format " << h.version << ", tracer " << h.tracer << ", level " << h.level
        << ", limit " << h.limitMb << " MiB\n";
    out << "  started " << h.startUtc << " by process " << h.pid << ", timer resolution " << h.timerResolutionNs
        << " ns\n";
    out << "  real library " << (h.realLibrary.empty() ? "(none given)" : h.realLibrary);
    if (!h.realFileVersion.empty()) out << " (file version " << h.realFileVersion << ")";
    if (!h.settings.empty()) out << ", settings " << h.settings;
    if (!h.realLibraryError.empty()) out << "\n  NOT IN USE: " << h.realLibraryError << "; every call failed safely";
    if (!h.settingsWarning.empty()) out << "\n  settings warning: " << h.settingsWarning;
    out << "\n  " << d.lines << " lines, " << d.calls << " calls" << (d.finished ? "" : " or more (unfinished)") << ", "
        << d.failures << " failed, over " << SecondsText(d.lastUs - d.firstUs)
        << (d.stopped ? "; stopped at its size limit" : "") << "\n";
    out << "  tag names shown in " << CodePageText(d) << "\n";
    for (const std::string& note : d.notes) out << "note: " << note << "\n";

    out << "\ninitialization string fetches: " << d.fetches.size() << "\n";
    for (const FetchDigest& f : d.fetches) {
        out << "  #" << f.number << " at " << SecondsText(f.tUs) << ": " << f.bytes << " bytes (length " << f.length
            << ")";
        if (!f.loaded) {
            out << ", counted empty by the driver\n";
            continue;
        }
        out << ": " << EntriesText(f);
        if (f.entries[0] > 0) out << ", " << f.entries[0] << " before any header";
        out << "; lint " << LintCount(f, Severity::Error) << " errors, " << LintCount(f, Severity::Warning)
            << " warnings\n";
        for (const LintFinding& l : f.lint) {
            out << "     " << SeverityName(l.severity) << " " << l.line << ":" << l.column << " " << l.code << ": "
                << l.text << "\n";
        }
    }

    out << "\n"
        << Pad("operation", 20) << PadLeft("calls", 10) << PadLeft("failures", 10) << PadLeft("median", 11)
        << PadLeft("p99", 11) << PadLeft("max", 11) << "\n";
    for (const auto& [name, op] : d.ops) {
        out << Pad(name, 20) << PadLeft(std::to_string(op.calls), 10) << PadLeft(std::to_string(op.failures), 10)
            << PadLeft(DurationText(op.medianNs), 11) << PadLeft(DurationText(op.p99Ns), 11)
            << PadLeft(DurationText(op.maxNs), 11) << DurationSource(op) << "\n";
    }

    out << "\nfailures by tag, data set, operation and status: " << d.failureGroups.size() << "\n";
    size_t shown = 0;
    for (const auto& [key, g] : d.failureGroups) {
        if (shown++ == kScreenGroups) {
            out << "  ... and " << d.failureGroups.size() - kScreenGroups << " more (see --json)\n";
            break;
        }
        out << "  " << Pad(ShortDisplayBytes(std::get<0>(key), d.codePage), 24) << "data set " << std::get<1>(key)
            << "  " << Pad(std::get<2>(key), 10) << "status " << std::get<3>(key) << ": " << g.count << " times, first "
            << SecondsText(g.firstUs) << ", last " << SecondsText(g.lastUs) << "\n";
    }

    const std::vector<TagKeyT> never = d.NeverSucceeded();
    if (!d.SuccessesRecorded()) {
        out << "\ntags that never succeeded: not known (" << kNoSuccesses << ")\n";
    } else {
        out << "\ntags that never succeeded: " << never.size() << "\n";
    }
    for (const TagKeyT& key : never) {
        const KeyDigest& k = d.keys.at(key);
        out << "  " << KeyText(key, d.codePage) << ": " << k.calls << " calls, last status " << k.lastStatus << "\n";
    }

    out << "\nlink events: " << d.events.size() + static_cast<size_t>(d.eventsLeftOut) << "\n";
    for (size_t i = 0; i < d.events.size(); ++i) {
        if (i == kScreenEvents && d.events.size() > kScreenEvents + 5) {
            out << "  ... " << d.events.size() - kScreenEvents - 5 << " more ...\n";
            i = d.events.size() - 5;
        }
        const LinkEvent& e = d.events[i];
        out << "  " << PadLeft(SecondsText(e.tUs), 14) << "  " << Pad(e.what, 14) << e.text << "\n";
    }
    if (d.eventsLeftOut > 0) out << "  ... and " << d.eventsLeftOut << " more not kept\n";
    return out.str();
}

std::string TraceJson(const TraceDigest& d) {
    const TraceHeader& h = d.header;
    json out;
    out["format"] = "dcs-host-trace-summary";
    out["version"] = kTraceSummaryVersion;
    out["trace"] = d.path;
    out["header"] = {{"version", h.version},
                     {"tracer", h.tracer},
                     {"level", h.level},
                     {"limit_mb", h.limitMb},
                     {"pid", h.pid},
                     {"start_utc", h.startUtc},
                     {"timer_resolution_ns", h.timerResolutionNs},
                     {"code_page", h.codePage == 0 ? json(nullptr) : json(h.codePage)},
                     {"real_library", h.realLibrary.empty() ? json(nullptr) : json(h.realLibrary)},
                     {"real_library_error", h.realLibraryError.empty() ? json(nullptr) : json(h.realLibraryError)},
                     {"settings", h.settings.empty() ? json(nullptr) : json(h.settings)},
                     {"real_file_version", h.realFileVersion.empty() ? json(nullptr) : json(h.realFileVersion)}};
    out["code_page"] = {{"number", d.codePage.Number()}, {"from", d.codePageFrom}};
    out["notes"] = d.notes;
    out["cut_off"] = d.cutOff;
    out["finished"] = d.finished;
    out["inconsistent"] = d.inconsistent;
    out["successes_recorded"] = d.SuccessesRecorded();
    out["untracked_calls"] = d.untrackedCalls;
    out["stopped"] = d.stopped;
    out["lines"] = d.lines;
    out["calls"] = d.calls;
    out["failures"] = d.failures;
    out["span_us"] = d.lastUs - d.firstUs;
    json fetches = json::array();
    for (const FetchDigest& f : d.fetches) {
        json entries = json::object();
        for (int32_t kind = 1; kind <= 6; ++kind) entries[KindName(kind)] = f.entries[kind];
        json lint = json::array();
        for (const LintFinding& l : f.lint) {
            lint.push_back({{"line", l.line},
                            {"column", l.column},
                            {"severity", SeverityName(l.severity)},
                            {"code", l.code},
                            {"text", l.text},
                            {"hint", l.hint}});
        }
        fetches.push_back({{"fetch", f.number},
                           {"seq", f.seq},
                           {"t_us", f.tUs},
                           {"length", f.length},
                           {"bytes", f.bytes},
                           {"loaded", f.loaded},
                           {"entries", entries},
                           {"before_any_header", f.entries[0]},
                           {"lint", lint}});
    }
    out["fetches"] = fetches;
    json ops = json::object();
    for (const auto& [name, op] : d.ops) {
        ops[name] = {{"calls", op.calls},
                     {"failures", op.failures},
                     {"dur_ns", op.maxNs < 0 ? json(nullptr)
                                             : json{{"median", op.medianNs}, {"p99", op.p99Ns}, {"max", op.maxNs}}},
                     {"durations_from", op.fromSummary ? "tracer summary" : "records"},
                     {"timed", op.timed}};
    }
    out["ops"] = ops;
    json groups = json::array();
    for (const auto& [key, g] : d.failureGroups) {
        groups.push_back({{"tag", NameJson(std::get<0>(key), d.codePage)},
                          {"data_set", std::get<1>(key)},
                          {"op", std::get<2>(key)},
                          {"status", std::get<3>(key)},
                          {"count", g.count},
                          {"first_us", g.firstUs},
                          {"last_us", g.lastUs}});
    }
    out["failures_by_tag"] = groups;
    json never = json::array();
    for (const TagKeyT& key : d.NeverSucceeded()) {
        const KeyDigest& k = d.keys.at(key);
        never.push_back({{"tag", NameJson(std::get<0>(key), d.codePage)},
                         {"data_set", std::get<1>(key)},
                         {"op", std::get<2>(key)},
                         {"calls", k.calls},
                         {"last_status", k.lastStatus}});
    }
    out["never_succeeded"] = never;
    json events = json::array();
    for (const LinkEvent& e : d.events) {
        events.push_back({{"seq", e.seq}, {"t_us", e.tUs}, {"what", e.what}, {"text", e.text}});
    }
    out["events"] = events;
    out["events_left_out"] = d.eventsLeftOut;
    json series = json::array();
    for (const TagSeries& s : d.series) {
        json points = json::array();
        for (const SeriesPoint& p : s.points)
            points.push_back({p.tUs, std::isfinite(p.value) ? json(p.value) : json(nullptr)});
        series.push_back(
            {{"tag", NameJson(s.tag, d.codePage)}, {"data_set", s.dataSet}, {"op", s.op}, {"points", points}});
    }
    out["series"] = series;
    out["series_left_out"] = d.seriesLeftOut;
    return out.dump(2, ' ', false, json::error_handler_t::replace) + "\n";
}

std::string TraceProblemsCsv(const TraceDigest& d) {
    std::string out = CsvLine({"tag", "data_set", "operation", "status", "count", "first_s", "last_s"});
    auto seconds = [](int64_t us) {
        const std::string text = SecondsText(us);
        return text.substr(0, text.size() - 2);  // without " s"
    };
    for (const auto& [key, g] : d.failureGroups) {
        // A spreadsheet cell holds some 32,000 characters: a longer tag is
        // shortened, its full length said.
        out += CsvLine({ShortDisplayBytes(std::get<0>(key), d.codePage, 1000), std::to_string(std::get<1>(key)),
                        std::get<2>(key), std::to_string(std::get<3>(key)), std::to_string(g.count), seconds(g.firstUs),
                        seconds(g.lastUs)});
    }
    return out;
}

namespace {

constexpr double kWidth = 1000.0;
constexpr double kLeft = 200.0;
constexpr double kRight = 20.0;

double X(int64_t tUs, int64_t from, int64_t to) {
    const double span = to > from ? static_cast<double>(to - from) : 1.0;
    return kLeft + (kWidth - kLeft - kRight) * static_cast<double>(tUs - from) / span;
}

// Lane labels stop short of the plot: about 6 px a character at 11 px.
constexpr size_t kLabelChars = 30;

// At most `chars` characters (not bytes), an ellipsis standing for the rest.
std::string Shortened(const std::string& text, size_t chars) {
    std::vector<size_t> starts;  // where each character begins
    for (size_t i = 0; i < text.size(); ++i) {
        if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) starts.push_back(i);
    }
    if (starts.size() <= chars) return text;
    return text.substr(0, starts[chars - 1]) + "\xE2\x80\xA6";
}

// One lane per failure group, a mark at each recorded failure.
void WriteTimeline(std::ostream& out, const TraceDigest& d) {
    const double lane = 18.0;
    const double height = 30.0 + lane * static_cast<double>(d.failureGroups.size());
    out << "<svg xmlns=\"http://www.w3.org/2000/svg\" id=\"failure-timeline\" width=\"" << Number(kWidth)
        << "\" height=\"" << Number(height) << "\" viewBox=\"0 0 " << Number(kWidth) << " " << Number(height)
        << "\" font-family=\"sans-serif\" font-size=\"11\">\n";
    size_t row = 0;
    for (const auto& [key, g] : d.failureGroups) {
        const double y = 10.0 + lane * static_cast<double>(row++);
        const std::string label = ShortDisplayBytes(std::get<0>(key), d.codePage) + " " + std::get<2>(key) + " " +
                                  std::to_string(std::get<3>(key));
        out << "<g class=\"lane\" data-tag=\"" << Escape(ShortDisplayBytes(std::get<0>(key), d.codePage))
            << "\" data-count=\"" << g.count << "\"><title>" << Escape(label) << "</title><text x=\"4\" y=\""
            << Number(y + 12) << "\">" << Escape(Shortened(label, kLabelChars)) << "</text>";
        for (const int64_t t : g.times) {
            const double x = X(t, d.firstUs, d.lastUs);
            out << "<rect x=\"" << Number(x - 1.5) << "\" y=\"" << Number(y + 2) << "\" width=\"3\" height=\""
                << Number(lane - 4) << "\" fill=\"#b00020\"/>";
        }
        out << "</g>\n";
    }
    const double axis = height - 12.0;
    out << "<line x1=\"" << Number(kLeft) << "\" y1=\"" << Number(axis - 6) << "\" x2=\"" << Number(kWidth - kRight)
        << "\" y2=\"" << Number(axis - 6) << "\" stroke=\"#888\"/>";
    out << "<text x=\"" << Number(kLeft) << "\" y=\"" << Number(axis + 6) << "\">" << Escape(SecondsText(d.firstUs))
        << "</text><text x=\"" << Number(kWidth - kRight) << "\" y=\"" << Number(axis + 6) << "\" text-anchor=\"end\">"
        << Escape(SecondsText(d.lastUs)) << "</text>\n</svg>\n";
}

// The trace's chart cycles through the first colours of the palette, a
// solid line each.
constexpr size_t kColourCount = 7;

// Values of DI and DO tags are whole numbers (modes, flags): on the scale of
// the analog values they would lie flat, so they get a plot of their own.
bool Discrete(const TagSeries& s) {
    for (size_t at = 0; at <= s.op.size();) {
        const size_t end = std::min(s.op.find('/', at), s.op.size());
        const MrxOperationInfo* op = MrxOperationNamed(std::string_view(s.op).substr(at, end - at));
        if (op == nullptr || (op->tagKind != MRX_KIND_DI && op->tagKind != MRX_KIND_DO)) return false;
        at = end + 1;
    }
    return true;
}

// About `count` round values from `low` to `high`, for the ticks of a value
// axis.
std::vector<double> Ticks(double low, double high, int count) {
    const double step = NiceStep(high - low, count);
    std::vector<double> ticks;
    for (double t = std::ceil(low / step) * step; t <= high + step * 1e-9 && ticks.size() < 50; t += step) {
        ticks.push_back(std::abs(t) < step * 1e-9 ? 0.0 : t);
    }
    return ticks;
}

// One plot of the series picked by `discrete`, with its own value scale and
// ticks, from `top` down `plot` pixels.
void WritePlot(std::ostream& out, const TraceDigest& d, bool discrete, double top, double plot) {
    double low = INFINITY, high = -INFINITY;
    for (const TagSeries& s : d.series) {
        if (Discrete(s) != discrete) continue;
        for (const SeriesPoint& p : s.points) {
            if (std::isfinite(p.value)) {
                low = std::min(low, p.value);
                high = std::max(high, p.value);
            }
        }
    }
    if (!(low <= high)) low = 0.0, high = 1.0;
    if (high == low) low -= 1.0, high += 1.0;
    auto y = [&](double v) { return top + plot * (high - v) / (high - low); };
    out << "<g class=\"plot\" data-discrete=\"" << (discrete ? "true" : "false") << "\">\n<rect x=\"" << Number(kLeft)
        << "\" y=\"" << Number(top) << "\" width=\"" << Number(kWidth - kLeft - kRight) << "\" height=\""
        << Number(plot) << "\" fill=\"none\" stroke=\"#888\"/>\n";
    for (const double t : Ticks(low, high, discrete ? std::max(1, std::min(4, static_cast<int>(high - low))) : 5)) {
        out << "<line class=\"tick\" x1=\"" << Number(kLeft - 4) << "\" y1=\"" << Number(y(t)) << "\" x2=\""
            << Number(kWidth - kRight) << "\" y2=\"" << Number(y(t)) << "\" stroke=\"#ddd\"/><text x=\""
            << Number(kLeft - 6) << "\" y=\"" << Number(y(t) + 4) << "\" text-anchor=\"end\">" << Escape(ShortNumber(t))
            << "</text>\n";
    }
    for (size_t i = 0; i < d.series.size(); ++i) {
        const TagSeries& s = d.series[i];
        if (Discrete(s) != discrete) continue;
        std::string path;
        for (const SeriesPoint& p : s.points) {
            if (!std::isfinite(p.value)) continue;
            const double px = X(p.tUs, d.firstUs, d.lastUs), py = y(p.value);
            path += path.empty() ? "M" + Number(px) + " " + Number(py) : " H" + Number(px) + " V" + Number(py);
        }
        if (!path.empty()) path += " H" + Number(kWidth - kRight);
        out << "<path class=\"series\" data-tag=\"" << Escape(ShortDisplayBytes(s.tag, d.codePage))
            << "\" data-points=\"" << s.points.size() << "\" d=\"" << path << "\" fill=\"none\" stroke=\""
            << SeriesColour(i % kColourCount) << "\" stroke-width=\"1.5\"/>\n";
    }
    out << "</g>\n";
}

// The chosen tags' values over time, held between calls; one colour each,
// analog values above, whole-number ones (modes, flags) below on their own
// scale, then the time axis and the legend.
void WriteValueChart(std::ostream& out, const TraceDigest& d) {
    const bool analog = std::any_of(d.series.begin(), d.series.end(), [](const TagSeries& s) { return !Discrete(s); });
    const bool discrete = std::any_of(d.series.begin(), d.series.end(), Discrete);
    const double top = 10.0, plot = 240.0, discretePlot = 90.0, gap = 16.0, legendRow = 18.0;
    const double discreteTop = top + (analog ? plot + gap : 0.0);
    const double bottom = discrete ? discreteTop + discretePlot : top + plot;
    const double height =
        bottom + 30.0 + legendRow * static_cast<double>(d.series.size() + (d.seriesLeftOut > 0 ? 1 : 0));
    out << "<svg xmlns=\"http://www.w3.org/2000/svg\" id=\"value-chart\" width=\"" << Number(kWidth) << "\" height=\""
        << Number(height) << "\" viewBox=\"0 0 " << Number(kWidth) << " " << Number(height)
        << "\" font-family=\"sans-serif\" font-size=\"11\">\n";
    if (analog || !discrete) WritePlot(out, d, false, top, plot);
    if (discrete) WritePlot(out, d, true, discreteTop, discretePlot);
    out << "<text x=\"" << Number(kLeft) << "\" y=\"" << Number(bottom + 14) << "\">" << Escape(SecondsText(d.firstUs))
        << "</text><text x=\"" << Number(kWidth - kRight) << "\" y=\"" << Number(bottom + 14)
        << "\" text-anchor=\"end\">" << Escape(SecondsText(d.lastUs)) << "</text>\n";
    for (size_t i = 0; i < d.series.size(); ++i) {
        const TagSeries& s = d.series[i];
        const std::string colour = SeriesColour(i % kColourCount);
        const double ly = bottom + 30.0 + legendRow * static_cast<double>(i);
        out << "<line x1=\"" << Number(kLeft) << "\" y1=\"" << Number(ly - 4) << "\" x2=\"" << Number(kLeft + 24)
            << "\" y2=\"" << Number(ly - 4) << "\" stroke=\"" << colour << "\" stroke-width=\"3\"/><text x=\""
            << Number(kLeft + 30) << "\" y=\"" << Number(ly) << "\">"
            << Escape(ShortDisplayBytes(s.tag, d.codePage) + " (data set " + std::to_string(s.dataSet) + ", " + s.op +
                      ")")
            << "</text>\n";
    }
    if (d.seriesLeftOut > 0) {
        out << "<text class=\"left-out\" x=\"" << Number(kLeft) << "\" y=\""
            << Number(bottom + 30.0 + legendRow * static_cast<double>(d.series.size())) << "\">and " << d.seriesLeftOut
            << " more matching tags, not drawn (at most " << kMaxSeries << " are)</text>\n";
    }
    out << "</svg>\n";
}

}  // namespace

void WriteTracePage(OutputFile& file, const TraceDigest& d, int reloadSeconds) {
    std::ostream& out = file.Stream();
    const TraceHeader& h = d.header;
    out << PageStart("dcs-host trace: " + d.path, reloadSeconds);
    out << "<section id=\"summary\"><h1>dcs-host trace: " << Escape(d.path) << "</h1>\n<table class=\"summary\">\n";
    auto row = [&](const std::string& label, const std::string& figure) { out << SummaryRow(label, figure); };
    row("Started", Figure("start", h.startUtc) + " by process " + Figure("pid", std::to_string(h.pid)));
    row("Tracer", Figure("tracer", h.tracer) + ", format " + Figure("version", std::to_string(h.version)) + ", level " +
                      Figure("level", h.level));
    row("Real library", Figure("real-library", h.realLibrary) +
                            (h.realFileVersion.empty() ? "" : " version " + Figure("real-version", h.realFileVersion)) +
                            (h.realLibraryError.empty()
                                 ? ""
                                 : " <span class=\"bad\">not in use: " + Escape(h.realLibraryError) + "</span>"));
    row("Tag names", "shown in code page " + Figure("code-page", std::to_string(d.codePage.Number())) + " (" +
                         Escape(d.codePageFrom) + ")");
    row("Calls", Figure("calls", std::to_string(d.calls)) + ", " + Figure("failures", std::to_string(d.failures)) +
                     " failed, over " + Figure("span", SecondsText(d.lastUs - d.firstUs)));
    out << "</table>\n";
    for (const std::string& note : d.notes) out << "<p class=\"note\">" << Escape(note) << "</p>\n";
    out << "</section>\n";

    out << "<section id=\"fetches\"><h2>Initialization string fetches</h2>\n<table><tr><th>#</th><th>at</th>"
           "<th>bytes</th><th>length</th><th>entries</th><th>lint</th></tr>\n";
    for (const FetchDigest& f : d.fetches) {
        out << "<tr data-fetch=\"" << f.number << "\"><td class=\"num\">" << f.number << "</td><td class=\"num\">"
            << Escape(SecondsText(f.tUs)) << "</td><td class=\"num\">" << f.bytes << "</td><td class=\"num\">"
            << f.length << "</td><td>" << Escape(f.loaded ? EntriesText(f) : "counted empty by the driver")
            << "</td><td>";
        for (const LintFinding& l : f.lint) {
            out << "<div class=\"severity-" << SeverityName(l.severity) << "\">" << l.line << ":" << l.column << " "
                << Escape(l.code) << ": " << Escape(l.text) << "</div>";
        }
        out << "</td></tr>\n";
    }
    out << "</table></section>\n";

    out << "<section id=\"operations\"><h2>Calls per operation</h2>\n<table><tr><th>operation</th><th>calls</th>"
           "<th>failures</th><th>timed</th><th>median</th><th>p99</th><th>max</th></tr>\n";
    for (const auto& [name, op] : d.ops) {
        out << "<tr data-op=\"" << Escape(name) << "\"><td>" << Escape(name) << "</td><td class=\"num\">" << op.calls
            << "</td><td class=\"num\">" << op.failures << "</td><td class=\"num\">" << op.timed
            << "</td><td class=\"num\">" << Escape(DurationText(op.medianNs)) << "</td><td class=\"num\">"
            << Escape(DurationText(op.p99Ns)) << "</td><td class=\"num\">" << Escape(DurationText(op.maxNs))
            << "</td></tr>\n";
    }
    out << "</table></section>\n";

    out << "<section id=\"failures\"><h2>Failures</h2>\n<div class=\"chart\">";
    WriteTimeline(out, d);
    out << "</div>\n<table><tr><th>tag</th><th>data set</th><th>operation</th><th>status</th><th>count</th>"
           "<th>first</th><th>last</th></tr>\n";
    for (const auto& [key, g] : d.failureGroups) {
        out << "<tr class=\"failure-group\"><td class=\"tag-text\">"
            << Escape(ShortDisplayBytes(std::get<0>(key), d.codePage)) << "</td><td class=\"num\">" << std::get<1>(key)
            << "</td><td>" << Escape(std::get<2>(key)) << "</td><td class=\"num\">" << std::get<3>(key)
            << "</td><td class=\"num\">" << g.count << "</td><td class=\"num\">" << Escape(SecondsText(g.firstUs))
            << "</td><td class=\"num\">" << Escape(SecondsText(g.lastUs)) << "</td></tr>\n";
    }
    out << "</table>\n<h2>Tags that never succeeded</h2>\n<ul id=\"never-succeeded\">\n";
    const std::vector<TagKeyT> never = d.NeverSucceeded();
    for (const TagKeyT& key : never) out << "<li class=\"tag-text\">" << Escape(KeyText(key, d.codePage)) << "</li>\n";
    if (!d.SuccessesRecorded()) {
        out << "<li>not known: " << kNoSuccesses << "</li>\n";
    } else if (never.empty()) {
        out << "<li>none: every tag called succeeded at least once</li>\n";
    }
    out << "</ul></section>\n";

    if (!d.series.empty()) {
        out << "<section id=\"values\"><h2>Values over time</h2>\n<div class=\"chart\">";
        WriteValueChart(out, d);
        out << "</div></section>\n";
    }

    out << "<section id=\"events\"><h2>Link events</h2>\n<table><tr><th>at</th><th>event</th><th></th></tr>\n";
    for (const LinkEvent& e : d.events) {
        out << "<tr class=\"event-" << e.what << "\"><td class=\"num\">" << Escape(SecondsText(e.tUs)) << "</td><td>"
            << Escape(e.what) << "</td><td>" << Escape(e.text) << "</td></tr>\n";
    }
    out << "</table>";
    if (d.eventsLeftOut > 0) out << "<p>" << d.eventsLeftOut << " more events not kept.</p>";
    out << "</section>\n" << PageEnd();
    file.Commit();
}

}  // namespace host
