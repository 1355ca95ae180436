// Every file dcs-host reads (the case, the initialization string, an IO
// list) is read through here: a regular file of bounded size, read whole,
// or a message that says which file and why not.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace host {

// The largest input file dcs-host reads.
constexpr uint64_t kMaxInputBytes = 64ull * 1024 * 1024;

// Reads `path` whole. Throws std::runtime_error naming `what` (for instance
// "the initialization string file"), the path and the reason when it is not
// a regular file, is larger than kMaxInputBytes or cannot be read. A FIFO or
// a device is refused without being opened, so nothing blocks or runs on.
std::string ReadInputFile(const std::string& path, const std::string& what);

// The refusal of a text file for its encoding. It is about the file's first
// bytes, so a caller can place it at line 1, column 1.
class TextEncodingError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Reads a text file the user writes (the case, an IO list): as
// ReadInputFile, and refuses a UTF-16 file (what Notepad saves as
// "Unicode") with a TextEncodingError, saying to save it as UTF-8.
std::string ReadTextFile(const std::string& path, const std::string& what);

// Reads a text a spreadsheet writes (an IO list): as ReadTextFile, but a
// UTF-16 file with its byte-order mark (a spreadsheet's "Unicode text") is
// decoded to UTF-8; one with a broken character is refused with a
// TextEncodingError naming its line.
std::string ReadSpreadsheetText(const std::string& path, const std::string& what);

// The first `count` bytes of `path` (fewer when it is shorter), to tell what
// kind of file it is; empty when it is not a regular file or cannot be read.
// A FIFO or a device is never opened, so nothing blocks.
std::string FileStart(const std::string& path, size_t count);

// Whether `path` is a trace of the Marlix client (begins as the tracer
// begins every trace), rather than a case or an initialization string.
bool IsTraceFile(const std::string& path);

// Throws as ReadInputFile does when `path` is not a regular file; reads
// nothing. For files another component opens (the driver library).
void RequireRegularFile(const std::string& path, const std::string& what);

}  // namespace host
