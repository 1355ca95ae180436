#include "commands/commands.h"

#include <cstdio>
#include <iostream>
#include <optional>
#include <set>

#include "case/row_names.h"
#include "case/schedule.h"
#include "commands/trace_command.h"
#include "diagnose/case_gaps.h"
#include "link/session.h"
#include "mrx3p_control.h"
#include "output/output_file.h"
#include "output/path_guard.h"
#include "report/message_tally.h"
#include "report/run_report.h"

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

std::string EventText(const Event& event) {
    if (event.action != Action::SetTag) {
        return ActionName(event.action);
    }
    char value[32];
    std::snprintf(value, sizeof value, "%g", event.tag.value);
    return std::string("set_tag ") + event.tag.name + "=" + value;
}

std::string FlagText(const std::optional<int32_t>& flag) { return flag ? std::to_string(*flag) : "-"; }

// Refuses outputs that would replace a file the run reads, or each other,
// before anything runs. Throws OutputError.
void RefuseOverlaps(const Case& c, const RunOptions& options) {
    std::vector<PathUse> inputs = {{"the case file", c.file}, {"the driver", options.driverPath}};
    for (const NamedFile& file : c.namedFiles) inputs.push_back({file.use, file.path});
    std::vector<PathUse> outputs;
    if (!options.report.csvPath.empty()) outputs.push_back({"--csv", options.report.csvPath});
    if (!options.report.plotPath.empty()) outputs.push_back({"--plot", options.report.plotPath});
    if (!options.report.htmlPath.empty()) outputs.push_back({"--html", options.report.htmlPath});
    if (!options.tracePath.empty()) outputs.push_back({"--trace", options.tracePath});
    if (!options.replayPath.empty()) inputs.push_back({"the replayed trace", options.replayPath});
    RefuseOverlappingPaths(inputs, outputs);
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

// One run of the link: every step handed to the report as it is taken, so
// that memory stays flat however many steps.
class Runner {
public:
    Runner(const Case& c, Driver& driver, Link& link, BoxCapture& boxes, RunReport& report, RunTraffic& traffic)
        : c_(c), driver_(driver), link_(link), d_(link.Data()), boxes_(boxes), report_(report), traffic_(traffic) {}

    // Configures and runs the steps; false when the link did not configure
    // or a step failed.
    bool Run(int32_t steps) {
        Phase("DCSConfigure");  // what the load raised was shown as it happened
        configured_ = driver_.Configure(&d_) == 1;
        std::cout << c_.file << ": DCSConfigure "
                  << (configured_ ? "configured the link" : "did not configure the link; no steps run") << "\n";
        if (!configured_) {
            Phase("DCSReset");
            return false;
        }
        Phase("DCSInitialize");
        driver_.Initialize(&d_);
        StepRecord init = Sample(link_, 0);
        // DCSInitialize returns nothing to go by: a message it raised is
        // what tells a failed write.
        init.ok = Quiet();
        init.events = "initialize";
        bool allOk = Show(init);
        std::vector<double> pv;
        for (int32_t i = 0; i < d_.PVCnt; ++i) pv.push_back(d_.PVData[i].Value);
        for (int32_t step = 1; step <= steps; ++step) {
            Phase("step " + std::to_string(step));
            const std::string applied = ApplyEvents(step);
            MovePVs(pv);
            const int32_t result = driver_.Simulate(&d_);
            StepRecord record = Sample(link_, step);
            record.events = applied;
            record.ok = result == 1 && Quiet();
            allOk = Show(record) && allOk;
        }
        Phase("DCSReset");
        return allOk;
    }

    bool Configured() const { return configured_; }

    // After DCSReset: hands what it raised to the report.
    void Close() { Phase("done"); }

private:
    // Hands what the last phase raised to the report, in order, and starts
    // the next.
    void Phase(const std::string& next) {
        Quiet();
        report_.Messages(Raised(errors_, phase_));
        const std::vector<DriverMessage>& shown = boxes_.Kept();
        report_.Messages(
            std::vector<DriverMessage>(shown.begin() + static_cast<std::ptrdiff_t>(shownBefore_), shown.end()));
        for (size_t i = shownBefore_; i < shown.size(); ++i) NameCaseGap(shown[i]);
        errors_.clear();
        shownBefore_ = shown.size();
        boxesBefore_ = boxes_.Raised();
        phase_ = next;
        boxes_.SetPhase(next);
        traffic_.SetPhase(next);
    }
    // No message raised since the phase began. The host's ErrorMsg texts
    // are kept until the phase ends; boxes are counted as they come.
    bool Quiet() {
        for (Message& m : watch_.Take()) errors_.push_back(std::move(m));
        return errors_.empty() && boxes_.Raised() == boxesBefore_;
    }

    // A read that fails only because the case gives the server no value
    // for the tag looks like a fault of the driver: say once what it is.
    void NameCaseGap(const DriverMessage& m) {
        const std::optional<FailedRead> read = FailedReadOf(m.text);
        if (!read) return;
        const bool controller = read->owner == "controller";
        const int32_t rows = controller ? d_.CtrlCnt : d_.PVImportCnt;
        if (read->index < 0 || read->index >= rows) return;
        const DCSValue* cells = controller ? d_.CtrlData[read->index].Values : d_.PVImportData[read->index].Values;
        const int32_t dataSet =
            Link::RowInteger(controller ? link_.ControllerDefs() : link_.PVImportDefs(), cells, kDataSetLabel, 0);
        if (ServerHolds(read->kind, dataSet, read->tag) || !gapsNamed_.insert(read->kind + '\n' + read->tag).second) {
            return;
        }
        std::fprintf(stderr,
                     "dcs-host: %s: the case gives the tag server no value for %s tag \"%s\" (data set %d), so the "
                     "driver's %s read of %s %d fails: a gap in the case, not a fault of the driver; add %s\n",
                     m.raisedBy.c_str(), read->kind.c_str(), read->tag.c_str(), static_cast<int>(dataSet),
                     read->role.c_str(), read->owner.c_str(), static_cast<int>(read->index),
                     TagTableFor(read->kind, dataSet, read->tag).c_str());
    }

    bool Show(const StepRecord& record) {
        report_.Step(record);
        return record.ok;
    }

    std::string ApplyEvents(int32_t step) {
        std::string applied;
        traffic_.ArmFailures(c_, step);
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
    BoxCapture& boxes_;
    RunReport& report_;
    RunTraffic& traffic_;
    MessageWatch watch_;
    std::vector<Message> errors_;  // the ErrorMsg texts of the current phase
    std::string phase_ = "DCSLoad";
    size_t shownBefore_ = 0;
    int64_t boxesBefore_ = 0;
    bool configured_ = false;
    std::set<std::string> gapsNamed_;
};

}  // namespace

int RunCommand(const Case& c, const RunOptions& options) {
    const int32_t steps = options.steps.value_or(c.steps.value_or(kDefaultSteps));
    RefuseOverlaps(c, options);
    RunReport report(options.report, RowNamesOf(c), std::cout);
    WarnOfLateEvents(c, steps);

    Driver driver(options.driverPath);
    // The page shows what the check finds beside what the run did.
    std::optional<Diagnosis> diagnosis;
    if (!options.report.htmlPath.empty()) diagnosis = DiagnoseQuietly(driver, c);
    PrepareServer(c);
    StopCallLog();
    RunTraffic traffic(options.tracePath, options.traceLevel, options.replayPath);
    traffic.ArmFailures(c, 0);
    const BlockCounts before = LiveBlocks();
    bool ok = false;
    bool configured = false;
    std::string afterReset;  // shown below the whole table
    {
        // A box raised over and over (one per line of a broken string, one
        // per failing step) is shown in full only its first few times.
        MessageTally tally;
        BoxCapture boxes(
            [&tally](const std::string& caption, const std::string& text) { return tally.Add(caption, text); },
            c.codePage);
        Link link(driver);
        link.Load();
        link.Fill(c);
        Runner runner(c, driver, link, boxes, report, traffic);
        ok = runner.Run(steps);
        configured = runner.Configured();
        driver.Reset(&link.Data());
        runner.Close();
        afterReset = "after DCSReset: Enabled " + FlagText(FlagTag(link, kEnabledFlagLabel)) + ", Running " +
                     FlagText(FlagTag(link, kRunningFlagLabel)) + "\n";
        link.Destroy();
        for (const std::string& line : tally.NotShownLines()) std::fprintf(stderr, "dcs-host: %s\n", line.c_str());
    }
    traffic.Finish();
    CheckReleased(before);
    const int written = report.Finish(configured, diagnosis ? &*diagnosis : nullptr);
    std::cout << afterReset << std::flush;
    traffic.Report(std::cout);
    if (written != 0) return written;
    return configured && ok ? 0 : 1;
}

}  // namespace host
