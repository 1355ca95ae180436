// The Unix side of os.h: paths are bytes, passed through unchanged.
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>

#include "os/os.h"

namespace host::os {

namespace {

std::string Reason() { return std::strerror(errno); }

FileType TypeOf(mode_t mode) {
    if (S_ISREG(mode)) return FileType::Regular;
    if (S_ISDIR(mode)) return FileType::Directory;
    if (S_ISFIFO(mode)) return FileType::Fifo;
    if (S_ISCHR(mode)) return FileType::CharacterDevice;
    if (S_ISBLK(mode)) return FileType::BlockDevice;
    if (S_ISSOCK(mode)) return FileType::Socket;
    return FileType::Other;
}

// The temporary files now open, for the signal handler. A handler may only
// read lock-free atomics and call async-signal-safe functions, so the paths
// sit in a fixed table of atomic pointers rather than a container. A file
// that finds no free slot is still removed on every ordinary exit; only an
// interrupt would leave it.
constexpr size_t kTrackedFiles = 64;
std::atomic<char*> gLive[kTrackedFiles];
// Changed while the program runs (SetInterruptNotice), read by the handler.
std::atomic<const char*> gNotice{nullptr};

extern "C" void RemoveAndDie(int signal) {
    for (std::atomic<char*>& slot : gLive) {
        const char* path = slot.load();
        if (path != nullptr) unlink(path);
    }
    // A closed pipe is how `| head` ends a run: nothing to tell.
    const char* notice = gNotice.load();
    if (notice != nullptr && signal != SIGPIPE) {
        const ssize_t ignored = write(STDERR_FILENO, notice, std::strlen(notice));
        (void)ignored;
    }
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

}  // namespace

std::filesystem::path FsPath(const std::string& path) { return std::filesystem::path(path); }
std::string Utf8(const std::filesystem::path& path) { return path.string(); }
std::string GenericUtf8(const std::filesystem::path& path) { return path.generic_string(); }

bool Status(const std::string& path, FileStatus& status, std::string& why) {
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) {
        if (errno == ENOENT || errno == ENOTDIR) {
            status = FileStatus{};
            return true;
        }
        why = Reason();
        return false;
    }
    status.type = TypeOf(info.st_mode);
    status.size = status.type == FileType::Regular ? static_cast<uint64_t>(info.st_size) : 0;
    return true;
}

bool IsDanglingLink(const std::string& path) {
    struct stat link {};
    struct stat target {};
    return lstat(path.c_str(), &link) == 0 && S_ISLNK(link.st_mode) && stat(path.c_str(), &target) != 0 &&
           errno == ENOENT;
}

std::FILE* OpenFile(const std::string& path, const char* mode, std::string& why) {
    if (std::strchr(mode, 'r') != nullptr) {
        std::FILE* file = std::fopen(path.c_str(), mode);
        if (file == nullptr) why = Reason();
        return file;
    }
    const int descriptor = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (descriptor < 0) {
        why = Reason();
        return nullptr;
    }
    std::FILE* file = fdopen(descriptor, "wb");
    if (file == nullptr) {
        why = Reason();
        close(descriptor);
    }
    return file;
}

bool Rename(const std::string& from, const std::string& to, std::string& why) {
    if (std::rename(from.c_str(), to.c_str()) == 0) return true;
    why = Reason();
    return false;
}

void CopyPermissions(const std::string& from, const std::string& to) {
    struct stat existing {};
    if (stat(from.c_str(), &existing) == 0) {
        chmod(to.c_str(), existing.st_mode & 07777);
    }
}

bool RemoveFile(const std::string& path) { return unlink(path.c_str()) == 0; }

void* OpenLibrary(const std::string& path, std::string& why) {
    return osbase::OpenLibrary(path, osbase::ImportSearch::Program, why);
}

std::string ExecutablePath() {
    std::error_code error;
    const std::filesystem::path path = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::string() : path.string();
}

std::vector<std::string> Arguments(int argc, char** argv) { return std::vector<std::string>(argv, argv + argc); }

void UseUtf8Console() {}

void Write(std::FILE* stream, const std::string& text) { std::fwrite(text.data(), 1, text.size(), stream); }

std::optional<size_t> TerminalWidth() {
    winsize size{};
    if (isatty(STDOUT_FILENO) == 1 && ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) {
        return size.ws_col;
    }
    return std::nullopt;
}

void TrackTemporary(const std::string& path) {
    char* copy = strdup(path.c_str());
    if (copy == nullptr) return;
    for (std::atomic<char*>& slot : gLive) {
        char* expected = nullptr;
        if (slot.compare_exchange_strong(expected, copy)) return;
    }
    std::free(copy);
}

void UntrackTemporary(const std::string& path) {
    for (std::atomic<char*>& slot : gLive) {
        char* held = slot.load();
        if (held != nullptr && path == held && slot.compare_exchange_strong(held, nullptr)) {
            std::free(held);
            return;
        }
    }
}

void SetInterruptNotice(const char* notice) {
    if (gNotice.load() != nullptr) gNotice.store(notice);
}

void RemoveTemporariesOnInterrupt(const char* notice) {
    gNotice.store(notice);
    for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) {
        // A signal the caller has us ignore (nohup, a background job) stays
        // ignored.
        if (std::signal(signal, RemoveAndDie) == SIG_IGN) {
            std::signal(signal, SIG_IGN);
        }
    }
}

}  // namespace host::os
