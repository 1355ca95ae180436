// Keeps a run from writing over its own inputs, or one output over another:
// both would leave the user with a damaged file and no warning.
#pragma once

#include <string>
#include <vector>

namespace host {

// A file a run reads or writes, and what it is to the run ("the case file",
// "--csv", ...), for the message.
struct PathUse {
    std::string use;
    std::string path;
};

// Throws OutputError, naming both uses, when an output is the same file as
// an input or as another output. Files that exist are compared by identity
// (so links and hard links are seen through); the others by their paths
// with links and "." and ".." resolved.
void RefuseOverlappingPaths(const std::vector<PathUse>& inputs, const std::vector<PathUse>& outputs);

}  // namespace host
