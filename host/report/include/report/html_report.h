// One self-contained HTML page per run or check, to be mailed and opened in
// any browser: a summary, the diagnosis table coloured by verdict, the lint
// findings quoted in their file, every driver message, and for a run the
// trend chart and the step table. No external script, style, font or image.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "diagnose/diagnosis.h"
#include "output/output_file.h"
#include "report/report.h"
#include "report/trend_chart.h"

namespace host {

// What a run adds to the page.
struct PageRun {
    int32_t stepsRun = 0;
    int32_t stepsFailed = 0;
    Layout layout;
    std::vector<StepRecord> records;  // as drawn: every step, or the thinned ones
    ChartInput chart;
};

struct PageInput {
    std::string command;  // "run" or "check"
    std::string casePath;
    std::string driverPath;
    std::string driverVersion;
    bool configured = false;
    // The messages the command itself saw, in order. Without a run they
    // are the diagnosis's own, which are used when this list is empty.
    std::vector<DriverMessage> messages;
    const Diagnosis* diagnosis = nullptr;  // none: the page has no diagnosis part
    std::optional<PageRun> run;
    std::string replayOf;  // the trace the run was a replay of; empty: none
};

std::string HtmlPage(const PageInput& input);

// Writes the page through an OutputFile. Throws OutputError.
void WriteHtmlPage(const std::string& path, const PageInput& input);
// The same into an output opened earlier, which it commits.
void WriteHtmlPage(OutputFile& file, const PageInput& input);

}  // namespace host
