#include "output/path_guard.h"

#include <filesystem>
#include <optional>
#include <system_error>

#include "os/os.h"
#include "output/output_file.h"

namespace host {

namespace {

bool SameFile(const std::string& a, const std::string& b) {
    // Two files that exist are compared by identity (the file system's own
    // volume and file numbers on either system), so links and hard links are
    // seen through.
    std::string unopened;  // then the names are compared
    if (const std::optional<bool> same = os::SameFile(a, b, unopened)) return *same;
    std::error_code error;
    const std::filesystem::path left =
        std::filesystem::weakly_canonical(std::filesystem::absolute(os::FsPath(a), error), error);
    if (error) return false;
    const std::filesystem::path right =
        std::filesystem::weakly_canonical(std::filesystem::absolute(os::FsPath(b), error), error);
    return !error && left == right;
}

std::string Described(const PathUse& use) { return use.use + " \"" + use.path + "\""; }

}  // namespace

void RefuseOverlappingPaths(const std::vector<PathUse>& inputs, const std::vector<PathUse>& outputs) {
    for (size_t i = 0; i < outputs.size(); ++i) {
        for (const PathUse& input : inputs) {
            if (SameFile(outputs[i].path, input.path)) {
                throw OutputError(Described(outputs[i]) + " is " + Described(input) +
                                  "; an output never replaces an input: name another file for " + outputs[i].use);
            }
        }
        for (size_t j = 0; j < i; ++j) {
            if (SameFile(outputs[i].path, outputs[j].path)) {
                throw OutputError(Described(outputs[i]) + " is the same file as " + Described(outputs[j]) +
                                  "; each output needs a file of its own");
            }
        }
    }
}

}  // namespace host
