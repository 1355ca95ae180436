// The commands that work on the tag catalogue and on IO lists: list it
// (tags), compare two strings against a case (diff), propose rows from
// naming conventions (map) and write a case's rows as IO lists (export).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "case/case_model.h"
#include "case/io_list_writer.h"
#include "diagnose/tag_inventory.h"
#include "output/path_guard.h"

namespace host {

struct TagsOptions {
    std::string source;            // an initialization string file, a trace, or a case (.toml) whose string is used
    std::optional<int64_t> fetch;  // of a trace: which fetch of the string (none: the last)
    std::vector<std::string> kinds;
    std::vector<int32_t> dataSets;
    std::vector<std::string> matches;  // globs on the names
    std::string unusedCase;            // list only the tags no row of this case names
    std::string jsonPath;
    std::string csvPath;
    std::string driverPath;
    std::optional<int> codePage;  // the names' code page (else the case's, else 1252)
};

struct DiffOptions {
    std::string oldSource;
    std::string newSource;
    std::optional<int64_t> oldFetch;  // of a trace given as OLD or NEW: which fetch (none: the last)
    std::optional<int64_t> newFetch;
    std::string casePath;  // empty: the catalogues only
    std::string jsonPath;
    std::string htmlPath;
    std::string driverPath;
    std::optional<int> codePage;  // the names' code page (else the case's, else 1252)
};

struct MapOptions {
    std::string source;
    std::optional<int64_t> fetch;
    std::string outDir;
    std::string conventionsPath;  // empty: the conventions dcs-host ships with
    std::string casePath;         // propose only what this case does not have yet
    std::string driverPath;
    std::optional<int> codePage;  // the string's; none: the case's (--case or SOURCE), else 1252
};

struct ExportOptions {
    std::string casePath;
    std::string outDir;
    char separator = ',';
    char decimalMark = '.';
    bool bom = true;
    std::string driverPath;
};

// Exit statuses: 2 for an input or output that cannot be used; otherwise
// tags, map and export 0; diff 0 when nothing changed that matters (to the
// case, when one is given), 1 when something did.
int TagsCommand(const TagsOptions& options);
int DiffCommand(const DiffOptions& options);
int MapCommand(const MapOptions& options);
int ExportCommand(const ExportOptions& options);

// The conventions map uses unless told otherwise: examples/map/conventions.txt.
const char* DefaultConventions();

}  // namespace host
