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

// Files a command writes together: refused when one names an input or
// another, then all opened (which proves every folder writable) before any
// is committed, so a failure leaves none of them half written.
struct OutputText {
    std::string path;
    std::string text;
    std::string what;  // for the messages: "controllers", "the case", ...
};
void WriteAllOrNone(const std::vector<OutputText>& files, const std::vector<PathUse>& inputs);

// The IO lists of the case's rows, as files in `dir`: one a table that has
// rows, its name set in `names`. The rows' texts are taken in the case's
// code page and written as UTF-8. Throws ListError.
std::vector<OutputText> IoListFiles(const Case& c, const std::string& dir, const ListFormat& format, ListNames& names);

// `path` as a file in `dir` should name it: relative when the two share a
// folder below the root, absolute otherwise.
std::string PathFrom(const std::string& dir, const std::string& path);

// For each entry of the inventory, whether a row of the case names it, the
// rows taken as the driver holds them (its defaults filled in): the case as
// LoadCase gives it, its names in the bytes the inventory holds. Throws.
std::vector<bool> EntriesNamedByCase(const TagInventory& inventory, const Case& c, const std::string& driverPath);

// The conventions map uses unless told otherwise: examples/map/conventions.txt.
const char* DefaultConventions();

// The initialization string file of a SOURCE argument: the file itself, for
// a trace of the Marlix client its fetch `fetch` (the last when none), or
// for a case file (named *.toml) the string the case names. `name` says
// which, for the reports; `codePage`, the code page the SOURCE names (see
// CodePageOfSource). Throws CaseError, TraceError or runtime_error.
std::string InitStringOfSource(const std::string& source, std::optional<int64_t> fetch = std::nullopt,
                               std::string* name = nullptr, std::optional<int>* codePage = nullptr);

// The code page a SOURCE's names are bytes of, when it names one: a case's
// code_page, the one a trace's header names; none for a case that names
// none or a plain initialization string file. Throws CaseError for a case
// that cannot be read.
std::optional<int> CodePageOfSource(const std::string& source);

// The code page a string's names are shown and matched in: the one given
// (--code-page), else the first one of `sources` names (cases and traces;
// empty paths are skipped), else 1252. Throws CaseError for a case that
// cannot be read or names a code page dcs-host has not.
CodePage NamesCodePage(std::optional<int> given, const std::vector<std::string>& sources);

}  // namespace host
