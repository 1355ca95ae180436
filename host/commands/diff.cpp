#include <CLI/CLI.hpp>
#include <cstdio>
#include <iostream>
#include <memory>

#include "case/case_file.h"
#include "case/load_case.h"
#include "commands/catalogue_commands.h"
#include "commands/command.h"
#include "diagnose/catalogue_diff.h"
#include "diagnose/check_case.h"
#include "diagnose/text_encoding.h"
#include "output/output_file.h"
#include "output/path_guard.h"
#include "report/diff_report.h"
#include "trace/string_sources.h"

namespace host {

namespace {

// The case checked against one of the two strings, with the driver's own
// verdicts.
Diagnosis CheckAgainst(Driver& driver, Case c, const std::string& initString) {
    c.initStringPath = initString;
    Diagnosis diagnosis = DiagnoseQuietly(driver, c);
    DecodeForReports(diagnosis);
    return diagnosis;
}

std::function<int()> DeclareDiff(CLI::App& command) {
    auto options = std::make_shared<DiffOptions>();
    command
        .add_option("OLD", options->oldSource, "the old initialization string file (or a trace, or a case naming it)")
        ->required();
    command
        .add_option("NEW", options->newSource, "the new initialization string file (or a trace, or a case naming it)")
        ->required();
    AddFetchOption(command, "--old-fetch", options->oldFetch,
                   "of a trace as OLD: which fetch, from 1 (default: the last)");
    AddFetchOption(command, "--new-fetch", options->newFetch,
                   "of a trace as NEW: which fetch, from 1 (default: the last)");
    command.add_option("--case", options->casePath, "check this case against both strings");
    command.add_option("--json", options->jsonPath, "write the changes to this JSON file");
    command.add_option("--html", options->htmlPath, "write a self-contained HTML page of the changes");
    AddCodePageOption(command, options->codePage, NamesCodePageHelp());
    AddDriverOption(command, options->driverPath, "the driver library to load for --case");
    return [options] { return DiffCommand(*options); };
}

}  // namespace

const Command kDiffCommand = {
    "diff",
    "compare two initialization strings: tags added, removed and changed, and with --case every verdict of the "
    "case that changes",
    "exit status: 0 nothing changed that matters (to the case, with --case), 1 something did, 2 an input or "
    "output cannot be used",
    DeclareDiff,
};

int DiffCommand(const DiffOptions& options) {
    try {
        CatalogueDiff diff;
        std::string oldName, newName;
        diff.oldPath = InitStringOfSource(options.oldSource, options.oldFetch, &oldName);
        diff.newPath = InitStringOfSource(options.newSource, options.newFetch, &newName);
        std::vector<PathUse> inputs = {{"OLD", options.oldSource}, {"NEW", options.newSource}};
        if (!options.casePath.empty()) inputs.push_back({"the case file", options.casePath});
        std::vector<PathUse> outputs;
        if (!options.jsonPath.empty()) outputs.push_back({"--json", options.jsonPath});
        if (!options.htmlPath.empty()) outputs.push_back({"--html", options.htmlPath});
        RefuseOverlappingPaths(inputs, outputs);
        std::unique_ptr<OutputFile> json;
        std::unique_ptr<OutputFile> html;
        if (!options.jsonPath.empty()) json = std::make_unique<OutputFile>(options.jsonPath);
        if (!options.htmlPath.empty()) html = std::make_unique<OutputFile>(options.htmlPath);

        // A case names its own code page; else the strings say theirs (a
        // trace names one), the new one first.
        diff.codePage = NamesCodePage(options.codePage, {options.casePath, options.newSource, options.oldSource});
        diff.tags = DiffInventories(InventoryOfFile(diff.oldPath), InventoryOfFile(diff.newPath));
        if (!options.casePath.empty()) {
            std::optional<int> stringsCodePage = CodePageOfSource(options.newSource);
            if (!stringsCodePage) stringsCodePage = CodePageOfSource(options.oldSource);
            const Case c = LoadCase(options.casePath, std::nullopt, stringsCodePage);
            Driver driver(options.driverPath);
            const Diagnosis before = CheckAgainst(driver, c, diff.oldPath);
            const Diagnosis after = CheckAgainst(driver, c, diff.newPath);
            diff.withCase = true;
            diff.casePath = options.casePath;
            diff.oldConfigured = before.configured;
            diff.newConfigured = after.configured;
            diff.rows = DiffVerdicts(before, after);
        }
        // Read from the files; named as the user gave them (a trace with its fetch).
        diff.oldPath = oldName;
        diff.newPath = newName;
        std::fputs(DiffText(diff).c_str(), stdout);
        std::fflush(stdout);
        if (json) {
            json->Stream() << DiffJson(diff);
            json->Commit();
        }
        if (html) {
            html->Stream() << DiffHtml(diff);
            html->Commit();
        }
        return ExitStatusOf(diff);
    } catch (const CaseError& e) {
        return CaseRefused(e);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "dcs-host diff: %s\n", e.what());
        return 2;
    }
}

}  // namespace host
