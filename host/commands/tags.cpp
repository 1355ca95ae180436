#include <CLI/CLI.hpp>
#include <algorithm>
#include <cstdio>
#include <iostream>
#include <memory>

#include "case/case_file.h"
#include "case/load_case.h"
#include "commands/catalogue_commands.h"
#include "commands/command.h"
#include "diagnose/catalogue_parse.h"
#include "diagnose/tag_inventory.h"
#include "link/link.h"
#include "output/output_file.h"
#include "output/path_guard.h"
#include "report/tags_report.h"
#include "report/terminal_table.h"
#include "text/glob.h"
#include "text/tag_name.h"
#include "trace/string_sources.h"

namespace host {

namespace {

int32_t KindOfName(const std::string& name) {
    std::string upper;
    for (char c : name) upper += static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
    for (int32_t kind = 1; kind <= 6; ++kind) {
        if (upper == KindName(kind)) return kind;
    }
    throw std::runtime_error("--kind: expected AI, AO, DI, DO, DCD or CALC, not \"" + name + "\"");
}

// The entries the filters let through, in string order.
std::vector<uint32_t> Pick(const TagInventory& inventory, const TagsOptions& options, const std::vector<bool>& named) {
    uint32_t kinds = 0;
    for (const std::string& kind : options.kinds) kinds |= 1u << KindOfName(kind);
    std::vector<uint32_t> picked;
    for (size_t i = 0; i < inventory.entries.size(); ++i) {
        const InventoryEntry& e = inventory.entries[i];
        if (kinds != 0 && (kinds >> e.kind & 1u) == 0) continue;
        if (!options.dataSets.empty() &&
            std::find(options.dataSets.begin(), options.dataSets.end(), e.dataSet) == options.dataSets.end()) {
            continue;
        }
        if (!options.matches.empty() &&
            std::none_of(options.matches.begin(), options.matches.end(), [&](const std::string& glob) {
                return GlobMatchName(glob, TagName::OfBytes(e.name), inventory.codePage);
            })) {
            continue;
        }
        if (!named.empty() && named[i]) continue;
        picked.push_back(static_cast<uint32_t>(i));
    }
    return picked;
}

std::function<int()> DeclareTags(CLI::App& command) {
    auto options = std::make_shared<TagsOptions>();
    AddSourceArgument(command, options->source);
    AddFetchOption(command, "--fetch", options->fetch,
                   "of a trace: which fetch of the string, from 1 (default: the last)");
    command.add_option("--kind", options->kinds, "only tags of this kind: AI, AO, DI, DO, DCD, CALC (repeatable)");
    command.add_option("--data-set", options->dataSets, "only tags of this data set (repeatable)");
    command.add_option("--match", options->matches, "only tags whose names match this glob (repeatable)");
    command.add_option("--unused", options->unusedCase, "only the tags no row of this case names");
    command.add_option("--json", options->jsonPath, "write the listing to this JSON file");
    command.add_option("--csv", options->csvPath, "write the listing to this CSV file");
    AddCodePageOption(command, options->codePage, NamesCodePageHelp() + "; --match matches in it too");
    AddDriverOption(command, options->driverPath, "the driver library to load for --unused");
    return [options] { return TagsCommand(*options); };
}

}  // namespace

const Command kTagsCommand = {
    "tags",
    "list the tag catalogue as the driver parses it, with notes on duplicates and broken entries",
    "exit status: 0 listed, 2 the source or an output cannot be used",
    DeclareTags,
};

int TagsCommand(const TagsOptions& options) {
    try {
        for (const std::string& kind : options.kinds) KindOfName(kind);
        std::string name;
        const std::string path = InitStringOfSource(options.source, options.fetch, &name);
        std::vector<PathUse> inputs = {{"the initialization string file", options.source}};
        if (!options.unusedCase.empty()) inputs.push_back({"the case file", options.unusedCase});
        std::vector<PathUse> outputs;
        if (!options.jsonPath.empty()) outputs.push_back({"--json", options.jsonPath});
        if (!options.csvPath.empty()) outputs.push_back({"--csv", options.csvPath});
        RefuseOverlappingPaths(inputs, outputs);
        std::unique_ptr<OutputFile> json;
        std::unique_ptr<OutputFile> csv;
        if (!options.jsonPath.empty()) json = std::make_unique<OutputFile>(options.jsonPath);
        if (!options.csvPath.empty()) csv = std::make_unique<OutputFile>(options.csvPath);

        TagInventory inventory = InventoryOfFile(path);
        inventory.path = name;
        inventory.codePage = NamesCodePage(options.codePage, {options.unusedCase, options.source});
        std::vector<bool> named;
        if (!options.unusedCase.empty()) {
            // A case that names no code page has its texts in the one its
            // string's trace names, as a run against that string would.
            named = EntriesNamedByCase(inventory,
                                       LoadCase(options.unusedCase, std::nullopt, CodePageOfSource(options.source)),
                                       options.driverPath);
        }
        TagListing listing;
        listing.inventory = &inventory;
        listing.picked = Pick(inventory, options, named);
        listing.unusedBy = options.unusedCase;
        WriteTagsText(std::cout, listing);
        std::cout.flush();
        if (json) {
            WriteTagsJson(json->Stream(), listing);
            json->Commit();
        }
        if (csv) {
            WriteTagsCsv(csv->Stream(), listing);
            csv->Commit();
        }
        return 0;
    } catch (const CaseError& e) {
        return CaseRefused(e);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "dcs-host tags: %s\n", e.what());
        return 2;
    }
}

}  // namespace host
