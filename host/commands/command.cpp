#include "commands/command.h"

#include <CLI/CLI.hpp>
#include <cstdio>
#include <exception>

#include "case/load_case.h"
#include "link/link.h"
#include "os/os.h"
#include "text/code_page.h"
#include "trace/string_sources.h"
#include "trace/trace_file.h"

namespace host {

namespace {

// "--code-page" takes a code page dcs-host has.
std::string CheckCodePage(std::string& text) {
    const bool digits = !text.empty() && text.size() <= 5 && text.find_first_not_of("0123456789") == std::string::npos;
    if (digits && CodePage::Find(std::stoi(text))) return std::string();
    return "expected one of the code pages " + CodePage::Supported() + ", not \"" + text + "\"";
}

// "--fetch" and its kin take the number of a fetch of the string, from 1.
std::string CheckFetch(std::string& text) {
    const bool digits = !text.empty() && text.size() <= 9 && text.find_first_not_of("0123456789") == std::string::npos;
    if (digits && std::stol(text) >= 1) return std::string();
    return "expected the number of a fetch of the initialization string, from 1 (the first), not \"" + text + "\"";
}

}  // namespace

CLI::Option* AddCaseArgument(CLI::App& command, std::string& path) {
    return command.add_option("CASE", path, "the case file (TOML)")->required();
}

CLI::Option* AddSourceArgument(CLI::App& command, std::string& source) {
    return command
        .add_option("SOURCE", source,
                    "an initialization string file, a trace (its captured string), or a case (.toml) naming one")
        ->required();
}

CLI::Option* AddDriverOption(CLI::App& command, std::string& path, const std::string& help) {
    path = DefaultDriverPath();
    return command.add_option("--driver", path, help)->capture_default_str();
}

CLI::Option* AddCodePageOption(CLI::App& command, std::optional<int>& codePage, const std::string& help) {
    return command.add_option("--code-page", codePage, help)->check(CLI::Validator(CheckCodePage, "CODE_PAGE"));
}

CLI::Option* AddFetchOption(CLI::App& command, const std::string& name, std::optional<int64_t>& fetch,
                            const std::string& help) {
    return command.add_option(name, fetch, help)->check(CLI::Validator(CheckFetch, "N"));
}

std::string SimulatorCodePageHelp() {
    return "the simulator's code page, in which the driver sees the case's texts (the case's code_page, else "
           "1252); one of " +
           CodePage::Supported();
}

std::string NamesCodePageHelp() {
    return "the code page the strings' names are in, to show them (the case's code_page, else 1252); one of " +
           CodePage::Supported();
}

int OnCase(const std::string& casePath, std::optional<int> codePage, const std::string& initString,
           const std::function<int(const Case&)>& command) {
    try {
        const Case c =
            LoadCase(casePath, codePage, initString.empty() ? std::nullopt : CodePageNamedByTrace(initString));
        for (const CaseWarning& warning : c.warnings) {
            os::Write(stderr, warning.text + "\n");
        }
        return command(c);
    } catch (const CaseError& e) {
        return CaseRefused(e);
    } catch (const TraceError& e) {
        std::fprintf(stderr, "dcs-host: %s\n", e.what());
        return 2;
    } catch (const std::exception& e) {
        os::Write(stderr, "dcs-host: " + std::string(e.what()) + "\n");
        return 2;
    }
}

}  // namespace host
