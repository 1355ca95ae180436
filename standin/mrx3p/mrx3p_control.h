// Control of the simulated Marlix tag server.
//
// The server holds an initialization string and a value store of tags keyed
// by data set, name and kind: doubles for AI, AO and CALC tags, 32-bit
// integers for DI and DO tags. A read of a tag it does not hold fails with
// status MRX_STATUS_UNKNOWN_TAG; a write to such a tag creates it, unless
// strict writes are on.
//
// Cookies: on the first call for a tag with a cookie cell that holds 0, the
// server stores a fresh handle in the cell; every later call must bring a
// cell holding the handle of the same data set, name and kind. Anything else
// (a changed cell, another tag's cell) is a cookie fault: the call fails with
// MRX_STATUS_COOKIE_FAULT, the fault is counted and printed to standard error.
//
// A call that fails (cookie fault, injected status, unknown tag) leaves the
// store, the value cell and the cookie cell as they were; a cell that holds 0
// gets its handle from the first call that succeeds. Tag operations return
// the value read or written, 0 when they fail; GetInitString returns the
// number of characters it copied.
#pragma once

#include <cstdint>

// The operations (MRX_OP_...) and tag kinds (MRX_KIND_...) by number, and
// the table of operations a front is given (MrxOps).
#include "platform/mrx3p_operations.h"

#if defined(_WIN32)
#define MRX_CONTROL_CALL __cdecl
#else
#define MRX_CONTROL_CALL
#endif

enum : int32_t {
    MRX_STATUS_OK = 0,
    MRX_STATUS_UNKNOWN_TAG = 2,
    MRX_STATUS_COOKIE_FAULT = 99,
};

// A tag operation called without a value cell: nothing to read into or to
// write from, so the call fails rather than touch a null pointer.
enum : int32_t {
    MRX_STATUS_BAD_ARGUMENT = 98,
};

// One entry of the call log. For tag operations: the data set, the tag text
// as passed (a copy; empty for a null pointer, with tagWasNull set), the
// cookie cell's address and its content before and after the call, the value
// (written, or read when the read succeeded) and the status stored.
struct MrxCall {
    int32_t operation;
    int32_t dataSet;
    const char* tag;
    int32_t tagWasNull;
    const void* cookieAddress;
    uint32_t cookieBefore;
    uint32_t cookieAfter;
    double doubleValue;  // AI, AO, CALC operations
    int32_t intValue;    // DI, DO operations; the result of the string operations
    int32_t status;
};

extern "C" {
// Empties the value store, the call log, the injections and the counters,
// and sets the initialization string to none (length 0). Strict writes go
// back off; the logging switch is left as it is, and cookie handles given out
// earlier stay valid for their tags.
void MRX_CONTROL_CALL MrxStandin_Reset(void);

// Forgets every handle given out so far, for a program that has cleared
// every cookie cell and runs for long (a fuzzer): otherwise the record of
// handles grows with every configuration. A cell that still holds a
// forgotten handle is a cookie fault from then on.
void MRX_CONTROL_CALL MrxStandin_ForgetHandles(void);

// The initialization string. The reported length follows the text unless
// set apart with MrxStandin_SetReportedLength; GetInitString copies at most
// the reported length (never more than the text holds) and a terminator.
void MRX_CONTROL_CALL MrxStandin_SetInitString(const char* text);
// Reads the text from a file; returns 0 on success, -1 when it cannot be read.
int32_t MRX_CONTROL_CALL MrxStandin_SetInitStringFromFile(const char* path);
// The text as `length` bytes, NULs included, for a host that reads the file
// itself (a path in any language on Windows).
void MRX_CONTROL_CALL MrxStandin_SetInitStringBytes(const char* bytes, int32_t length);
void MRX_CONTROL_CALL MrxStandin_SetReportedLength(int32_t length);
// After `queries` more calls of GetInitStringLength, report `length` from
// then on, as a server whose string changed in between would.
void MRX_CONTROL_CALL MrxStandin_ChangeReportedLengthAfter(int32_t queries, int32_t length);
// Back to reporting the text's own length.
void MRX_CONTROL_CALL MrxStandin_ClearReportedLength(void);

// The value store.
void MRX_CONTROL_CALL MrxStandin_SetDouble(int32_t kind, int32_t dataSet, const char* tag, double value);
void MRX_CONTROL_CALL MrxStandin_SetInt(int32_t kind, int32_t dataSet, const char* tag, int32_t value);
// Return 1 and store the value when the tag is held, 0 otherwise.
int32_t MRX_CONTROL_CALL MrxStandin_GetDouble(int32_t kind, int32_t dataSet, const char* tag, double* value);
int32_t MRX_CONTROL_CALL MrxStandin_GetInt(int32_t kind, int32_t dataSet, const char* tag, int32_t* value);
void MRX_CONTROL_CALL MrxStandin_SetStrictWrites(int32_t on);

// Status injection: the next `times` calls of the operation for the tag
// (any data set) return `status` without touching the store; times < 0
// means every call until cleared. tag null matches every tag.
void MRX_CONTROL_CALL MrxStandin_InjectStatus(int32_t operation, const char* tag, int32_t status, int32_t times);
void MRX_CONTROL_CALL MrxStandin_ClearInjections(void);

// The call log, oldest first; entries stay valid until the next reset or
// MrxStandin_ClearCallLog.
int32_t MRX_CONTROL_CALL MrxStandin_CallCount(void);
const MrxCall* MRX_CONTROL_CALL MrxStandin_Call(int32_t index);  // null out of range
void MRX_CONTROL_CALL MrxStandin_ClearCallLog(void);
// Whether calls are logged at all (on by default; benchmarks switch it off).
void MRX_CONTROL_CALL MrxStandin_SetLogging(int32_t on);

int32_t MRX_CONTROL_CALL MrxStandin_ResetLinkCount(void);
int32_t MRX_CONTROL_CALL MrxStandin_CookieFaults(void);

// Scripted answers, for replaying a recorded link. Answers are queued per
// operation, data set and tag; the k-th call of the operation on that tag
// and data set after the answers were queued gets the k-th: its status is
// stored; a read whose scripted status is 0 stores the scripted value in the
// value cell; the scripted result is returned when has_result is 1 (else the
// value on success and 0 on failure, as unscripted calls return). A write
// the script answers with status 0 also stores the value passed, as the
// server that accepted it would; the caller compares what was written with
// what was recorded. Scripted calls pass the cookie check like every call;
// a cookie fault is not scripted away. When a queue is used up, or for a
// call without one, the store answers.
// GetInitStringLength and ResetLink take their scripted result (data set 0,
// tag ""); a GetInitString with a scripted text copies it, never more than
// the last length reported allows.
// Scripts go before status injections. MrxStandin_Reset clears them.
void MRX_CONTROL_CALL MrxStandin_ScriptAnswer(int32_t operation, int32_t dataSet, const char* tag, double value,
                                              int32_t status, int32_t has_result, double result);
void MRX_CONTROL_CALL MrxStandin_ScriptInitString(const char* text, int32_t size);
// The answers of the queue not used yet.
int32_t MRX_CONTROL_CALL MrxStandin_ScriptRemaining(int32_t operation, int32_t dataSet, const char* tag);
void MRX_CONTROL_CALL MrxStandin_ClearScripts(void);
}

extern "C" {
// The server's own operations, which never pass through a front: what a
// front is given as the library behind it.
void MRX_CONTROL_CALL MrxStandin_DirectOps(MrxOps* ops);
// From now on the exported operations hand every call to the front's
// operations, each with the front's context (the table is copied; null
// takes the front away). A call that reaches an
// exported operation while a front's call runs on the same thread goes to
// the server itself, so a front handed the exported operations as the
// library behind it does not call itself without end.
// MrxStandin_Reset leaves the front as it is.
void MRX_CONTROL_CALL MrxStandin_SetFront(const MrxOps* front);
}
