#include <cstdio>

#include "check_case.h"
#include "check_report.h"
#include "commands.h"
#include "iface_control.h"
#include "json_report.h"
#include "output_file.h"
#include "session.h"
#include "user32_control.h"

namespace host {

int CheckCommand(const Case& c, const CheckOptions& options) {
    Driver driver(options.driverPath);
    PrepareServer(c);
    // The messages are reported below, all together.
    User32Standin_SetEcho(0);
    IFaceStandin_SetEcho(0);
    const Diagnosis diagnosis = CheckCase(driver, c);
    std::fputs(CheckReport(diagnosis, options.all).c_str(), stdout);
    std::fflush(stdout);
    if (!options.jsonPath.empty()) {
        WriteWholeFile(options.jsonPath, JsonReport(diagnosis));
    }
    return ExitStatusOf(diagnosis);
}

}  // namespace host
