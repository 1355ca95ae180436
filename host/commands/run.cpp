#include "commands.h"

#include <cstdio>
#include <iostream>

#include "run_report.h"
#include "schedule.h"
#include "session.h"

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

}  // namespace

int RunCommand(const Case& c, const RunOptions& options) {
    const int32_t steps = options.steps.value_or(c.steps.value_or(kDefaultSteps));
    for (const Event* event : EventsAfter(c, steps)) {
        std::fprintf(stderr, "dcs-host: warning: %s\n",
                     Located(c.file, event->line,
                             "event at step " + std::to_string(event->step) + " lies beyond the last step (" +
                                 std::to_string(steps) + ")")
                         .c_str());
    }

    Driver driver(options.driverPath);
    PrepareServer(c);
    const BlockCounts before = LiveBlocks();
    RunReport report(options.report, LayoutOf(c), std::cout);
    bool configured = false;
    bool allOk = true;
    std::string afterReset;  // shown below the whole table
    {
        Link link(driver);
        link.Load();
        link.Fill(c);
        DCSLinkData& d = link.Data();
        MessageWatch watch;
        report.Messages(Raised(watch.Take(), "DCSLoad"));  // shown as they happened, too

        configured = driver.Configure(&d) == 1;
        report.Messages(Raised(watch.Take(), "DCSConfigure"));
        std::cout << c.file << ": DCSConfigure "
                  << (configured ? "configured the link" : "did not configure the link; no steps run") << "\n";
        if (configured) {
            driver.Initialize(&d);
            StepRecord init = Sample(link, 0);
            // DCSInitialize returns nothing to go by: a message it raised
            // is what tells a failed write.
            const std::vector<Message> raised = watch.Take();
            report.Messages(Raised(raised, "DCSInitialize"));
            init.ok = raised.empty();
            init.events = "initialize";
            allOk = allOk && init.ok;
            report.Step(init);

            std::vector<double> pv;
            for (int32_t i = 0; i < d.PVCnt; ++i) pv.push_back(d.PVData[i].Value);
            for (int32_t step = 1; step <= steps; ++step) {
                std::string applied;
                for (const Event* event : EventsAt(c, step)) {
                    switch (event->action) {
                    case Action::Start: driver.Start(&d); break;
                    case Action::Stop: driver.Stop(&d); break;
                    case Action::TimeZero: driver.TimeZero(&d); break;
                    case Action::SetTag: SetTag(event->tag); break;
                    }
                    applied += (applied.empty() ? "" : " ") + EventText(*event);
                }
                for (size_t i = 0; i < pv.size(); ++i) {
                    const Response& response = c.pvExports[i].response;
                    double op = 0.0;
                    if (response.follows) {
                        op = d.CtrlData[response.controller].OP;
                    }
                    pv[i] = NextValue(response, pv[i], op);
                    d.PVData[i].Value = pv[i];
                }
                const int32_t result = driver.Simulate(&d);
                StepRecord record = Sample(link, step);
                record.events = applied;
                const std::vector<Message> stepRaised = watch.Take();
                report.Messages(Raised(stepRaised, "step " + std::to_string(step)));
                record.ok = result == 1 && stepRaised.empty();
                allOk = allOk && record.ok;
                report.Step(record);
            }
        }
        driver.Reset(&d);
        report.Messages(Raised(watch.Take(), "DCSReset"));
        afterReset = "after DCSReset: Enabled " + FlagText(FlagTag(link, kEnabledFlagLabel)) + ", Running " +
                     FlagText(FlagTag(link, kRunningFlagLabel)) + "\n";
        link.Destroy();
    }
    CheckReleased(before);
    const int written = report.Finish(configured);
    std::cout << afterReset << std::flush;
    if (written != 0) return written;
    return configured && allOk ? 0 : 1;
}

}  // namespace host
