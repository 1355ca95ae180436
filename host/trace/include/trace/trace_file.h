// Reading a trace of the Marlix client (JSON Lines, one record a line) as a
// stream: one line in memory at a time, and no line longer than
// kMaxRecordBytes, so a trace of any size and shape is read in bounded
// memory. Tag names and the initialization string come back as the bytes
// the driver and the server exchanged. The reader does not trust the file:
// records out of order, a second process's trace appended, a missing
// closing summary and lines it cannot hold are each said in a note.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/mrx3p_operations.h"
#include "text/code_page.h"

namespace host {

// A trace that cannot be read at all: missing, not a trace, or a format
// version this reader does not know. The message names the file and says why.
class TraceError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The format version this reader reads.
// Version 3 names the code page of the names in the header; version 2 lets
// a call's "dur_ns" be null (a call not timed) and gives each operation's
// "timed" count in summaries; versions 1 and 2 read the same, in 1252.
constexpr int64_t kTraceFormatVersion = 3;
constexpr int64_t kOldestTraceFormatVersion = 1;

// The longest line held in memory. A call or summary record is a few
// hundred bytes plus its tag texts; an init_string record of 4 MiB carries
// a string of at least 700,000 characters (each byte written in at most six),
// many times the largest catalogue a plant serves. Longer lines are skipped
// with a note, which keeps a reading within 64 MiB whatever the file holds.
constexpr int64_t kMaxRecordBytes = 4 * 1024 * 1024;

struct TraceHeader {
    int64_t version = 0;
    std::string tracer;
    std::string level;  // "all", "changes", "failures"
    int64_t limitMb = 0;
    int64_t pid = 0;
    std::string startUtc;
    int64_t timerResolutionNs = 0;
    int64_t codePage = 0;  // the code page of the names' bytes; 0 when the trace names none
    // Paths and messages are UTF-8, not byte text.
    std::string realLibrary;
    std::string realFileVersion;   // empty when the trace gives none
    std::string settings;          // empty when none
    std::string realLibraryError;  // why the real library was not in use; empty when it was
    std::string settingsWarning;
};

struct TraceCall {
    int64_t seq = 0;
    int64_t tUs = 0;
    std::string op;
    int32_t ordinal = 0;
    bool tagOperation = false;  // ordinals 4 to 9, 11, 12
    int32_t dataSet = 0;
    std::string tag;  // bytes
    bool tagNull = false;
    std::optional<double> value;  // written, or read when the read succeeded
    int32_t status = 0;
    std::optional<double> result;
    uint32_t cookieBefore = 0;
    uint32_t cookieAfter = 0;
    int64_t durNs = -1;  // -1: the call was not timed
    int64_t folded = 0;

    bool IsWrite() const {
        const MrxOperationInfo* row = MrxOperationOf(ordinal);
        return row != nullptr && row->write;
    }
};

struct TraceInitString {
    int64_t seq = 0;
    int64_t tUs = 0;
    int64_t length = 0;  // the length the fetch was sized from
    std::string text;    // the bytes received, up to the first NUL
};

struct PendingFold {
    std::string op;
    int32_t dataSet = 0;
    std::string tag;
    int64_t folded = 0;
};

// The tracer's own figures of one operation, over every call it saw.
struct OpFigures {
    std::string op;
    int64_t calls = 0;
    int64_t failures = 0;
    int64_t timed = 0;      // the calls the durations are of
    int64_t medianNs = -1;  // -1: none was timed
    int64_t p99Ns = -1;
    int64_t maxNs = -1;
};

struct TraceSummaryRecord {
    std::string reason;  // "ResetLink", "exit", "limit"
    int64_t seq = 0;
    int64_t tUs = 0;
    int64_t calls = 0;
    int64_t failures = 0;
    bool stopped = false;
    std::vector<OpFigures> ops;
    std::vector<PendingFold> pendingFolds;
};

enum class TraceRecordType { Call, InitString, Summary, Other };

struct TraceRecord {
    TraceRecordType type = TraceRecordType::Other;
    int64_t line = 0;  // 1-based line of the file
    TraceCall call;
    TraceInitString initString;
    TraceSummaryRecord summary;
};

// "ReadAI" for ordinal 4, ...; null for an ordinal the client has none for.
const char* TraceOperationName(int32_t ordinal);
// The ordinal of an operation name; 0 for an unknown name.
int32_t TraceOrdinal(const std::string& op);

// Decodes a JSON string of byte text (every code point U+0000..U+00FF
// standing for the byte of that value) back into the bytes. Returns false
// for a code point above U+00FF or text that is not UTF-8.
bool DecodeByteText(const std::string& utf8, std::string& bytes);
// The other way round: each byte as the code point of its value, in UTF-8.
std::string EncodeByteText(const std::string& bytes);

// Byte text for a person: printable ASCII as it is, bytes above 0x7F as
// the code page reads them, control bytes and bytes the page leaves
// undefined as \r, \n, \t or \xNN. Valid UTF-8 whatever the bytes.
std::string DisplayBytes(const std::string& bytes, const CodePage& codePage);
// The same in code page 1252, for bytes of no known code page.
std::string DisplayBytes(const std::string& bytes);

// The code page a trace's names are shown in, and where that came from.
struct TraceCodePage {
    CodePage page;
    std::string from;  // "the trace's header", "--code-page", ...
    std::string note;  // when the header names a code page dcs-host lacks; else empty
};
// `chosen` (a code page the user named) over the header's; 1252 for a trace
// that names none (format 1 and 2) or one dcs-host does not have.
TraceCodePage CodePageOfTrace(const TraceHeader& header, std::optional<int> chosen);

class TraceReader {
public:
    // Opens the trace and reads its header line. Throws TraceError.
    explicit TraceReader(const std::string& path);

    const TraceHeader& Header() const { return header_; }

    // The next record; false at the end of the file. A line that is not a
    // record this reader understands is skipped with a note; a last line
    // cut off before its end (a process killed while writing) ends the
    // trace with a note.
    bool Next(TraceRecord& record);

    // What the reader noticed, in file order (bounded: the first few of each
    // kind, then a count).
    const std::vector<std::string>& Notes() const { return notes_; }
    bool CutOff() const { return cutOff_; }
    int64_t Lines() const { return line_; }
    // The file ended with a summary of reason "exit" or "limit": its process
    // ended, and every call it made is counted. False for a process killed
    // or still running (known only at the end of the reading).
    bool Finished() const { return finished_; }
    // Records left out because the file does not hold them as the tracer
    // writes them: out of order, damaged, too long, or of a second process.
    // The figures of such a trace are of what could be read.
    bool Inconsistent() const { return outOfOrder_ > 0 || skipped_ > 0 || processes_ > 1; }

private:
    enum class LineEnd { Feed, EndOfFile };
    // The next line, without its line feed, into `line`; false at the end of
    // the file. `length` is the line's full length; a line longer than
    // kMaxRecordBytes is read past, and `line` then holds only its start.
    bool ReadLine(std::string& line, LineEnd& end, int64_t& length);
    bool Fill();
    void Note(const std::string& text);
    void Skipped(const std::string& why);
    // Counts the traces that follow a second header, reading no further
    // record, and says where they begin.
    void SkipOtherProcesses(const TraceHeader& second);
    void NoteEnd();

    std::string path_;
    // Opened through the OS seam, which shares the file with the tracer
    // writing, renaming or deleting it as it goes on.
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> in_{nullptr, &std::fclose};
    std::vector<char> buffer_;
    size_t begin_ = 0;
    size_t end_ = 0;
    TraceHeader header_;
    std::string line_text_;
    int64_t line_ = 0;
    int64_t skipped_ = 0;
    int64_t outOfOrder_ = 0;
    int64_t lastSeq_ = 0;
    int64_t lastSeqLine_ = 1;
    int processes_ = 1;
    bool cutOff_ = false;
    bool ended_ = false;
    bool finished_ = false;
    std::string lastSummaryReason_;
    std::vector<std::string> notes_;
    std::set<std::string> otherTypes_;
};

// At most `bytes` bytes of byte text for a person (as DisplayBytes shows
// them), and when there is more, an ellipsis and the full length:
// "FI-101.PV…" + " (10485760 bytes)".
std::string ShortDisplayBytes(const std::string& bytes, const CodePage& codePage, size_t shown = 80);
std::string ShortDisplayBytes(const std::string& bytes, size_t shown = 80);

}  // namespace host
