// What a trace says, gathered in one pass over it: every figure the trace
// command shows. Memory stays bounded however long the trace: per operation
// a duration histogram, per tag and failure group a few counters, the link
// events and chart points capped (the rest counted).
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "diagnose/diagnosis.h"
#include "trace/trace_file.h"

namespace host {

// Durations in buckets of 10 significant bits: exact below 1024 ns, within
// 0.2 % above, in fixed memory.
class DurationHistogram {
public:
    void Add(int64_t ns);
    int64_t Count() const { return count_; }
    int64_t Max() const { return max_; }
    // The duration below which the fraction q of the durations lie (the
    // bucket's lower end); 0 when empty.
    int64_t Quantile(double q) const;

private:
    static size_t Bucket(uint64_t ns);
    static uint64_t LowerEnd(size_t bucket);
    std::vector<int64_t> counts_;
    int64_t count_ = 0;
    int64_t max_ = 0;
};

// One fetch of the initialization string, as the driver parses it.
struct FetchDigest {
    int64_t number = 0;  // 1-based
    int64_t seq = 0;
    int64_t tUs = 0;
    int64_t length = 0;  // the length the fetch was sized from
    int64_t bytes = 0;
    bool loaded = false;               // the driver parses it (not counted as empty)
    std::array<int64_t, 7> entries{};  // by section code 1 AI ... 6 CALC; 0 entries before any header
    std::vector<LintFinding> lint;     // text (UTF-8), decoded through the trace's code page
};

// What the driver's own parse and the lint make of a fetched string.
using FetchAnalysis = std::function<void(const std::string& text, int64_t length, FetchDigest& fetch)>;

struct OpDigest {
    int64_t calls = 0;  // folded calls included
    int64_t failures = 0;
    DurationHistogram durations;  // of the recorded calls
    // From the tracer's summary when it timed more calls than the records
    // show (level failures, or folded calls, whose durations are not
    // written). -1 when no call of the operation was timed.
    bool fromSummary = false;
    int64_t timed = 0;  // the calls the durations are of
    int64_t medianNs = -1;
    int64_t p99Ns = -1;
    int64_t maxNs = -1;
};

struct FailureGroup {
    int64_t count = 0;  // folded repeats included
    int64_t firstUs = 0;
    int64_t lastUs = 0;
    std::vector<int64_t> times;  // recorded failures, thinned to a bounded number
};

// One tag of one data set under one operation.
struct KeyDigest {
    int64_t calls = 0;
    int64_t failures = 0;
    int32_t lastStatus = 0;
    std::optional<double> lastValue;
    int64_t lastUs = 0;
    bool everOk = false;
    bool notCharted = false;  // matched --tags beyond the series the chart keeps
};

struct LinkEvent {
    int64_t seq = 0;
    int64_t tUs = 0;
    std::string what;  // "configuration", "flag", "reset", "stop"
    std::string text;
};

struct SeriesPoint {
    int64_t tUs;
    double value;
};

struct TagSeries {
    std::string op;  // the operations of the tag's calls, "ReadDI/WriteDI"
    int32_t dataSet = 0;
    std::string tag;
    std::vector<SeriesPoint> points;  // thinned to a bounded number
    int64_t stride = 1;
    int64_t seen = 0;
};

// Keys: (tag, data set, operation) and (tag, data set, operation, status).
using TagKeyT = std::tuple<std::string, int32_t, std::string>;
using FailureKey = std::tuple<std::string, int32_t, std::string, int32_t>;

// Caps on what a digest keeps of each tag, so that memory stays bounded
// whatever the trace names: tags beyond them are counted in their
// operation's figures only.
constexpr size_t kMaxDigestKeys = 100000;
constexpr size_t kMaxDigestKeyBytes = 16 * 1024 * 1024;
constexpr size_t kMaxSeries = 40;

struct TraceDigest {
    std::string path;
    TraceHeader header;
    // What the names' bytes are shown in: every tag name and quote of the
    // string below is bytes of it, and each output decodes them through it.
    CodePage codePage = *CodePage::Find(kDefaultCodePage);
    std::string codePageFrom;  // "the trace's header", "--code-page", ...
    std::vector<std::string> notes;
    bool cutOff = false;
    bool finished = false;       // ends with the summary of its process's end
    bool inconsistent = false;   // records left out, or counts that disagree with the tracer's summaries
    int64_t untrackedCalls = 0;  // calls of tags beyond the caps, in the operations' figures only
    int64_t lines = 0;
    int64_t records = 0;
    int64_t firstUs = -1;
    int64_t lastUs = 0;
    int64_t calls = 0;
    int64_t failures = 0;
    int64_t summaries = 0;
    bool stopped = false;  // the size limit stopped the trace
    std::vector<FetchDigest> fetches;
    std::map<std::string, OpDigest> ops;  // by operation name
    std::map<FailureKey, FailureGroup> failureGroups;
    std::map<TagKeyT, KeyDigest> keys;
    std::vector<LinkEvent> events;
    int64_t eventsLeftOut = 0;
    std::vector<TagSeries> series;
    int64_t seriesLeftOut = 0;  // tags matching --tags beyond kMaxSeries

    // A trace at level failures records no successful tag call: which tags
    // succeeded, and how often, it cannot say.
    bool SuccessesRecorded() const { return header.level != "failures"; }
    // Keys whose every call failed, in key order; none when the level
    // records no successes.
    std::vector<TagKeyT> NeverSucceeded() const;
};

struct DigestOptions {
    FetchAnalysis analyse;              // may be empty: fetches only counted
    std::vector<std::string> tagGlobs;  // tags whose values are charted
    std::optional<int> codePage;        // the names' code page, over the trace's own
    std::optional<int64_t> keepFetch;   // 1-based; none: the last
    std::string* keptText = nullptr;    // receives the kept fetch's bytes
    int64_t* keptNumber = nullptr;      // and its number (0: no such fetch)
};

// Reads the whole trace. Throws TraceError when it cannot be read at all.
TraceDigest DigestTrace(const std::string& path, const DigestOptions& options);

}  // namespace host
