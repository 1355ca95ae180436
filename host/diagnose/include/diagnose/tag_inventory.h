// The catalogue as the driver builds it, entry by entry, for the tools that
// show it (tags), compare two of it (diff) and propose rows from it (map).
// The driver's own load runs with an observer installed; this keeps what a
// user needs to see of each entry (kind, name, data set, line) and how the
// entries relate: the same tag more than once in one list, in other lists,
// an entry the full list did not keep, an entry whose fields ran on.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "case/case_file.h"
#include "hostapi/dcs_link_data.h"
#include "text/code_page.h"

namespace host {

struct InventoryEntry {
    int32_t kind = 0;  // 1 AI ... 6 CALC
    int32_t dataSet = 0;
    std::string name;
    int32_t line = 0;         // of the name, 1-based
    int32_t fieldsLine = 0;   // of the entry's last field, when the fields ran past the name's line; else 0
    int32_t header = 0;       // a section header the entry took as one of its fields; else 0
    int32_t headerField = 0;  // which: 0 the dropped field, 1 the data set, 2... the numbers
    bool stored = true;       // false: the list was full, the driver did not keep it
    bool cutShort = false;    // the string ended before the entry had all its fields
    uint32_t group = 0;       // entries of one data set and name share it (only those the driver kept)
    uint32_t next = 0;        // the group's next entry, + 1; 0 for the last
};

// Entries of one data set and name that the driver kept, in string order:
// a chain through InventoryEntry::next, so a plant's string of 180,000 tags
// costs no allocation per tag.
struct InventoryGroup {
    uint32_t first = 0;
    uint32_t last = 0;
    uint32_t count = 0;
    uint32_t kinds = 0;  // bit `kind` set for each kind holding it
};

struct TagInventory {
    std::string path;     // the initialization string file
    bool loaded = false;  // false: the driver found the string empty
    // The code page the names' bytes are in, for showing them.
    CodePage codePage = *CodePage::Find(kDefaultCodePage);
    std::vector<InventoryEntry> entries;
    std::vector<InventoryGroup> groups;
    int32_t strayTokens = 0;  // tokens before the first header, dropped
    int32_t endLine = 0;      // where an empty token ended the parse before the end of the text; else 0

    const InventoryGroup& GroupOf(const InventoryEntry& entry) const { return groups[entry.group]; }
    // The entries of a group, in string order.
    std::vector<uint32_t> EntriesOf(const InventoryGroup& group) const;
    // The group of a data set and name; null when the driver kept no such tag.
    const InventoryGroup* Find(int32_t dataSet, const std::string& name) const;

    std::vector<uint64_t> index_;  // open addressing: upper half of the hash, group + 1; 0 a free slot
};

// Which kind each use of a name takes when the kinds in `kinds` (bit per
// kind, as KindBit sets them) hold it in a data set: 0 when the use takes
// none of them. Asked of the driver's own binding rules.
struct BindingWinners {
    int32_t controllerRead = 0;   // SP Tag, OP Tag: the last list wins
    int32_t controllerWrite = 0;  // SP Init, OP Init, Mode Tag
    int32_t pvExport = 0;         // the first list wins
    int32_t pvImport = 0;
};
BindingWinners WinnersOf(uint32_t kinds);

// Runs the driver's catalogue load on the string the simulated server holds
// and releases the lists again. The driver's boxes (a token before the first
// header) are recorded by the stand-in, not echoed.
TagInventory TakeInventory(const std::string& path);

// Reads the initialization string file (bounded, regular) into a fresh
// simulated server and takes its inventory. Throws std::runtime_error.
TagInventory InventoryOfFile(const std::string& path);

// For each entry, whether a row of the case data block names it: a tag
// column of a row (or a flag of the general data) whose text is the entry's
// name, in the row's data set. What kind the column takes plays no part.
std::vector<bool> NamedByRows(const TagInventory& inventory, const DCSLinkData& d);

// For each entry of the inventory, whether a row of the case names it, the
// rows taken as the driver holds them (its defaults filled in): the case as
// LoadCase gives it, its names in the bytes the inventory holds. Throws.
std::vector<bool> EntriesNamedByCase(const TagInventory& inventory, const Case& c, const std::string& driverPath);

// A note on an entry: why a user should look at it.
struct TagNote {
    std::string code;  // "duplicate", "other-lists", "list-full", "runs-on", "header-taken", "cut-short"
    std::string text;
};
std::vector<TagNote> NotesOf(const TagInventory& inventory, size_t entry);

// A name (bytes of the code page) with its blanks and control bytes made
// visible: quoted, its characters as the code page reads them, with \",
// \\, \r, \n, \t, and \xNN for the other control bytes and for a byte the
// page leaves undefined. Always valid UTF-8.
std::string VisibleName(const std::string& name, const CodePage& codePage);
void AppendVisibleName(std::string& out, const std::string& name, const CodePage& codePage);
// The same for a name already decoded into UTF-8 (\xNN for a byte that is
// not part of a character).
std::string VisibleText(const std::string& utf8);

}  // namespace host
