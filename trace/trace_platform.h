// What the tracer alone needs of the operating system: the trace file, the
// clocks, the debug output, and for the client library its settings and the
// files beside itself. What it shares with dcs-host (the process id, the
// same-file test, loading the real library and reading its version block)
// is osbase.h. platform_unix.cpp and platform_win.cpp implement this one;
// every path here is UTF-8 (converted to the wide-character APIs on Windows).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace mrxtrace {
namespace platform {

// --- The trace file ---------------------------------------------------------
using FileHandle = intptr_t;
constexpr FileHandle kNoFile = -1;

// NotAFile: the name is taken by a device, a named pipe or a folder (*error
// says which); numbering names beside it would only litter /dev and the like.
enum class CreateResult { Created, Exists, NotAFile, Failed };
// Creates the file only if it does not exist yet (O_EXCL, CREATE_NEW), so
// that two processes never share one. The handle is not inherited by
// programs the process starts.
CreateResult CreateNewFile(const std::string& path, FileHandle* file, std::string* error);
bool WriteAll(FileHandle file, const char* data, size_t size, std::string* error);
void CloseFile(FileHandle file);

// --- Time and process ---------------------------------------------------------
uint64_t MonotonicNs();
uint64_t TimerResolutionNs();
// "2026-12-09T03:12:04.123456Z"
std::string UtcNow();

// Calls the three functions around every fork of the process (before it, and
// after it in the parent and in the child), as pthread_atfork does; nothing
// on Windows, which has no fork.
void AtFork(void (*prepare)(), void (*parent)(), void (*child)());

// One line for whoever watches the process: OutputDebugStringW on Windows,
// standard error elsewhere.
void DebugOutput(const std::string& text);

// --- For the client library -------------------------------------------------
// The file this library was loaded from (absolute), empty when unknown.
std::string OwnLibraryPath();
std::string DirectoryOf(const std::string& path);  // with its trailing separator
std::string TempDirectory();                       // with its trailing separator

// When the path names something other than a regular file (following links):
// what it is ("a named pipe", "a folder", ...); empty when it is a regular
// file, or cannot be looked at (the caller's own open then says why).
std::string NotARegularFile(const std::string& path);

// The variable's value; false when it is not set.
bool GetEnv(const char* name, std::string* value);
enum class ReadResult { Read, Absent, Refused };
// A small text file read whole: only a regular file, opened without
// blocking (a named pipe or a device never holds the caller up) and read
// only when it has at most maxBytes. Absent: there is no such file;
// Refused: *problem says why it was not read.
ReadResult ReadSmallFile(const std::string& path, size_t maxBytes, std::string* content, std::string* problem);

// An operation of the real library (osbase::OpenLibrary): by name on Linux;
// by ordinal on Windows, where the client library is bound by ordinal.
void* FindOperation(void* library, const char* name, int ordinal);

}  // namespace platform
}  // namespace mrxtrace
