// What may stand between the driver and the simulated server during a run:
// the tracing core, recording the run's traffic in the format a plant trace
// has; and a replay, the server answering from a recorded trace. Both sit
// in the stand-in's front for as long as their object lives.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <tuple>
#include <vector>

#include "mrx3p_control.h"
#include "text/code_page.h"

namespace host {

// A recorded call as the replay answers it.
struct RecordedAnswer {
    std::optional<double> value;
    int32_t status = 0;
    std::optional<double> result;
    int64_t seq = 0;
};

// (operation ordinal, data set, tag bytes)
using ReplayKey = std::tuple<int32_t, int32_t, std::string>;

// The simulated server answering as the trace says: the captured strings
// and lengths in order, and the k-th call of each operation on each tag and
// data set the k-th recorded answer (at level failures, the recorded
// failures at the place in the call sequence where they happened). It also
// keeps, for the report, the calls the trace does not hold and every write
// whose value differs from the recorded one.
class ReplayServer {
public:
    // Reads the trace and scripts the stand-in, which must have been
    // prepared for the run. The run's texts are bytes of `codePage`; a
    // trace that names another has its names and string re-encoded into
    // it, so that the driver's names meet the recorded ones. Throws
    // TraceError.
    ReplayServer(const std::string& tracePath, const MrxOps& behind, const CodePage& codePage);
    ~ReplayServer();
    ReplayServer(const ReplayServer&) = delete;
    ReplayServer& operator=(const ReplayServer&) = delete;

    // The operations that do the bookkeeping and then call the stand-in.
    const MrxOps& Ops() const;
    // What the calls from now on are said to be made by ("step 3").
    void SetPhase(const std::string& phase) { phase_ = phase; }

    // The replay's findings, for the terminal. Returns the number of
    // differences (writes that differ, calls not in the trace, recorded
    // calls never made).
    int64_t Report(std::ostream& out) const;

    // Used by the operations: the bookkeeping of a call, and the table it
    // then goes to.
    void Before(int32_t ordinal, int32_t dataSet, const char* tag, const std::optional<double>& written);
    const MrxOps& Behind() const { return behind_; }

private:
    struct Difference {
        std::string phase;
        std::string text;
    };
    struct Missing {
        std::string firstPhase;
        int64_t count = 0;
    };
    void Differ(std::string text);

    std::string path_;
    std::string level_;
    CodePage codePage_;
    MrxOps behind_;
    MrxOps ops_{};  // the replay's own operations, their context this replay
    std::map<ReplayKey, std::vector<RecordedAnswer>> recorded_;
    std::map<ReplayKey, size_t> made_;
    std::map<int64_t, std::pair<ReplayKey, RecordedAnswer>> failuresBySeq_;  // level failures
    std::map<ReplayKey, Missing> missing_;
    std::vector<Difference> differences_;
    int64_t differencesLeftOut_ = 0;
    int64_t failuresMisplaced_ = 0;
    int64_t calls_ = 0;
    std::vector<std::string> notes_;
    std::string phase_ = "DCSLoad";
};

// The tracing core in front of `behind` (the simulated server, or a replay)
// for the run, writing the trace at `path` through an output file, so that
// an interrupted run leaves any earlier file of that name as it was.
class TracedServer {
public:
    // Throws std::runtime_error for an unknown level or an unusable path.
    // The trace names `codePage`, the one the run's texts are in.
    TracedServer(const std::string& path, const std::string& level, const MrxOps& behind, const CodePage& codePage);
    ~TracedServer();
    TracedServer(const TracedServer&) = delete;
    TracedServer& operator=(const TracedServer&) = delete;

    // Ends the session and puts the trace in place. Throws OutputError.
    void Finish();

private:
    struct State;
    std::unique_ptr<State> state_;
};

// The stand-in's own operations.
MrxOps DirectOps();

}  // namespace host
