// The problems of a check as a CSV file, one line per problem, for the
// spreadsheet an integrator keeps of the IO list: the row's table, index,
// name, the field and its text, the code, the reason, the suggestion and
// where in the files the value came from.
#pragma once

#include <string>

#include "case/case_file.h"
#include "diagnose/diagnosis.h"

namespace host {

std::string ProblemsCsv(const Diagnosis& diagnosis, const Case& c);

}  // namespace host
