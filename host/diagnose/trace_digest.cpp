#include "diagnose/trace_digest.h"
#include "platform/mrx3p_operations.h"
#include "text/tag_name.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <set>

namespace host {

namespace {

// Caps that keep a digest small whatever the trace's size.
constexpr size_t kMaxEvents = 2000;
constexpr size_t kMaxPoints = 2000;
constexpr size_t kMaxFailureTimes = 500;

constexpr int kSubBits = 10;  // significant bits kept per duration

template <typename T>
void Thin(std::vector<T>& items) {
    size_t kept = 0;
    for (size_t i = 0; i < items.size(); i += 2) items[kept++] = items[i];
    items.resize(kept);
}

std::string ValueText(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.17g", value);
    // The shortest of %.15g..%.17g that reads back as the same double.
    for (int digits = 15; digits <= 17; ++digits) {
        std::snprintf(text, sizeof text, "%.*g", digits, value);
        if (std::strtod(text, nullptr) == value || std::isnan(value)) break;
    }
    return text;
}

class Digester {
public:
    Digester(TraceDigest& d, const DigestOptions& o) : d_(d), o_(o) {}

    void Call(const TraceCall& c) {
        d_.lastUs = std::max(d_.lastUs, c.tUs);
        if (d_.firstUs < 0) d_.firstUs = c.tUs;
        OpDigest& op = d_.ops[c.op];
        if (c.durNs >= 0) op.durations.Add(c.durNs);
        if (!c.tagOperation) {
            Count(op, 1, c.status != 0 && c.ordinal == MRX_OP_RESET_LINK);
            LinkCall(c);
            return;
        }
        KeyDigest* tracked = Key(c);
        if (tracked == nullptr) {
            ++d_.untrackedCalls;
            Count(op, 1 + c.folded, c.status != 0);
            return;
        }
        KeyDigest& k = *tracked;
        // Folded calls repeat the key's previous record.
        if (c.folded > 0 && k.calls > 0) {
            const bool failed = k.lastStatus != 0;
            Count(op, c.folded, failed);
            k.calls += c.folded;
            if (failed) {
                k.failures += c.folded;
                if (FailureGroup* g = Group(FailureKey{c.tag, c.dataSet, c.op, k.lastStatus})) g->count += c.folded;
            }
        }
        const bool failed = c.status != 0;
        Count(op, 1, failed);
        ++k.calls;
        k.lastStatus = c.status;
        k.lastUs = c.tUs;
        if (failed) {
            ++k.failures;
            if (FailureGroup* g = Group(FailureKey{c.tag, c.dataSet, c.op, c.status})) {
                if (g->count == 0 || g->times.empty()) g->firstUs = c.tUs;
                ++g->count;
                g->lastUs = c.tUs;
                if (g->times.size() >= kMaxFailureTimes) Thin(g->times);
                g->times.push_back(c.tUs);
            }
        } else {
            k.everOk = true;
            k.lastValue = c.value;
            Chart(c, k);
        }
        if (c.ordinal == MRX_OP_WRITE_DI) FlagWrite(c);
        previousOrdinal_ = c.ordinal;
        previousSeq_ = c.seq;
    }

    void InitString(const TraceInitString& s) {
        FetchDigest f;
        f.number = static_cast<int64_t>(d_.fetches.size()) + 1;
        f.seq = s.seq;
        f.tUs = s.tUs;
        f.length = s.length;
        f.bytes = static_cast<int64_t>(s.text.size());
        f.loaded = s.length > 33;
        if (o_.analyse) o_.analyse(s.text, s.length, f);
        // The findings quote the string's bytes; every output shows text.
        for (LintFinding& l : f.lint) {
            l.text = d_.codePage.Decode(l.text);
            l.hint = d_.codePage.Decode(l.hint);
            l.quote = d_.codePage.Decode(l.quote);
        }
        if (o_.keptText != nullptr && (!o_.keepFetch || *o_.keepFetch == f.number)) {
            *o_.keptText = s.text;
            if (o_.keptNumber != nullptr) *o_.keptNumber = f.number;
        }
        Event(s.seq, s.tUs, "configuration",
              "fetch " + std::to_string(f.number) + " of the initialization string: " + std::to_string(f.bytes) +
                  " bytes (length " + std::to_string(s.length) + ")");
        d_.fetches.push_back(std::move(f));
        afterFetch_ = true;
        clearWrites_ = 0;
    }

    void Summary(const TraceSummaryRecord& s, int64_t line) {
        ++d_.summaries;
        d_.lastUs = std::max(d_.lastUs, s.tUs);
        for (const PendingFold& fold : s.pendingFolds) {
            auto found = d_.keys.find(TagKeyT{fold.tag, fold.dataSet, fold.op});
            if (found == d_.keys.end() || fold.folded <= 0) continue;
            KeyDigest& k = found->second;
            const bool failed = k.lastStatus != 0;
            Count(d_.ops[fold.op], fold.folded, failed);
            k.calls += fold.folded;
            if (failed) {
                k.failures += fold.folded;
                if (FailureGroup* g = Group(FailureKey{fold.tag, fold.dataSet, fold.op, k.lastStatus})) {
                    g->count += fold.folded;
                }
            }
        }
        CompareWithSummary(s, line);
        lastSummaryOps_ = s.ops;
        if (s.stopped || s.reason == "limit") {
            d_.stopped = true;
            Event(s.seq, s.tUs, "stop", "the trace stopped at its size limit; later calls went untraced");
        }
    }

    void Finish() {
        // The tracer's own figures cover every call, folded or untraced,
        // up to its last summary: they win where they saw more.
        for (const OpFigures& f : lastSummaryOps_) {
            OpDigest& op = d_.ops[f.op];
            if (f.calls > op.calls) {
                d_.calls += f.calls - op.calls;
                d_.failures += std::max<int64_t>(0, f.failures - op.failures);
                op.calls = f.calls;
                op.failures = std::max(op.failures, f.failures);
            }
            if (f.calls >= op.calls && op.durations.Count() < f.timed) {
                op.fromSummary = true;
                op.timed = f.timed;
                op.medianNs = f.medianNs;
                op.p99Ns = f.p99Ns;
                op.maxNs = f.maxNs;
            }
        }
        for (auto& [name, op] : d_.ops) {
            if (op.fromSummary) continue;
            op.timed = op.durations.Count();
            if (op.durations.Count() == 0) {
                op.medianNs = op.p99Ns = op.maxNs = -1;
                continue;
            }
            op.medianNs = op.durations.Quantile(0.5);
            op.p99Ns = op.durations.Quantile(0.99);
            op.maxNs = op.durations.Max();
        }
        if (d_.firstUs < 0) d_.firstUs = 0;
    }

    std::vector<std::string> notes;
    // Per --tags glob: whether it matched a tag with a value.
    std::vector<bool> globMatched;

private:
    // The tracer counts every call; the records and folds up to its summary
    // must give the same figures (at level failures only the failures,
    // since it writes no success). Calls of tags beyond the digest's caps
    // are in the operations' figures, so they take part too.
    void CompareWithSummary(const TraceSummaryRecord& s, int64_t line) {
        // The summary that stops a trace at its size limit counts the call
        // whose record found no room: its figures are one call ahead.
        if (s.stopped || s.reason == "limit") return;
        const bool successes = d_.SuccessesRecorded();
        std::string differences;
        int64_t shown = 0;
        for (const OpFigures& f : s.ops) {
            const auto found = d_.ops.find(f.op);
            const int64_t calls = found == d_.ops.end() ? 0 : found->second.calls;
            const int64_t failures = found == d_.ops.end() ? 0 : found->second.failures;
            if (failures == f.failures && (!successes || calls == f.calls)) continue;
            if (shown++ < 3) {
                differences += (differences.empty() ? "" : "; ") + f.op + ": " +
                               (successes ? std::to_string(f.calls) + " calls, " : std::string()) +
                               std::to_string(f.failures) + " failed, where the records show " +
                               (successes ? std::to_string(calls) + " calls, " : std::string()) +
                               std::to_string(failures) + " failed";
            }
        }
        if (shown > 3) differences += "; and " + std::to_string(shown - 3) + " more operations";
        if (differences.empty() && s.failures == d_.failures && (!successes || s.calls == d_.calls)) return;
        d_.inconsistent = true;
        if (++disagreements_ > 5) return;
        if (differences.empty()) {
            differences = "in all " + std::to_string(s.calls) + " calls, " + std::to_string(s.failures) +
                          " failed, where the records show " + std::to_string(d_.calls) + " calls, " +
                          std::to_string(d_.failures) + " failed";
        }
        notes.push_back("line " + std::to_string(line) +
                        ": the tracer's summary disagrees with the records before it: " + differences +
                        " (records missing, added or edited)");
    }

    // The key's digest, made on its first call while the caps allow; null
    // for a key beyond them.
    KeyDigest* Key(const TraceCall& c) {
        const TagKeyT key{c.tag, c.dataSet, c.op};
        const auto found = d_.keys.find(key);
        if (found != d_.keys.end()) return &found->second;
        if (d_.keys.size() >= kMaxDigestKeys || keyBytes_ + c.tag.size() > kMaxDigestKeyBytes) {
            if (d_.untrackedCalls == 0) {
                notes.push_back("more tags than dcs-host follows one by one (" + std::to_string(kMaxDigestKeys) +
                                " keys, or " + std::to_string(kMaxDigestKeyBytes / (1024 * 1024)) +
                                " MiB of tag names): the calls of the others count only in their operation's figures");
            }
            return nullptr;
        }
        keyBytes_ += c.tag.size();
        return &d_.keys[key];
    }

    // A failure group within the caps (its tag is a key's, already counted).
    FailureGroup* Group(const FailureKey& key) {
        const auto found = d_.failureGroups.find(key);
        if (found != d_.failureGroups.end()) return &found->second;
        return d_.failureGroups.size() < kMaxDigestKeys ? &d_.failureGroups[key] : nullptr;
    }

    void Count(OpDigest& op, int64_t n, bool failed) {
        op.calls += n;
        d_.calls += n;
        if (failed) {
            op.failures += n;
            d_.failures += n;
        }
    }

    void Event(int64_t seq, int64_t tUs, const char* what, std::string text) {
        if (d_.events.size() >= kMaxEvents) {
            ++d_.eventsLeftOut;
            return;
        }
        d_.events.push_back({seq, tUs, what, std::move(text)});
    }

    void LinkCall(const TraceCall& c) {
        if (c.ordinal == MRX_OP_RESET_LINK) {
            Event(c.seq, c.tUs, "reset",
                  "ResetLink" + (c.result && *c.result != 0 ? " (result " + ValueText(*c.result) + ")" : ""));
            // The Enabled Flag write of DCSReset comes right before it.
            if (previousOrdinal_ == MRX_OP_WRITE_DI && previousSeq_ == c.seq - 1 && lastWrite_) {
                flagTags_.insert({lastWrite_->first, lastWrite_->second});
            }
        } else if (c.ordinal == MRX_OP_GET_INIT_STRING_LENGTH) {
            const int64_t length = c.result ? static_cast<int64_t>(*c.result) : 0;
            if (length <= 33) {
                Event(
                    c.seq, c.tUs, "configuration",
                    "GetInitStringLength answered " + std::to_string(length) + ": the driver counts the string empty");
            }
            // The driver clears both flags right after its second length
            // query of a configuration: the writes that follow name them.
            if (afterFetch_) {
                afterFetch_ = false;
                clearWrites_ = 2;
                clearFrom_ = c.seq;
            }
        }
        previousOrdinal_ = c.ordinal;
        previousSeq_ = c.seq;
    }

    void FlagWrite(const TraceCall& c) {
        const std::pair<int32_t, std::string> key{c.dataSet, c.tag};
        lastWrite_ = key;
        if (clearWrites_ > 0 && c.seq == clearFrom_ + 1) {
            flagTags_.insert(key);
            --clearWrites_;
            clearFrom_ = c.seq;
        } else {
            clearWrites_ = 0;
        }
        if (flagTags_.count(key) == 0) return;
        std::string text =
            "WriteDI " + ShortDisplayBytes(c.tag, d_.codePage) + " = " + (c.value ? ValueText(*c.value) : "?");
        if (c.status != 0) text += " failed with status " + std::to_string(c.status);
        if (c.folded > 0) text += " (after " + std::to_string(c.folded) + " equal writes not written)";
        Event(c.seq, c.tUs, "flag", std::move(text));
    }

    void Chart(const TraceCall& c, KeyDigest& k) {
        if (!c.value || o_.tagGlobs.empty() || k.notCharted) return;
        bool wanted = false;
        globMatched.resize(o_.tagGlobs.size(), false);
        for (size_t g = 0; g < o_.tagGlobs.size(); ++g) {
            if (!GlobMatchName(o_.tagGlobs[g], TagName::OfBytes(c.tag), d_.codePage)) continue;
            wanted = true;
            globMatched[g] = true;
        }
        if (!wanted) return;
        // One series per tag: a mode read and written is one line, its
        // operations named together.
        TagSeries* series = nullptr;
        for (TagSeries& s : d_.series) {
            if (s.dataSet == c.dataSet && s.tag == c.tag) series = &s;
        }
        if (series != nullptr && ("/" + series->op + "/").find("/" + c.op + "/") == std::string::npos) {
            series->op += "/" + c.op;
        }
        if (series == nullptr && d_.series.size() >= kMaxSeries) {
            k.notCharted = true;
            ++d_.seriesLeftOut;
            return;
        }
        if (series == nullptr) {
            d_.series.push_back(TagSeries{c.op, c.dataSet, c.tag, {}, 1, 0});
            series = &d_.series.back();
        }
        if (series->seen++ % series->stride != 0) return;
        if (series->points.size() >= kMaxPoints) {
            Thin(series->points);
            series->stride *= 2;
        }
        series->points.push_back({c.tUs, *c.value});
    }

    TraceDigest& d_;
    const DigestOptions& o_;
    size_t keyBytes_ = 0;
    int64_t disagreements_ = 0;
    std::vector<OpFigures> lastSummaryOps_;
    std::set<std::pair<int32_t, std::string>> flagTags_;
    std::optional<std::pair<int32_t, std::string>> lastWrite_;
    int32_t previousOrdinal_ = 0;
    int64_t previousSeq_ = 0;
    bool afterFetch_ = false;
    int clearWrites_ = 0;
    int64_t clearFrom_ = 0;
};

}  // namespace

size_t DurationHistogram::Bucket(uint64_t ns) {
    if (ns < (1u << kSubBits)) return static_cast<size_t>(ns);
    int top = 63;
    while ((ns >> top) == 0) --top;
    const int shift = top - (kSubBits - 1);
    // Each power of two from 2^10 on gets 512 buckets.
    return (1u << kSubBits) + static_cast<size_t>(shift - 1) * (1u << (kSubBits - 1)) +
           static_cast<size_t>((ns >> shift) - (1u << (kSubBits - 1)));
}

uint64_t DurationHistogram::LowerEnd(size_t bucket) {
    if (bucket < (1u << kSubBits)) return bucket;
    const size_t rest = bucket - (1u << kSubBits);
    const int shift = static_cast<int>(rest / (1u << (kSubBits - 1))) + 1;
    const uint64_t mantissa = (1u << (kSubBits - 1)) + rest % (1u << (kSubBits - 1));
    return mantissa << shift;
}

void DurationHistogram::Add(int64_t ns) {
    const uint64_t value = ns > 0 ? static_cast<uint64_t>(ns) : 0;
    const size_t bucket = Bucket(value);
    if (counts_.size() <= bucket) counts_.resize(bucket + 1, 0);
    ++counts_[bucket];
    ++count_;
    max_ = std::max<int64_t>(max_, static_cast<int64_t>(value));
}

int64_t DurationHistogram::Quantile(double q) const {
    if (count_ == 0) return 0;
    // The nearest-rank quantile: the smallest value with at least q of the
    // values at or below it.
    const int64_t rank = std::max<int64_t>(1, static_cast<int64_t>(std::ceil(q * static_cast<double>(count_))));
    int64_t seen = 0;
    for (size_t b = 0; b < counts_.size(); ++b) {
        seen += counts_[b];
        if (seen >= rank) return std::min<int64_t>(static_cast<int64_t>(LowerEnd(b)), max_);
    }
    return max_;
}

std::vector<TagKeyT> TraceDigest::NeverSucceeded() const {
    std::vector<TagKeyT> keysOut;
    if (!SuccessesRecorded()) return keysOut;
    for (const auto& [key, k] : keys) {
        if (!k.everOk && k.calls > 0) keysOut.push_back(key);
    }
    return keysOut;
}

TraceDigest DigestTrace(const std::string& path, const DigestOptions& options) {
    TraceDigest d;
    d.path = path;
    if (options.keptNumber != nullptr) *options.keptNumber = 0;
    TraceReader reader(path);
    d.header = reader.Header();
    const TraceCodePage codePage = CodePageOfTrace(d.header, options.codePage);
    d.codePage = codePage.page;
    d.codePageFrom = codePage.from;
    Digester digester(d, options);
    TraceRecord record;
    while (reader.Next(record)) {
        ++d.records;
        switch (record.type) {
        case TraceRecordType::Call: digester.Call(record.call); break;
        case TraceRecordType::InitString: digester.InitString(record.initString); break;
        case TraceRecordType::Summary: digester.Summary(record.summary, record.line); break;
        case TraceRecordType::Other: break;
        }
    }
    digester.Finish();
    d.notes = reader.Notes();
    if (!codePage.note.empty()) d.notes.insert(d.notes.begin(), codePage.note);
    d.notes.insert(d.notes.end(), digester.notes.begin(), digester.notes.end());
    if (d.untrackedCalls > 0) {
        d.notes.push_back(std::to_string(d.untrackedCalls) + " calls of tags beyond those followed one by one");
    }
    digester.globMatched.resize(options.tagGlobs.size(), false);
    for (size_t g = 0; g < options.tagGlobs.size(); ++g) {
        if (!digester.globMatched[g]) {
            d.notes.push_back("--tags '" + options.tagGlobs[g] +
                              "' matches no tag the trace holds a value of: nothing is charted for it");
        }
    }
    if (d.seriesLeftOut > 0) {
        d.notes.push_back(std::to_string(d.seriesLeftOut) + " more tags match --tags than the " +
                          std::to_string(kMaxSeries) + " the chart draws; they are left out of it");
    }
    d.cutOff = reader.CutOff();
    d.finished = reader.Finished();
    d.inconsistent = d.inconsistent || reader.Inconsistent();
    d.lines = reader.Lines();
    return d;
}

}  // namespace host
