#include "report/tags_report.h"

#include <algorithm>
#include <nlohmann/json.hpp>

#include "diagnose/catalogue_parse.h"
#include "report/report.h"

namespace host {

namespace {

// JSON as every JSON output of dcs-host lays it out; a text that is not
// UTF-8 (a path) gets U+FFFD rather than ending the dump.
std::string Dump(const nlohmann::ordered_json& value) {
    return value.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

std::string Summary(const TagListing& listing) {
    const TagInventory& inv = *listing.inventory;
    int32_t byKind[7] = {};
    for (const InventoryEntry& e : inv.entries) ++byKind[e.kind >= 1 && e.kind <= 6 ? e.kind : 0];
    std::string line = "tags " + inv.path + ": ";
    if (!inv.loaded) return line + "the driver finds the string empty (33 bytes or fewer): no tag at all\n";
    line += std::to_string(inv.entries.size()) + " tags (";
    for (int32_t kind = 1; kind <= 6; ++kind) {
        line += std::string(kind == 1 ? "" : ", ") + KindName(kind) + " " + std::to_string(byKind[kind]);
    }
    line += ")";
    if (inv.strayTokens > 0)
        line += "; " + std::to_string(inv.strayTokens) + " token(s) before the first header dropped";
    if (inv.endLine > 0) line += "; the parse ends early on line " + std::to_string(inv.endLine);
    line += "\n";
    if (!listing.unusedBy.empty()) {
        line += std::to_string(listing.picked.size()) + " of them named by no row of " + listing.unusedBy + "\n";
    } else if (listing.picked.size() != inv.entries.size()) {
        line += std::to_string(listing.picked.size()) + " shown\n";
    }
    return line;
}

// `text` right-aligned in `width` columns, appended to `line`.
void Padded(std::string& line, const std::string& text, size_t width) {
    if (text.size() < width) line.append(width - text.size(), ' ');
    line += text;
}

// Written out rather than through printf: a plant's listing has 180,000 of
// these lines, and formatting them is most of what the listing adds to the
// driver's own load.
void EntryLine(std::string& line, const InventoryEntry& e, bool withKind, const CodePage& codePage) {
    line.clear();
    if (withKind) {
        line += KindName(e.kind);
        line.append(5 - std::min<size_t>(5, line.size()), ' ');
        Padded(line, std::to_string(e.dataSet), 9);
        Padded(line, std::to_string(e.line), 8);
    } else {
        Padded(line, std::to_string(e.line), 9);
    }
    line += "  ";
    AppendVisibleName(line, e.name, codePage);
    line += '\n';
}

void Notes(std::ostream& out, const TagInventory& inv, uint32_t entry) {
    for (const TagNote& note : NotesOf(inv, entry)) out << "        " << note.code << ": " << note.text << "\n";
}

std::string NotesCell(const TagInventory& inv, uint32_t entry) {
    std::string cell;
    for (const TagNote& note : NotesOf(inv, entry)) cell += (cell.empty() ? "" : "; ") + note.code + ": " + note.text;
    return cell;
}

}  // namespace

void WriteTagsText(std::ostream& out, const TagListing& listing) {
    const TagInventory& inv = *listing.inventory;
    out << Summary(listing);
    if (listing.picked.empty()) return;
    if (listing.unusedBy.empty()) {
        out << "kind  data set    line  name\n";
        std::string line;
        for (uint32_t i : listing.picked) {
            EntryLine(line, inv.entries[i], true, inv.codePage);
            out.write(line.data(), static_cast<std::streamsize>(line.size()));
            Notes(out, inv, i);
        }
        return;
    }
    // Grouped by kind and data set, each group in string order.
    std::vector<uint32_t> order = listing.picked;
    std::stable_sort(order.begin(), order.end(), [&](uint32_t a, uint32_t b) {
        const InventoryEntry& x = inv.entries[a];
        const InventoryEntry& y = inv.entries[b];
        return x.kind != y.kind ? x.kind < y.kind : x.dataSet < y.dataSet;
    });
    for (size_t at = 0; at < order.size();) {
        const InventoryEntry& first = inv.entries[order[at]];
        size_t end = at;
        while (end < order.size() && inv.entries[order[end]].kind == first.kind &&
               inv.entries[order[end]].dataSet == first.dataSet) {
            ++end;
        }
        out << KindName(first.kind) << ", data set " << first.dataSet << ": " << (end - at) << " unused\n";
        std::string line;
        for (; at < end; ++at) {
            EntryLine(line, inv.entries[order[at]], false, inv.codePage);
            out << line;
            Notes(out, inv, order[at]);
        }
    }
}

void WriteTagsCsv(std::ostream& out, const TagListing& listing) {
    const TagInventory& inv = *listing.inventory;
    out << "kind,data_set,line,name,kept,notes\n";
    std::string line;
    for (uint32_t i : listing.picked) {
        const InventoryEntry& e = inv.entries[i];
        line = KindName(e.kind);
        line += ',';
        line += std::to_string(e.dataSet);
        line += ',';
        line += std::to_string(e.line);
        line += ',';
        line += CsvField(inv.codePage.Decode(e.name));
        line += e.stored ? ",1," : ",0,";
        line += CsvField(NotesCell(inv, i));
        line += '\n';
        out.write(line.data(), static_cast<std::streamsize>(line.size()));
    }
}

void WriteTagsJson(std::ostream& out, const TagListing& listing) {
    using nlohmann::ordered_json;
    const TagInventory& inv = *listing.inventory;
    const ordered_json head = {
        {"format", "dcs-host-tags"},
        {"version", 2},
        {"init_string", inv.path},
        {"code_page", inv.codePage.Number()},
        {"loaded", inv.loaded},
        {"unused_by", listing.unusedBy.empty() ? ordered_json(nullptr) : ordered_json(listing.unusedBy)}};
    // The document as a whole would be laid out by Dump(): its head without
    // the closing brace, then each entry at the depth of the list.
    const std::string start = Dump(head);
    out << start.substr(0, start.size() - 2) << ",\n  \"tags\": [";
    bool first = true;
    for (uint32_t i : listing.picked) {
        const InventoryEntry& e = inv.entries[i];
        ordered_json notes = ordered_json::array();
        for (const TagNote& note : NotesOf(inv, i)) notes.push_back({{"code", note.code}, {"text", note.text}});
        const ordered_json entry = {{"kind", KindName(e.kind)}, {"name", inv.codePage.Decode(e.name)},
                                    {"data_set", e.dataSet},    {"line", e.line},
                                    {"kept", e.stored},         {"notes", std::move(notes)}};
        std::string text = Dump(entry);
        for (size_t at = text.find('\n'); at != std::string::npos; at = text.find('\n', at + 5)) {
            text.insert(at + 1, "    ");
        }
        out << (first ? "\n    " : ",\n    ") << text;
        first = false;
    }
    out << (first ? "]\n}\n" : "\n  ]\n}\n");
}

}  // namespace host
