// The commands around a trace of the Marlix client: reading one (trace),
// and the run options that write one or replay one.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "case/case_file.h"
#include "diagnose/diagnosis.h"
#include "link/session.h"

namespace host {

struct TraceOptions {
    std::string tracePath;
    std::string jsonPath;         // empty: none
    std::string htmlPath;         // empty: none
    std::string problemsCsvPath;  // empty: none
    std::string initStringPath;   // empty: none; else the captured string goes here
    std::optional<int64_t> fetch;
    std::vector<std::string> tags;  // globs of the tags charted on the page
    std::optional<int> codePage;    // the names' code page, over the trace's header (for traces that name none)
    bool follow = false;            // keep a view of a trace still being written up to date
};

// Exit status: 0 read, no call failed and the file is consistent; 1 calls
// failed, or records were left out or disagree with the tracer's summaries;
// 2 it cannot be read or an output cannot be written.
int TraceCommand(const TraceOptions& options);

// trace --follow: a one-screen view of the trace at `tracePath` (a trace
// file, or a folder whose newest trace it takes, moving on to a newer one
// when the simulator restarts), redrawn when the file changes and at least
// once a second until interrupted (Ctrl-C); with --html a page that reloads
// itself is rewritten as well. The file is opened only while it is read, so
// the tracer goes on writing, renaming and deleting it; a file cut short or
// replaced is read again from its start. Returns 2 when nothing can be
// followed.
int FollowTrace(const TraceOptions& options);

// Whether `path` is a trace of the Marlix client (begins as the tracer
// begins every trace), rather than an initialization string.
bool IsTraceFile(const std::string& path);

// The code page a trace's header names, when `path` is a trace that names
// one dcs-host has; none for any other file (an initialization string, a
// trace of format 1 or 2).
std::optional<int> CodePageNamedByTrace(const std::string& path);

// `path` as an initialization string file: a trace gives the string of its
// fetch `fetch` (the last when none), byte for byte, in a temporary file
// removed when dcs-host ends, and `name` then says where it came from
// ("plant.jsonl, fetch 2"); any other file is itself. Throws TraceError, or
// std::runtime_error when the trace holds no such fetch.
std::string InitStringFileOf(const std::string& path, std::optional<int64_t> fetch, std::string* name = nullptr);

// Replaces the case's initialization string with the file at `path` (a
// captured string, used byte for byte, or a trace's fetch `fetch`).
void UseInitString(Case& c, const std::string& path, std::optional<int64_t> fetch = std::nullopt);

// What the live link did with each tag of a check, added to each tag's
// verdict: calls, failures and last status from the trace, and where the
// live server served the tag under another operation than the case's
// catalogue says.
struct LiveFindings {
    // A line for each tag the live link failed, or where the case and the
    // live link disagree: what the check shows and exits 1 for.
    std::vector<std::string> lines;
    std::vector<std::string> notes;  // the reader's notes on the trace
};
LiveFindings AddLiveVerdicts(Diagnosis& d, const std::string& tracePath);

class ReplayServer;
class TracedServer;

// What stands between the driver and the server in a run: the tracing core
// (--trace), a replay (--replay), both (the replay behind the tracer) or
// nothing; and the case's scripted failures, armed by step unless a replay
// answers instead.
class RunTraffic {
public:
    // Throws TraceError or std::runtime_error; the server must be prepared.
    // `c` gives the failures, and outlives this.
    RunTraffic(const Case& c, const std::string& tracePath, const std::string& traceLevel,
               const std::string& replayPath);
    ~RunTraffic();
    RunTraffic(const RunTraffic&) = delete;
    RunTraffic& operator=(const RunTraffic&) = delete;

    void SetPhase(const std::string& phase);
    // Arms the case's failures of `step` (0: before the configuration).
    void ArmFailures(int32_t step);
    // After the run: the trace put in place. Throws OutputError.
    void Finish();
    // The replay's findings, when there is one.
    void Report(std::ostream& out) const;

private:
    std::unique_ptr<ReplayServer> replay_;
    std::unique_ptr<TracedServer> traced_;
    FailureSchedule failures_;
};

}  // namespace host
