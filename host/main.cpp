// dcs-host: runs the DCS link driver on a case against the simulated Marlix
// tag server, as the process simulator would. main only reads the command
// line and hands over to the command.

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <exception>
#include <optional>
#include <string>
#include <vector>

#include "case/case_file.h"
#include "case/input_file.h"
#include "commands/catalogue_commands.h"
#include "commands/commands.h"
#include "commands/load_case.h"
#include "commands/trace_command.h"
#include "link/link.h"
#include "os/os.h"
#include "output/output_file.h"
#include "text/code_page.h"
#include "trace/trace_file.h"

namespace {

const char kDescription[] =
    "dcs-host loads the DCS link driver as the process simulator does and runs it\n"
    "against a simulated Marlix tag server.\n"
    "\n"
    "exit status: 0 configured and every step succeeded, 1 not, 2 bad case or usage";

// Runs a command on the case, turning a case or setup error into its
// message and exit status 2.
// `initString`: the --init-string file, whose code page (a trace names
// one) the case's texts take when neither the case nor --code-page names one.
template <typename Command>
int OnCase(const std::string& casePath, std::optional<int> codePage, const std::string& initString, Command command) {
    try {
        const host::Case c = host::LoadCase(casePath, codePage,
                                            initString.empty() ? std::nullopt : host::CodePageNamedByTrace(initString));
        for (const host::CaseWarning& warning : c.warnings) {
            host::os::Write(stderr, warning.text + "\n");
        }
        return command(c);
    } catch (const host::CaseError& e) {
        return host::CaseRefused(e);
    } catch (const host::TraceError& e) {
        std::fprintf(stderr, "dcs-host: %s\n", e.what());
        return 2;
    } catch (const std::exception& e) {
        host::os::Write(stderr, "dcs-host: " + std::string(e.what()) + "\n");
        return 2;
    }
}

// "--steps" takes a whole number up to the maximum; the message says which.
std::string CheckSteps(std::string& text) {
    const std::string expected = "expected a whole number of steps from 0 to " + std::to_string(host::kMaxSteps);
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos) {
        return expected + ", not \"" + text + "\"";
    }
    const size_t digits = text.size() - std::min(text.find_first_not_of('0'), text.size());
    if (digits > 9 || (digits > 0 && std::stoll(text) > host::kMaxSteps)) {
        return expected + "; " + text + " is more than dcs-host runs";
    }
    return std::string();
}

// "--fetch" and its kin take the number of a fetch of the string, from 1.
std::string CheckFetch(std::string& text) {
    const bool digits = !text.empty() && text.size() <= 9 && text.find_first_not_of("0123456789") == std::string::npos;
    if (digits && std::stol(text) >= 1) return std::string();
    return "expected the number of a fetch of the initialization string, from 1 (the first), not \"" + text + "\"";
}

// What each command's exit status means, at the foot of its help.
const char kRunExit[] = "exit status: 0 configured and every step succeeded, 1 not, 2 bad case, driver or output";
const char kCheckExit[] =
    "exit status: 0 nothing found, 1 a problem, a driver message, or (--trace) a live failure or disagreement, 2 bad "
    "case, driver, trace or output";
const char kTraceExit[] =
    "exit status: 0 no call failed and the file is as the tracer writes it, 1 calls failed or records were left out "
    "or disagree with the tracer's summaries, 2 the trace cannot be read or an output written";
const char kTagsExit[] = "exit status: 0 listed, 2 the source or an output cannot be used";
const char kDiffExit[] =
    "exit status: 0 nothing changed that matters (to the case, with --case), 1 something did, 2 an input or output "
    "cannot be used";
const char kMapExit[] =
    "exit status: 0 every proposed row checks clean, 1 some do not, 2 an input or output cannot be used";
const char kExportExit[] = "exit status: 0 written, 2 the case or the folder cannot be used";

#ifndef DCS_HOST_VERSION
#define DCS_HOST_VERSION "unknown"
#endif

// The driver's version for the reports: from its version block where it has
// one (the Windows DLL); otherwise known only of the driver built along with
// this host.
std::string DriverVersionText(const std::string& path) {
    if (const std::optional<host::DriverVersion> version = host::ReadDriverVersion(path)) {
        return version->fileVersion + " (\"" + version->displayName + "\")";
    }
    return path == host::DefaultDriverPath() ? DCS_HOST_VERSION : "unknown (not the driver built with this host)";
}

// "--code-page" takes a code page dcs-host has.
std::string CheckCodePage(std::string& text) {
    const bool digits = !text.empty() && text.size() <= 5 && text.find_first_not_of("0123456789") == std::string::npos;
    if (digits && host::CodePage::Find(std::stoi(text))) return std::string();
    return "expected one of the code pages " + host::CodePage::Supported() + ", not \"" + text + "\"";
}

// A chart is written as SVG whatever the name says; a name that promises
// something else would mislead whoever opens it.
std::string SvgName(const std::string& path) {
    const std::string suffix = ".svg";
    const bool svg = path.size() > suffix.size() &&
                     std::equal(suffix.rbegin(), suffix.rend(), path.rbegin(),
                                [](char a, char b) { return a == std::tolower(static_cast<unsigned char>(b)); });
    return svg ? std::string() : "the chart is an SVG file: expected a name ending in .svg, not \"" + path + "\"";
}

}  // namespace

int main(int argc, char** argv) {
    host::os::UseUtf8Console();
    CLI::App app{kDescription, "dcs-host"};
    // A command is required unless --version is given; checked after the
    // parse, which the version flag has to see whole (with --driver).
    app.require_subcommand(0, 1);
    app.fallthrough();
    const std::string defaultDriver = host::DefaultDriverPath();
    bool version = false;
    std::string versionDriver;
    app.add_flag("--version", version,
                 "show the version of dcs-host and of the driver it loads (the default one, or --driver's), and exit");
    app.add_option("--driver", versionDriver, "with --version: the driver library to describe");
    bool listCodes = false;
    app.add_flag("--list-codes", listCodes, "list every verdict and code the check gives, and exit")->group("");

    std::string casePath;
    host::RunOptions run;
    run.driverPath = defaultDriver;
    host::CheckOptions check;
    check.driverPath = defaultDriver;

    CLI::App* runCommand = app.add_subcommand(
        "run", "configure and initialize the link, run the steps with the case's events and show every step");
    runCommand->footer(kRunExit);
    runCommand->add_option("CASE", casePath, "the case file (TOML)")->required();
    runCommand
        ->add_option("--steps", run.steps,
                     "how many steps to run, at most " + std::to_string(host::kMaxSteps) + " (overrides the case's)")
        ->check(CLI::Validator(CheckSteps, "0 to " + std::to_string(host::kMaxSteps)));
    runCommand->add_option("--csv", run.report.csvPath, "write every step to this CSV file");
    runCommand->add_option("--plot", run.report.plotPath, "write a trend chart to this SVG file")
        ->check(CLI::Validator(SvgName, "FILE.svg"));
    runCommand->add_flag("--plot-constant", run.report.plotConstant,
                         "draw series that never change too (left out of the chart otherwise)");
    runCommand
        ->add_option("--columns", run.report.columns,
                     "show only the table columns whose names match this glob (repeatable)")
        ->expected(1)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    runCommand->add_option("--html", run.report.htmlPath, "write a self-contained HTML report to this file");
    runCommand->add_option("--driver", run.driverPath, "the driver library to load")->capture_default_str();
    std::optional<int> codePage;
    const std::string codePageHelp =
        "the simulator's code page, in which the driver sees the case's texts (the "
        "case's code_page, else 1252); one of " +
        host::CodePage::Supported();
    runCommand->add_option("--code-page", codePage, codePageHelp)->check(CLI::Validator(CheckCodePage, "CODE_PAGE"));
    std::string runInitString;
    runCommand->add_option("--init-string", runInitString,
                           "serve this file as the initialization string, byte for byte, instead of the case's");
    runCommand->add_option("--trace", run.tracePath,
                           "record the run's traffic with the tracing client's core, in the trace format");
    runCommand->add_option("--trace-level", run.traceLevel, "what --trace records: all, changes or failures")
        ->capture_default_str();
    runCommand->add_option("--compare", run.report.compare.referencePath,
                           "hold every column against this CSV of an earlier run --csv, in a tube of --tolerance, "
                           "--rel-tolerance and --time-tolerance; exit status 1 when a column leaves it");
    runCommand->add_option("--tolerance", run.report.compare.tolerance, "with --compare: the tube's half width")
        ->check(CLI::NonNegativeNumber);
    runCommand
        ->add_option("--rel-tolerance", run.report.compare.relTolerance,
                     "with --compare: the tube's half width as a share of the reference's value (0.01: 1%)")
        ->check(CLI::NonNegativeNumber);
    runCommand
        ->add_option("--time-tolerance", run.report.compare.timeTolerance,
                     "with --compare: the reference's steps this many either side count too")
        ->check(CLI::Range(0, 1000000));
    runCommand->add_option("--replay", run.replayPath,
                           "answer from this trace: its initialization string, and the k-th call of each tag the "
                           "k-th recorded answer; the writes are compared with the recorded ones");

    CLI::App* checkCommand = app.add_subcommand(
        "check",
        "diagnose every tag of every row and lint the initialization string; a dry run (configure, initialize, "
        "one step) records what the driver itself raises");
    checkCommand->footer(kCheckExit);
    checkCommand->add_option("CASE", casePath, "the case file (TOML)")->required();
    checkCommand->add_option("--html", check.htmlPath, "write a self-contained HTML report to this file");
    checkCommand->add_option("--driver", check.driverPath, "the driver library to load")->capture_default_str();
    checkCommand->add_option("--json", check.jsonPath, "write the whole diagnosis to this JSON file");
    checkCommand->add_option("--problems-csv", check.problemsCsvPath,
                             "write one line per problem to this CSV file, with where each value came from");
    checkCommand->add_option("--sarif", check.sarifPath,
                             "write every finding to this SARIF 2.1.0 file, for code-review tools to annotate the "
                             "lines of the case, the IO lists and the initialization string");
    checkCommand->add_option("--junit", check.junitPath,
                             "write the check as JUnit XML to this file, a test per row and per root cause, for CI "
                             "systems");
    checkCommand->add_flag("--all", check.all, "list the rows without problems too");
    std::string checkInitString;
    checkCommand->add_option("--init-string", checkInitString,
                             "check against this file as the initialization string, byte for byte, instead of the "
                             "case's (a trace: the string it captured)");
    std::optional<int64_t> checkFetch;
    checkCommand
        ->add_option("--fetch", checkFetch,
                     "with --init-string TRACE: which fetch of the string, from 1 (default: the last)")
        ->check(CLI::Validator(CheckFetch, "N"));
    checkCommand->add_option("--trace", check.tracePath,
                             "add to each tag's verdict what the live link in this trace did with it");

    host::TraceOptions traceOptions;
    CLI::App* traceCommand = app.add_subcommand(
        "trace", "sum up a trace of the Marlix client: fetches, calls, failures, durations, link events");
    traceCommand->footer(kTraceExit);
    traceCommand->add_option("FILE", traceOptions.tracePath, "the trace (JSON Lines)")->required();
    traceCommand->add_option("--json", traceOptions.jsonPath, "write the summary to this JSON file");
    traceCommand->add_option("--html", traceOptions.htmlPath, "write a self-contained HTML page to this file");
    traceCommand->add_flag("--follow", traceOptions.follow,
                           "keep a one-screen view of FILE (or the newest trace in the folder FILE) up to date while "
                           "the plant runs, until Ctrl-C; with --html a page that reloads itself");
    traceCommand->add_option("--problems-csv", traceOptions.problemsCsvPath,
                             "write the failures by tag, data set, operation and status to this CSV file");
    traceCommand
        ->add_option("--tags", traceOptions.tags, "chart the values of the tags matching this glob (repeatable)")
        ->expected(1)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    traceCommand
        ->add_option("--code-page", traceOptions.codePage,
                     "the code page the trace's tag names and string are in, over the one its header names (a "
                     "trace of format 1 or 2 names none: 1252 is taken); one of " +
                         host::CodePage::Supported())
        ->check(CLI::Validator(CheckCodePage, "CODE_PAGE"));
    traceCommand->add_option("--init-string", traceOptions.initStringPath,
                             "write the initialization string of the last fetch (or --fetch N), byte for byte");
    traceCommand->add_option("--fetch", traceOptions.fetch, "which fetch --init-string writes, from 1")
        ->check(CLI::Validator(CheckFetch, "N"));

    host::TagsOptions tags;
    host::DiffOptions diff;
    host::MapOptions map;
    host::ExportOptions exportList;
    tags.driverPath = diff.driverPath = map.driverPath = exportList.driverPath = defaultDriver;
    CLI::App* tagsCommand = app.add_subcommand(
        "tags", "list the tag catalogue as the driver parses it, with notes on duplicates and broken entries");
    tagsCommand->footer(kTagsExit);
    tagsCommand
        ->add_option("SOURCE", tags.source,
                     "an initialization string file, a trace (its captured string), or a case (.toml) naming one")
        ->required();
    tagsCommand->add_option("--fetch", tags.fetch, "of a trace: which fetch of the string, from 1 (default: the last)")
        ->check(CLI::Validator(CheckFetch, "N"));
    tagsCommand->add_option("--kind", tags.kinds, "only tags of this kind: AI, AO, DI, DO, DCD, CALC (repeatable)");
    tagsCommand->add_option("--data-set", tags.dataSets, "only tags of this data set (repeatable)");
    tagsCommand->add_option("--match", tags.matches, "only tags whose names match this glob (repeatable)");
    tagsCommand->add_option("--unused", tags.unusedCase, "only the tags no row of this case names");
    tagsCommand->add_option("--json", tags.jsonPath, "write the listing to this JSON file");
    tagsCommand->add_option("--csv", tags.csvPath, "write the listing to this CSV file");
    const std::string namesCodePageHelp =
        "the code page the strings' names are in, to show them (the case's code_page, else 1252); one of " +
        host::CodePage::Supported();
    tagsCommand->add_option("--code-page", tags.codePage, namesCodePageHelp + "; --match matches in it too")
        ->check(CLI::Validator(CheckCodePage, "CODE_PAGE"));
    tagsCommand->add_option("--driver", tags.driverPath, "the driver library to load for --unused")
        ->capture_default_str();

    CLI::App* diffCommand = app.add_subcommand(
        "diff",
        "compare two initialization strings: tags added, removed and changed, and with --case every verdict "
        "of the case that changes");
    diffCommand->footer(kDiffExit);
    diffCommand
        ->add_option("OLD", diff.oldSource, "the old initialization string file (or a trace, or a case naming it)")
        ->required();
    diffCommand
        ->add_option("NEW", diff.newSource, "the new initialization string file (or a trace, or a case naming it)")
        ->required();
    diffCommand->add_option("--old-fetch", diff.oldFetch, "of a trace as OLD: which fetch, from 1 (default: the last)")
        ->check(CLI::Validator(CheckFetch, "N"));
    diffCommand->add_option("--new-fetch", diff.newFetch, "of a trace as NEW: which fetch, from 1 (default: the last)")
        ->check(CLI::Validator(CheckFetch, "N"));
    diffCommand->add_option("--case", diff.casePath, "check this case against both strings");
    diffCommand->add_option("--json", diff.jsonPath, "write the changes to this JSON file");
    diffCommand->add_option("--html", diff.htmlPath, "write a self-contained HTML page of the changes");
    diffCommand->add_option("--code-page", diff.codePage, namesCodePageHelp)
        ->check(CLI::Validator(CheckCodePage, "CODE_PAGE"));
    diffCommand->add_option("--driver", diff.driverPath, "the driver library to load for --case")
        ->capture_default_str();

    std::string separator = ",";
    std::string decimalMark = ".";
    bool noBom = false;
    CLI::App* exportCommand =
        app.add_subcommand("export", "write the case's rows as CSV IO lists, with a case file that names them");
    exportCommand->footer(kExportExit);
    exportCommand->add_option("CASE", exportList.casePath, "the case file (TOML)")->required();
    exportCommand->add_option("--out", exportList.outDir, "the folder to write into (made when missing)")->required();
    exportCommand->add_option("--separator", separator, "the field separator: , or ;")->capture_default_str();
    exportCommand->add_option("--decimal-mark", decimalMark, "the decimal mark: . or , (with --separator ';')")
        ->capture_default_str();
    exportCommand->add_flag("--no-bom", noBom, "write no UTF-8 byte-order mark");

    CLI::App* mapCommand = app.add_subcommand(
        "map", "propose controller rows, PV exports and PV imports from naming conventions, as IO lists check takes");
    mapCommand->footer(kMapExit);
    mapCommand
        ->add_option("SOURCE", map.source,
                     "an initialization string file, a trace (its captured string), or a case (.toml) naming one")
        ->required();
    mapCommand->add_option("--fetch", map.fetch, "of a trace: which fetch of the string, from 1 (default: the last)")
        ->check(CLI::Validator(CheckFetch, "N"));
    mapCommand->add_option("--out", map.outDir, "the folder to write the IO lists into (made when missing)")
        ->required();
    mapCommand->add_option("--conventions", map.conventionsPath,
                           "the naming conventions (default: those of examples/map/conventions.txt)");
    mapCommand->add_option("--case", map.casePath, "propose only what this case does not have yet");
    mapCommand->add_option("--driver", map.driverPath, "the driver library to load for the check")
        ->capture_default_str();
    mapCommand
        ->add_option("--code-page", map.codePage,
                     "the code page the string's names are in, which the IO lists are written from and map.toml "
                     "names (the case's code_page with --case or a case as SOURCE, else 1252); one of " +
                         host::CodePage::Supported())
        ->check(CLI::Validator(CheckCodePage, "CODE_PAGE"));
    checkCommand->add_option("--code-page", codePage, codePageHelp)->check(CLI::Validator(CheckCodePage, "CODE_PAGE"));

    host::TestOptions test;
    test.driverPath = defaultDriver;
    CLI::App* testCommand = app.add_subcommand(
        "test",
        "run every case and hold its link to the case's [[expect]] tables: one line per expectation; exit status "
        "0 all passed, 1 one failed, 2 a case could not be read or run");
    testCommand->add_option("CASE", test.paths, "case files (TOML), or folders holding them (searched for *.toml)")
        ->required();
    testCommand->add_option("--junit", test.junitPath, "write the results as JUnit XML to this file, for CI systems");
    testCommand->add_option("--json", test.jsonPath, "write the results to this JSON file");
    testCommand->add_option("--html", test.htmlPath, "write the results as a self-contained HTML page to this file");
    testCommand->add_option("--driver", test.driverPath, "the driver library to load")->capture_default_str();

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
        std::string driver = versionDriver;
        if (driver.empty() && runCommand->count("--driver") > 0) driver = run.driverPath;
        if (driver.empty() && checkCommand->count("--driver") > 0) driver = check.driverPath;
        host::os::Write(stdout, host::VersionText(driver.empty() ? defaultDriver : driver) + "\n");
        return 0;
    }
    if (app.get_subcommands().empty()) {
        host::os::Write(
            stderr,
            "dcs-host: a command is required: run, check, trace, tags, diff, map or export\nRun with --help for more "
            "information.\n");
        return 2;
    }

    if (*traceCommand) {
        try {
            return traceOptions.follow ? host::FollowTrace(traceOptions) : host::TraceCommand(traceOptions);
        } catch (const std::exception& e) {
            std::fprintf(stderr, "dcs-host: %s\n", e.what());
            return 2;
        }
    }
    if (*runCommand) {
        run.report.driverPath = run.driverPath;
        run.report.replayOf = run.replayPath;
        run.report.driverVersion = DriverVersionText(run.driverPath);
        run.report.tableWidth = host::TableWidth();
        return OnCase(casePath, codePage, runInitString.empty() ? run.replayPath : runInitString,
                      [&](const host::Case& parsed) {
                          host::Case c = parsed;
                          if (!runInitString.empty()) host::UseInitString(c, runInitString);
                          run.report.casePath = c.file;
                          return host::RunCommand(c, run);
                      });
    }
    if (*testCommand) return host::TestCommand(test);
    if (*tagsCommand) return host::TagsCommand(tags);
    if (*diffCommand) return host::DiffCommand(diff);
    if (*mapCommand) return host::MapCommand(map);
    if (*exportCommand) {
        exportList.separator = separator.size() == 1 ? separator[0] : '?';
        exportList.decimalMark = decimalMark.size() == 1 ? decimalMark[0] : '?';
        exportList.bom = !noBom;
        return host::ExportCommand(exportList);
    }
    check.driverVersion = DriverVersionText(check.driverPath);
    return OnCase(casePath, codePage, checkInitString, [&](const host::Case& parsed) {
        host::Case c = parsed;
        if (!checkInitString.empty()) host::UseInitString(c, checkInitString, checkFetch);
        return host::CheckCommand(c, check);
    });
}
