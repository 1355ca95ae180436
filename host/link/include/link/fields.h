// Filling the driver's value cells from a case's field values, matched by
// label against the definitions the driver declared at load.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "case/case_file.h"
#include "case_block.h"
#include "hostapi/dcs_link_data.h"

namespace host {

// One table of definitions as the driver declared it.
struct DefTable {
    const DCSDataDef* defs = nullptr;
    int32_t count = 0;
    const char* what = "";  // "general data", "controller rows", ...
};

// Index of the definition with this label, or -1.
int32_t FindField(const DefTable& table, const std::string& label);

// The declared labels, comma-separated, for messages.
std::string DeclaredLabels(const DefTable& table);

// The option labels of a definition, or an empty list.
std::vector<std::string> OptionLabels(const DCSDataDef& def);

// Stores each value in the cell of the definition its label names: an
// integer into an integer field, a text into a text field (a pointer to a
// copy kept in `texts`), an option label (or its index) into an option
// field. `owner` names the row in messages ("controller 2"); `hostKeys`
// lists the keys the host itself takes in such a row, for the message about
// a label nobody declared. Throws CaseError naming the file and line; with
// `unknown`, a label nobody declared is added to it instead, so that the
// caller can name every one at once.
void FillCells(const DefTable& table, const std::vector<FieldValue>& values, DCSValue* cells,
               caseblock::TextStore& texts, const std::string& file, const std::string& owner,
               const std::string& hostKeys, std::vector<std::string>* unknown = nullptr);

// Reading back what a cell holds.
int32_t CellInteger(const DCSValue& cell);
const char* CellTextPointer(const DCSValue& cell);

}  // namespace host
