// dcs-host: runs the DCS link driver on a case against the simulated Marlix
// tag server, as the process simulator would. main only reads the command
// line and hands over to the command; each command, its options and its
// help are in its own file under commands/.

#include <CLI/CLI.hpp>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "commands/command.h"
#include "commands/commands.h"
#include "link/link.h"
#include "os/os.h"
#include "output/output_file.h"

namespace {

// In the order dcs-host --help lists them.
const host::Command* const kCommands[] = {
    &host::kRunCommand,  &host::kCheckCommand,  &host::kTraceCommand, &host::kTagsCommand,
    &host::kDiffCommand, &host::kExportCommand, &host::kMapCommand,   &host::kTestCommand,
};

const char kDescription[] =
    "dcs-host loads the DCS link driver as the process simulator does and runs it\n"
    "against a simulated Marlix tag server.\n"
    "\n"
    "exit status: each command's own, at the end of its --help; 2 a command line that cannot be used";

// "a command is required: run, check, ... or test", every command named.
std::string CommandRequired() {
    std::string names;
    const size_t count = std::size(kCommands);
    for (size_t i = 0; i < count; ++i) {
        names += (i == 0 ? "" : i + 1 == count ? " or " : ", ") + std::string(kCommands[i]->name);
    }
    return "dcs-host: a command is required: " + names + "\nRun with --help for more information.\n";
}

// --version describes the driver run or check was given, when no --driver
// comes before the command.
std::string VersionDriver(const CLI::App& app, const std::string& given) {
    std::string driver = given;
    for (const char* name : {"run", "check"}) {
        const CLI::App* command = app.get_subcommand(name);
        if (driver.empty() && command->count("--driver") > 0) {
            driver = command->get_option("--driver")->as<std::string>();
        }
    }
    return driver.empty() ? host::DefaultDriverPath() : driver;
}

}  // namespace

int main(int argc, char** argv) {
    host::os::UseUtf8Console();
    CLI::App app{kDescription, "dcs-host"};
    // A command is required unless --version is given; checked after the
    // parse, which the version flag has to see whole (with --driver).
    app.require_subcommand(0, 1);
    app.fallthrough();
    bool version = false;
    std::string versionDriver;
    app.add_flag("--version", version,
                 "show the version of dcs-host and of the driver it loads (the default one, or --driver's), and exit");
    app.add_option("--driver", versionDriver, "with --version: the driver library to describe");
    bool listCodes = false;
    app.add_flag("--list-codes", listCodes, "list every verdict and code the check gives, and exit")->group("");

    std::vector<std::pair<CLI::App*, std::function<int()>>> runs;
    for (const host::Command* command : kCommands) {
        CLI::App* sub = app.add_subcommand(command->name, command->description);
        sub->footer(command->exitStatuses);
        runs.emplace_back(sub, command->declare(*sub));
    }

    host::RemoveTemporaryFilesOnSignal();
    // The command line as the user typed it, in any language: on Windows argv
    // holds it in the ANSI code page.
    const std::vector<std::string> arguments = host::os::Arguments(argc, argv);
    std::vector<const char*> pointers;
    for (const std::string& argument : arguments) pointers.push_back(argument.c_str());
    try {
        app.parse(static_cast<int>(pointers.size()), pointers.data());
    } catch (const CLI::ParseError& e) {
        return app.exit(e) == 0 ? 0 : 2;
    }
    if (listCodes) {
        host::os::Write(stdout, host::CodesText());
        return 0;
    }
    if (version) {
        host::os::Write(stdout, host::VersionText(VersionDriver(app, versionDriver)) + "\n");
        return 0;
    }
    for (const auto& [sub, run] : runs) {
        if (*sub) return run();
    }
    host::os::Write(stderr, CommandRequired());
    return 2;
}
