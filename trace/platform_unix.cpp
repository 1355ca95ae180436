// The tracer's system calls on Linux (POSIX).
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "trace_platform.h"

namespace mrxtrace {
namespace platform {

CreateResult CreateNewFile(const std::string& path, FileHandle* file, std::string* error) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) {
        if (errno == EEXIST) {
            return CreateResult::Exists;
        }
        *error = std::strerror(errno);
        return CreateResult::Failed;
    }
    *file = fd;
    return CreateResult::Created;
}

bool WriteAll(FileHandle file, const char* data, size_t size, std::string* error) {
    while (size > 0) {
        const ssize_t n = ::write(static_cast<int>(file), data, size);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            *error = std::strerror(errno);
            return false;
        }
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

void CloseFile(FileHandle file) {
    if (file != kNoFile) {
        ::close(static_cast<int>(file));
    }
}

uint64_t MonotonicNs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<uint64_t>(ts.tv_sec) * 1000000000u + static_cast<uint64_t>(ts.tv_nsec);
}

uint64_t TimerResolutionNs() {
    timespec ts{};
    if (clock_getres(CLOCK_MONOTONIC, &ts) != 0) {
        return 1;
    }
    const uint64_t ns = static_cast<uint64_t>(ts.tv_sec) * 1000000000u + static_cast<uint64_t>(ts.tv_nsec);
    return ns == 0 ? 1 : ns;
}

std::string UtcNow() {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    tm parts{};
    const time_t seconds = ts.tv_sec;
    gmtime_r(&seconds, &parts);
    char text[96];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%06ldZ", parts.tm_year + 1900, parts.tm_mon + 1,
                  parts.tm_mday, parts.tm_hour, parts.tm_min, parts.tm_sec, static_cast<long>(ts.tv_nsec / 1000));
    return text;
}

uint32_t ProcessId() { return static_cast<uint32_t>(::getpid()); }

void DebugOutput(const std::string& text) {
    std::string line = "[mrx3p-trace] " + text + "\n";
    (void)!::write(2, line.data(), line.size());
}

std::string OwnLibraryPath() {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&OwnLibraryPath), &info) == 0 || info.dli_fname == nullptr) {
        return std::string();
    }
    char resolved[PATH_MAX];
    if (::realpath(info.dli_fname, resolved) == nullptr) {
        return info.dli_fname;
    }
    return resolved;
}

std::string DirectoryOf(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string("./") : path.substr(0, slash + 1);
}

bool IsAbsolute(const std::string& path) { return !path.empty() && path[0] == '/'; }

std::string TempDirectory() {
    std::string dir;
    if (!GetEnv("TMPDIR", &dir) || dir.empty()) {
        dir = "/tmp";
    }
    if (dir.back() != '/') {
        dir += '/';
    }
    return dir;
}

bool SameFile(const std::string& a, const std::string& b, bool* same, std::string* error) {
    struct stat sa {};
    struct stat sb {};
    if (::stat(a.c_str(), &sa) != 0) {
        *error = a + ": " + std::strerror(errno);
        return false;
    }
    if (::stat(b.c_str(), &sb) != 0) {
        *error = b + ": " + std::strerror(errno);
        return false;
    }
    *same = sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
    return true;
}

bool GetEnv(const char* name, std::string* value) {
    const char* text = std::getenv(name);
    if (text == nullptr) {
        return false;
    }
    *value = text;
    return true;
}

bool ReadWholeFile(const std::string& path, std::string* content) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        return false;
    }
    content->clear();
    char chunk[4096];
    size_t got = 0;
    while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) {
        content->append(chunk, got);
    }
    const bool ok = std::ferror(file) == 0;
    std::fclose(file);
    return ok;
}

void* LoadLibraryFile(const std::string& path, std::string* error) {
    // Local binding: the real library's symbols must not take the place of
    // this library's own for anybody else in the process.
    void* library = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        const char* why = ::dlerror();
        *error = why != nullptr ? why : "dlopen failed";
    }
    return library;
}

void* FindOperation(void* library, const char* name, int) { return name != nullptr ? ::dlsym(library, name) : nullptr; }

std::string LibraryFileVersion(const std::string&) { return std::string(); }

}  // namespace platform
}  // namespace mrxtrace
