// The POSIX side of osbase.h: paths are bytes, passed through unchanged.
#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "osbase.h"

namespace osbase {

uint32_t ProcessId() { return static_cast<uint32_t>(::getpid()); }

bool IsAbsolute(const std::string& path) { return !path.empty() && path[0] == '/'; }

std::optional<bool> SameFile(const std::string& a, const std::string& b, std::string& why) {
    struct stat info[2]{};
    const std::string* paths[2] = {&a, &b};
    for (int i = 0; i < 2; ++i) {
        if (::stat(paths[i]->c_str(), &info[i]) != 0) {
            why = *paths[i] + ": " + std::strerror(errno);
            return std::nullopt;
        }
    }
    return info[0].st_dev == info[1].st_dev && info[0].st_ino == info[1].st_ino;
}

void* OpenLibrary(const std::string& path, ImportSearch, std::string& why) {
    void* library = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        const char* error = ::dlerror();
        why = error != nullptr ? error : "unknown error";
    }
    return library;
}

void* FindSymbol(void* library, const char* name) { return name != nullptr ? ::dlsym(library, name) : nullptr; }

void* FindOrdinal(void*, int) { return nullptr; }

void CloseLibrary(void* library) { ::dlclose(library); }

std::optional<VersionBlock> ReadVersionBlock(const std::string&) { return std::nullopt; }

}  // namespace osbase
