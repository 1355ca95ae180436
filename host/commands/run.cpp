#include "commands/commands.h"
#include "diagnose/text_encoding.h"

#include <cstdio>
#include <iostream>
#include <optional>

#include "case/row_names.h"
#include "case/schedule.h"
#include "output/path_guard.h"
#include "report/run_report.h"
#include "run_session.h"

namespace host {

namespace {

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

}  // namespace

int RunCommand(const Case& c, const RunOptions& options) {
    const int32_t steps = options.steps.value_or(c.steps.value_or(kDefaultSteps));
    RefuseOverlaps(c, options);
    RunReport report(options.report, RowNamesOf(c), std::cout);
    WarnOfLateEvents(c, steps);

    Driver driver(options.driverPath);
    // The page shows what the check finds beside what the run did.
    std::optional<Diagnosis> diagnosis;
    if (!options.report.htmlPath.empty()) {
        diagnosis = DiagnoseQuietly(driver, c);
        DecodeForReports(*diagnosis);
    }
    RunSession session(c, driver, report, options);
    const bool configured = session.Begin();
    for (int32_t step = 1; configured && step <= steps; ++step) session.Step(step);
    const std::string afterReset = session.End();  // shown below the whole table
    const int written = report.Finish(configured, diagnosis ? &*diagnosis : nullptr);
    std::cout << afterReset << std::flush;
    session.ReportTraffic(std::cout);
    if (written != 0) return written;
    return configured && session.AllOk() ? 0 : 1;
}

}  // namespace host
