// What the live link did with each tag of a check, added to each tag's
// verdict: calls, failures and last status from a trace of the plant, and
// where the live server served the tag under another operation than the
// case's catalogue says.
#pragma once

#include <string>
#include <vector>

#include "diagnose/diagnosis.h"

namespace host {

struct LiveFindings {
    // A line for each tag the live link failed, or where the case and the
    // live link disagree: what the check shows and exits 1 for.
    std::vector<std::string> lines;
    std::vector<std::string> notes;  // the reader's notes on the trace
};
// Throws TraceError when the trace cannot be read.
LiveFindings AddLiveVerdicts(Diagnosis& d, const std::string& tracePath);

}  // namespace host
