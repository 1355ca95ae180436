// The tracing core: records the calls a Marlix client makes into the client
// library and forwards each one, unchanged, to the real operations.
//
// It is used in two places: by the tracing client library (libmrx3p.so,
// MRX3P.dll), which stands where the driver looks for the client library and
// loads the real one, and in-process by a host that wants to record what a
// driver says to a library it already holds. Both hand it the real
// operations as a table and a few settings; it writes the trace file
// described in docs/trace-format.md.
//
// What the caller can rely on:
// - Every traced operation calls the real one with the very arguments it was
//   given (the same pointers) and returns its result, floating-point results
//   included, bit for bit. The cookie cell is read before and after the call
//   and never written; the value and status cells are only read.
// - Nothing in the trace ever disturbs the link: a file that cannot be made
//   or written turns the recording off (the reason is reported once), and the
//   calls go on.
// - A real table with a missing entry makes that operation fail safely:
//   GetInitStringLength and GetInitString return 0, a tag operation stores a
//   non-zero status (kNoLibraryStatus) and returns 0, ResetLink returns 0.
// - The calls may come from more than one thread; records are written whole.
// - The traced operations throw nothing: a fault of the tracer itself (out
//   of memory) ends the trace after its whole records, never the call.
// - After a fork, the child never writes into its parent's file: its first
//   call starts a trace of its own (its own header and numbering).
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/mrx3p.h"
#include "platform/mrx3p_operations.h"

namespace mrxtrace {

// The status a tag operation stores when the real library is not there.
constexpr int32_t kNoLibraryStatus = -1;

enum class TraceLevel : int32_t {
    All = 0,       // every call
    Changes = 1,   // a call whose value or status differs from the previous one of its tag
    Failures = 2,  // non-zero statuses, the link events and the initialization string
};

// "all", "changes", "failures" (case-insensitive, surrounding blanks
// ignored); false for anything else, and *level is left alone.
bool ParseTraceLevel(const std::string& text, TraceLevel* level);
const char* TraceLevelName(TraceLevel level);

constexpr uint32_t kDefaultLimitMb = 256;
// The code page of the simulator's texts when the settings name none: the
// tag names and the initialization string are bytes of it.
constexpr uint32_t kDefaultCodePage = 1252;

struct TraceSettings {
    // The trace file, UTF-8; "%p" stands for the process id. The file is
    // always created anew, never appended to: when it exists already, the
    // first free name with ".1", ".2", ... before the extension is taken
    // (trace.jsonl, trace.1.jsonl, ...), or with suffixOnCollision false the
    // recording is refused and Problem() says so.
    std::string file;
    bool suffixOnCollision = true;
    TraceLevel level = TraceLevel::Changes;
    uint32_t limitMb = kDefaultLimitMb;  // 0 counts as the default
    // Written as "code_page", so that a reader shows the names' bytes as the
    // characters the simulator meant; 0 counts as the default.
    uint32_t codePage = kDefaultCodePage;

    // What the header says about the real library (UTF-8). realFileVersion
    // is written only when not empty; settingsFile is written as null when
    // empty.
    std::string realLibrary;
    std::string realFileVersion;
    std::string settingsFile;
    // When not empty: why the real library is missing. It goes into the
    // header ("real_library_error") and the operations of the missing table
    // fail safely.
    std::string realLibraryError;
    // When not empty: what was wrong with the settings (a bad level or
    // limit, and what was taken instead); written as "settings_warning".
    std::string settingsWarning;

    // Where the one-time reports go (an unwritable file, a stopped trace);
    // null: the platform's debug output (OutputDebugStringW, standard error).
    void (*report)(const char* utf8Text) = nullptr;
};

class Recorder;  // the state behind a session, defined in trace_core.cpp

// One trace session over one table of real operations. Start() writes the
// header; the traced operations forward and record; End() writes the closing
// summary (reason "exit"), flushes and closes. The destructor ends the session
// if End() was not called. After End() the operations still forward, without
// recording.
class TraceSession {
public:
    // The real operations come as a table (MrxOps), each called with the
    // table's context.
    TraceSession(const MrxOps& real, const TraceSettings& settings);
    ~TraceSession();
    TraceSession(const TraceSession&) = delete;
    TraceSession& operator=(const TraceSession&) = delete;

    // Whether calls are being recorded (false once the file failed, the
    // limit was reached or the session ended).
    bool Recording() const;
    // Why nothing is (or no longer) being recorded; empty while all is well.
    std::string Problem() const;
    // The file actually written (after %p and any suffix), UTF-8; empty when
    // none could be made.
    std::string FilePath() const;

    // The traced operations.
    int32_t GetInitStringLength();
    int32_t GetInitString(char* buffer);
    int32_t ResetLink();
    double ReadAI(int32_t dataSet, const char* tag, uint32_t* cookie, double* value, int32_t* status);
    double WriteAI(int32_t dataSet, const char* tag, uint32_t* cookie, double* value, int32_t* status);
    double ReadAO(int32_t dataSet, const char* tag, uint32_t* cookie, double* value, int32_t* status);
    int32_t ReadDI(int32_t dataSet, const char* tag, uint32_t* cookie, int32_t* value, int32_t* status);
    int32_t WriteDI(int32_t dataSet, const char* tag, uint32_t* cookie, int32_t* value, int32_t* status);
    int32_t ReadDO(int32_t dataSet, const char* tag, uint32_t* cookie, int32_t* value, int32_t* status);
    double ReadCALC(int32_t dataSet, const char* tag, uint32_t* cookie, double* value, int32_t* status);
    double WriteCALC(int32_t dataSet, const char* tag, uint32_t* cookie, double* value, int32_t* status);

    // The traced operations as a table whose context is this session, for a
    // host that puts the tracer in front of a library it holds.
    MrxOps Ops();

    // Writes out what is buffered.
    void Flush();
    // The closing summary with reason "exit", then flush and close. Safe to
    // call twice. Allocates nothing, so it may run late in a process's end.
    void End();
    // As End(), but gives up at once (writing nothing) when another thread
    // holds the recorder, as a thread killed at process end may: for the
    // loader's last chance, where waiting could hang the process.
    void EndIfFree();

private:
    std::unique_ptr<Recorder> recorder_;
};

// A session installed for the whole process, so that plain functions can
// stand in for the real operations: the table TracedOps() returns (its
// context null) forwards each call to the installed session. Install(nullptr) removes it; the caller
// keeps ownership and must not destroy an installed session. With none
// installed the table's operations fail safely, as with a missing library.
void Install(TraceSession* session);
TraceSession* Installed();
const MrxOps& TracedOps();

}  // namespace mrxtrace
