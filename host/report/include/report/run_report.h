// Everything a run shows, fed one step at a time: the terminal table, the
// CSV file, the chart and the page. The run itself only drives the driver.
#pragma once

#include <cstdint>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "diagnose/diagnosis.h"
#include "output/output_file.h"
#include "report/report.h"
#include "report/terminal_table.h"
#include "report/trend_chart.h"
#include "report/trend_compare.h"
#include "report/trend_samples.h"

namespace host {

struct RunReportOptions {
    std::string casePath;
    std::string driverPath;
    std::string driverVersion;
    std::string csvPath;               // empty: none
    std::string plotPath;              // empty: none
    std::string htmlPath;              // empty: none
    std::string replayOf;              // the trace a replay answers from; empty: the case's own server
    std::vector<std::string> columns;  // globs picking the terminal table's columns; none: all
    bool plotConstant = false;
    size_t tableWidth = 100;
    CompareOptions compare;  // a reference run the steps are held against
};

class RunReport {
public:
    // Opens every output (as a temporary file beside its target) and picks
    // the table's columns before anything runs, so that an unusable path
    // ends the run before the driver is loaded. Throws OutputError or
    // ColumnError.
    RunReport(const RunReportOptions& options, const Layout& layout, std::ostream& terminal);

    void Messages(const std::vector<DriverMessage>& messages);
    void Step(const StepRecord& record);

    // The rest of the table, then the files, each committed whole. Returns 0,
    // or 2 when a file could not be written (said on standard error), or 1
    // when the run left the tube around the reference run. When
    // the link did not configure no step ran: the CSV is not written, so an
    // earlier file of that name is kept; the chart and the page say so.
    int Finish(bool configured, const Diagnosis* diagnosis = nullptr);

private:
    RunReportOptions options_;
    Layout layout_;
    std::ostream& terminal_;
    TerminalTable table_;
    std::unique_ptr<OutputFile> csv_;
    std::string csvLine_;  // kept from step to step, so a plant's long row is not allocated anew
    std::unique_ptr<OutputFile> svg_;
    std::unique_ptr<OutputFile> html_;
    std::unique_ptr<TrendCompare> compare_;
    TrendSamples trend_;  // the steps the chart and the page draw, thinned on a long run
    std::vector<ChartEvent> events_;
    std::vector<DriverMessage> messages_;
    int32_t failed_ = 0;
    int32_t last_ = 0;  // the last step run
};

}  // namespace host
