// The tracer's system calls on Windows. Every path goes through the
// wide-character APIs; the rest of the tracer speaks UTF-8.
#define WIN32_LEAN_AND_MEAN
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <cstdio>
#include <vector>

#include "osbase.h"
#include "trace_platform.h"

namespace mrxtrace {
namespace platform {

namespace {

using osbase::Wide;

// The tracer's reasons give the system's text and its code.
std::string LastError() {
    const DWORD code = GetLastError();
    const std::string number = "error " + std::to_string(code);
    const std::string message = osbase::SystemMessage(code);
    return message == number ? number : message + " (" + number + ")";
}

uint64_t Frequency() {
    static const uint64_t frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return static_cast<uint64_t>(f.QuadPart);
    }();
    return frequency;
}

}  // namespace

CreateResult CreateNewFile(const std::string& path, FileHandle* file, std::string* error) {
    HANDLE h = CreateFileW(Wide(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        if (GetLastError() == ERROR_FILE_EXISTS || GetLastError() == ERROR_ALREADY_EXISTS) {
            return CreateResult::Exists;
        }
        *error = LastError();
        return CreateResult::Failed;
    }
    // Device names (NUL, CON, COM1, ...) are opened, not made.
    if (GetFileType(h) != FILE_TYPE_DISK) {
        CloseHandle(h);
        *error = "a device";
        return CreateResult::NotAFile;
    }
    *file = reinterpret_cast<FileHandle>(h);
    return CreateResult::Created;
}

bool WriteAll(FileHandle file, const char* data, size_t size, std::string* error) {
    while (size > 0) {
        const DWORD chunk = size > 0x40000000u ? 0x40000000u : static_cast<DWORD>(size);
        DWORD done = 0;
        if (!WriteFile(reinterpret_cast<HANDLE>(file), data, chunk, &done, nullptr)) {
            *error = LastError();
            return false;
        }
        data += done;
        size -= done;
    }
    return true;
}

void CloseFile(FileHandle file) {
    if (file != kNoFile) CloseHandle(reinterpret_cast<HANDLE>(file));
}

uint64_t MonotonicNs() {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    const uint64_t count = static_cast<uint64_t>(now.QuadPart);
    const uint64_t f = Frequency();
    return count / f * 1000000000u + count % f * 1000000000u / f;
}

uint64_t TimerResolutionNs() {
    const uint64_t f = Frequency();
    return f >= 1000000000u ? 1 : (1000000000u + f - 1) / f;
}

std::string UtcNow() {
    FILETIME ft;
    GetSystemTimeAsFileTime(&ft);
    SYSTEMTIME st;
    FileTimeToSystemTime(&ft, &st);
    const uint64_t ticks = (static_cast<uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
    char text[96];
    std::snprintf(text, sizeof text, "%04u-%02u-%02uT%02u:%02u:%02u.%06uZ", st.wYear, st.wMonth, st.wDay, st.wHour,
                  st.wMinute, st.wSecond, static_cast<unsigned>(ticks % 10000000u / 10));
    return text;
}

void AtFork(void (*)(), void (*)(), void (*)()) {}

void DebugOutput(const std::string& text) { OutputDebugStringW(Wide("[mrx3p-trace] " + text + "\n").c_str()); }

std::string OwnLibraryPath() {
    HMODULE self = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            reinterpret_cast<LPCWSTR>(&OwnLibraryPath), &self)) {
        return std::string();
    }
    return osbase::ModuleFileName(self);
}

std::string DirectoryOf(const std::string& path) {
    const size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? std::string(".\\") : path.substr(0, slash + 1);
}

std::string TempDirectory() {
    wchar_t buffer[MAX_PATH + 2];
    const DWORD n = GetTempPathW(MAX_PATH + 1, buffer);
    if (n == 0 || n > MAX_PATH + 1) return ".\\";
    std::string dir = osbase::Narrow(buffer, n);
    if (dir.back() != '\\' && dir.back() != '/') dir += '\\';
    return dir;
}

std::string NotARegularFile(const std::string& path) {
    if (path.compare(0, 4, "\\\\.\\") == 0 || path.compare(0, 4, "//./") == 0) return "a device";
    const DWORD attributes = GetFileAttributesW(Wide(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return std::string();
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return "a folder";
    if ((attributes & FILE_ATTRIBUTE_DEVICE) != 0) return "a device";
    return std::string();
}

bool GetEnv(const char* name, std::string* value) {
    const std::wstring wname = Wide(name);
    const DWORD n = GetEnvironmentVariableW(wname.c_str(), nullptr, 0);
    if (n == 0) return false;
    std::vector<wchar_t> buffer(n);
    const DWORD got = GetEnvironmentVariableW(wname.c_str(), buffer.data(), n);
    if (got == 0 || got >= n) return false;
    *value = osbase::Narrow(buffer.data(), got);
    return true;
}

ReadResult ReadSmallFile(const std::string& path, size_t maxBytes, std::string* content, std::string* problem) {
    problem->clear();
    const std::wstring wide = Wide(path);
    const DWORD attributes = GetFileAttributesW(wide.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        if (GetLastError() == ERROR_FILE_NOT_FOUND || GetLastError() == ERROR_PATH_NOT_FOUND) return ReadResult::Absent;
        *problem = LastError();
        return ReadResult::Refused;
    }
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        *problem = "it is a folder, not a regular file";
        return ReadResult::Refused;
    }
    HANDLE h = CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        *problem = LastError();
        return ReadResult::Refused;
    }
    LARGE_INTEGER size{};
    if (GetFileType(h) != FILE_TYPE_DISK) {
        *problem = "it is a device, not a regular file";
    } else if (!GetFileSizeEx(h, &size)) {
        *problem = LastError();
    } else if (static_cast<unsigned long long>(size.QuadPart) > maxBytes) {
        *problem = "it has more than " + std::to_string(maxBytes) + " bytes";
    } else {
        // One byte more than allowed is asked for, so that a file that grew
        // since its size was read is still seen to be too big.
        content->assign(maxBytes + 1, '\0');
        size_t got = 0;
        DWORD n = 0;
        bool ok = true;
        while (got < content->size() &&
               (ok = ReadFile(h, &(*content)[got], static_cast<DWORD>(content->size() - got), &n, nullptr) != 0) &&
               n > 0) {
            got += n;
        }
        if (!ok) {
            *problem = LastError();
        } else if (got > maxBytes) {
            *problem = "it has more than " + std::to_string(maxBytes) + " bytes";
        } else {
            content->resize(got);
        }
    }
    CloseHandle(h);
    return problem->empty() ? ReadResult::Read : ReadResult::Refused;
}

void* FindOperation(void* library, const char*, int ordinal) { return osbase::FindOrdinal(library, ordinal); }

}  // namespace platform
}  // namespace mrxtrace
