// Root causes: a fault of the initialization string that takes whole
// stretches of it away from the driver (carriage returns that hide every
// header, a header swallowed by a short entry, an early end of the parse,
// a full list, tokens before the first header, an empty string) turns into
// hundreds of rows that bind nothing and a tail of follow-on lint findings.
// Each such fault is reported once, with the lines it covers; the rows it
// explains name it instead of "no tag named", and the findings inside its
// lines are folded into it.
#pragma once

#include <vector>

#include "diagnose/catalogue_parse.h"
#include "diagnose/diagnosis.h"

namespace host {

// Moves the findings of `lint` that explain row verdicts or other findings
// into root causes, marks the verdicts they explain and drops the findings
// they fold.
std::vector<RootCause> FindRootCauses(const CatalogueParse& parse, std::vector<LintFinding>& lint,
                                      std::vector<RowDiagnosis>& rows);

}  // namespace host
