// Files a command writes together (IO lists and the case file that names
// them): refused when one names an input or another, then all opened
// (which proves every folder writable) before any is committed, so a
// failure leaves none of them half written.
#pragma once

#include <string>
#include <vector>

#include "output/path_guard.h"

namespace host {

struct OutputText {
    std::string path;
    std::string text;
    std::string what;  // for the messages: "controllers", "the case", ...
};
// Throws OutputError.
void WriteAllOrNone(const std::vector<OutputText>& files, const std::vector<PathUse>& inputs);

// `path` as a file in `dir` should name it: relative when the two share a
// folder below the root, absolute otherwise.
std::string PathFrom(const std::string& dir, const std::string& path);

}  // namespace host
