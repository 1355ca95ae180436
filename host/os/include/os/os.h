// What differs between Windows and the Unix systems, in one place. Everything
// above this layer handles paths and texts as UTF-8 std::string (on Unix a
// path is whatever bytes the user gave); os_win.cpp turns them into UTF-16 at
// the boundary and calls only the wide-character APIs, so nothing passes
// through the ANSI code page. os_unix.cpp is the plain POSIX side. The calls
// the tracing client makes too (the process id, the same-file test, the
// library calls, the version block) are osbase's, named here with the rest.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "osbase.h"

namespace host::os {

// --- Paths ------------------------------------------------------------------

// The std::filesystem path of a UTF-8 path, and back. On Windows a path made
// from a narrow string would be read in the ANSI code page; these never do.
std::filesystem::path FsPath(const std::string& path);
std::string Utf8(const std::filesystem::path& path);
// The same with forward slashes, which Windows takes as well, so that a path
// reads the same in the reports on both systems.
std::string GenericUtf8(const std::filesystem::path& path);

enum class FileType { Missing, Regular, Directory, Fifo, CharacterDevice, BlockDevice, Socket, Other };

struct FileStatus {
    FileType type = FileType::Missing;
    uint64_t size = 0;  // regular files only
};

// The status of the file `path` names, links followed. Missing when nothing
// is there (a dangling link included); false with `why` for any other failure.
bool Status(const std::string& path, FileStatus& status, std::string& why);
// Whether `path` itself is a link whose target does not exist.
bool IsDanglingLink(const std::string& path);

// A file opened with a UTF-8 path; null with `why` set on failure. "rb"
// reads, sharing the file with every other opener, so that a writer that
// renames, replaces or deletes it (the tracer does, on Windows too) is never
// refused because it is being read; "wb" creates a new file (failing when the name exists), which the
// interrupt handler can remove even while it is open.
std::FILE* OpenFile(const std::string& path, const char* mode, std::string& why);
// Renames `from` to `to`, replacing `to` in one step when it exists.
bool Rename(const std::string& from, const std::string& to, std::string& why);
// Gives `to` the permission bits of `from` (Unix; nothing to do on Windows).
void CopyPermissions(const std::string& from, const std::string& to);
bool RemoveFile(const std::string& path);
using osbase::ProcessId;
using osbase::SameFile;

// --- The driver library -------------------------------------------------------

// The driver, its imports looked for beside the program (where the stand-ins
// are); on Windows its message boxes are recorded and printed from then on.
// Null with `why` on failure.
void* OpenLibrary(const std::string& path, std::string& why);
using osbase::CloseLibrary;
using osbase::FindSymbol;
// The running program's own file; empty when it cannot be told.
std::string ExecutablePath();

// What a Windows DLL's version block tells the simulator about it.
using osbase::ReadVersionBlock;
using osbase::VersionBlock;

// --- The console ---------------------------------------------------------------

// The command line as UTF-8: on Windows read again as UTF-16 from the system
// (argv holds it in the ANSI code page, where a name may already be lost).
std::vector<std::string> Arguments(int argc, char** argv);
// From here on UTF-8 written to standard output and error shows as such on a
// Windows console (written there as UTF-16); files and pipes get the bytes.
void UseUtf8Console();
// Writes UTF-8 text to stdout or stderr (see UseUtf8Console).
void Write(std::FILE* stream, const std::string& text);
// The width of the terminal standard output goes to; none when it is no
// terminal.
std::optional<size_t> TerminalWidth();

// --- Interrupts ------------------------------------------------------------------

// Temporary files to remove when the run is interrupted (Ctrl-C, Ctrl-Break,
// the console window closing; SIGINT, SIGTERM, SIGHUP, SIGPIPE on Unix).
void TrackTemporary(const std::string& path);
void UntrackTemporary(const std::string& path);
// Installs the handler: it removes the tracked files, writes `notice` to
// standard error and ends the process as the interrupt would have. Call once,
// early; `notice` must outlive the process.
void RemoveTemporariesOnInterrupt(const char* notice);
// Replaces the notice, once the handler is installed (before, it does
// nothing); `notice` must outlive the process.
void SetInterruptNotice(const char* notice);

}  // namespace host::os
