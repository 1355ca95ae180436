// Reads that fail because of the case, not the driver: the simulated tag
// server holds only the values the case gives it ([[tag]]) and those the
// driver writes, so a tag the driver reads but nobody gives a value fails
// every step with the driver's read error, which looks like the driver's
// fault. Such a read is named as the case's gap, with what to add.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "diagnose/diagnosis.h"

namespace host {

// Whether the simulated server holds a value for a tag (kind, data set, name).
using HoldsValue = std::function<bool(const std::string&, int32_t, const std::string&)>;

// Marks the bound reads of `rows` for which the server holds no value after
// the dry run (neither the case nor a write of the driver gave it one) with
// their gap; the verdicts stay bound.
void MarkCaseGaps(const HoldsValue& holds, std::vector<RowDiagnosis>& rows);

// For a link that did not configure, so that no write of the driver reached
// the server: `holds`, or a bound row writes the tag and so would give it
// its value.
HoldsValue HoldsOrWrittenByRows(HoldsValue holds, const std::vector<RowDiagnosis>& rows);

// "a [[tag]] table with kind = ..., name = ..., value = 0.0": what gives the
// server a value for the tag.
std::string TagTableFor(const std::string& kind, int32_t dataSet, const std::string& name);

}  // namespace host
