#include "report/tags_report.h"

#include <algorithm>

#include "diagnose/catalogue_parse.h"
#include "report/report.h"

namespace host {

namespace {

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
    const TagInventory& inv = *listing.inventory;
    out << "{\n  \"format\": \"dcs-host-tags\",\n  \"version\": 2,\n  \"init_string\": " << JsonQuoted(inv.path)
        << ",\n  \"code_page\": " << inv.codePage.Number() << ",\n  \"loaded\": " << (inv.loaded ? "true" : "false")
        << ",\n  \"unused_by\": " << (listing.unusedBy.empty() ? "null" : JsonQuoted(listing.unusedBy))
        << ",\n  \"tags\": [";
    bool first = true;
    for (uint32_t i : listing.picked) {
        const InventoryEntry& e = inv.entries[i];
        out << (first ? "\n" : ",\n") << "    {\"kind\": \"" << KindName(e.kind)
            << "\", \"name\": " << JsonQuoted(inv.codePage.Decode(e.name)) << ", \"data_set\": " << e.dataSet
            << ", \"line\": " << e.line << ", \"kept\": " << (e.stored ? "true" : "false") << ", \"notes\": [";
        bool firstNote = true;
        for (const TagNote& note : NotesOf(inv, i)) {
            out << (firstNote ? "" : ", ") << "{\"code\": \"" << note.code << "\", \"text\": " << JsonQuoted(note.text)
                << "}";
            firstNote = false;
        }
        out << "]}";
        first = false;
    }
    out << (first ? "]\n}\n" : "\n  ]\n}\n");
}

std::string JsonQuoted(const std::string& text) {
    static const char kHex[] = "0123456789abcdef";
    std::string out = "\"";
    for (size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            out += c == '\n' ? "\\n" : c == '\r' ? "\\r" : c == '\t' ? "\\t" : "\\u00";
            if (c != '\n' && c != '\r' && c != '\t') {
                out += kHex[c >> 4];
                out += kHex[c & 15];
            }
        } else if (c < 0x80) {
            out += static_cast<char>(c);
        } else {
            // The length of a well-formed UTF-8 sequence starting here, or 0.
            size_t length = c >= 0xC2 && c <= 0xDF ? 2 : c >= 0xE0 && c <= 0xEF ? 3 : c >= 0xF0 && c <= 0xF4 ? 4 : 0;
            for (size_t k = 1; length != 0 && k < length; ++k) {
                const auto next = i + k < text.size() ? static_cast<unsigned char>(text[i + k]) : 0u;
                bool ok = (next & 0xC0) == 0x80;
                if (k == 1 && c == 0xE0) ok = ok && next >= 0xA0;
                if (k == 1 && c == 0xED) ok = ok && next < 0xA0;
                if (k == 1 && c == 0xF0) ok = ok && next >= 0x90;
                if (k == 1 && c == 0xF4) ok = ok && next < 0x90;
                if (!ok) length = 0;
            }
            if (length == 0) {
                out += "\\ufffd";
            } else {
                out.append(text, i, length);
                i += length;
                continue;
            }
        }
        ++i;
    }
    return out + "\"";
}

}  // namespace host
