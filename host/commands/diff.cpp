#include <cstdio>
#include <iostream>
#include <memory>

#include "case/case_file.h"
#include "commands/catalogue_commands.h"
#include "commands/commands.h"
#include "commands/load_case.h"
#include "diagnose/catalogue_diff.h"
#include "diagnose/text_encoding.h"
#include "output/output_file.h"
#include "output/path_guard.h"
#include "report/diff_report.h"

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

}  // namespace

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
