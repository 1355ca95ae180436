#include "commands.h"

#include <cstdio>
#include <optional>
#include <stdexcept>

#include "output_file.h"
#include "path_guard.h"
#include "report.h"
#include "schedule.h"
#include "session.h"
#include "trend_samples.h"

namespace host {

namespace {

// The rows as they stand, and the change marks put back to 0.
StepRecord Sample(Link& link, int32_t step) {
    StepRecord record;
    record.step = step;
    DCSLinkData& d = link.Data();
    for (int32_t i = 0; i < d.CtrlCnt; ++i) {
        DCSCtrlRow& row = d.CtrlData[i];
        const double sp = row.SP;
        const double op = row.OP;
        const uint8_t spChanged = row.SPChanged;
        const uint8_t opChanged = row.OPChanged;
        record.controllers.push_back({sp, op, spChanged != 0, opChanged != 0});
        row.SPChanged = 0;
        row.OPChanged = 0;
    }
    for (int32_t i = 0; i < d.PVCnt; ++i) {
        const double value = d.PVData[i].Value;
        record.pvExports.push_back(value);
    }
    for (int32_t i = 0; i < d.PVImportCnt; ++i) {
        const double value = d.PVImportData[i].Value;
        record.pvImports.push_back(value);
    }
    record.enabled = FlagTag(link, kEnabledFlagLabel);
    record.running = FlagTag(link, kRunningFlagLabel);
    return record;
}

Layout LayoutOf(const Case& c) {
    Layout layout;
    for (const ControllerCase& row : c.controllers) layout.controllers.push_back(row.name);
    for (const PVExportCase& row : c.pvExports) layout.pvExports.push_back(row.name);
    for (const PVImportCase& row : c.pvImports) layout.pvImports.push_back(row.name);
    return layout;
}

std::string EventText(const Event& event) {
    if (event.action != Action::SetTag) {
        return ActionName(event.action);
    }
    char value[32];
    std::snprintf(value, sizeof value, "%g", event.tag.value);
    return std::string("set_tag ") + event.tag.name + "=" + value;
}

std::string FlagText(const std::optional<int32_t>& flag) { return flag ? std::to_string(*flag) : "-"; }

// The run's outputs, open as temporary files from before the driver is
// loaded to the end of the run.
struct Outputs {
    std::optional<OutputFile> csv;
    std::optional<OutputFile> svg;
};

// Refuses outputs that would replace a file the run reads, or each other,
// and opens them, so that an unusable path ends the run before anything
// has run. Throws OutputError.
void OpenOutputs(const Case& c, const RunOptions& options, Outputs& outputs) {
    std::vector<PathUse> inputs = {{"the case file", c.file}, {"the driver", options.driverPath}};
    for (const NamedFile& file : c.namedFiles) inputs.push_back({file.use, file.path});
    std::vector<PathUse> named;
    if (!options.csvPath.empty()) named.push_back({"--csv", options.csvPath});
    if (!options.plotPath.empty()) named.push_back({"--plot", options.plotPath});
    RefuseOverlappingPaths(inputs, named);
    if (!options.csvPath.empty()) outputs.csv.emplace(options.csvPath);
    if (!options.plotPath.empty()) outputs.svg.emplace(options.plotPath);
}

void WarnOfLateEvents(const Case& c, int32_t steps) {
    for (const Event* event : EventsAfter(c, steps)) {
        std::fprintf(stderr, "dcs-host: warning: %s\n",
                     Located(c.file, event->line,
                             "event at step " + std::to_string(event->step) + " lies beyond the last step (" +
                                 std::to_string(steps) + ")")
                         .c_str());
    }
}

// One run of the link: every step shown as it is taken, streamed to the CSV
// and thinned for the chart, so that memory stays flat however many steps.
class Runner {
public:
    Runner(const Case& c, Driver& driver, Link& link, const BoxReporter& boxes, std::ostream* csv, TrendSamples& trend)
        : c_(c),
          driver_(driver),
          link_(link),
          d_(link.Data()),
          boxes_(boxes),
          csv_(csv),
          trend_(trend),
          layout_(LayoutOf(c)) {}

    // Configures and runs the steps; false when the link did not configure
    // or a step failed.
    bool Run(int32_t steps) {
        watch_.Take();  // whatever the load raised was shown as it happened
        configured_ = driver_.Configure(&d_) == 1;
        std::printf("%s: DCSConfigure %s\n", c_.file.c_str(),
                    configured_ ? "configured the link" : "did not configure the link; no steps run");
        if (!configured_) {
            return false;
        }
        MarkQuiet();
        driver_.Initialize(&d_);
        StepRecord init = Sample(link_, 0);
        // DCSInitialize returns nothing to go by: a message it raised is
        // what tells a failed write.
        init.ok = Quiet();
        init.events = "initialize";
        std::fputs(TableHeader(layout_).c_str(), stdout);
        if (csv_ != nullptr) *csv_ << CsvHeader(layout_);
        bool allOk = Show(init);
        std::vector<double> pv;
        for (int32_t i = 0; i < d_.PVCnt; ++i) pv.push_back(d_.PVData[i].Value);
        for (int32_t step = 1; step <= steps; ++step) {
            MarkQuiet();
            const std::string applied = ApplyEvents(step);
            MovePVs(pv);
            const int32_t result = driver_.Simulate(&d_);
            StepRecord record = Sample(link_, step);
            record.events = applied;
            record.ok = result == 1 && Quiet();
            allOk = Show(record) && allOk;
        }
        return allOk;
    }

    bool Configured() const { return configured_; }

private:
    void MarkQuiet() {
        watch_.Take();
        boxesBefore_ = boxes_.Raised();
    }
    // No message raised since MarkQuiet().
    bool Quiet() { return watch_.Take().empty() && boxes_.Raised() == boxesBefore_; }

    bool Show(const StepRecord& record) {
        std::fputs(TableRow(layout_, record).c_str(), stdout);
        if (csv_ != nullptr) *csv_ << CsvRow(layout_, record);
        trend_.Add(record);
        return record.ok;
    }

    std::string ApplyEvents(int32_t step) {
        std::string applied;
        for (const Event* event : EventsAt(c_, step)) {
            switch (event->action) {
            case Action::Start: driver_.Start(&d_); break;
            case Action::Stop: driver_.Stop(&d_); break;
            case Action::TimeZero: driver_.TimeZero(&d_); break;
            case Action::SetTag: SetTag(event->tag); break;
            }
            applied += (applied.empty() ? "" : " ") + EventText(*event);
        }
        return applied;
    }

    void MovePVs(std::vector<double>& pv) {
        for (size_t i = 0; i < pv.size(); ++i) {
            const Response& response = c_.pvExports[i].response;
            const double op = response.follows ? d_.CtrlData[response.controller].OP : 0.0;
            pv[i] = NextValue(response, pv[i], op);
            d_.PVData[i].Value = pv[i];
        }
    }

    const Case& c_;
    Driver& driver_;
    Link& link_;
    DCSLinkData& d_;
    const BoxReporter& boxes_;
    std::ostream* csv_;
    TrendSamples& trend_;
    const Layout layout_;
    MessageWatch watch_;
    int64_t boxesBefore_ = 0;
    bool configured_ = false;
};

// Renames a finished output into place; 2 when that fails, else `status`.
int Commit(OutputFile& file, int status) {
    try {
        file.Commit();
    } catch (const OutputError& e) {
        std::fprintf(stderr, "dcs-host: %s\n", e.what());
        return 2;
    }
    return status;
}

int CommitOutputs(Outputs& outputs, const Case& c, const TrendSamples& trend, bool configured, int status) {
    if (!configured) {
        // Nothing ran, so there is nothing to show: an earlier file of the
        // same name is worth more than an empty one.
        for (const std::optional<OutputFile>* file : {&outputs.csv, &outputs.svg}) {
            if (*file) {
                std::fprintf(stderr, "dcs-host: \"%s\" not written: the link did not configure, so no step ran\n",
                             (*file)->Path().c_str());
            }
        }
        return status;
    }
    if (outputs.csv) status = Commit(*outputs.csv, status);
    if (outputs.svg) {
        WriteSvg(outputs.svg->Stream(), LayoutOf(c), trend.Thinned(), c.file);
        status = Commit(*outputs.svg, status);
    }
    return status;
}

}  // namespace

int RunCommand(const Case& c, const RunOptions& options) {
    const int32_t steps = options.steps.value_or(c.steps.value_or(kDefaultSteps));
    Outputs outputs;
    OpenOutputs(c, options, outputs);
    WarnOfLateEvents(c, steps);

    Driver driver(options.driverPath);
    PrepareServer(c);
    StopCallLog();
    const BlockCounts before = LiveBlocks();
    TrendSamples trend;
    bool ok = false;
    bool configured = false;
    {
        const BoxReporter boxes;
        Link link(driver);
        link.Load();
        link.Fill(c);
        Runner runner(c, driver, link, boxes, outputs.csv ? &outputs.csv->Stream() : nullptr, trend);
        ok = runner.Run(steps);
        configured = runner.Configured();
        driver.Reset(&link.Data());
        std::printf("after DCSReset: Enabled %s, Running %s\n", FlagText(FlagTag(link, kEnabledFlagLabel)).c_str(),
                    FlagText(FlagTag(link, kRunningFlagLabel)).c_str());
        link.Destroy();
        boxes.PrintNotShown();
    }
    CheckReleased(before);
    std::fflush(stdout);
    return CommitOutputs(outputs, c, trend, configured, ok ? 0 : 1);
}

}  // namespace host
