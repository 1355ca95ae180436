// The tag catalogue as the driver builds it, seen token by token: the
// driver's own parse runs with an observer installed, so the checker knows
// every entry the driver keeps (and in which order) and also where each
// token stood in the text, which the driver itself does not keep.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "text/code_page.h"

namespace host {

// One entry of the initialization string, kept by the driver or not.
struct CatalogueEntry {
    int32_t kind = 0;  // 1 AI ... 6 CALC
    std::string name;
    int32_t dataSet = 0;
    bool stored = false;       // false: the list was full (or memory ran out)
    size_t offset = 0;         // of the name in the text
    std::string dataSetToken;  // the data set as written
    size_t dataSetOffset = 0;
    bool hasDataSet = false;
};

// A section header that an entry cut short took as one of its fields.
struct SwallowedHeader {
    size_t entry = 0;    // index into entries
    int32_t header = 0;  // the section it would have opened
    int32_t field = 0;   // 0 the dropped field, 1 the data set, 2... the numbers
    size_t offset = 0;
};

struct HeaderToken {
    int32_t section = 0;
    size_t offset = 0;
};

struct CatalogueParse {
    std::string text;                     // the initialization string as the driver received it
    bool loaded = false;                  // false: the driver found it empty
    std::vector<CatalogueEntry> entries;  // in the order of the text
    std::vector<HeaderToken> headers;
    std::vector<size_t> strayTokens;  // offsets of tokens before the first header
    std::vector<std::string> strayTexts;
    std::vector<SwallowedHeader> swallowed;
    size_t endOffset = 0;  // where the empty token that ended the parse stood

    // 1-based line and byte column of an offset into the text.
    std::pair<int32_t, int32_t> Position(size_t offset) const;
    // The line of the text that holds an offset, without its line end.
    std::string LineAt(size_t offset) const;

private:
    mutable std::vector<size_t> lineStarts_;
};

// Runs the driver's catalogue load on the string the tag server holds, with
// an observer installed. The driver's lists are left as the load made them;
// the caller releases them (FreeTagCatalogue).
CatalogueParse ObserveCatalogueLoad();

// The same, with the lists released again.
CatalogueParse ParseCatalogue();

// Finds stored catalogue entries by data set and name, by name alone and by
// folded name (letter case, leading and trailing blanks and carriage
// returns ignored; letters folded as the simulator's code page spells them),
// each built once for the whole check.
class CatalogueIndex {
public:
    CatalogueIndex(const CatalogueParse& parse, const CodePage& codePage);

    // Entries with exactly this data set and name, in catalogue order.
    const std::vector<size_t>& Exact(int32_t dataSet, const std::string& name) const;
    // Entries with this name in any data set.
    const std::vector<size_t>& ByName(const std::string& name) const;
    // Entries whose folded name equals the text's folded name.
    const std::vector<size_t>& Folded(const std::string& name) const;
    const CatalogueEntry& Entry(size_t index) const { return parse_.entries[index]; }

    std::string Fold(const std::string& name) const;

private:
    const CatalogueParse& parse_;
    CodePage codePage_;
    std::unordered_map<std::string, std::vector<size_t>> exact_;  // key: data set, NUL, name
    std::unordered_map<std::string, std::vector<size_t>> byName_;
    std::unordered_map<std::string, std::vector<size_t>> folded_;
    std::vector<size_t> none_;
};

// "AI", "AO", "DI", "DO", "DCD", "CALC"; "" for anything else.
const char* KindName(int32_t kind);

}  // namespace host
