#include "output/file_set.h"

#include <filesystem>
#include <iterator>
#include <memory>

#include "output/output_file.h"

namespace host {

namespace fs = std::filesystem;

std::string PathFrom(const std::string& dir, const std::string& path) {
    std::error_code error;
    const fs::path target = fs::weakly_canonical(fs::absolute(path), error);
    const fs::path base = fs::weakly_canonical(fs::absolute(dir), error);
    // Folders that share no more than the root: a path up to the root and
    // down again says nothing a reader can follow.
    const bool shareFolder = std::distance(target.begin(), target.end()) > 1 &&
                             std::distance(base.begin(), base.end()) > 1 &&
                             *std::next(target.begin()) == *std::next(base.begin());
    const fs::path relative = target.lexically_relative(base);
    return (relative.empty() || !shareFolder ? target : relative).generic_string();
}

void WriteAllOrNone(const std::vector<OutputText>& files, const std::vector<PathUse>& inputs) {
    std::vector<PathUse> outputs;
    for (const OutputText& f : files) outputs.push_back({f.what, f.path});
    RefuseOverlappingPaths(inputs, outputs);
    std::vector<std::unique_ptr<OutputFile>> opened;
    for (const OutputText& f : files) {
        opened.push_back(std::make_unique<OutputFile>(f.path));
        opened.back()->Stream() << f.text;
    }
    for (auto& file : opened) file->Commit();
}

}  // namespace host
