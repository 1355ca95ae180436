#include "output/path_guard.h"

#include <filesystem>
#include <system_error>

#include "output/output_file.h"

namespace host {

namespace {

bool SameFile(const std::string& a, const std::string& b) {
    std::error_code error;
    // Two files that exist are compared by identity (the file system's own
    // device and file numbers on either system), so links and hard links are
    // seen through.
    if (std::filesystem::exists(a, error) && std::filesystem::exists(b, error)) {
        const bool same = std::filesystem::equivalent(a, b, error);
        if (!error) return same;
    }
    error.clear();
    const std::filesystem::path left = std::filesystem::weakly_canonical(std::filesystem::absolute(a, error), error);
    const std::filesystem::path right = std::filesystem::weakly_canonical(std::filesystem::absolute(b, error), error);
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
