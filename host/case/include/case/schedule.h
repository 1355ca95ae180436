// What the host changes from step to step: the scheduled events and the
// simple plant that moves the PV exports.
#pragma once

#include <cstdint>
#include <vector>

#include "case/case_file.h"

namespace host {

// The events of a step, in the order the case file lists them; the case's
// events must be ordered by step, as ParseCaseText leaves them.
std::vector<const Event*> EventsAt(const Case& c, int32_t step);

// Events the run never reaches with this many steps.
std::vector<const Event*> EventsAfter(const Case& c, int32_t steps);

// The value a PV export takes for the next step: constant, or a first-order
// lag of `timeConstant` steps towards gain * op.
double NextValue(const Response& response, double current, double op);

}  // namespace host
