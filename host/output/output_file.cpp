#include "output_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#if defined(_WIN32)
#define WIN32_LEAN_AND_MEAN
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#endif

namespace host {

namespace {

std::string Reason() { return std::strerror(errno); }

#if defined(_WIN32)

// The C library's rename refuses to replace an existing file on Windows, so
// a second run writing the same output would fail; MoveFileEx replaces it in
// one step.
bool MoveIntoPlace(const std::string& from, const std::string& to, std::string& why) {
    if (MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) != 0) {
        return true;
    }
    why = std::system_category().message(static_cast<int>(GetLastError()));
    return false;
}

#else

bool MoveIntoPlace(const std::string& from, const std::string& to, std::string& why) {
    if (std::rename(from.c_str(), to.c_str()) == 0) {
        return true;
    }
    why = Reason();
    return false;
}

#endif

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
    std::string why;
    if (!MoveIntoPlace(tempPath_, path_, why)) {
        throw OutputError("cannot write \"" + path_ + "\": " + why);
    }
    committed_ = true;
}

void WriteWholeFile(const std::string& path, const std::string& text) {
    OutputFile file(path);
    file.Stream() << text;
    file.Commit();
}

}  // namespace host
