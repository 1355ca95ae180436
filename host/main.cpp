// dcs-host: runs the DCS link driver on a case against the simulated Marlix
// tag server, as the process simulator would. main only reads the command
// line and hands over to the command.

#include <CLI/CLI.hpp>
#include <cstdio>
#include <exception>
#include <string>

#include "case_file.h"
#include "commands.h"
#include "link.h"

namespace {

const char kDescription[] =
    "dcs-host loads the DCS link driver as the process simulator does and runs it\n"
    "against a simulated Marlix tag server.\n"
    "\n"
    "exit status: 0 configured and every step succeeded, 1 not, 2 bad case or usage";

// Runs a command on the case, turning a case or setup error into its
// message and exit status 2.
template <typename Command>
int OnCase(const std::string& casePath, Command command) {
    try {
        const host::Case c = host::ParseCaseFile(casePath);
        return command(c);
    } catch (const host::CaseError& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 2;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "dcs-host: %s\n", e.what());
        return 2;
    }
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{kDescription, "dcs-host"};
    app.require_subcommand(1);
    const std::string defaultDriver = host::DefaultDriverPath();
    app.set_version_flag(
        "--version", [&] { return host::VersionText(defaultDriver); },
        "show the version of dcs-host and of the driver it loads by default, and exit");

    std::string casePath;
    host::RunOptions run;
    run.driverPath = defaultDriver;
    host::CheckOptions check;
    check.driverPath = defaultDriver;

    CLI::App* runCommand = app.add_subcommand(
        "run", "configure and initialize the link, run the steps with the case's events and show every step");
    runCommand->add_option("CASE", casePath, "the case file (TOML)")->required();
    runCommand->add_option("--steps", run.steps, "how many steps to run (overrides the case's)")
        ->check(CLI::Range(0, 100000000));
    runCommand->add_option("--csv", run.csvPath, "write every step to this CSV file");
    runCommand->add_option("--plot", run.plotPath, "write a trend chart to this SVG file");
    runCommand->add_option("--driver", run.driverPath, "the driver library to load")->capture_default_str();

    CLI::App* checkCommand = app.add_subcommand(
        "check", "configure, initialize and run one step, then report every message and the fate of every tag");
    checkCommand->add_option("CASE", casePath, "the case file (TOML)")->required();
    checkCommand->add_option("--driver", check.driverPath, "the driver library to load")->capture_default_str();

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        return app.exit(e) == 0 ? 0 : 2;
    }

    if (*runCommand) {
        return OnCase(casePath, [&](const host::Case& c) { return host::RunCommand(c, run); });
    }
    return OnCase(casePath, [&](const host::Case& c) { return host::CheckCommand(c, check); });
}
