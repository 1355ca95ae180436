// What every command that runs the driver needs around it: a fresh
// simulated server and host services for the case (or for an
// initialization string alone), the messages the driver raised, the
// server's call log and the flag tags as the server holds them. The
// stand-ins are driven from here and nowhere above.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "case/case_file.h"
#include "link/driver_message.h"
#include "link/link.h"
#include "text/code_page.h"

namespace host {

// Labels the host reads back for its own display; a driver that does not
// declare them just shows nothing there.
extern const char* const kDataSetLabel;
extern const char* const kEnabledFlagLabel;
extern const char* const kRunningFlagLabel;

// A fresh server holding the case's initialization string and tags, and
// fresh host services. Throws CaseError when the string cannot be read.
void PrepareServer(const Case& c);

// A fresh server holding the initialization string file and nothing else,
// with fresh host services and no call log, for a catalogue load on its
// own. The file is handed over whole, as the check hands it: bytes after a
// NUL included. Throws std::runtime_error when the stand-in cannot read it.
void ServeInitStringFile(const std::string& path);
// The same for a string in memory (a fetch a trace captured), the server
// announcing `length` for it, as the live one did; ResetServer empties it
// again.
void ServeInitString(const std::string& text, int64_t length);
void ResetServer();

// Stops the server's call log, which would otherwise grow with every step
// of a long run; until the next PrepareServer only CallLog() goes without.
void StopCallLog();

// Keeps the stand-ins from echoing the driver's message boxes to standard
// error (and, with ErrorMsg::Quiet, its ErrorMsg texts) while it lives, for
// a command that reports them itself. The echo is on again however the
// scope is left, an exception included.
class QuietStandins {
public:
    enum class ErrorMsg { Echoed, Quiet };
    explicit QuietStandins(ErrorMsg errorMsg);
    ~QuietStandins();
    QuietStandins(const QuietStandins&) = delete;
    QuietStandins& operator=(const QuietStandins&) = delete;

private:
    bool errorMsgQuiet_;
};

// Sets one tag's value in the simulated server.
void SetTag(const TagValue& tag);

// A read the driver reported failed ("Error reading AI tag for SP tag X of
// controller at index 3"), taken apart; none for any other message.
struct FailedRead {
    std::string kind;   // "AI", ...
    std::string role;   // "SP", "OP", "PV"
    std::string tag;    // the tag text
    std::string owner;  // "controller", "PV Import"
    int32_t index = 0;
};
std::optional<FailedRead> FailedReadOf(const std::string& text);

// Whether the simulated server holds a value for the tag ("AI", data set,
// name): it holds the case's [[tag]] values and what the driver wrote.
bool ServerHolds(const std::string& kind, int32_t dataSet, const std::string& name);
// The tag's value as the server holds it; none when it holds none.
std::optional<double> ServerValue(TagKind kind, int32_t dataSet, const std::string& name);

// The case's scripted failures ([[fail]]) by step, in file order, so that a
// step arms its own without a pass over them all. Holds pointers into the
// case, which outlives it.
class FailureSchedule {
public:
    explicit FailureSchedule(const Case& c);
    // Arms the failures of `step` (0: before the configuration) in the server.
    void Arm(int32_t step) const;

private:
    std::map<int32_t, std::vector<const ServerFailure*>> byStep_;
};

struct Message {
    bool box;  // a message box; otherwise the host's ErrorMsg
    std::string caption;
    std::string text;
};

// The messages raised since the last call.
class MessageWatch {
public:
    std::vector<Message> Take();

private:
    int32_t boxes_ = 0;
    int32_t errors_ = 0;
};

// Captures the driver's message boxes as they are raised and counts them
// all; the caller's filter says which are kept (and echoed on standard
// error), so that how often a repeated message is shown stays the report's
// choice. The stand-in then keeps no record of them, so create it after
// PrepareServer (which resets the stand-in) and use MessageWatch only for the
// ErrorMsg texts while it stands.
class BoxCapture {
public:
    using Filter = std::function<bool(const std::string& caption, const std::string& text)>;
    // `codePage`: the simulator's, in which the driver's texts come; the boxes
    // are kept and shown decoded through it.
    explicit BoxCapture(Filter keep, int codePage = kDefaultCodePage);
    ~BoxCapture();
    BoxCapture(const BoxCapture&) = delete;
    BoxCapture& operator=(const BoxCapture&) = delete;

    // Every box raised so far.
    int64_t Raised() const { return raised_; }
    // What the boxes raised from now on are said to be raised by ("step 3").
    void SetPhase(const std::string& phase) { phase_ = phase; }
    // The boxes the filter kept, in order, each with what raised it.
    const std::vector<DriverMessage>& Kept() const { return kept_; }

private:
    friend int32_t OnBox(BoxCapture& capture, const char* caption, const char* text);
    Filter keep_;
    CodePage codePage_;
    int64_t raised_ = 0;
    std::string phase_;
    std::vector<DriverMessage> kept_;
};
// The messages as the reports show them, each naming what raised it
// ("DCSConfigure", "step 3").
std::vector<DriverMessage> Raised(const std::vector<Message>& messages, const std::string& raisedBy);

// The value of a general-data flag tag as the server holds it; none when the
// tag is not named or the server does not hold it.
std::optional<int32_t> FlagTag(const Link& link, const char* label);

// The block counts of the host services, taken before the driver runs, so
// that blocks it keeps past DCSDestroy can be reported.
struct BlockCounts {
    int64_t malloc = 0;
    int64_t objects = 0;
};
BlockCounts LiveBlocks();

// Warns when the driver kept blocks of the host services past DCSDestroy,
// or the server saw a cookie it did not hand out.
void CheckReleased(const BlockCounts& before);

struct LoggedCall {
    int32_t operation;
    int32_t dataSet;
    std::string tag;
    int32_t status;
};

// Every tag operation the server has served since it was prepared.
std::vector<LoggedCall> CallLog();

// "ReadAI" for a tag operation of the server; null for the others.
const char* OperationName(int32_t operation);

}  // namespace host
