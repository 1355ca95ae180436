// Reads that fail because of the case, not the driver: the simulated tag
// server holds only the values the case gives it ([[tag]]) and those the
// driver writes, so a tag the driver reads but nobody gives a value fails
// every step with the driver's read error, which looks like the driver's
// fault. Such a read is named as the case's gap, with what to add.
#pragma once

#include <string>
#include <vector>

#include "case/case_file.h"
#include "diagnose/diagnosis.h"

namespace host {

// Marks the bound reads of `rows` that the case gives no value for.
void MarkCaseGaps(const Case& c, std::vector<RowDiagnosis>& rows);

// The [[tag]] table that would give the server a value for the tag.
std::string TagTableFor(const std::string& kind, int32_t dataSet, const std::string& name);

}  // namespace host
