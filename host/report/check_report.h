// The terminal report of a check: problems first, with a summary line, the
// problem rows with their verdicts and the lint findings with the quoted
// line of the initialization string; the bound rows only when asked.
#pragma once

#include <cstdio>
#include <string>

#include "diagnose/diagnosis.h"

namespace host {

std::string CheckReport(const Diagnosis& diagnosis, bool all);

}  // namespace host
