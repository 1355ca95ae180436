#include "input_file.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <system_error>

namespace host {

std::string ReadInputFile(const std::string& path, const std::string& what) {
    const std::string name = what + " \"" + path + "\"";
    std::error_code error;
    const std::filesystem::file_status status = std::filesystem::status(path, error);
    if (error) {
        throw std::runtime_error("cannot read " + name + ": " + error.message());
    }
    if (!std::filesystem::is_regular_file(status)) {
        throw std::runtime_error("cannot read " + name + ": not a regular file");
    }
    const uintmax_t size = std::filesystem::file_size(path, error);
    if (error) {
        throw std::runtime_error("cannot read " + name + ": " + error.message());
    }
    if (size > kMaxInputBytes) {
        throw std::runtime_error("cannot read " + name + ": it holds " + std::to_string(size) +
                                 " bytes, more than the 64 MiB dcs-host reads");
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        throw std::runtime_error("cannot read " + name + ": " + std::strerror(errno));
    }
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) {
        throw std::runtime_error("cannot read " + name + ": " + std::strerror(errno));
    }
    return text;
}

}  // namespace host
