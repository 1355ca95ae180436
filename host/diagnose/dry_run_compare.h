// The verdicts come from the driver's binding rules as this program was
// built with them; the dry run is made with whichever driver was loaded.
// This compares the two: the messages the verdicts predict for the dry run
// against the messages the loaded driver raised, row by row.
#pragma once

#include <string>
#include <vector>

#include "diagnose/diagnosis.h"

namespace host {

// Where the verdicts come from, in plain words.
extern const char* const kVerdictSource;

// The messages the verdicts predict for the dry run (DCSConfigure and the
// first step), each with the index into d.rows of the row it belongs to.
struct PredictedMessage {
    size_t row = 0;
    DriverMessage message;
    bool gap = false;  // the read of a case gap fails, not the link
};
std::vector<PredictedMessage> PredictDryRun(const Diagnosis& d);

// Fills every row's driverDiffers and the diagnosis's unexplained messages
// from d.messages; clears what an earlier comparison left.
void CompareWithDryRun(Diagnosis& d);

}  // namespace host
