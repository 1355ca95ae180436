// Rows that get in each other's way although each binds on its own: one
// controller listed twice, one tag written by two rows, an exported PV read
// back by another row, a link flag overwritten by a row. Each conflict
// names both rows and says which write happens when, so the user sees which
// value the tag server ends up holding.
#pragma once

#include <vector>

#include "diagnose/diagnosis.h"
#include "text/code_page.h"

namespace host {

// From the verdicts (rows in the order CheckRows gives them, lines set).
// The rows' tag texts are in the code page's bytes; the conflicts' texts,
// which name the rows too, show them decoded.
std::vector<RowConflict> FindConflicts(const std::vector<RowDiagnosis>& rows, const CodePage& codePage);

}  // namespace host
