// The commands that run the driver on a case against the simulated tag
// server (run, check and test), and what --version and --list-codes print.
// Each command's file also declares its command line (commands/command.h).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "case/case_file.h"
#include "report/run_report.h"

namespace host {

struct RunOptions {
    std::string driverPath;
    std::optional<int32_t> steps;  // overrides the case's
    RunReportOptions report;       // the table, CSV, chart and page
    std::string tracePath;         // empty: the run's traffic is not traced
    std::string traceLevel = "changes";
    std::string replayPath;  // empty: the server answers from the case
};

struct CheckOptions {
    std::string driverPath;
    std::string tracePath;  // empty: no live verdicts
    std::string driverVersion;
    std::string htmlPath;         // empty: no page
    std::string jsonPath;         // empty: no JSON
    std::string problemsCsvPath;  // empty: no CSV of the problems
    std::string sarifPath;        // empty: no SARIF log
    std::string junitPath;        // empty: no JUnit XML
    bool all = false;             // list the rows without problems too
};

// `test`: the cases (files, or folders searched for *.toml) and the files
// the results go to besides the terminal.
struct TestOptions {
    std::vector<std::string> paths;
    std::string driverPath;
    std::string junitPath;  // empty: no JUnit XML
    std::string jsonPath;   // empty: no JSON
    std::string htmlPath;   // empty: no page
};

constexpr int32_t kDefaultSteps = 10;

// Exit statuses: 0 the case configured and every step succeeded (check:
// and nothing was found), 1 it did not (check: anything was found or the
// driver raised any message), 2 the case, the driver or an output file
// could not be used.
int RunCommand(const Case& c, const RunOptions& options);
int CheckCommand(const Case& c, const CheckOptions& options);
// 0 every expectation of every case passed, 1 one failed, 2 a case, the
// driver or an output could not be used.
int TestCommand(const TestOptions& options);

// What --version prints: dcs-host's version, the driver's path and, for a
// Windows driver, the display name and file version from its version block.
std::string VersionText(const std::string& driverPath);
// dcs-host's own version, as --version prints it.
const char* HostVersion();
// What the hidden --list-codes prints: every verdict, problem code and lint
// code the check can give, one a line ("verdict bound", "problem near-miss",
// "lint list-full"), for the documentation's test.
std::string CodesText();

}  // namespace host
