// The tracer's system calls on Linux (POSIX).
#include <dlfcn.h>
#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "osbase.h"
#include "trace_platform.h"

namespace mrxtrace {
namespace platform {

namespace {

const char* KindOf(mode_t mode) {
    if (S_ISDIR(mode)) return "a folder";
    if (S_ISFIFO(mode)) return "a named pipe";
    if (S_ISCHR(mode)) return "a character device";
    if (S_ISBLK(mode)) return "a block device";
    if (S_ISSOCK(mode)) return "a socket";
    return "no regular file";
}

}  // namespace

CreateResult CreateNewFile(const std::string& path, FileHandle* file, std::string* error) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0644);
    if (fd < 0) {
        if (errno == EEXIST) {
            struct stat st {};
            if (::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
                *error = KindOf(st.st_mode);
                return CreateResult::NotAFile;
            }
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

void AtFork(void (*prepare)(), void (*parent)(), void (*child)()) { ::pthread_atfork(prepare, parent, child); }

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

std::string NotARegularFile(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || S_ISREG(st.st_mode)) {
        return std::string();
    }
    return KindOf(st.st_mode);
}

bool GetEnv(const char* name, std::string* value) {
    const char* text = std::getenv(name);
    if (text == nullptr) {
        return false;
    }
    *value = text;
    return true;
}

ReadResult ReadSmallFile(const std::string& path, size_t maxBytes, std::string* content, std::string* problem) {
    // O_NONBLOCK: opening a named pipe would otherwise wait for a writer.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        if (errno == ENOENT) {
            return ReadResult::Absent;
        }
        *problem = std::strerror(errno);
        return ReadResult::Refused;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        *problem = std::strerror(errno);
        ::close(fd);
        return ReadResult::Refused;
    }
    if (!S_ISREG(st.st_mode)) {
        *problem = std::string("it is ") + KindOf(st.st_mode) + ", not a regular file";
        ::close(fd);
        return ReadResult::Refused;
    }
    const std::string tooBig = "it has more than " + std::to_string(maxBytes) + " bytes";
    if (static_cast<unsigned long long>(st.st_size) > maxBytes) {
        *problem = tooBig;
        ::close(fd);
        return ReadResult::Refused;
    }
    // One byte more than allowed is asked for, so that a file that grew
    // since fstat is still seen to be too big.
    content->assign(maxBytes + 1, '\0');
    size_t got = 0;
    while (got < content->size()) {
        const ssize_t n = ::read(fd, &(*content)[got], content->size() - got);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            *problem = std::strerror(errno);
            ::close(fd);
            return ReadResult::Refused;
        }
        if (n == 0) {
            break;
        }
        got += static_cast<size_t>(n);
    }
    ::close(fd);
    if (got > maxBytes) {
        *problem = tooBig;
        return ReadResult::Refused;
    }
    content->resize(got);
    return ReadResult::Read;
}

void* FindOperation(void* library, const char* name, int) { return osbase::FindSymbol(library, name); }

}  // namespace platform
}  // namespace mrxtrace
