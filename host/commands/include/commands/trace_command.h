// The trace command: reading a trace of the Marlix client, once or
// following one the plant is still writing.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

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

}  // namespace host
