#include "output/output_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
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

namespace fs = std::filesystem;

// The temporary files now open, for the signal handler. A handler may only
// read lock-free atomics and call async-signal-safe functions, so the paths
// sit in a fixed table of atomic pointers rather than a container. A file
// that finds no free slot is still removed on every ordinary exit; only an
// interrupt would leave it.
constexpr size_t kTrackedFiles = 64;
std::atomic<char*> gLiveTemporaries[kTrackedFiles];

void Track(const std::string& path) {
    char* copy = strdup(path.c_str());
    if (copy == nullptr) {
        return;
    }
    for (std::atomic<char*>& slot : gLiveTemporaries) {
        char* expected = nullptr;
        if (slot.compare_exchange_strong(expected, copy)) {
            return;
        }
    }
    std::free(copy);
}

void Untrack(const std::string& path) {
    for (std::atomic<char*>& slot : gLiveTemporaries) {
        char* held = slot.load();
        if (held != nullptr && path == held && slot.compare_exchange_strong(held, nullptr)) {
            std::free(held);
            return;
        }
    }
}

extern "C" void RemoveTemporariesAndDie(int signal) {
    for (std::atomic<char*>& slot : gLiveTemporaries) {
        const char* path = slot.load();
        if (path != nullptr) {
            unlink(path);
        }
    }
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

std::string Reason() { return std::strerror(errno); }

const char* KindOf(const fs::file_status& status) {
    switch (status.type()) {
    case fs::file_type::directory: return "a directory";
    case fs::file_type::fifo: return "a FIFO";
    case fs::file_type::character: return "a character device";
    case fs::file_type::block: return "a block device";
    case fs::file_type::socket: return "a socket";
    default: return "not a regular file";
    }
}

// A name no other run writing the same target at the same time would pick.
std::string TemporaryName(const fs::path& target) {
    static unsigned counter = 0;
    return (target.parent_path() / ("." + target.filename().string() + "." + std::to_string(getpid()) + "-" +
                                    std::to_string(counter++) + ".tmp"))
        .string();
}

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
    std::error_code error;
    // A link is followed so that the file it names is replaced, not the link.
    fs::path target = fs::weakly_canonical(fs::absolute(path_, error), error);
    if (error || path_.empty()) {
        throw OutputError("cannot write \"" + path_ +
                          "\": " + (path_.empty() ? "no file name given" : error.message()));
    }
    const fs::file_status status = fs::status(target, error);
    if (fs::exists(status) && !fs::is_regular_file(status)) {
        throw OutputError("cannot write \"" + path_ + "\": it is " + KindOf(status) +
                          "; an output replaces only a regular file");
    }
    const fs::file_status folder = fs::status(target.parent_path(), error);
    if (!fs::is_directory(folder)) {
        throw OutputError("cannot write \"" + path_ + "\": its folder \"" + target.parent_path().string() + "\" " +
                          (fs::exists(folder) ? "is not a directory" : "does not exist"));
    }
    target_ = target.string();
    tempPath_ = TemporaryName(target);
    Track(tempPath_);
    out_.open(tempPath_, std::ios::binary | std::ios::trunc);
    if (!out_) {
        const std::string why = Reason();
        Untrack(tempPath_);
        throw OutputError("cannot write \"" + path_ + "\": cannot create a file in its folder \"" +
                          target.parent_path().string() + "\": " + why);
    }
    live_ = true;
}

OutputFile::~OutputFile() {
    if (live_) {
        out_.close();
        std::remove(tempPath_.c_str());
        Untrack(tempPath_);
    }
}

void OutputFile::Fail(const std::string& why) {
    out_.close();
    std::remove(tempPath_.c_str());
    Untrack(tempPath_);
    live_ = false;
    throw OutputError("cannot write \"" + path_ + "\": " + why);
}

void OutputFile::Commit() {
    if (!live_) {
        throw OutputError("cannot write \"" + path_ + "\": it was already written or given up");
    }
    errno = 0;
    out_.flush();
    out_.close();
    if (!out_) {
        Fail(errno != 0 ? Reason() : "the temporary file could not be written whole");
    }
    struct stat existing {};
    if (stat(target_.c_str(), &existing) == 0) {
        // The replacement keeps who may read the earlier file.
        chmod(tempPath_.c_str(), existing.st_mode & 07777);
    }
    std::string why;
    if (!MoveIntoPlace(tempPath_, target_, why)) {
        Fail(why);
    }
    Untrack(tempPath_);
    live_ = false;
}

void WriteWholeFile(const std::string& path, const std::string& text) {
    OutputFile file(path);
    file.Stream() << text;
    file.Commit();
}

void RemoveTemporaryFilesOnSignal() {
#if defined(_WIN32)
    // Ctrl-C and Ctrl-Break reach a console program as these two.
    const int signals[] = {SIGINT, SIGTERM, SIGBREAK};
#else
    const int signals[] = {SIGINT, SIGTERM, SIGHUP, SIGPIPE};
#endif
    for (int signal : signals) {
        // A signal the caller has us ignore (nohup, a background job) stays
        // ignored.
        if (std::signal(signal, RemoveTemporariesAndDie) == SIG_IGN) {
            std::signal(signal, SIG_IGN);
        }
    }
}

}  // namespace host
