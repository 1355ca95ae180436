// The lint of the initialization string: the traps the driver's parse
// accepts without a word (or with a bare "Unknown tag type" box), each with
// its place in the file, how bad it is and how to fix it.
#pragma once

#include <vector>

#include "diagnose/catalogue_parse.h"
#include "diagnose/diagnosis.h"

namespace host {

std::vector<LintFinding> LintInitString(const CatalogueParse& parse);

}  // namespace host
