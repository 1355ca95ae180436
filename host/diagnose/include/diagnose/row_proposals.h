// Rows proposed from naming conventions: catalogue tags whose names fit a
// pattern such as "{base}.SP" become the columns of a controller row per base
// name, or PV-export and PV-import rows, each only where the tag's kind may
// serve the column.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "diagnose/tag_inventory.h"

namespace host {

// The columns a convention fills: controller columns 1 to 5 as the driver
// numbers them, then the PV rows.
enum class MapColumn { SP = 1, SPInit, OP, OPInit, Mode, PV, PVExport, PVImport };

struct Convention {
    MapColumn column = MapColumn::SP;
    std::string prefix;  // the pattern before {base}
    std::string suffix;  // after it
    int32_t line = 0;
    std::string pattern;  // as written
};

// Reads conventions, one a line "COLUMN = PATTERN" (# comments). Throws
// std::runtime_error worded "FILE:LINE: what was expected".
std::vector<Convention> ParseConventions(const std::string& text, const std::string& file);

// The driver's label of a column ("SP Tag", "PV Tag").
const char* ColumnLabel(MapColumn column);

// Whether the driver reads the tag of a controller column (rather than
// writes it), so that a case built from proposals needs a value for it in
// the server; false for the PV columns.
bool IsReadControllerColumn(MapColumn column);

// Whether the server keeps a value for a tag of this kind: every kind but
// DCD, whose records the driver never reads or writes; false for no kind.
bool ServerKeepsValue(int32_t kind);

// One column of a proposed controller row.
struct ProposedTag {
    std::string name;  // empty: nothing found
    uint32_t entry = 0;
    int32_t kind = 0;  // the kind the binding takes
    std::string pattern;
    std::string why;  // why a tag that fits the pattern was not taken
};

struct ControllerProposal {
    std::string base;
    int32_t dataSet = 0;
    ProposedTag tags[5];    // SP, SP Init, OP, OP Init, Mode
    bool proposed = false;  // OP and OP Init found
    std::string why;        // why not, or what the check dropped
};

struct PVProposal {
    std::string base;
    int32_t dataSet = 0;
    ProposedTag tag;
    bool isExport = true;
    bool proposed = true;
    std::string why;
};

struct Proposals {
    std::vector<ControllerProposal> controllers;  // every base with a controller column, proposed or not
    std::vector<PVProposal> pvRows;
    std::vector<uint32_t> unmatched;  // kept entries that fit no convention
    int32_t skippedByCase = 0;        // proposals the case already has
};

// `named`: for each entry, whether the case already names it (empty: no
// case); a proposal whose OP Tag or PV Tag the case names is left out.
Proposals Propose(const TagInventory& inventory, const std::vector<Convention>& conventions,
                  const std::vector<bool>& named);

}  // namespace host
