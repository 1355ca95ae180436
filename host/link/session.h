// What both commands need around a driver run: a fresh simulated server and
// host services for the case, the messages the driver raised, the server's
// call log and the flag tags as the server holds them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "case_file.h"
#include "diagnosis.h"
#include "link.h"
#include "message_tally.h"
#include "report.h"
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

// Stops the server's call log, which would otherwise grow with every step
// of a long run; until the next PrepareServer only CallLog() goes without.
void StopCallLog();

// Sets one tag's value in the simulated server.
void SetTag(const TagValue& tag);

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

// Shows the driver's message boxes on standard error as they are raised,
// each distinct message in full only its first kShownRepeats times, and
// counts them all. The stand-in then keeps no record of them, so create it
// after PrepareServer (which resets the stand-in) and use MessageWatch only
// for the ErrorMsg texts while it stands.
class BoxReporter {
public:
    // `codePage`: the simulator's, in which the driver's texts come.
    explicit BoxReporter(int codePage = kDefaultCodePage);
    ~BoxReporter();
    BoxReporter(const BoxReporter&) = delete;
    BoxReporter& operator=(const BoxReporter&) = delete;

    // Every box raised so far.
    int64_t Raised() const { return tally_.Total(); }
    // What the boxes raised from now on are said to be raised by ("step 3").
    void SetPhase(const std::string& phase) { phase_ = phase; }
    // The boxes shown in full, in order, each with what raised it: a report
    // keeps these, not every repeat, so its size stays bounded.
    const std::vector<DriverMessage>& Shown() const { return shown_; }
    // One line on standard error for each message not shown in full.
    void PrintNotShown() const;

private:
    friend int32_t OnBox(BoxReporter& reporter, const char* caption, const char* text);
    MessageTally tally_;
    CodePage codePage_;
    std::string phase_;
    std::vector<DriverMessage> shown_;
};
// The messages as the reports show them, each naming what raised it
// ("DCSConfigure", "step 3").
std::vector<DriverMessage> Raised(const std::vector<Message>& messages, const std::string& raisedBy);

// The names of the case's rows, in table order, as the reports show them.
Layout LayoutOf(const Case& c);

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
