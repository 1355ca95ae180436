// The catalogue listing of `dcs-host tags` on the terminal, as CSV and as
// JSON. Each is written to a stream entry by entry, so a listing of a
// plant's string costs no more memory than the inventory itself.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "diagnose/tag_inventory.h"

namespace host {

struct TagListing {
    const TagInventory* inventory = nullptr;
    std::vector<uint32_t> picked;  // entries to show, in the order shown
    std::string unusedBy;          // the case: the listing shows the tags no row of it names
};

// A summary line, then one line per entry with its notes below it. With
// `unusedBy`, the entries come in groups by kind and data set, each headed.
void WriteTagsText(std::ostream& out, const TagListing& listing);
// A header row, then one row per entry: kind, data_set, line, name, kept, notes.
void WriteTagsCsv(std::ostream& out, const TagListing& listing);
// {"format", "version", "init_string", "code_page", "loaded", "unused_by", "tags": [{kind, name, data_set, line,
// kept, notes: [{code, text}]}]}, laid out as the other JSON outputs are.
void WriteTagsJson(std::ostream& out, const TagListing& listing);

}  // namespace host
