// The [[expect]] tables of a case: read from their raw rows like every other
// table, and checked against the merged case (the IO lists' rows included)
// by the validation pass, so that an expectation naming a row or tag the
// case lacks is refused where it stands.
#pragma once

#include <string>
#include <vector>

#include "case/case_model.h"
#include "case/case_schema.h"

namespace host {

// Reads the `index`-th [[expect]] table. Unknown keys are added to
// `unknown`; any other fault throws CaseError at its place.
Expectation ReadExpectation(const RawRow& row, size_t index, std::vector<std::string>& unknown);

// Resolves every expectation's row to its index and refuses one that names
// a row or tag the case does not have, with the nearest names it has.
// Throws CaseError.
void CheckExpectations(Case& c);

// "configure", "step", ...: the names `when` takes (and "step"/"every_step").
const char* ExpectWhenName(ExpectWhen when);
// "after DCSConfigure", "at step 8", "at every step", ...
std::string MomentText(const Expectation& e);
// What it looks at, in words: "controller FIC-101 OP", "AI tag
// \"AI-107.PV\" of data set 2", "the Enabled flag", "boxes titled \"MARLIXNT\"".
std::string SubjectText(const Expectation& e);
// What it expects: "0.5", "0.7 ± 0.001", "from 1 to 3", "at least 1", "yes".
std::string ExpectedText(const Expectation& e);
// The expectation's name: its own, or its subject and moment.
std::string ExpectationName(const Expectation& e);

}  // namespace host
