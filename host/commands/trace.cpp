#include <CLI/CLI.hpp>
#include <algorithm>
#include <cstdio>
#include <iostream>
#include <memory>

#include "commands/command.h"
#include "commands/trace_command.h"
#include "diagnose/catalogue_parse.h"
#include "diagnose/lint.h"
#include "diagnose/trace_digest.h"
#include "link/session.h"
#include "output/output_file.h"
#include "output/path_guard.h"
#include "report/trace_report.h"

namespace host {

namespace {

// The driver's own parse of a fetched string, and the check's lint of it,
// on the simulated server holding exactly what the live one sent.
void AnalyseFetch(const std::string& text, int64_t length, FetchDigest& f) {
    ServeInitString(text, length);
    const CatalogueParse parse = [] {
        const QuietStandins quiet(QuietStandins::ErrorMsg::Echoed);
        return ParseCatalogue();
    }();
    f.loaded = parse.loaded;
    for (const CatalogueEntry& e : parse.entries) {
        if (e.stored && e.kind >= 1 && e.kind <= 6) ++f.entries[static_cast<size_t>(e.kind)];
    }
    f.entries[0] = static_cast<int64_t>(parse.strayTokens.size());
    if (parse.loaded) f.lint = LintInitString(parse);
    ResetServer();
}

std::function<int()> DeclareTrace(CLI::App& command) {
    auto options = std::make_shared<TraceOptions>();
    command.add_option("FILE", options->tracePath, "the trace (JSON Lines)")->required();
    command.add_option("--json", options->jsonPath, "write the summary to this JSON file");
    command.add_option("--html", options->htmlPath, "write a self-contained HTML page to this file");
    command.add_flag("--follow", options->follow,
                     "keep a one-screen view of FILE (or the newest trace in the folder FILE) up to date while "
                     "the plant runs, until Ctrl-C; with --html a page that reloads itself");
    command.add_option("--problems-csv", options->problemsCsvPath,
                       "write the failures by tag, data set, operation and status to this CSV file");
    command.add_option("--tags", options->tags, "chart the values of the tags matching this glob (repeatable)")
        ->expected(1)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    AddCodePageOption(command, options->codePage,
                      "the code page the trace's tag names and string are in, over the one its header names (a "
                      "trace of format 1 or 2 names none: 1252 is taken); one of " +
                          CodePage::Supported());
    command.add_option("--init-string", options->initStringPath,
                       "write the initialization string of the last fetch (or --fetch N), byte for byte");
    AddFetchOption(command, "--fetch", options->fetch, "which fetch --init-string writes, from 1");
    return [options] {
        try {
            return options->follow ? FollowTrace(*options) : TraceCommand(*options);
        } catch (const std::exception& e) {
            std::fprintf(stderr, "dcs-host: %s\n", e.what());
            return 2;
        }
    };
}

}  // namespace

const Command kTraceCommand = {
    "trace",
    "sum up a trace of the Marlix client: fetches, calls, failures, durations, link events",
    "exit status: 0 no call failed and the file is as the tracer writes it, 1 calls failed or records were left "
    "out or disagree with the tracer's summaries, 2 the trace cannot be read or an output written",
    DeclareTrace,
};

int TraceCommand(const TraceOptions& options) {
    std::vector<PathUse> outputs;
    if (!options.jsonPath.empty()) outputs.push_back({"--json", options.jsonPath});
    if (!options.htmlPath.empty()) outputs.push_back({"--html", options.htmlPath});
    if (!options.problemsCsvPath.empty()) outputs.push_back({"--problems-csv", options.problemsCsvPath});
    if (!options.initStringPath.empty()) outputs.push_back({"--init-string", options.initStringPath});
    RefuseOverlappingPaths({{"the trace", options.tracePath}}, outputs);
    std::unique_ptr<OutputFile> json, html, initString, problems;
    if (!options.jsonPath.empty()) json = std::make_unique<OutputFile>(options.jsonPath);
    if (!options.htmlPath.empty()) html = std::make_unique<OutputFile>(options.htmlPath);
    if (!options.problemsCsvPath.empty()) problems = std::make_unique<OutputFile>(options.problemsCsvPath);
    if (!options.initStringPath.empty()) initString = std::make_unique<OutputFile>(options.initStringPath);

    DigestOptions digestOptions;
    digestOptions.analyse = AnalyseFetch;
    digestOptions.tagGlobs = options.tags;
    digestOptions.codePage = options.codePage;
    digestOptions.keepFetch = options.fetch;
    std::string kept;
    int64_t keptNumber = 0;
    if (initString) {
        digestOptions.keptText = &kept;
        digestOptions.keptNumber = &keptNumber;
    }
    const TraceDigest digest = DigestTrace(options.tracePath, digestOptions);
    std::cout << TraceText(digest) << std::flush;

    if (json) {
        json->Stream() << TraceJson(digest);
        json->Commit();
    }
    if (html) WriteTracePage(*html, digest);
    if (problems) {
        problems->Stream() << TraceProblemsCsv(digest);
        problems->Commit();
    }
    if (initString) {
        if (keptNumber == 0) {
            std::fprintf(stderr, "dcs-host: %s holds %s; --init-string writes nothing\n", options.tracePath.c_str(),
                         options.fetch ? ("no fetch " + std::to_string(*options.fetch) +
                                          " of the initialization "
                                          "string (it holds " +
                                          std::to_string(digest.fetches.size()) + ")")
                                             .c_str()
                                       : "no fetch of the initialization string");
            return 2;
        }
        initString->Stream().write(kept.data(), static_cast<std::streamsize>(kept.size()));
        initString->Commit();
        std::cout << "wrote fetch " << keptNumber << " of the initialization string (" << kept.size() << " bytes) to "
                  << options.initStringPath << "\n";
    }
    return digest.failures > 0 || digest.inconsistent ? 1 : 0;
}

}  // namespace host
