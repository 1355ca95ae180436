// The Windows side of os.h. Paths and texts arrive as UTF-8 and are turned
// into UTF-16 here, for the wide-character APIs only: an ANSI call would read
// "Jörg Müller" in whatever code page the machine runs, and lose every
// character outside it.
#define WIN32_LEAN_AND_MEAN
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
// windows.h first: these need its types.
#include <fcntl.h>
#include <io.h>
#include <shellapi.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <iostream>
#include <streambuf>

#include "box_capture.h"
#include "os/os.h"

namespace host::os {

namespace {

using osbase::Narrow;
using osbase::SystemMessage;
using osbase::Wide;

bool NotThere(DWORD code) {
    return code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND || code == ERROR_INVALID_NAME ||
           code == ERROR_BAD_NETPATH;
}

// A handle for reading a file's attributes only: no access right is asked
// for, so a file another program holds open is still seen, and a directory
// opens too. Links are followed.
HANDLE OpenForAttributes(const std::wstring& path) {
    return CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                       FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

// --- Console -----------------------------------------------------------------

bool gConsole[2] = {false, false};  // stdout, stderr
UINT gOutputCodePageBefore = 0;

HANDLE StreamHandle(std::FILE* stream) { return GetStdHandle(stream == stderr ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE); }

bool IsConsole(std::FILE* stream) { return gConsole[stream == stderr ? 1 : 0]; }

void WriteConsoleText(HANDLE console, const std::string& text) {
    const std::wstring wide = Wide(text);
    size_t done = 0;
    while (done < wide.size()) {
        // Large writes to a console can fail outright; a few KiB at a time
        // always go.
        const DWORD chunk = static_cast<DWORD>(std::min<size_t>(wide.size() - done, 8192));
        DWORD written = 0;
        if (WriteConsoleW(console, wide.data() + done, chunk, &written, nullptr) == 0 || written == 0) return;
        done += written;
    }
}

// std::cout on a console: whole lines in UTF-16.
class ConsoleBuffer : public std::streambuf {
public:
    explicit ConsoleBuffer(std::FILE* stream) : stream_(stream) {}

protected:
    int_type overflow(int_type c) override {
        if (c != traits_type::eof()) {
            pending_ += static_cast<char>(c);
            if (c == '\n') sync();
        }
        return traits_type::not_eof(c);
    }
    std::streamsize xsputn(const char* s, std::streamsize n) override {
        pending_.append(s, static_cast<size_t>(n));
        if (pending_.find('\n') != std::string::npos) sync();
        return n;
    }
    int sync() override {
        if (!pending_.empty()) {
            Write(stream_, pending_);
            pending_.clear();
        }
        return 0;
    }

private:
    std::FILE* stream_;
    std::string pending_;
};

void RestoreConsole() {
    if (gOutputCodePageBefore != 0) SetConsoleOutputCP(gOutputCodePageBefore);
}

// --- Interrupts -----------------------------------------------------------------

// The temporary files now open. The control handler runs on a thread of its
// own while the program goes on, so the table is of atomic pointers, as on
// Unix.
constexpr size_t kTrackedFiles = 64;
std::atomic<wchar_t*> gLive[kTrackedFiles];
// Changed while the program runs (SetInterruptNotice), read by the handler.
std::atomic<const char*> gNotice{nullptr};

wchar_t* CopyOf(const std::wstring& text) {
    auto* copy = static_cast<wchar_t*>(std::malloc((text.size() + 1) * sizeof(wchar_t)));
    if (copy != nullptr) std::memcpy(copy, text.c_str(), (text.size() + 1) * sizeof(wchar_t));
    return copy;
}

BOOL WINAPI OnControl(DWORD event) {
    switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT: break;
    default: return FALSE;
    }
    // The files were created with FILE_SHARE_DELETE, so they go even while
    // the program's other thread still has them open: the name at once, the
    // data when the last handle closes with the process.
    for (std::atomic<wchar_t*>& slot : gLive) {
        const wchar_t* path = slot.load();
        if (path != nullptr) DeleteFileW(path);
    }
    const char* notice = gNotice.load();
    if (notice != nullptr) {
        const HANDLE err = GetStdHandle(STD_ERROR_HANDLE);
        if (IsConsole(stderr)) {
            WriteConsoleText(err, notice);
        } else {
            DWORD written = 0;
            WriteFile(err, notice, static_cast<DWORD>(std::strlen(notice)), &written, nullptr);
        }
    }
    RestoreConsole();
    // Not ExitProcess: it would run the C library's exit code while the
    // program's thread may hold its locks.
    TerminateProcess(GetCurrentProcess(), static_cast<UINT>(STATUS_CONTROL_C_EXIT));
    return TRUE;
}

}  // namespace

std::filesystem::path FsPath(const std::string& path) { return std::filesystem::path(Wide(path)); }
std::string Utf8(const std::filesystem::path& path) { return Narrow(path.wstring()); }
std::string GenericUtf8(const std::filesystem::path& path) { return Narrow(path.generic_wstring()); }

bool Status(const std::string& path, FileStatus& status, std::string& why) {
    status = FileStatus{};
    const HANDLE file = OpenForAttributes(Wide(path));
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD code = GetLastError();
        if (NotThere(code)) return true;
        why = SystemMessage(code);
        return false;
    }
    switch (GetFileType(file)) {
    case FILE_TYPE_CHAR: status.type = FileType::CharacterDevice; break;
    case FILE_TYPE_PIPE: status.type = FileType::Fifo; break;
    case FILE_TYPE_DISK: {
        BY_HANDLE_FILE_INFORMATION info{};
        if (GetFileInformationByHandle(file, &info) == 0) {
            why = SystemMessage(GetLastError());
            CloseHandle(file);
            return false;
        }
        if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            status.type = FileType::Directory;
        } else {
            status.type = FileType::Regular;
            status.size = (static_cast<uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
        }
        break;
    }
    default: status.type = FileType::Other;
    }
    CloseHandle(file);
    return true;
}

bool IsDanglingLink(const std::string& path) {
    const std::wstring wide = Wide(path);
    const DWORD attributes = GetFileAttributesW(wide.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) return false;
    const HANDLE file = OpenForAttributes(wide);
    if (file != INVALID_HANDLE_VALUE) {
        CloseHandle(file);
        return false;
    }
    return NotThere(GetLastError());
}

std::FILE* OpenFile(const std::string& path, const char* mode, std::string& why) {
    const bool writing = std::strchr(mode, 'r') == nullptr;
    if (!writing) {
        // _wfopen would leave out FILE_SHARE_DELETE: while a trace was read,
        // the tracer could then neither rename nor delete it.
        const HANDLE file =
            CreateFileW(Wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            why = SystemMessage(GetLastError());
            return nullptr;
        }
        const int descriptor = _open_osfhandle(reinterpret_cast<intptr_t>(file), _O_RDONLY | _O_BINARY);
        if (descriptor == -1) {
            why = "cannot use the file's handle";
            CloseHandle(file);
            return nullptr;
        }
        std::FILE* stream = _fdopen(descriptor, "rb");
        if (stream == nullptr) {
            why = std::strerror(errno);
            _close(descriptor);
        }
        return stream;
    }
    // Written files are created new (the temporary names are unique) and
    // shared for deletion, so the interrupt handler can remove them while
    // they are open.
    const HANDLE file = CreateFileW(Wide(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                    CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        why = SystemMessage(GetLastError());
        return nullptr;
    }
    const int descriptor = _open_osfhandle(reinterpret_cast<intptr_t>(file), _O_WRONLY | _O_BINARY);
    if (descriptor == -1) {
        why = "cannot use the file's handle";
        CloseHandle(file);
        return nullptr;
    }
    std::FILE* stream = _fdopen(descriptor, "wb");
    if (stream == nullptr) {
        why = std::strerror(errno);
        _close(descriptor);
    }
    return stream;
}

bool Rename(const std::string& from, const std::string& to, std::string& why) {
    // The C library's rename refuses to replace an existing file on Windows;
    // MoveFileEx replaces it in one step.
    if (MoveFileExW(Wide(from).c_str(), Wide(to).c_str(), MOVEFILE_REPLACE_EXISTING) != 0) return true;
    why = SystemMessage(GetLastError());
    return false;
}

void CopyPermissions(const std::string&, const std::string&) {}

bool RemoveFile(const std::string& path) { return DeleteFileW(Wide(path).c_str()) != 0; }

void* OpenLibrary(const std::string& path, std::string& why) {
    void* module = osbase::OpenLibrary(path, osbase::ImportSearch::Program, why);
    // The driver's message boxes are recorded and printed, as on Linux,
    // instead of waiting for a click nobody can give.
    if (module != nullptr) CaptureMessageBoxes(static_cast<HMODULE>(module));
    return module;
}

std::string ExecutablePath() { return osbase::ModuleFileName(nullptr); }

std::vector<std::string> Arguments(int argc, char** argv) {
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (wide == nullptr) return std::vector<std::string>(argv, argv + argc);
    std::vector<std::string> arguments;
    for (int i = 0; i < count; ++i) arguments.push_back(Narrow(wide[i], std::wcslen(wide[i])));
    LocalFree(wide);
    return arguments;
}

void UseUtf8Console() {
    std::FILE* streams[2] = {stdout, stderr};
    bool any = false;
    for (int i = 0; i < 2; ++i) {
        DWORD mode = 0;
        gConsole[i] = GetConsoleMode(StreamHandle(streams[i]), &mode) != 0;
        any = any || gConsole[i];
    }
    if (!any) return;
    // Text that still goes out as bytes (printf) is read as UTF-8 by the
    // console, until the program ends.
    gOutputCodePageBefore = GetConsoleOutputCP();
    SetConsoleOutputCP(CP_UTF8);
    std::atexit(RestoreConsole);
    static ConsoleBuffer out(stdout);
    static ConsoleBuffer err(stderr);
    if (gConsole[0]) std::cout.rdbuf(&out);
    if (gConsole[1]) std::cerr.rdbuf(&err);
}

void Write(std::FILE* stream, const std::string& text) {
    if (IsConsole(stream)) {
        std::fflush(stream);
        WriteConsoleText(StreamHandle(stream), text);
        return;
    }
    std::fwrite(text.data(), 1, text.size(), stream);
}

std::optional<size_t> TerminalWidth() {
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (_isatty(_fileno(stdout)) != 0 && GetConsoleScreenBufferInfo(GetStdHandle(STD_OUTPUT_HANDLE), &info) != 0) {
        const int width = info.srWindow.Right - info.srWindow.Left + 1;
        if (width > 0) return static_cast<size_t>(width);
    }
    return std::nullopt;
}

void TrackTemporary(const std::string& path) {
    wchar_t* copy = CopyOf(Wide(path));
    if (copy == nullptr) return;
    for (std::atomic<wchar_t*>& slot : gLive) {
        wchar_t* expected = nullptr;
        if (slot.compare_exchange_strong(expected, copy)) return;
    }
    std::free(copy);
}

void UntrackTemporary(const std::string& path) {
    const std::wstring wide = Wide(path);
    for (std::atomic<wchar_t*>& slot : gLive) {
        wchar_t* held = slot.load();
        if (held != nullptr && wide == held && slot.compare_exchange_strong(held, nullptr)) {
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
    SetConsoleCtrlHandler(OnControl, TRUE);
}

}  // namespace host::os
