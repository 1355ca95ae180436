#include <CLI/CLI.hpp>
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <iostream>
#include <memory>
#include <optional>

#include "case/row_names.h"
#include "case/schedule.h"
#include "commands/command.h"
#include "commands/commands.h"
#include "diagnose/check_case.h"
#include "diagnose/text_encoding.h"
#include "output/path_guard.h"
#include "report/run_report.h"
#include "report/terminal_table.h"
#include "run_session.h"
#include "trace/string_sources.h"

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

// "--steps" takes a whole number up to the maximum; the message says which.
std::string CheckSteps(std::string& text) {
    const std::string expected = "expected a whole number of steps from 0 to " + std::to_string(kMaxSteps);
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos) {
        return expected + ", not \"" + text + "\"";
    }
    const size_t digits = text.size() - std::min(text.find_first_not_of('0'), text.size());
    if (digits > 9 || (digits > 0 && std::stoll(text) > kMaxSteps)) {
        return expected + "; " + text + " is more than dcs-host runs";
    }
    return std::string();
}

// A chart is written as SVG whatever the name says; a name that promises
// something else would mislead whoever opens it.
std::string SvgName(const std::string& path) {
    const std::string suffix = ".svg";
    const bool svg = path.size() > suffix.size() &&
                     std::equal(suffix.rbegin(), suffix.rend(), path.rbegin(),
                                [](char a, char b) { return a == std::tolower(static_cast<unsigned char>(b)); });
    return svg ? std::string() : "the chart is an SVG file: expected a name ending in .svg, not \"" + path + "\"";
}

// What run's command line fills: the options, and what is read before the
// case is loaded.
struct RunLine {
    std::string casePath;
    RunOptions run;
    std::optional<int> codePage;
    std::string initString;
};

std::function<int()> DeclareRun(CLI::App& command) {
    auto line = std::make_shared<RunLine>();
    RunOptions& run = line->run;
    AddCaseArgument(command, line->casePath);
    command
        .add_option("--steps", run.steps,
                    "how many steps to run, at most " + std::to_string(kMaxSteps) + " (overrides the case's)")
        ->check(CLI::Validator(CheckSteps, "0 to " + std::to_string(kMaxSteps)));
    command.add_option("--csv", run.report.csvPath, "write every step to this CSV file");
    command.add_option("--plot", run.report.plotPath, "write a trend chart to this SVG file")
        ->check(CLI::Validator(SvgName, "FILE.svg"));
    command.add_flag("--plot-constant", run.report.plotConstant,
                     "draw series that never change too (left out of the chart otherwise)");
    command
        .add_option("--columns", run.report.columns,
                    "show only the table columns whose names match this glob (repeatable)")
        ->expected(1)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    command.add_option("--html", run.report.htmlPath, "write a self-contained HTML report to this file");
    AddDriverOption(command, run.driverPath);
    AddCodePageOption(command, line->codePage, SimulatorCodePageHelp());
    command.add_option("--init-string", line->initString,
                       "serve this file as the initialization string, byte for byte, instead of the case's");
    command.add_option("--trace", run.tracePath,
                       "record the run's traffic with the tracing client's core, in the trace format");
    command.add_option("--trace-level", run.traceLevel, "what --trace records: all, changes or failures")
        ->capture_default_str();
    command.add_option("--compare", run.report.compare.referencePath,
                       "hold every column against this CSV of an earlier run --csv, in a tube of --tolerance, "
                       "--rel-tolerance and --time-tolerance; exit status 1 when a column leaves it");
    command.add_option("--tolerance", run.report.compare.tolerance, "with --compare: the tube's half width")
        ->check(CLI::NonNegativeNumber);
    command
        .add_option("--rel-tolerance", run.report.compare.relTolerance,
                    "with --compare: the tube's half width as a share of the reference's value (0.01: 1%)")
        ->check(CLI::NonNegativeNumber);
    command
        .add_option("--time-tolerance", run.report.compare.timeTolerance,
                    "with --compare: the reference's steps this many either side count too")
        ->check(CLI::Range(0, 1000000));
    command.add_option("--replay", run.replayPath,
                       "answer from this trace: its initialization string, and the k-th call of each tag the "
                       "k-th recorded answer; the writes are compared with the recorded ones");
    return [line] {
        RunOptions& options = line->run;
        options.report.driverPath = options.driverPath;
        options.report.replayOf = options.replayPath;
        options.report.driverVersion = DriverVersionText(options.driverPath);
        options.report.tableWidth = TableWidth();
        const std::string& initString = line->initString;
        return OnCase(line->casePath, line->codePage, initString.empty() ? options.replayPath : initString,
                      [&](const Case& parsed) {
                          Case c = parsed;
                          if (!initString.empty()) UseInitString(c, initString);
                          options.report.casePath = c.file;
                          return RunCommand(c, options);
                      });
    };
}

}  // namespace

const Command kRunCommand = {
    "run",
    "configure and initialize the link, run the steps with the case's events and show every step",
    "exit status: 0 configured and every step succeeded, 1 not, 2 bad case, driver or output",
    DeclareRun,
};

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
    const bool configured = session.Run(steps);
    const std::string afterReset = session.End();  // shown below the whole table
    const int written = report.Finish(configured, diagnosis ? &*diagnosis : nullptr);
    std::cout << afterReset << std::flush;
    session.ReportTraffic(std::cout);
    if (written != 0) return written;
    return configured && session.AllOk() ? 0 : 1;
}

}  // namespace host
