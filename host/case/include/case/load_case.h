// Reading a case as every command that takes one reads it, so that a case
// one command refuses no other takes silently.
#pragma once

#include <optional>
#include <string>

#include "case/case_file.h"

namespace host {

// The case at `path` with every text the driver or the tag server sees in
// the simulator's code page: `codePage` when given, else the case's own,
// else `otherwise` (the code page a trace of its string names), else 1252.
// Refuses a trace or an initialization string given where the case belongs,
// a case the reader refuses and a text the code page cannot hold. Warnings
// are left in the case for the caller to show. Throws CaseError.
Case LoadCase(const std::string& path, std::optional<int> codePage = std::nullopt,
              std::optional<int> otherwise = std::nullopt);

// Shows a refused case as every command shows it, its "FILE:LINE:COLUMN:"
// message alone on the line for editors to follow, and gives exit status 2.
int CaseRefused(const CaseError& e);

}  // namespace host
