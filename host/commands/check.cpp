#include <cstdio>
#include <memory>

#include "commands/commands.h"
#include "commands/trace_command.h"
#include "diagnose/check_case.h"
#include "diagnose/text_encoding.h"
#include "link/session.h"
#include "output/output_file.h"
#include "output/path_guard.h"
#include "report/check_report.h"
#include "report/html_report.h"
#include "report/json_report.h"
#include "report/problems_csv.h"
#include "report/sarif_report.h"

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

}  // namespace

Diagnosis DiagnoseQuietly(Driver& driver, const Case& c) {
    PrepareServer(c);
    // The messages are reported with the diagnosis, all together.
    const QuietStandins quiet(QuietStandins::ErrorMsg::Quiet);
    return CheckCase(driver, c);
}

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
