// The Windows side of osbase.h. Paths and texts arrive as UTF-8 and are
// turned into UTF-16 here, for the wide-character APIs only: an ANSI call
// would read "Jörg Müller" in whatever code page the machine runs, and lose
// every character outside it.
#define WIN32_LEAN_AND_MEAN
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <cwchar>

#include "osbase.h"

namespace osbase {

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

std::wstring NativeWide(const std::string& path) {
    std::wstring wide = Wide(path);
    for (wchar_t& c : wide) {
        if (c == L'/') c = L'\\';
    }
    return wide;
}

std::string SystemMessage(unsigned long code) {
    wchar_t* text = nullptr;
    const DWORD length =
        FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::string message = length > 0 && text != nullptr ? Narrow(text, length) : std::string();
    if (text != nullptr) LocalFree(text);
    while (!message.empty() &&
           (message.back() == '\n' || message.back() == '\r' || message.back() == ' ' || message.back() == '.')) {
        message.pop_back();
    }
    return message.empty() ? "error " + std::to_string(code) : message;
}

std::string ModuleFileName(void* module) {
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            GetModuleFileNameW(static_cast<HMODULE>(module), &buffer[0], static_cast<DWORD>(buffer.size()));
        if (length == 0) return std::string();
        if (length < buffer.size()) return Narrow(buffer.data(), length);
        buffer.resize(buffer.size() * 2);
    }
}

uint32_t ProcessId() { return static_cast<uint32_t>(GetCurrentProcessId()); }

bool IsAbsolute(const std::string& path) {
    return (path.size() >= 3 && path[1] == ':' && (path[2] == '\\' || path[2] == '/')) ||
           (!path.empty() && (path[0] == '\\' || path[0] == '/'));
}

std::optional<bool> SameFile(const std::string& a, const std::string& b, std::string& why) {
    BY_HANDLE_FILE_INFORMATION info[2]{};
    const std::string* paths[2] = {&a, &b};
    for (int i = 0; i < 2; ++i) {
        // No access right is asked for, so a file another program holds
        // open is still seen, and a folder opens too. Links are followed.
        const HANDLE file =
            CreateFileW(Wide(*paths[i]).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                        OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            why = *paths[i] + ": " + SystemMessage(GetLastError());
            return std::nullopt;
        }
        const BOOL ok = GetFileInformationByHandle(file, &info[i]);
        const DWORD code = GetLastError();
        CloseHandle(file);
        if (ok == 0) {
            why = *paths[i] + ": " + SystemMessage(code);
            return std::nullopt;
        }
    }
    return info[0].dwVolumeSerialNumber == info[1].dwVolumeSerialNumber &&
           info[0].nFileIndexHigh == info[1].nFileIndexHigh && info[0].nFileIndexLow == info[1].nFileIndexLow;
}

void* OpenLibrary(const std::string& path, ImportSearch imports, std::string& why) {
    const std::wstring file = NativeWide(path);
    const HMODULE module = imports == ImportSearch::Library && IsAbsolute(path)
                               ? LoadLibraryExW(file.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH)
                               : LoadLibraryW(file.c_str());
    if (module == nullptr) {
        const DWORD code = GetLastError();
        why = "error " + std::to_string(code) + ": " + SystemMessage(code);
    }
    return reinterpret_cast<void*>(module);
}

namespace {

// GetProcAddress gives a code pointer; the callers hold it as void*.
void* AsPointer(FARPROC proc) {
    void* symbol = nullptr;
    static_assert(sizeof proc == sizeof symbol, "code and data pointers differ in size");
    std::memcpy(&symbol, &proc, sizeof symbol);
    return symbol;
}

}  // namespace

void* FindSymbol(void* library, const char* name) {
    return name != nullptr ? AsPointer(GetProcAddress(static_cast<HMODULE>(library), name)) : nullptr;
}

void* FindOrdinal(void* library, int ordinal) {
    return AsPointer(GetProcAddress(static_cast<HMODULE>(library), MAKEINTRESOURCEA(static_cast<WORD>(ordinal))));
}

void CloseLibrary(void* library) { FreeLibrary(static_cast<HMODULE>(library)); }

std::optional<VersionBlock> ReadVersionBlock(const std::string& path) {
    const std::wstring file = NativeWide(path);
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(file.c_str(), &ignored);
    if (size == 0) return std::nullopt;
    std::string block(size, '\0');
    if (GetFileVersionInfoW(file.c_str(), 0, size, &block[0]) == 0) return std::nullopt;
    VersionBlock result;
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    if (VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length) != 0 && fixed != nullptr) {
        char text[64];
        std::snprintf(text, sizeof text, "%u.%u.%u.%u", static_cast<unsigned>(HIWORD(fixed->dwFileVersionMS)),
                      static_cast<unsigned>(LOWORD(fixed->dwFileVersionMS)),
                      static_cast<unsigned>(HIWORD(fixed->dwFileVersionLS)),
                      static_cast<unsigned>(LOWORD(fixed->dwFileVersionLS)));
        result.fileNumber = text;
    }
    // The strings sit under the block's first language and code page; the
    // driver's is US English, 1252.
    std::wstring table = L"040904E4";
    struct Translation {
        WORD language;
        WORD codePage;
    };
    void* found = nullptr;
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
    result.displayName = text(L"DCSDisplayName");
    result.fileVersion = text(L"FileVersion");
    return result;
}

}  // namespace osbase
