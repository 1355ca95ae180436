// The operating-system calls that dcs-host and the tracing client library
// both make, written once: osbase_unix.cpp (POSIX) and osbase_win.cpp beside
// this header. It is a static library of its own, below the host's os stage
// and the tracer's platform calls, so that the tracer can link it without
// anything else of the host. Paths and texts are UTF-8 std::string (on Unix a
// path is whatever bytes the user gave); the Windows side turns them into
// UTF-16 at the boundary and calls only the wide-character APIs.
//
// Nothing here throws on purpose, and nothing keeps state: the tracer calls
// it from inside a process it must never disturb.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace osbase {

uint32_t ProcessId();

// Whether the path starts from a root ("/..."; "C:\...", "\..." or with
// forward slashes on Windows) rather than from the current folder.
bool IsAbsolute(const std::string& path);

// Whether two existing files are one, by the file system's own identity
// (device and inode; volume and file index), so that links, hard links and
// another spelling of the path are seen through. None when either cannot be
// opened, with `why` naming the path and the reason.
std::optional<bool> SameFile(const std::string& a, const std::string& b, std::string& why);

// --- Libraries ------------------------------------------------------------------

// Where a library's own imports are looked for first (Windows). Program: in
// the program's folder, as any LoadLibrary does (dcs-host's stand-ins sit
// beside it). Library: beside the library itself, for a library given by a
// path from a root (the real Marlix client brings its own); the loader leaves
// that undefined for any other path, which is looked for as usual. The Unix
// dynamic linker has its own rules and ignores this.
enum class ImportSearch { Program, Library };

// dlopen (local binding, so the library's symbols never take the place of
// anybody else's) or LoadLibraryW; null with `why` on failure.
void* OpenLibrary(const std::string& path, ImportSearch imports, std::string& why);
// An export by name; null when there is none (or no name is given).
void* FindSymbol(void* library, const char* name);
// An export by ordinal (Windows); always null on Unix, which has no ordinals.
void* FindOrdinal(void* library, int ordinal);
void CloseLibrary(void* library);

// What a Windows module's version block says of it.
struct VersionBlock {
    std::string displayName;  // "DCSDisplayName", as stored (with its blank)
    std::string fileVersion;  // the "FileVersion" string
    std::string fileNumber;   // the fixed FILEVERSION, "1.0.0.0"; empty when absent
};
// None when the file has no version block, and always on Unix.
std::optional<VersionBlock> ReadVersionBlock(const std::string& path);

#if defined(_WIN32)
// --- For the Windows sources of the seams built on this one -----------------

// UTF-8 to UTF-16 and back; text that cannot be converted gives an empty one.
std::wstring Wide(const std::string& text);
std::string Narrow(const wchar_t* text, size_t size);
std::string Narrow(const std::wstring& text);
// A path as the loader and the file APIs read it everywhere: the loader, for
// one, searches for a name with forward slashes instead of loading it.
std::wstring NativeWide(const std::string& path);
// The system's text for an error code, without its closing full stop and line
// end; "error N" when the system has none.
std::string SystemMessage(unsigned long code);
// The file a loaded module (an HMODULE; null: the program) was loaded from;
// empty when it cannot be told.
std::string ModuleFileName(void* module);
#endif

}  // namespace osbase
