// dcs-host: runs the DCS link driver on a case against the simulated Marlix
// tag server, as the process simulator would.

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "case_file.h"
#include "commands.h"

#ifndef DCS_HOST_DEFAULT_DRIVER
#define DCS_HOST_DEFAULT_DRIVER "libmrxnt.so"
#endif

namespace {

const char kUsage[] =
    "usage: dcs-host run CASE [--steps N] [--csv FILE] [--plot FILE.svg] [--driver PATH]\n"
    "       dcs-host check CASE [--driver PATH]\n"
    "\n"
    "run    configures and initializes the link, runs N steps with the case's\n"
    "       events and prints the values of every step\n"
    "check  configures, initializes and runs one step, then reports every\n"
    "       message the driver raised and the tag operations of every row\n"
    "\n"
    "exit status: 0 configured and every step succeeded, 1 not, 2 bad case or usage\n";

int Usage(const std::string& problem) {
    if (!problem.empty()) {
        std::fprintf(stderr, "dcs-host: %s\n", problem.c_str());
    }
    std::fputs(kUsage, stderr);
    return 2;
}

bool ParseSteps(const std::string& text, int32_t& steps) {
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos || text.size() > 8) {
        return false;
    }
    steps = static_cast<int32_t>(std::strtol(text.c_str(), nullptr, 10));
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty()) {
        return Usage("");
    }
    if (args[0] == "--help" || args[0] == "-h") {
        std::fputs(kUsage, stdout);
        return 0;
    }
    const std::string command = args[0];
    if (command != "run" && command != "check") {
        return Usage("unknown command \"" + command + "\"");
    }
    host::RunOptions options;
    options.driverPath = DCS_HOST_DEFAULT_DRIVER;
    std::string casePath;
    for (size_t i = 1; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const bool hasValue = i + 1 < args.size();
        if (arg == "--driver" && hasValue) {
            options.driverPath = args[++i];
        } else if (command == "run" && arg == "--steps" && hasValue) {
            int32_t steps = 0;
            if (!ParseSteps(args[++i], steps)) {
                return Usage("--steps takes a whole number of steps, not \"" + args[i] + "\"");
            }
            options.steps = steps;
        } else if (command == "run" && arg == "--csv" && hasValue) {
            options.csvPath = args[++i];
        } else if (command == "run" && arg == "--plot" && hasValue) {
            options.plotPath = args[++i];
        } else if (!arg.empty() && arg[0] == '-') {
            return Usage("unknown option \"" + arg + "\" for " + command + (hasValue ? "" : " (or its value is missing)"));
        } else if (casePath.empty()) {
            casePath = arg;
        } else {
            return Usage("one case file at a time");
        }
    }
    if (casePath.empty()) {
        return Usage("no case file");
    }

    try {
        const host::Case c = host::ParseCaseFile(casePath);
        return command == "run" ? host::RunCommand(c, options) : host::CheckCommand(c, options.driverPath);
    } catch (const host::CaseError& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 2;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "dcs-host: %s\n", e.what());
        return 2;
    }
}
