// The whole-case check: a dry run of the loaded driver (configure,
// initialize, one step) for the messages it really raises, then a verdict
// for every tag text of every row and the lint of the initialization string,
// both decided with the driver's own parse and binding rules.
#pragma once

#include "case/case_file.h"
#include "diagnose/diagnosis.h"
#include "link/link.h"

namespace host {

// The server and host services must be prepared for the case (PrepareServer).
Diagnosis CheckCase(Driver& driver, const Case& c);

// The whole-case check with the driver's messages kept out of the terminal:
// they are part of the diagnosis. Prepares the simulated server for the case.
Diagnosis DiagnoseQuietly(Driver& driver, const Case& c);

// 0: the case configures and nothing was found; 1: anything was found or
// the driver raised any message.
int ExitStatusOf(const Diagnosis& diagnosis);

}  // namespace host
