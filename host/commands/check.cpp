#include <cstdio>
#include <memory>

#include "commands/commands.h"
#include "diagnose/check_case.h"
#include "iface_control.h"
#include "link/session.h"
#include "output/output_file.h"
#include "output/path_guard.h"
#include "report/check_report.h"
#include "report/html_report.h"
#include "report/json_report.h"
#include "user32_control.h"

namespace host {

namespace {

// The check's outputs, refused when they name an input or each other and
// opened before the driver loads, so that an unusable path ends the check
// before anything runs. Throws OutputError.
struct CheckOutputs {
    std::unique_ptr<OutputFile> json;
    std::unique_ptr<OutputFile> html;

    CheckOutputs(const Case& c, const CheckOptions& options) {
        std::vector<PathUse> inputs = {{"the case file", c.file}, {"the driver", options.driverPath}};
        for (const NamedFile& file : c.namedFiles) inputs.push_back({file.use, file.path});
        std::vector<PathUse> outputs;
        if (!options.jsonPath.empty()) outputs.push_back({"--json", options.jsonPath});
        if (!options.htmlPath.empty()) outputs.push_back({"--html", options.htmlPath});
        RefuseOverlappingPaths(inputs, outputs);
        if (!options.jsonPath.empty()) json = std::make_unique<OutputFile>(options.jsonPath);
        if (!options.htmlPath.empty()) html = std::make_unique<OutputFile>(options.htmlPath);
    }
};

}  // namespace

Diagnosis DiagnoseQuietly(Driver& driver, const Case& c) {
    PrepareServer(c);
    // The messages are reported with the diagnosis, all together.
    User32Standin_SetEcho(0);
    IFaceStandin_SetEcho(0);
    Diagnosis diagnosis = CheckCase(driver, c);
    User32Standin_SetEcho(1);
    IFaceStandin_SetEcho(1);
    return diagnosis;
}

int CheckCommand(const Case& c, const CheckOptions& options) {
    CheckOutputs outputs(c, options);
    Driver driver(options.driverPath);
    Diagnosis diagnosis = DiagnoseQuietly(driver, c);
    diagnosis.driverPath = options.driverPath;
    std::fputs(CheckReport(diagnosis, options.all).c_str(), stdout);
    std::fflush(stdout);
    if (outputs.json) {
        outputs.json->Stream() << JsonReport(diagnosis);
        outputs.json->Commit();
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
    return ExitStatusOf(diagnosis);
}

}  // namespace host
