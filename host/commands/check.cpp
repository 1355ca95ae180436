#include <CLI/CLI.hpp>
#include <cstdio>
#include <memory>

#include "commands/command.h"
#include "commands/commands.h"
#include "diagnose/check_case.h"
#include "diagnose/live_verdicts.h"
#include "diagnose/text_encoding.h"
#include "link/session.h"
#include "output/output_file.h"
#include "output/path_guard.h"
#include "report/check_report.h"
#include "report/html_report.h"
#include "report/json_report.h"
#include "report/problems_csv.h"
#include "report/sarif_report.h"
#include "trace/string_sources.h"

namespace host {

namespace {

// The check's outputs, refused when they name an input or each other and
// opened before the driver loads, so that an unusable path ends the check
// before anything runs. Throws OutputError.
struct CheckOutputs {
    std::unique_ptr<OutputFile> json;
    std::unique_ptr<OutputFile> html;
    std::unique_ptr<OutputFile> problems;
    std::unique_ptr<OutputFile> sarif;
    std::unique_ptr<OutputFile> junit;

    CheckOutputs(const Case& c, const CheckOptions& options) {
        std::vector<PathUse> inputs = {{"the case file", c.file}, {"the driver", options.driverPath}};
        for (const NamedFile& file : c.namedFiles) inputs.push_back({file.use, file.path});
        std::vector<PathUse> outputs;
        if (!options.jsonPath.empty()) outputs.push_back({"--json", options.jsonPath});
        if (!options.htmlPath.empty()) outputs.push_back({"--html", options.htmlPath});
        if (!options.tracePath.empty()) inputs.push_back({"the trace", options.tracePath});
        if (!options.problemsCsvPath.empty()) outputs.push_back({"--problems-csv", options.problemsCsvPath});
        if (!options.sarifPath.empty()) outputs.push_back({"--sarif", options.sarifPath});
        if (!options.junitPath.empty()) outputs.push_back({"--junit", options.junitPath});
        RefuseOverlappingPaths(inputs, outputs);
        if (!options.jsonPath.empty()) json = std::make_unique<OutputFile>(options.jsonPath);
        if (!options.htmlPath.empty()) html = std::make_unique<OutputFile>(options.htmlPath);
        if (!options.problemsCsvPath.empty()) problems = std::make_unique<OutputFile>(options.problemsCsvPath);
        if (!options.sarifPath.empty()) sarif = std::make_unique<OutputFile>(options.sarifPath);
        if (!options.junitPath.empty()) junit = std::make_unique<OutputFile>(options.junitPath);
    }
};

// What check's command line fills: the options, and what is read before the
// case is loaded.
struct CheckLine {
    std::string casePath;
    CheckOptions check;
    std::optional<int> codePage;
    std::string initString;
    std::optional<int64_t> fetch;
};

std::function<int()> DeclareCheck(CLI::App& command) {
    auto line = std::make_shared<CheckLine>();
    CheckOptions& check = line->check;
    AddCaseArgument(command, line->casePath);
    command.add_option("--html", check.htmlPath, "write a self-contained HTML report to this file");
    AddDriverOption(command, check.driverPath);
    command.add_option("--json", check.jsonPath, "write the whole diagnosis to this JSON file");
    command.add_option("--problems-csv", check.problemsCsvPath,
                       "write one line per problem to this CSV file, with where each value came from");
    command.add_option("--sarif", check.sarifPath,
                       "write every finding to this SARIF 2.1.0 file, for code-review tools to annotate the "
                       "lines of the case, the IO lists and the initialization string");
    command.add_option("--junit", check.junitPath,
                       "write the check as JUnit XML to this file, a test per row and per root cause, for CI "
                       "systems");
    command.add_flag("--all", check.all, "list the rows without problems too");
    command.add_option("--init-string", line->initString,
                       "check against this file as the initialization string, byte for byte, instead of the "
                       "case's (a trace: the string it captured)");
    AddFetchOption(command, "--fetch", line->fetch,
                   "with --init-string TRACE: which fetch of the string, from 1 (default: the last)");
    command.add_option("--trace", check.tracePath,
                       "add to each tag's verdict what the live link in this trace did with it");
    AddCodePageOption(command, line->codePage, SimulatorCodePageHelp());
    return [line] {
        line->check.driverVersion = DriverVersionText(line->check.driverPath);
        return OnCase(line->casePath, line->codePage, line->initString, [&](const Case& parsed) {
            Case c = parsed;
            if (!line->initString.empty()) UseInitString(c, line->initString, line->fetch);
            return CheckCommand(c, line->check);
        });
    };
}

}  // namespace

const Command kCheckCommand = {
    "check",
    "diagnose every tag of every row and lint the initialization string; a dry run (configure, initialize, one "
    "step) records what the driver itself raises",
    "exit status: 0 nothing found, 1 a problem, a driver message, or (--trace) a live failure or disagreement, 2 "
    "bad case, driver, trace or output",
    DeclareCheck,
};

int CheckCommand(const Case& c, const CheckOptions& options) {
    CheckOutputs outputs(c, options);
    Driver driver(options.driverPath);
    Diagnosis diagnosis = DiagnoseQuietly(driver, c);
    diagnosis.driverPath = options.driverPath;
    LiveFindings live;
    if (!options.tracePath.empty()) live = AddLiveVerdicts(diagnosis, options.tracePath);
    DecodeForReports(diagnosis);
    std::fputs(CheckReport(diagnosis, options.all).c_str(), stdout);
    if (!live.lines.empty()) {
        std::fputs("\nwhere the live link failed or disagrees with the case:\n", stdout);
        for (const std::string& line : live.lines) std::printf("  %s\n", line.c_str());
    }
    for (const std::string& note : live.notes)
        std::printf("note on the trace %s: %s\n", options.tracePath.c_str(), note.c_str());
    std::fflush(stdout);
    if (outputs.json) {
        outputs.json->Stream() << JsonReport(diagnosis);
        outputs.json->Commit();
    }
    if (outputs.problems) {
        outputs.problems->Stream() << ProblemsCsv(diagnosis, c);
        outputs.problems->Commit();
    }
    if (outputs.sarif) {
        outputs.sarif->Stream() << SarifReport(diagnosis, c, HostVersion());
        outputs.sarif->Commit();
    }
    if (outputs.junit) {
        outputs.junit->Stream() << CheckJunitReport(diagnosis, c);
        outputs.junit->Commit();
    }
    if (outputs.html) {
        PageInput page;
        page.command = "check";
        page.casePath = c.file;
        page.driverPath = options.driverPath;
        page.driverVersion = options.driverVersion;
        page.configured = diagnosis.configured;
        page.diagnosis = &diagnosis;
        WriteHtmlPage(*outputs.html, page);
    }
    return live.lines.empty() ? ExitStatusOf(diagnosis) : 1;
}

}  // namespace host
