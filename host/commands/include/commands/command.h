// A command of dcs-host as data: its name, what it does and what its exit
// statuses mean (the first and the last line of its --help), and how it
// declares its options and runs. main is a table of these; each command's
// file defines its own. The options several commands take are declared
// here once, so that they read and check alike wherever they appear.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "case/case_file.h"

namespace CLI {
class App;
class Option;
}  // namespace CLI

namespace host {

struct Command {
    const char* name;
    const char* description;   // also its line in dcs-host --help
    const char* exitStatuses;  // "exit status: 0 ..., 1 ..., 2 ..."
    // Declares the command's options on its subcommand, bound to state that
    // the returned run reads once the command line is parsed. Returns the
    // run, which gives the exit status.
    std::function<int()> (*declare)(CLI::App& command);
};

extern const Command kRunCommand;
extern const Command kCheckCommand;
extern const Command kTraceCommand;
extern const Command kTagsCommand;
extern const Command kDiffCommand;
extern const Command kExportCommand;
extern const Command kMapCommand;
extern const Command kTestCommand;

// The case file a command works on (the positional CASE).
CLI::Option* AddCaseArgument(CLI::App& command, std::string& path);
// An initialization string, a trace or a case naming one (the positional
// SOURCE).
CLI::Option* AddSourceArgument(CLI::App& command, std::string& source);
// --driver: `path` starts as the driver built with dcs-host, shown as the
// default.
CLI::Option* AddDriverOption(CLI::App& command, std::string& path,
                             const std::string& help = "the driver library to load");
// --code-page: one of the code pages dcs-host has.
CLI::Option* AddCodePageOption(CLI::App& command, std::optional<int>& codePage, const std::string& help);
// --fetch and its kin: the number of a fetch of the string in a trace, from 1.
CLI::Option* AddFetchOption(CLI::App& command, const std::string& name, std::optional<int64_t>& fetch,
                            const std::string& help);

// The help of --code-page where it is the simulator's (run, check), and where
// it is only the one the names are shown in (tags, diff).
std::string SimulatorCodePageHelp();
std::string NamesCodePageHelp();

// Runs `command` on the case at `casePath` loaded as every command loads
// one (LoadCase), its warnings shown first; a case that cannot be used, or
// any error of the command, is its message and exit status 2.
// `initString`: the --init-string file, whose code page (a trace names one)
// the case's texts take when neither the case nor --code-page names one.
int OnCase(const std::string& casePath, std::optional<int> codePage, const std::string& initString,
           const std::function<int(const Case&)>& command);

// The driver's version for the reports: from its version block where it
// has one (the Windows DLL); otherwise known only of the driver built along
// with this host.
std::string DriverVersionText(const std::string& path);

}  // namespace host
