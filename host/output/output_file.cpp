#include "output_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

namespace host {

namespace {

std::string Reason() { return std::strerror(errno); }

}  // namespace

OutputFile::OutputFile(std::string path) : path_(std::move(path)) {
    const std::filesystem::path target(path_);
    tempPath_ = (target.parent_path() / ("." + target.filename().string() + ".tmp")).string();
    out_.open(tempPath_, std::ios::binary | std::ios::trunc);
    if (!out_) {
        throw OutputError("cannot write \"" + path_ + "\": " + Reason());
    }
}

OutputFile::~OutputFile() {
    if (!committed_) {
        out_.close();
        std::remove(tempPath_.c_str());
    }
}

void OutputFile::Commit() {
    out_.flush();
    out_.close();
    if (!out_) {
        throw OutputError("cannot write \"" + path_ + "\": " + Reason());
    }
    if (std::rename(tempPath_.c_str(), path_.c_str()) != 0) {
        throw OutputError("cannot write \"" + path_ + "\": " + Reason());
    }
    committed_ = true;
}

void WriteWholeFile(const std::string& path, const std::string& text) {
    OutputFile file(path);
    file.Stream() << text;
    file.Commit();
}

}  // namespace host
