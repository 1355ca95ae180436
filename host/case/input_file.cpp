#include "case/input_file.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <system_error>

namespace host {

namespace {

namespace fs = std::filesystem;

const char* KindOf(fs::file_type type) {
    switch (type) {
    case fs::file_type::directory: return "a directory";
    case fs::file_type::fifo: return "a FIFO, which could block for ever";
    case fs::file_type::character: return "a character device, which could run on without end";
    case fs::file_type::block: return "a block device";
    case fs::file_type::socket: return "a socket";
    default: return "not a regular file";
    }
}

[[noreturn]] void Refuse(const std::string& path, const std::string& what, const std::string& why) {
    throw std::runtime_error("cannot read " + what + " \"" + path + "\": " + why);
}

}  // namespace

void RequireRegularFile(const std::string& path, const std::string& what) {
    std::error_code error;
    const fs::file_status status = fs::status(path, error);
    if (error) {
        Refuse(path, what, error.message());
    }
    if (!fs::is_regular_file(status)) {
        Refuse(path, what, std::string("it is ") + KindOf(status.type()) + "; dcs-host reads only regular files");
    }
}

std::string ReadInputFile(const std::string& path, const std::string& what) {
    RequireRegularFile(path, what);
    std::error_code error;
    const uintmax_t size = fs::file_size(path, error);
    if (error) {
        Refuse(path, what, error.message());
    }
    if (size > kMaxInputBytes) {
        Refuse(path, what,
               "it holds " + std::to_string(size) + " bytes, more than the 64 MiB (" + std::to_string(kMaxInputBytes) +
                   " bytes) dcs-host reads");
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        Refuse(path, what, std::strerror(errno));
    }
    // Read no more than the size seen, plus one byte to notice a file that
    // grows while it is read.
    std::string text(static_cast<size_t>(size) + 1, '\0');
    in.read(&text[0], static_cast<std::streamsize>(text.size()));
    if (in.bad()) {
        Refuse(path, what, std::strerror(errno));
    }
    text.resize(static_cast<size_t>(in.gcount()));
    if (text.size() > size) {
        Refuse(path, what, "it grew while it was read");
    }
    return text;
}

}  // namespace host
