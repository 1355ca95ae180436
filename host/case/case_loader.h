// A case whole: the case file, the rows of the IO lists it names, and the
// validation pass over the merged rows. ParseCaseFile and ParseCaseText,
// declared in case/case_file.h, are defined here.
#pragma once

#include <string>

#include "case/case_model.h"

namespace host {

// Reads the IO list `path` (already resolved) given under `key` and appends
// its rows to the case, without the validation pass. Throws CaseError: for
// a file that cannot be read, at `at` (where the case names it); for a
// fault in it, at its own line and column.
void AppendIoList(Case& c, const std::string& key, const std::string& path, const SourcePos& at);

}  // namespace host
