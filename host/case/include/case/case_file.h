// The case file: what the host runs the driver on, read from TOML. Its
// rows and those of the IO lists it names go through the same schema
// (case/case_schema.h) and one validation pass.
#pragma once

#include <string>

#include "case/case_model.h"

namespace host {

// Refuses a case that holds unknown keys, naming every one, and `more`
// besides (the labels the driver does not declare, which only the loaded
// driver can tell). Throws CaseError.
void RefuseUnknownKeys(const Case& c, const std::vector<std::string>& more = {});
// Throws e, with the case's unknown keys named before it when there are any.
[[noreturn]] void ThrowAfterUnknownKeys(const Case& c, const CaseError& e);

// The TOML adapter alone: the case file's own keys and rows, the IO lists
// it names left in `ioLists` and no validation pass. Throws CaseError.
Case ReadTomlCase(const std::string& text, const std::string& file, const std::string& baseDir);

// The whole case (case/case_loader.cpp): the case file, the rows of the IO
// lists it names, then the validation pass over the merged case.
// Reads and checks a case file. `file` is used as named in the messages.
// Throws CaseError.
Case ParseCaseFile(const std::string& file);
// The same from text already read; relative paths are resolved against
// `baseDir`. The initialization string file must be a readable regular file
// of at most 64 MiB.
Case ParseCaseText(const std::string& text, const std::string& file, const std::string& baseDir);

}  // namespace host
