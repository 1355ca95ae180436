#include "diagnose/tag_inventory.h"

#include <cstring>
#include <stdexcept>
#include <string_view>
#include <unordered_map>

#include "binding.h"
#include "case/input_file.h"
#include "catalogue.h"
#include "diagnose/catalogue_parse.h"
#include "iface_control.h"
#include "mrx3p_control.h"
#include "user32_control.h"

namespace host {

namespace {

// Collects one load. The driver writes terminators into its buffer as it
// parses, over the line feeds that end tokens, so lines are counted in a
// copy of the text taken before the parse starts. Tokens come in text
// order, so one forward count serves the whole load.
struct Collector {
    TagInventory* inventory = nullptr;
    const char* base = nullptr;
    std::string original;
    size_t countedTo = 0;
    int32_t line = 1;
    bool inEntry = false;
    int32_t nameEndLine = 0;

    size_t OffsetOf(const char* token) const { return static_cast<size_t>(token - base); }

    int32_t LineAt(size_t offset) {
        if (offset < countedTo) return line;  // cannot happen: tokens come in order
        const char* text = original.data();
        while (countedTo < offset) {
            const void* feed = std::memchr(text + countedTo, '\n', offset - countedTo);
            if (feed == nullptr) {
                countedTo = offset;
                break;
            }
            ++line;
            countedTo = static_cast<size_t>(static_cast<const char*>(feed) - text) + 1;
        }
        return line;
    }

    void On(const CatalogueEvent& event) {
        switch (event.Kind) {
        case CATALOGUE_EVENT_BEGIN:
            base = event.Token;
            original.assign(event.Token);
            break;
        case CATALOGUE_EVENT_STRAY: ++inventory->strayTokens; break;
        case CATALOGUE_EVENT_ENTRY: {
            InventoryEntry entry;
            entry.kind = event.Section;
            entry.name = event.Token;
            entry.stored = event.Stored == 1;
            const size_t offset = OffsetOf(event.Token);
            entry.line = LineAt(offset);
            nameEndLine = LineAt(offset + entry.name.size());
            inventory->entries.push_back(std::move(entry));
            inEntry = true;
            break;
        }
        case CATALOGUE_EVENT_FIELD: OnField(event); break;
        case CATALOGUE_EVENT_END:
            if (OffsetOf(event.Token) < original.size()) inventory->endLine = LineAt(OffsetOf(event.Token));
            break;
        default: inEntry = false; break;
        }
    }

    void OnField(const CatalogueEvent& event) {
        if (!inEntry || inventory->entries.empty()) return;
        InventoryEntry& entry = inventory->entries.back();
        if (event.Field == 1) entry.dataSet = event.DataSet;
        const size_t offset = OffsetOf(event.Token);
        if (event.Token[0] == '\0' && offset >= original.size()) {
            entry.cutShort = true;
            return;
        }
        const int32_t at = LineAt(offset);
        if (at > nameEndLine) entry.fieldsLine = at;
        if (event.Header != 0 && entry.header == 0) {
            entry.header = event.Header;
            entry.headerField = event.Field;
        }
    }
};

void OnEvent(void* context, const CatalogueEvent* event) { static_cast<Collector*>(context)->On(*event); }

struct Key {
    std::string_view name;
    int32_t dataSet;
    bool operator==(const Key& other) const { return dataSet == other.dataSet && name == other.name; }
};

struct KeyHash {
    size_t operator()(const Key& key) const {
        return std::hash<std::string_view>()(key.name) ^
               (static_cast<size_t>(static_cast<uint32_t>(key.dataSet)) * 0x9E3779B97F4A7C15ull);
    }
};

void Group(TagInventory& inventory) {
    std::unordered_map<Key, uint32_t, KeyHash> groups;
    groups.reserve(inventory.entries.size());
    for (size_t i = 0; i < inventory.entries.size(); ++i) {
        InventoryEntry& entry = inventory.entries[i];
        if (!entry.stored) continue;
        const auto found =
            groups.emplace(Key{entry.name, entry.dataSet}, static_cast<uint32_t>(inventory.groups.size()));
        if (found.second) inventory.groups.emplace_back();
        entry.group = found.first->second;
        InventoryGroup& group = inventory.groups[entry.group];
        group.entries.push_back(static_cast<uint32_t>(i));
        group.kinds |= 1u << entry.kind;
    }
}

bool Holds(uint32_t kinds, int32_t kind) { return (kinds >> kind & 1u) != 0; }

std::string Line(int32_t line) { return "line " + std::to_string(line); }

// "AI line 3, CALC line 40" for the entries of a group, leaving one out.
std::string Where(const TagInventory& inventory, const InventoryGroup& group, size_t except, bool sameKind) {
    const int32_t kind = inventory.entries[except].kind;
    std::string where;
    for (uint32_t other : group.entries) {
        const InventoryEntry& e = inventory.entries[other];
        if (other == except || (e.kind == kind) != sameKind) continue;
        where += (where.empty() ? "" : ", ") + (sameKind ? std::string() : std::string(KindName(e.kind)) + " ") +
                 Line(e.line);
    }
    return where;
}

std::string KindOrNothing(int32_t kind) { return kind != 0 ? KindName(kind) : "nothing"; }

}  // namespace

BindingWinners WinnersOf(uint32_t kinds) {
    BindingWinners winners;
    // Controller binding overwrites: the last list in its order that holds
    // the name and may bind the column wins.
    for (int32_t kind : kControllerListOrder) {
        if (!Holds(kinds, kind)) continue;
        if (ListBindsColumn(kind, CTRL_COL_SP)) winners.controllerRead = kind;
        if (ListBindsColumn(kind, CTRL_COL_SP_INIT)) winners.controllerWrite = kind;
    }
    for (int32_t kind : kPVExportKinds) {
        if (Holds(kinds, kind)) {
            winners.pvExport = kind;
            break;
        }
    }
    for (int32_t kind : kPVImportKinds) {
        if (Holds(kinds, kind)) {
            winners.pvImport = kind;
            break;
        }
    }
    return winners;
}

bool KindServes(RowUse use, int32_t column, int32_t kind) {
    switch (use) {
    case RowUse::Controller: return ListBindsColumn(kind, column);
    case RowUse::PVExport:
        for (int32_t k : kPVExportKinds) {
            if (k == kind) return true;
        }
        return false;
    case RowUse::PVImport:
        for (int32_t k : kPVImportKinds) {
            if (k == kind) return true;
        }
        return false;
    }
    return false;
}

TagInventory TakeInventory(const std::string& path) {
    TagInventory inventory;
    inventory.path = path;
    Collector collector;
    collector.inventory = &inventory;
    CatalogueObserver observer = {OnEvent, &collector};
    TagCatalogueObserver = &observer;
    inventory.loaded = LoadTagCatalogue() == 1;
    TagCatalogueObserver = nullptr;
    FreeTagCatalogue();
    Group(inventory);
    return inventory;
}

TagInventory InventoryOfFile(const std::string& path) {
    const std::string text = ReadInputFile(path, "the initialization string file");
    MrxStandin_Reset();
    IFaceStandin_Reset();
    User32Standin_Reset();
    MrxStandin_SetLogging(0);
    // The string is handed over whole, as the check hands it: bytes after a
    // NUL included.
    if (MrxStandin_SetInitStringFromFile(path.c_str()) != 0) {
        throw std::runtime_error("cannot read the initialization string file \"" + path + "\"");
    }
    User32Standin_SetEcho(0);
    IFaceStandin_SetEcho(0);
    TagInventory inventory = TakeInventory(path);
    User32Standin_SetEcho(1);
    IFaceStandin_SetEcho(1);
    return inventory;
}

std::vector<bool> NamedByRows(const TagInventory& inventory, const DCSLinkData& d) {
    std::unordered_map<Key, uint32_t, KeyHash> groups;
    groups.reserve(inventory.groups.size());
    for (const InventoryGroup& group : inventory.groups) {
        const InventoryEntry& e = inventory.entries[group.entries.front()];
        groups.emplace(Key{e.name, e.dataSet}, static_cast<uint32_t>(&group - inventory.groups.data()));
    }
    std::vector<bool> named(inventory.entries.size(), false);
    auto mark = [&](int32_t dataSet, const char* text) {
        if (!HasText(text)) return;
        const auto found = groups.find(Key{text, dataSet});
        if (found == groups.end()) return;
        for (uint32_t entry : inventory.groups[found->second].entries) named[entry] = true;
    };
    if (d.GenData != nullptr) {
        mark(GetGenDataInt(&d, GEN_DATA_SET), GetGenDataText(&d, GEN_ENABLED_FLAG));
        mark(GetGenDataInt(&d, GEN_DATA_SET), GetGenDataText(&d, GEN_RUNNING_FLAG));
    }
    for (int32_t row = 0; row < d.CtrlCnt; ++row) {
        for (int32_t column = CTRL_COL_SP; column <= CTRL_COL_MODE; ++column) {
            mark(GetCtrlDataInt(&d, row, CTRL_COL_DATA_SET), GetCtrlDataText(&d, row, column));
        }
    }
    for (int32_t row = 0; row < d.PVCnt; ++row) {
        mark(GetPVDataInt(&d, row, PV_COL_DATA_SET), GetPVDataText(&d, row, PV_COL_TAG));
    }
    for (int32_t row = 0; row < d.PVImportCnt; ++row) {
        mark(GetPVImportDataInt(&d, row, PV_COL_DATA_SET), GetPVImportDataText(&d, row, PV_COL_TAG));
    }
    return named;
}

std::vector<TagNote> NotesOf(const TagInventory& inventory, size_t index) {
    std::vector<TagNote> notes;
    const InventoryEntry& entry = inventory.entries[index];
    if (!entry.stored) {
        notes.push_back({"list-full", std::string("beyond the full ") + KindName(entry.kind) + " list (" +
                                          std::to_string(kTagListCapacity) +
                                          " tags): the driver does not keep it, so nothing binds to it"});
    } else {
        const InventoryGroup& group = inventory.GroupOf(entry);
        const std::string same = Where(inventory, group, index, true);
        if (!same.empty()) {
            notes.push_back({"duplicate", std::string("also in the ") + KindName(entry.kind) + " list on " + same});
        }
        const std::string other = Where(inventory, group, index, false);
        if (!other.empty()) {
            const BindingWinners w = WinnersOf(group.kinds);
            notes.push_back(
                {"other-lists", "also as " + other + " in data set " + std::to_string(entry.dataSet) +
                                    "; a controller's SP or OP Tag takes " + KindOrNothing(w.controllerRead) +
                                    ", its SP Init, OP Init or Mode Tag " + KindOrNothing(w.controllerWrite) +
                                    " (the last list wins); a PV export takes " + KindOrNothing(w.pvExport) +
                                    ", a PV import " + KindOrNothing(w.pvImport) + " (the first list wins)"});
        }
    }
    if (entry.header != 0) {
        const char* field = entry.headerField == 0   ? "its second field"
                            : entry.headerField == 1 ? "its data set"
                                                     : "one of its numbers";
        notes.push_back({"header-taken", std::string("cut short: takes the header *") + KindName(entry.header) +
                                             "* as " + field + ", so that section does not start there"});
    } else if (entry.fieldsLine != 0) {
        notes.push_back({"runs-on", "its fields run on to " + Line(entry.fieldsLine) +
                                        ": the entry takes tokens of the next line as its missing fields"});
    }
    if (entry.cutShort) {
        notes.push_back({"cut-short",
                         "the string ends before the entry has all its fields: the missing ones read "
                         "as 0"});
    }
    return notes;
}

std::string VisibleName(const std::string& name) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out = "\"";
    for (char ch : name) {
        const auto c = static_cast<unsigned char>(ch);
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\r': out += "\\r"; break;
        case '\n': out += "\\n"; break;
        case '\t': out += "\\t"; break;
        default:
            if (c < 0x20 || c >= 0x7F) {
                out += "\\x";
                out += kHex[c >> 4];
                out += kHex[c & 15];
            } else {
                out += ch;
            }
        }
    }
    return out + "\"";
}

}  // namespace host
