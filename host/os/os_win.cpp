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

std::wstring Wide(const std::string& text) {
    if (text.empty()) return std::wstring();
    const int length = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(length > 0 ? length : 0), L'\0');
    if (length > 0) {
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &wide[0], length);
    }
    return wide;
}

std::string Narrow(const wchar_t* text, size_t size) {
    if (size == 0) return std::string();
    const int length = WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(size), nullptr, 0, nullptr, nullptr);
    std::string narrow(static_cast<size_t>(length > 0 ? length : 0), '\0');
    if (length > 0) {
        WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(size), &narrow[0], length, nullptr, nullptr);
    }
    return narrow;
}

std::string Narrow(const std::wstring& text) { return Narrow(text.data(), text.size()); }

// The loader and the file APIs take either slash in most places, but not in
// all (LoadLibrary searches instead of loading a path with forward slashes).
std::wstring NativeWide(const std::string& path) {
    std::wstring wide = Wide(path);
    for (wchar_t& c : wide) {
        if (c == L'/') c = L'\\';
    }
    return wide;
}

std::string SystemMessage(DWORD code) {
    wchar_t* text = nullptr;
    const DWORD length =
        FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::string message = length > 0 && text != nullptr ? Narrow(text, length) : std::string();
    LocalFree(text);
    while (!message.empty() &&
           (message.back() == '\n' || message.back() == '\r' || message.back() == ' ' || message.back() == '.')) {
        message.pop_back();
    }
    return message.empty() ? "error " + std::to_string(code) : message;
}

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

std::optional<bool> SameFile(const std::string& a, const std::string& b) {
    BY_HANDLE_FILE_INFORMATION info[2]{};
    const std::string* paths[2] = {&a, &b};
    for (int i = 0; i < 2; ++i) {
        const HANDLE file = OpenForAttributes(Wide(*paths[i]));
        if (file == INVALID_HANDLE_VALUE) return std::nullopt;
        const BOOL ok = GetFileInformationByHandle(file, &info[i]);
        CloseHandle(file);
        if (ok == 0) return std::nullopt;
    }
    return info[0].dwVolumeSerialNumber == info[1].dwVolumeSerialNumber &&
           info[0].nFileIndexHigh == info[1].nFileIndexHigh && info[0].nFileIndexLow == info[1].nFileIndexLow;
}

uint32_t ProcessId() { return static_cast<uint32_t>(GetCurrentProcessId()); }

void* OpenLibrary(const std::string& path, std::string& why) {
    const HMODULE module = LoadLibraryW(NativeWide(path).c_str());
    if (module == nullptr) {
        const DWORD code = GetLastError();
        why = "error " + std::to_string(code) + ": " + SystemMessage(code);
        return nullptr;
    }
    // The driver's message boxes are recorded and printed, as on Linux,
    // instead of waiting for a click nobody can give.
    CaptureMessageBoxes(module);
    return reinterpret_cast<void*>(module);
}

void* FindSymbol(void* library, const char* name) {
    FARPROC proc = GetProcAddress(static_cast<HMODULE>(library), name);
    void* symbol = nullptr;
    static_assert(sizeof proc == sizeof symbol, "code and data pointers differ in size");
    std::memcpy(&symbol, &proc, sizeof symbol);
    return symbol;
}

void CloseLibrary(void* library) { FreeLibrary(static_cast<HMODULE>(library)); }

std::string ExecutablePath() {
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, &buffer[0], static_cast<DWORD>(buffer.size()));
        if (length == 0) return std::string();
        if (length < buffer.size()) return Narrow(buffer.data(), length);
        buffer.resize(buffer.size() * 2);
    }
}

std::optional<VersionBlock> ReadVersionBlock(const std::string& path) {
    const std::wstring file = NativeWide(path);
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(file.c_str(), &ignored);
    if (size == 0) return std::nullopt;
    std::string block(size, '\0');
    if (GetFileVersionInfoW(file.c_str(), 0, size, &block[0]) == 0) return std::nullopt;
    // The strings sit under the block's first language and code page; the
    // driver's is US English, 1252.
    std::wstring table = L"040904E4";
    struct Translation {
        WORD language;
        WORD codePage;
    };
    void* found = nullptr;
    UINT length = 0;
    if (VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation", &found, &length) != 0 &&
        length >= sizeof(Translation)) {
        Translation first{};
        std::memcpy(&first, found, sizeof first);
        const wchar_t* const digits = L"0123456789ABCDEF";
        table.clear();
        for (const unsigned value : {unsigned{first.language}, unsigned{first.codePage}}) {
            for (int shift = 12; shift >= 0; shift -= 4) table += digits[(value >> shift) & 0xF];
        }
    }
    auto text = [&](const wchar_t* key) {
        const std::wstring query = L"\\StringFileInfo\\" + table + L"\\" + key;
        void* value = nullptr;
        UINT characters = 0;
        if (VerQueryValueW(block.data(), query.c_str(), &value, &characters) == 0 || value == nullptr) {
            return std::string();
        }
        const auto* chars = static_cast<const wchar_t*>(value);
        return Narrow(chars, wcsnlen(chars, characters));
    };
    return VersionBlock{text(L"DCSDisplayName"), text(L"FileVersion")};
}

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
