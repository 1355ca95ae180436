#include <algorithm>
#include <cstdio>
#include <iostream>
#include <memory>

#include "case/case_file.h"
#include "commands/catalogue_commands.h"
#include "commands/load_case.h"
#include "commands/trace_command.h"
#include "diagnose/catalogue_parse.h"
#include "diagnose/tag_inventory.h"
#include "link/link.h"
#include "output/output_file.h"
#include "output/path_guard.h"
#include "report/tags_report.h"
#include "report/terminal_table.h"
#include "text/glob.h"
#include "text/tag_name.h"

namespace host {

namespace {

bool EndsWithToml(const std::string& path) {
    const std::string suffix = ".toml";
    if (path.size() <= suffix.size()) return false;
    for (size_t i = 0; i < suffix.size(); ++i) {
        const char c = path[path.size() - suffix.size() + i];
        if ((c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c) != suffix[i]) return false;
    }
    return true;
}

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

}  // namespace

std::vector<bool> EntriesNamedByCase(const TagInventory& inventory, const Case& c, const std::string& driver) {
    Driver loaded(driver);
    Link link(loaded);
    link.Load();
    link.Fill(c);
    std::vector<bool> named = NamedByRows(inventory, link.Data());
    link.Destroy();
    return named;
}

std::string InitStringOfSource(const std::string& source, std::optional<int64_t> fetch, std::string* name,
                               std::optional<int>* codePage) {
    if (codePage != nullptr) *codePage = CodePageOfSource(source);
    if (!EndsWithToml(source)) return InitStringFileOf(source, fetch, name);
    const Case c = LoadCase(source);
    if (name != nullptr) *name = c.initStringPath;
    return c.initStringPath;
}

std::optional<int> CodePageOfSource(const std::string& source) {
    if (!EndsWithToml(source)) return CodePageNamedByTrace(source);
    const Case c = ParseCaseFile(source);
    if (c.codePageLine == 0) return std::nullopt;
    return c.codePage;
}

CodePage NamesCodePage(std::optional<int> given, const std::vector<std::string>& sources) {
    std::optional<CodePage> codePage = given ? CodePage::Find(*given) : std::nullopt;
    for (const std::string& source : sources) {
        if (codePage || source.empty()) continue;
        const std::optional<int> number = CodePageOfSource(source);
        if (!number) continue;
        codePage = CodePage::Find(*number);
        if (!codePage) {
            throw CaseError(source + ": code page " + std::to_string(*number) +
                            " is not one dcs-host converts to; it has " + CodePage::Supported());
        }
    }
    return codePage.value_or(*CodePage::Find(kDefaultCodePage));
}

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
