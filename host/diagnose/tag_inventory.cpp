#include "diagnose/tag_inventory.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "binding.h"
#include "binding_rules.h"
#include "case/input_file.h"
#include "catalogue.h"
#include "diagnose/catalogue_parse.h"
#include "link/link.h"
#include "link/session.h"

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
    size_t lastField = 0;  // offset of the entry's last field so far; 0 none

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
        if (event.Kind != CATALOGUE_EVENT_FIELD) CloseEntry();
        switch (event.Kind) {
        case CATALOGUE_EVENT_BEGIN:
            base = event.Token;
            original.assign(event.Token);
            // About one entry a line: room for them all up front, so the
            // list is not moved as it grows.
            inventory->entries.reserve(static_cast<size_t>(std::count(original.begin(), original.end(), '\n')) + 16);
            break;
        case CATALOGUE_EVENT_STRAY: ++inventory->strayTokens; break;
        case CATALOGUE_EVENT_ENTRY: {
            InventoryEntry entry;
            entry.kind = event.Section;
            entry.name = event.Token;
            entry.stored = event.Stored == 1;
            const size_t offset = OffsetOf(event.Token);
            entry.line = LineAt(offset);
            // A quoted name may hold line feeds of its own.
            nameEndLine = entry.line;
            for (char c : entry.name) nameEndLine += c == '\n' ? 1 : 0;
            inventory->entries.push_back(std::move(entry));
            inEntry = true;
            break;
        }
        case CATALOGUE_EVENT_FIELD: OnField(event); break;
        case CATALOGUE_EVENT_END:
            if (OffsetOf(event.Token) < original.size()) inventory->endLine = LineAt(OffsetOf(event.Token));
            break;
        default: break;
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
        lastField = offset;
        if (event.Header != 0 && entry.header == 0) {
            entry.header = event.Header;
            entry.headerField = event.Field;
        }
    }

    // The line of the entry's last field, once the entry is complete: one
    // count per entry rather than one per field.
    void CloseEntry() {
        if (!inEntry || inventory->entries.empty()) return;
        inEntry = false;
        if (lastField == 0) return;
        const int32_t at = LineAt(lastField);
        if (at > nameEndLine) inventory->entries.back().fieldsLine = at;
        lastField = 0;
    }
};

void OnEvent(void* context, const CatalogueEvent* event) { static_cast<Collector*>(context)->On(*event); }

uint64_t HashOf(int32_t dataSet, const char* name, size_t length) {
    // FNV-1a over the data set and the name.
    uint64_t h = 1469598103934665603ull;
    for (int shift = 0; shift < 32; shift += 8)
        h = (h ^ ((static_cast<uint32_t>(dataSet) >> shift) & 0xFF)) * 1099511628211ull;
    for (size_t i = 0; i < length; ++i) h = (h ^ static_cast<unsigned char>(name[i])) * 1099511628211ull;
    h ^= h >> 33;
    h *= 0xff51afd7ed558ccdull;
    h ^= h >> 33;
    return h;
}

void Group(TagInventory& inventory) {
    size_t slots = 16;
    while (slots < inventory.entries.size() * 2) slots *= 2;
    inventory.index_.assign(slots, 0);
    const size_t mask = slots - 1;
    inventory.groups.reserve(inventory.entries.size());
    // The hashes first, so each slot can be fetched ahead of its turn: the
    // table is far larger than the caches, and waiting for every slot in
    // turn would cost more than the rest of the grouping together.
    std::vector<uint64_t> hashes(inventory.entries.size());
    for (size_t i = 0; i < hashes.size(); ++i) {
        const InventoryEntry& e = inventory.entries[i];
        hashes[i] = HashOf(e.dataSet, e.name.data(), e.name.size());
    }
    constexpr size_t kAhead = 16;
    for (uint32_t i = 0; i < inventory.entries.size(); ++i) {
#if defined(__GNUC__)
        if (i + kAhead < hashes.size())
            __builtin_prefetch(&inventory.index_[static_cast<size_t>(hashes[i + kAhead]) & mask]);
#endif
        InventoryEntry& entry = inventory.entries[i];
        if (!entry.stored) continue;
        const uint64_t hash = hashes[i];
        const uint64_t tag = hash & ~0xFFFFFFFFull;
        for (size_t slot = static_cast<size_t>(hash) & mask;; slot = (slot + 1) & mask) {
            const uint64_t held = inventory.index_[slot];
            if (held == 0) {
                inventory.index_[slot] = tag | (inventory.groups.size() + 1);
                InventoryGroup group;
                group.first = group.last = i;
                inventory.groups.push_back(group);
                entry.group = static_cast<uint32_t>(inventory.groups.size()) - 1;
                break;
            }
            // The hash's upper half is kept beside the group, so a probe
            // reads an entry only when that half matches too.
            if ((held & ~0xFFFFFFFFull) != tag) continue;
            const auto g = static_cast<uint32_t>(held & 0xFFFFFFFFull) - 1;
            const InventoryEntry& other = inventory.entries[inventory.groups[g].first];
            if (other.dataSet == entry.dataSet && other.name == entry.name) {
                InventoryGroup& group = inventory.groups[g];
                inventory.entries[group.last].next = i + 1;
                group.last = i;
                entry.group = g;
                break;
            }
        }
        InventoryGroup& group = inventory.groups[entry.group];
        ++group.count;
        group.kinds |= 1u << entry.kind;
    }
}

std::string Line(int32_t line) { return "line " + std::to_string(line); }

// "AI line 3, CALC line 40" for the entries of a group, leaving one out.
std::string Where(const TagInventory& inventory, const InventoryGroup& group, size_t except, bool sameKind) {
    // A generated string can repeat a name a thousand times: a note names
    // the first few places and counts the rest, as a box would.
    constexpr size_t kPlacesNamed = 10;
    const int32_t kind = inventory.entries[except].kind;
    std::string where;
    size_t places = 0;
    for (uint32_t other : inventory.EntriesOf(group)) {
        const InventoryEntry& e = inventory.entries[other];
        if (other == except || (e.kind == kind) != sameKind) continue;
        if (places++ >= kPlacesNamed) continue;
        where += (where.empty() ? "" : ", ") + (sameKind ? std::string() : std::string(KindName(e.kind)) + " ") +
                 Line(e.line);
    }
    if (places > kPlacesNamed) where += " and " + std::to_string(places - kPlacesNamed) + " more places";
    return where;
}

std::string KindOrNothing(int32_t kind) { return kind != 0 ? KindName(kind) : "nothing"; }

}  // namespace

BindingWinners WinnersOf(uint32_t kinds) {
    BindingWinners winners;
    winners.controllerRead = BoundKind(TagColumnRuleOf(TAG_TABLE_CTRL, CTRL_COL_SP), kinds, false);
    winners.controllerWrite = BoundKind(TagColumnRuleOf(TAG_TABLE_CTRL, CTRL_COL_SP_INIT), kinds, false);
    winners.pvExport = BoundKind(TagColumnRuleOf(TAG_TABLE_PV_EXPORT, PV_COL_TAG), kinds, false);
    winners.pvImport = BoundKind(TagColumnRuleOf(TAG_TABLE_PV_IMPORT, PV_COL_TAG), kinds, false);
    return winners;
}

TagInventory TakeInventory(const std::string& path) {
    TagInventory inventory;
    inventory.path = path;
    Collector collector;
    collector.inventory = &inventory;
    const CatalogueObserver observer = {OnEvent, &collector};
    inventory.loaded = LoadTagCatalogue(&observer) == 1;
    FreeTagCatalogue();
    Group(inventory);
    return inventory;
}

TagInventory InventoryOfFile(const std::string& path) {
    const std::string text = ReadInputFile(path, "the initialization string file");
    ServeInitStringFile(path);
    const QuietStandins quiet(QuietStandins::ErrorMsg::Quiet);
    return TakeInventory(path);
}

std::vector<uint32_t> TagInventory::EntriesOf(const InventoryGroup& group) const {
    std::vector<uint32_t> out;
    out.reserve(group.count);
    for (uint32_t at = group.first + 1; at != 0; at = entries[at - 1].next) out.push_back(at - 1);
    return out;
}

const InventoryGroup* TagInventory::Find(int32_t dataSet, const std::string& name) const {
    if (index_.empty()) return nullptr;
    const size_t mask = index_.size() - 1;
    const uint64_t hash = HashOf(dataSet, name.data(), name.size());
    const uint64_t tag = hash & ~0xFFFFFFFFull;
    for (size_t slot = static_cast<size_t>(hash) & mask;; slot = (slot + 1) & mask) {
        const uint64_t held = index_[slot];
        if (held == 0) return nullptr;
        if ((held & ~0xFFFFFFFFull) != tag) continue;
        const InventoryGroup& group = groups[static_cast<uint32_t>(held & 0xFFFFFFFFull) - 1];
        const InventoryEntry& e = entries[group.first];
        if (e.dataSet == dataSet && e.name == name) return &group;
    }
}

std::vector<bool> NamedByRows(const TagInventory& inventory, const DCSLinkData& d) {
    std::vector<bool> named(inventory.entries.size(), false);
    auto mark = [&](int32_t dataSet, const char* text) {
        if (!HasText(text)) return;
        const InventoryGroup* group = inventory.Find(dataSet, text);
        if (group == nullptr) return;
        for (uint32_t entry : inventory.EntriesOf(*group)) named[entry] = true;
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
    // Most entries have nothing to say; tell that without building anything.
    if (entry.stored && inventory.GroupOf(entry).count == 1 && entry.header == 0 && entry.fieldsLine == 0 &&
        !entry.cutShort) {
        return notes;
    }
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

namespace {

void AppendEscaped(std::string& out, unsigned char c) {
    static const char kHex[] = "0123456789ABCDEF";
    switch (c) {
    case '"': out += "\\\""; break;
    case '\\': out += "\\\\"; break;
    case '\r': out += "\\r"; break;
    case '\n': out += "\\n"; break;
    case '\t': out += "\\t"; break;
    default:
        out += "\\x";
        out += kHex[c >> 4];
        out += kHex[c & 15];
    }
}

bool NeedsEscape(unsigned char c) { return c < 0x20 || c == 0x7F || c == '"' || c == '\\'; }

}  // namespace

std::string VisibleName(const std::string& name, const CodePage& codePage) {
    std::string out;
    out.reserve(name.size() + 2);
    AppendVisibleName(out, name, codePage);
    return out;
}

void AppendVisibleName(std::string& out, const std::string& name, const CodePage& codePage) {
    out += '"';
    std::string one(1, ' ');
    for (char ch : name) {
        const auto c = static_cast<unsigned char>(ch);
        if (NeedsEscape(c)) {
            AppendEscaped(out, c);
        } else if (c < 0x80) {
            out += ch;
        } else {
            one[0] = ch;
            const std::string text = codePage.Decode(one);
            size_t length = 0;
            const char32_t shown = NextCharacter(text, 0, &length);
            // Undefined in the page (U+FFFD), a C1 control passed through, or a
            // no-break space, which looks like a blank but is none.
            if (shown == 0xFFFD || shown <= 0xA0) {
                AppendEscaped(out, c);
            } else {
                out += text;
            }
        }
    }
    out += '"';
}

std::string VisibleText(const std::string& utf8) {
    std::string out = "\"";
    for (size_t at = 0; at < utf8.size();) {
        size_t length = 1;
        const char32_t c = NextCharacter(utf8, at, &length);
        const auto byte = static_cast<unsigned char>(utf8[at]);
        if (c == 0xFFFD && length == 1) {
            AppendEscaped(out, byte);
        } else if (length == 1 && NeedsEscape(byte)) {
            AppendEscaped(out, byte);
        } else {
            out.append(utf8, at, length);
        }
        at += length;
    }
    return out + "\"";
}

std::vector<bool> EntriesNamedByCase(const TagInventory& inventory, const Case& c, const std::string& driver) {
    Driver loaded(driver);
    Link link(loaded);
    link.Load();
    link.Fill(c);
    std::vector<bool> named = NamedByRows(inventory, link.Data());
    link.Destroy();
    return named;
}

}  // namespace host
