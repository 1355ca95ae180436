// The tracing core: forwards every call to the real operations and writes
// what went in and came out as JSON Lines (docs/trace-format.md).
//
// The real call is made outside the recorder's lock, so a slow server never
// holds up another thread's call; the record is made after it, under the
// lock. Records are formatted into one buffer that is allocated once and
// written out only between records, so a process killed at any moment leaves
// a file of whole lines (a record longer than the whole buffer, a huge
// initialization string, is the only exception).
#include "trace_core.h"

#include <atomic>
#include <charconv>
#include <cstring>
#include <thread>
#include <vector>

#include "osbase.h"
#include "platform/mrx3p_operations.h"
#include "trace_platform.h"

#if defined(__i386__) || defined(__x86_64__)
#include <cpuid.h>
#include <x86intrin.h>
#endif

namespace mrxtrace {

namespace {

// The clock of every timestamp and duration. Reading the system's clock
// twice per call would be most of the tracer's cost, so where the processor
// has an invariant time-stamp counter (one that ticks at a constant rate
// whatever the power state) the counter is read instead, scaled by a rate
// measured once against the system clock. Elsewhere the system clock is
// read.
class Clock {
public:
    Clock() {
#if defined(__i386__) || defined(__x86_64__)
        unsigned a = 0, b = 0, c = 0, d = 0;
        if (__get_cpuid(0x80000000u, &a, &b, &c, &d) && a >= 0x80000007u && __get_cpuid(0x80000007u, &a, &b, &c, &d) &&
            (d & (1u << 8)) != 0) {
            const uint64_t ns0 = platform::MonotonicNs();
            const uint64_t tsc0 = __rdtsc();
            uint64_t ns1 = ns0;
            while (ns1 - ns0 < 2000000u) {  // 2 ms
                ns1 = platform::MonotonicNs();
            }
            const uint64_t tsc1 = __rdtsc();
            if (tsc1 > tsc0) {
                nsPerTick_ = static_cast<double>(ns1 - ns0) / static_cast<double>(tsc1 - tsc0);
                baseTicks_ = tsc1;
                baseNs_ = ns1;
                counter_ = true;
            }
        }
#endif
    }
    uint64_t Now() const {
#if defined(__i386__) || defined(__x86_64__)
        if (counter_) {
            return baseNs_ + static_cast<uint64_t>(static_cast<double>(__rdtsc() - baseTicks_) * nsPerTick_);
        }
#endif
        return platform::MonotonicNs();
    }
    uint64_t ResolutionNs() const { return counter_ ? 1 : platform::TimerResolutionNs(); }

private:
    bool counter_ = false;
    double nsPerTick_ = 1.0;
    uint64_t baseTicks_ = 0;
    uint64_t baseNs_ = 0;
};

const Clock& TheClock() {
    static const Clock clock;
    return clock;
}

constexpr size_t kFlushAt = 64 * 1024;
constexpr size_t kBufferSize = 256 * 1024;
constexpr uint64_t kFlushEveryNs = 1000000000u;
constexpr int32_t kSampleEvery = 16;
constexpr int32_t kTimedAfterRecord = 16;
// Room kept below the size limit for the summary that says the trace
// stopped: its fixed part, plus for each key its pending fold's entry
// without the tag, and the tag as written.
constexpr uint64_t kSummaryReserve = 4096;
constexpr uint64_t kFoldEntryReserve = 96;
// A record's size as the limit reckons it: its texts as they will be
// written, plus the rest at its widest (every number at its longest).
constexpr uint64_t kCallRecordRest = 400;        // a call record (widest about 350)
constexpr uint64_t kInitStringRecordRest = 200;  // an init_string record (widest about 160)

// Operations are numbered by their row in kMrxOperations.
constexpr int kOpCount = kMrxOperationCount;
constexpr int kGetInitStringLength = MrxOperationIndex(MRX_OP_GET_INIT_STRING_LENGTH);
constexpr int kGetInitString = MrxOperationIndex(MRX_OP_GET_INIT_STRING);
constexpr int kResetLink = MrxOperationIndex(MRX_OP_RESET_LINK);
constexpr const MrxOperationInfo (&kOps)[kOpCount] = kMrxOperations;

// Whether the operation's value and result are doubles.
constexpr bool IsReal(int op) { return kOps[op].value == MrxValueType::Real; }

// Durations are counted in log-linear buckets: exact below 16 ns, then 16
// buckets per power of two, so a quantile is reported at most 1/16 high.
constexpr int kSubBuckets = 16;
constexpr int kBuckets = kSubBuckets + 60 * kSubBuckets;

int BucketOf(uint64_t ns) {
    if (ns < kSubBuckets) {
        return static_cast<int>(ns);
    }
    const int exponent = 63 - __builtin_clzll(ns);
    const int sub = static_cast<int>((ns >> (exponent - 4)) & (kSubBuckets - 1));
    const int index = kSubBuckets + (exponent - 4) * kSubBuckets + sub;
    return index < kBuckets ? index : kBuckets - 1;
}

// The largest duration that falls into the bucket.
uint64_t BucketTop(int index) {
    if (index < kSubBuckets) {
        return static_cast<uint64_t>(index);
    }
    const int exponent = (index - kSubBuckets) / kSubBuckets + 4;
    const uint64_t sub = static_cast<uint64_t>((index - kSubBuckets) % kSubBuckets);
    const uint64_t low = (uint64_t{kSubBuckets} + sub) << (exponent - 4);
    return low + (uint64_t{1} << (exponent - 4)) - 1;
}

struct OpStats {
    uint64_t calls = 0;
    uint64_t timed = 0;  // the calls whose duration was measured
    uint64_t failures = 0;
    uint64_t max = 0;
    uint32_t buckets[kBuckets] = {};

    void Count(bool failed) {
        ++calls;
        failures += failed ? 1 : 0;
    }
    void Add(uint64_t ns, bool failed) {
        Count(failed);
        ++timed;
        max = ns > max ? ns : max;
        ++buckets[BucketOf(ns)];
    }
    uint64_t Quantile(uint64_t numerator, uint64_t denominator) const {
        // The smallest duration d with at least numerator/denominator of the
        // timed calls taking d or less.
        const uint64_t wanted = (timed * numerator + denominator - 1) / denominator;
        uint64_t seen = 0;
        for (int i = 0; i < kBuckets; ++i) {
            seen += buckets[i];
            if (seen >= wanted && seen > 0) {
                const uint64_t top = BucketTop(i);
                return top < max ? top : max;
            }
        }
        return max;
    }
};

// What one call gave back, as the changes level compares it. Kept in whole
// words made in registers: built from bytes and flags on the stack and
// compared as words, it cost a stalled load (a wide read of narrow stores)
// on every call.
struct Outcome {
    enum : uint64_t { kHasStatus = 1, kHasValue = 2, kHasCookie = 4 };
    uint64_t valueBits = 0;   // a double's bits, or an integer; 0 without a value
    uint64_t resultBits = 0;  // likewise
    uint64_t statusBits = 0;  // the status, as an unsigned 32-bit number
    uint64_t flags = 0;

    int32_t Status() const { return static_cast<int32_t>(static_cast<uint32_t>(statusBits)); }
    bool Has(uint64_t flag) const { return (flags & flag) != 0; }
    bool operator==(const Outcome& o) const {
        return valueBits == o.valueBits && resultBits == o.resultBits && statusBits == o.statusBits && flags == o.flags;
    }
};

// One (operation, data set, tag) of the changes level.
struct KeyEntry {
    uint64_t hash = 0;
    int op = 0;
    int32_t dataSet = 0;
    bool tagNull = false;
    std::string tag;
    Outcome last;
    uint64_t folded = 0;
};

// Where a driver calls from: one (cookie cell, operation, data set). A
// driver keeps a cell per bound tag and makes the same calls in the same
// order step after step, so each site remembers the site called after it;
// that guess, tried first, finds the key without hashing anything. One key
// may be called from several sites (two rows reading one tag), each cell
// holding its own handle: the cookie a call leaves is compared with the
// last one of its own cell, not of its key.
struct CallSite {
    const uint32_t* cookie = nullptr;
    int op = 0;
    int32_t dataSet = 0;
    KeyEntry* key = nullptr;
    CallSite* next = nullptr;  // the site called after this one last time
    bool cookieKnown = false;  // cookieAfter holds what the cell's last call left
    uint32_t cookieAfter = 0;
};

uint64_t HashKey(int op, int32_t dataSet, const char* tag, size_t length) {
    uint64_t h = 1469598103934665603ull;
    auto mix = [&h](unsigned char byte) {
        h ^= byte;
        h *= 1099511628211ull;
    };
    mix(static_cast<unsigned char>(op));
    for (int shift = 0; shift < 32; shift += 8) {
        mix(static_cast<unsigned char>(static_cast<uint32_t>(dataSet) >> shift));
    }
    mix(tag == nullptr ? 1 : 0);
    for (size_t i = 0; i < length; ++i) {
        mix(static_cast<unsigned char>(tag[i]));
    }
    return h;
}

// Stable storage in the order of creation, in large blocks: a driver calls
// its keys in the order it first called them, so a step walks the keys and
// sites front to back, which the processor's prefetching follows.
template <typename T>
class Pool {
public:
    T& Add() {
        if (used_ == kBlock || blocks_.empty()) {
            blocks_.emplace_back(new T[kBlock]);
            used_ = 0;
        }
        ++size_;
        return blocks_.back()[used_++];
    }
    size_t size() const { return size_; }
    template <typename Fn>
    void ForEach(Fn fn) {
        for (size_t b = 0; b < blocks_.size(); ++b) {
            const size_t n = b + 1 == blocks_.size() ? used_ : kBlock;
            for (size_t i = 0; i < n; ++i) fn(blocks_[b][i]);
        }
    }

private:
    static constexpr size_t kBlock = 1024;
    std::vector<std::unique_ptr<T[]>> blocks_;
    size_t used_ = 0;
    size_t size_ = 0;
};

uint64_t DoubleBits(double value) {
    uint64_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

double BitsDouble(uint64_t bits) {
    double value = 0;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

class SpinLock {
public:
    void Lock() {
        while (flag_.exchange(true, std::memory_order_acquire)) {
            std::this_thread::yield();
        }
    }
    bool TryLock() { return !flag_.exchange(true, std::memory_order_acquire); }
    void Unlock() { flag_.store(false, std::memory_order_release); }

private:
    std::atomic<bool> flag_{false};
};

class Hold {
public:
    explicit Hold(SpinLock& lock) : lock_(lock) { lock_.Lock(); }
    ~Hold() { lock_.Unlock(); }
    Hold(const Hold&) = delete;
    Hold& operator=(const Hold&) = delete;

private:
    SpinLock& lock_;
};

// The bytes single-byte text takes in a record (PutBytes), quotes included.
uint64_t WrittenLength(const char* bytes, size_t n) {
    uint64_t length = n + 2;
    for (size_t i = 0; i < n; ++i) {
        const unsigned char b = static_cast<unsigned char>(bytes[i]);
        if (b < 0x20 || b == 0x7f) {
            length += 5;  // \u00NN
        } else if (b >= 0x80 || b == '"' || b == '\\') {
            length += 1;  // two bytes of UTF-8, or an escape
        }
    }
    return length;
}

std::string ExpandPid(const std::string& path) {
    std::string out;
    const std::string pid = std::to_string(osbase::ProcessId());
    for (size_t i = 0; i < path.size(); ++i) {
        if (path[i] == '%' && i + 1 < path.size() && path[i + 1] == 'p') {
            out += pid;
            ++i;
        } else {
            out += path[i];
        }
    }
    return out;
}

// trace.jsonl -> trace.N.jsonl; a name without an extension gets ".N".
std::string WithSuffix(const std::string& path, int n) {
    const size_t slash = path.find_last_of("/\\");
    const size_t dot = path.find_last_of('.');
    const std::string number = "." + std::to_string(n);
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash) || dot == slash + 1) {
        return path + number;
    }
    return path.substr(0, dot) + number + path.substr(dot);
}

}  // namespace

class Recorder {
public:
    Recorder(const MrxOps& real, const TraceSettings& settings);
    ~Recorder();
    Recorder(const Recorder&) = delete;
    Recorder& operator=(const Recorder&) = delete;

    // Before the real call: the time it starts.
    uint64_t Begin() const { return TheClock().Now(); }

    // Whether to measure the tag call about to be made. At all, every call
    // is timed. At changes and failures, two readings of the clock would
    // cost more than a driver's whole transfer against a fast server, so a
    // call is timed when it is one in kSampleEvery, or one of the
    // kTimedAfterRecord calls after a written record: changes and failures
    // come in runs (a server that stops answering fails every call), so the
    // records that are written mostly carry their durations. Only relaxed
    // loads and stores: a count lost between two threads only moves the
    // sample.
    bool TimeNext() {
        if (settings.level == TraceLevel::All) {
            return true;
        }
        const int32_t v = timing_.load(std::memory_order_relaxed);
        if (v > 0) {
            timing_.store(v - 1, std::memory_order_relaxed);
            return true;
        }
        if (v <= 1 - kSampleEvery) {
            timing_.store(0, std::memory_order_relaxed);
            return true;
        }
        timing_.store(v - 1, std::memory_order_relaxed);
        return false;
    }

    // A tag call made; start and end are read only when timed.
    template <typename T>
    void TagCall(int op, bool timed, uint64_t start, uint64_t end, int32_t dataSet, const char* tag,
                 const uint32_t* cookie, uint32_t cookieBefore, const T* value, T passed, const int32_t* status,
                 T result);
    void LinkCall(int op, uint64_t start, uint64_t end, int32_t result, const char* initBuffer);
    // Records through `record` (TagCall, LinkCall). A fault of the tracer
    // there (out of memory) ends the trace and never reaches the caller,
    // whose call has been made and whose results stand.
    template <typename Fn>
    void Guarded(Fn record) noexcept {
        try {
            record();
        } catch (...) {
            Hold hold(lock_);
            Abandon();
        }
    }
    void Flush();
    void End(bool onlyIfFree);

    MrxOps real;
    TraceSettings settings;

    bool Recording() {
        Hold hold(lock_);
        return recording_;
    }
    std::string Problem() {
        Hold hold(lock_);
        return problem_;
    }
    std::string FilePath() {
        Hold hold(lock_);
        return path_;
    }

private:
    // Formatting, into buf_.
    void Put(const char* text, size_t n) {
        if (n <= kBufferSize - len_) {
            std::memcpy(buf_.get() + len_, text, n);
            len_ += n;
        } else {
            PutLong(text, n);
        }
    }
    template <size_t N>
    void Lit(const char (&text)[N]) {
        Put(text, N - 1);
    }
    void PutLong(const char* text, size_t n);
    void Put(const char* text) { Put(text, std::strlen(text)); }
    void Put(const std::string& text) { Put(text.data(), text.size()); }
    void PutChar(char c) { Put(&c, 1); }
    void PutUnsigned(uint64_t value);
    void PutSigned(int64_t value);
    void PutDouble(double value);
    void PutBytes(const char* bytes, size_t n);  // single-byte text as Latin-1
    void PutUtf8(const std::string& text);       // UTF-8 text, bad bytes replaced
    void PutTag(bool isNull, const char* tag, size_t length);

    void WriteHeader();
    void WriteSummary(const char* reason, bool stopped);
    void WriteCallStart(int op, uint64_t start);
    // Whether the next record (at most `bound` bytes) still fits below the
    // limit; when it does not, writes the "limit" summary and stops.
    bool Room(uint64_t bound);
    // After a record or a call: flushes at the buffer's mark, when asked,
    // or when the last flush is a second old; now is valid only when known.
    void EndRecord(bool flushNow, bool known, uint64_t now);
    bool FlushLocked();
    void Fail(const std::string& why);
    void Report(const std::string& text);
    KeyEntry* Key(int op, int32_t dataSet, const char* tag, size_t length, bool* fresh);
    CallSite* Site(int op, int32_t dataSet, const char* tag, const uint32_t* cookie, bool* fresh);
    KeyEntry* ChangesKey(int op, int32_t dataSet, const char* tag, const uint32_t* cookie, bool* fresh,
                         CallSite** site);
    void Grow();

    // The trace file: made, named and headed (at the start, and in a forked
    // child at its first call).
    void Open();
    // Out of memory while recording (under the lock): the trace is closed
    // after its whole records and the calls go on, untraced.
    void Abandon() noexcept;

    // Fork: a child never writes into its parent's file. The handlers hold
    // every recorder's lock across the fork, so that no record is half made
    // in the child's copy; in the child each recorder drops the parent's
    // file and buffer, and its next call starts a trace of the child's own
    // (StartOver), with its own header and numbering. A child that makes no
    // call (a fork before exec) leaves no file.
    static void Register(Recorder* recorder);
    static void Unregister(Recorder* recorder);
    static void ForkPrepare();
    static void ForkParent();
    static void ForkChild();
    void StartOver();
    Recorder* nextLive_ = nullptr;
    Recorder* prevLive_ = nullptr;
    bool forked_ = false;  // in a forked child, before its first call

    SpinLock lock_;
    // TimeNext(): > 0 calls still timed, <= 0 calls since the last sample;
    // a session starts as after a record (a link starts with its changes).
    std::atomic<int32_t> timing_{kTimedAfterRecord};
    bool recording_ = false;
    bool ended_ = false;
    std::string problem_;
    std::string path_;
    platform::FileHandle file_ = platform::kNoFile;

    std::unique_ptr<char[]> buf_;
    size_t len_ = 0;
    uint64_t written_ = 0;
    uint64_t limit_ = 0;
    uint64_t reserve_ = kSummaryReserve;
    uint64_t lastFlushNs_ = 0;

    uint64_t startNs_ = 0;
    uint64_t seq_ = 0;
    uint64_t failures_ = 0;
    OpStats stats_[kOpCount];
    bool lengthKnown_ = false;
    int32_t lastLength_ = 0;

    Pool<KeyEntry> keys_;
    Pool<CallSite> sites_;
    // The sites by their cell, operation and data set: open addressing,
    // grown with the sites.
    std::vector<CallSite*> siteTable_ = std::vector<CallSite*>(1024);
    CallSite* previous_ = nullptr;  // the site of the last call with a cell
    uint64_t lastDoubleBits_ = 0;
    char lastDouble_[32] = {};
    size_t lastDoubleLength_ = 0;
    std::vector<KeyEntry*> table_;  // open addressing, size a power of two
};

namespace {
// Every live recorder, for the fork handlers.
SpinLock g_liveLock;
Recorder* g_live = nullptr;
}  // namespace

Recorder::Recorder(const MrxOps& r, const TraceSettings& s) : real(r), settings(s) {
    startNs_ = TheClock().Now();
    lastFlushNs_ = startNs_;
    limit_ = uint64_t{settings.limitMb == 0 ? kDefaultLimitMb : settings.limitMb} * 1024 * 1024;
    table_.assign(256, nullptr);
    Open();
    Register(this);  // last: a constructor that threw leaves nothing behind
}

Recorder::~Recorder() { Unregister(this); }

void Recorder::Open() {
    if (settings.file.empty()) {
        Fail("no trace file was given");
        return;
    }
    const std::string wanted = ExpandPid(settings.file);
    std::string error;
    for (int n = 0; n < 1000; ++n) {
        const std::string candidate = n == 0 ? wanted : WithSuffix(wanted, n);
        const platform::CreateResult made = platform::CreateNewFile(candidate, &file_, &error);
        if (made == platform::CreateResult::Created) {
            path_ = candidate;
            break;
        }
        if (made == platform::CreateResult::NotAFile) {
            Fail("the trace path " + candidate + " is " + error + ", not a file");
            return;
        }
        if (made == platform::CreateResult::Failed) {
            Fail("cannot create the trace file " + candidate + ": " + error);
            return;
        }
        if (!settings.suffixOnCollision) {
            Fail("the trace file " + candidate + " exists already; it is left alone and nothing is traced");
            return;
        }
    }
    if (path_.empty()) {
        Fail("no free name for the trace file beside " + wanted);
        return;
    }
    if (!buf_) {
        buf_.reset(new char[kBufferSize]);
    }
    recording_ = true;
    WriteHeader();
    FlushLocked();
}

void Recorder::Register(Recorder* recorder) {
    static const bool handlers = (platform::AtFork(ForkPrepare, ForkParent, ForkChild), true);
    (void)handlers;
    Hold hold(g_liveLock);
    recorder->nextLive_ = g_live;
    if (g_live != nullptr) g_live->prevLive_ = recorder;
    g_live = recorder;
}

void Recorder::Unregister(Recorder* recorder) {
    Hold hold(g_liveLock);
    if (recorder->prevLive_ != nullptr) {
        recorder->prevLive_->nextLive_ = recorder->nextLive_;
    } else if (g_live == recorder) {
        g_live = recorder->nextLive_;
    }
    if (recorder->nextLive_ != nullptr) recorder->nextLive_->prevLive_ = recorder->prevLive_;
    recorder->nextLive_ = recorder->prevLive_ = nullptr;
}

void Recorder::ForkPrepare() {
    g_liveLock.Lock();
    for (Recorder* r = g_live; r != nullptr; r = r->nextLive_) r->lock_.Lock();
}

void Recorder::ForkParent() {
    for (Recorder* r = g_live; r != nullptr; r = r->nextLive_) r->lock_.Unlock();
    g_liveLock.Unlock();
}

// The child has one thread, this one; it may allocate nothing here.
void Recorder::ForkChild() {
    for (Recorder* r = g_live; r != nullptr; r = r->nextLive_) {
        if (r->file_ != platform::kNoFile) {
            platform::CloseFile(r->file_);  // the parent's descriptor, not its file
            r->file_ = platform::kNoFile;
        }
        r->len_ = 0;  // the parent writes what it buffered
        r->forked_ = !r->ended_ && !r->path_.empty();
        r->recording_ = false;
        r->lock_.Unlock();
    }
    g_liveLock.Unlock();
}

void Recorder::StartOver() {
    forked_ = false;
    seq_ = 0;
    failures_ = 0;
    for (OpStats& stats : stats_) stats = OpStats{};
    lengthKnown_ = false;
    lastLength_ = 0;
    keys_ = Pool<KeyEntry>();
    sites_ = Pool<CallSite>();
    table_.assign(256, nullptr);
    siteTable_.assign(1024, nullptr);
    previous_ = nullptr;
    reserve_ = kSummaryReserve;
    written_ = 0;
    len_ = 0;
    problem_.clear();
    path_.clear();
    startNs_ = TheClock().Now();
    lastFlushNs_ = startNs_;
    timing_.store(kTimedAfterRecord, std::memory_order_relaxed);
    Open();
}

void Recorder::Abandon() noexcept {
    const bool wasRecording = recording_;
    recording_ = false;
    try {
        if (wasRecording) {
            FlushLocked();  // whole records only: formatting allocates nothing, so never throws
        }
        Fail("the tracer ran out of memory");
    } catch (...) {
    }
    if (file_ != platform::kNoFile) {
        platform::CloseFile(file_);
        file_ = platform::kNoFile;
    }
}

void Recorder::Report(const std::string& text) {
    if (settings.report != nullptr) {
        settings.report(text.c_str());
    } else {
        platform::DebugOutput(text);
    }
}

void Recorder::Fail(const std::string& why) {
    recording_ = false;
    if (problem_.empty()) {
        problem_ = why;
        Report(why + "; the calls go on untraced");
    }
    if (file_ != platform::kNoFile) {
        platform::CloseFile(file_);
        file_ = platform::kNoFile;
    }
}

void Recorder::PutLong(const char* text, size_t n) {
    while (n > 0) {
        if (len_ == kBufferSize) {
            // Only a record longer than the whole buffer gets here.
            if (!FlushLocked()) {
                return;
            }
        }
        const size_t room = kBufferSize - len_;
        const size_t take = n < room ? n : room;
        std::memcpy(buf_.get() + len_, text, take);
        len_ += take;
        text += take;
        n -= take;
    }
}

void Recorder::PutUnsigned(uint64_t value) {
    char text[24];
    const auto done = std::to_chars(text, text + sizeof text, value);
    Put(text, static_cast<size_t>(done.ptr - text));
}

void Recorder::PutSigned(int64_t value) {
    char text[24];
    const auto done = std::to_chars(text, text + sizeof text, value);
    Put(text, static_cast<size_t>(done.ptr - text));
}

void Recorder::PutDouble(double value) {
    if (value != value) {
        Lit("\"nan\"");
        return;
    }
    if (value == 1.0 / 0.0) {
        Lit("\"inf\"");
        return;
    }
    if (value == -1.0 / 0.0) {
        Lit("\"-inf\"");
        return;
    }
    // A read's result is usually the value it stored, and a tag's value
    // often the one before: the last text made is kept for the same bits.
    const uint64_t bits = DoubleBits(value);
    if (bits != lastDoubleBits_ || lastDoubleLength_ == 0) {
        const auto done = std::to_chars(lastDouble_, lastDouble_ + sizeof lastDouble_, value);
        lastDoubleLength_ = static_cast<size_t>(done.ptr - lastDouble_);
        lastDoubleBits_ = bits;
    }
    Put(lastDouble_, lastDoubleLength_);
}

void Recorder::PutBytes(const char* bytes, size_t n) {
    static const char kHex[] = "0123456789abcdef";
    PutChar('"');
    size_t plain = 0;  // start of the run of bytes copied as they are
    for (size_t i = 0; i < n; ++i) {
        const unsigned char b = static_cast<unsigned char>(bytes[i]);
        if (b >= 0x20 && b < 0x7f && b != '"' && b != '\\') {
            continue;
        }
        Put(bytes + plain, i - plain);
        plain = i + 1;
        if (b == '"') {
            Put("\\\"", 2);
        } else if (b == '\\') {
            Put("\\\\", 2);
        } else if (b < 0x80) {
            const char escape[6] = {'\\', 'u', '0', '0', kHex[b >> 4], kHex[b & 15]};
            Put(escape, 6);
        } else {
            const char utf8[2] = {static_cast<char>(0xc0 | (b >> 6)), static_cast<char>(0x80 | (b & 0x3f))};
            Put(utf8, 2);
        }
    }
    Put(bytes + plain, n - plain);
    PutChar('"');
}

void Recorder::PutUtf8(const std::string& text) {
    static const char kHex[] = "0123456789abcdef";
    PutChar('"');
    const unsigned char* p = reinterpret_cast<const unsigned char*>(text.data());
    const size_t n = text.size();
    for (size_t i = 0; i < n;) {
        const unsigned char b = p[i];
        if (b < 0x80) {
            if (b == '"' || b == '\\') {
                const char escape[2] = {'\\', static_cast<char>(b)};
                Put(escape, 2);
            } else if (b < 0x20 || b == 0x7f) {
                const char escape[6] = {'\\', 'u', '0', '0', kHex[b >> 4], kHex[b & 15]};
                Put(escape, 6);
            } else {
                PutChar(static_cast<char>(b));
            }
            ++i;
            continue;
        }
        // A well-formed sequence is copied; anything else becomes U+FFFD.
        // Lead bytes: C2..DF two bytes, E0..EF three, F0..F4 four; C0, C1
        // and F5..FF begin no sequence at all.
        const size_t length = b >= 0xc2 && b < 0xe0 ? 2 : b >= 0xe0 && b < 0xf0 ? 3 : b >= 0xf0 && b < 0xf5 ? 4 : 0;
        bool good = length != 0 && i + length <= n;
        for (size_t k = 1; good && k < length; ++k) {
            good = (p[i + k] & 0xc0) == 0x80;
        }
        if (good && length == 3) {
            const unsigned c = ((b & 0x0fu) << 12) | ((p[i + 1] & 0x3fu) << 6);
            good = c >= 0x800 && (c < 0xd800 || c > 0xdfff);
        } else if (good && length == 4) {
            const unsigned c = ((b & 0x07u) << 18) | ((p[i + 1] & 0x3fu) << 12);
            good = c >= 0x10000 && c <= 0x10ffff;
        }
        if (good) {
            Put(text.data() + i, length);
            i += length;
        } else {
            Put("\xef\xbf\xbd", 3);
            ++i;
        }
    }
    PutChar('"');
}

void Recorder::PutTag(bool isNull, const char* tag, size_t length) {
    if (isNull) {
        Lit("null");
    } else {
        PutBytes(tag, length);
    }
}

void Recorder::WriteHeader() {
    Lit("{\"type\":\"header\",\"format\":\"mrx3p-trace\",\"version\":3,\"tracer\":\"" MRXTRACE_VERSION
        "\",\"level\":\"");
    Put(TraceLevelName(settings.level));
    Lit("\",\"limit_mb\":");
    PutUnsigned(limit_ / (1024 * 1024));
    Lit(",\"pid\":");
    PutUnsigned(osbase::ProcessId());
    Lit(",\"start_utc\":\"");
    Put(platform::UtcNow());
    Lit("\",\"timer_resolution_ns\":");
    PutUnsigned(TheClock().ResolutionNs());
    Lit(",\"code_page\":");
    PutUnsigned(settings.codePage == 0 ? kDefaultCodePage : settings.codePage);
    Lit(",\"real_library\":");
    if (settings.realLibrary.empty()) {
        Lit("null");
    } else {
        PutUtf8(settings.realLibrary);
    }
    if (!settings.realFileVersion.empty()) {
        Lit(",\"real_file_version\":");
        PutUtf8(settings.realFileVersion);
    }
    Lit(",\"settings\":");
    if (settings.settingsFile.empty()) {
        Lit("null");
    } else {
        PutUtf8(settings.settingsFile);
    }
    if (!settings.realLibraryError.empty()) {
        Lit(",\"real_library_error\":");
        PutUtf8(settings.realLibraryError);
    }
    if (!settings.settingsWarning.empty()) {
        Lit(",\"settings_warning\":");
        PutUtf8(settings.settingsWarning);
    }
    Lit("}\n");
}

void Recorder::WriteSummary(const char* reason, bool stopped) {
    const uint64_t now = TheClock().Now();
    Lit("{\"type\":\"summary\",\"reason\":\"");
    Put(reason);
    Lit("\",\"seq\":");
    PutUnsigned(seq_);
    Lit(",\"t_us\":");
    PutUnsigned((now - startNs_) / 1000);
    Lit(",\"calls\":");
    PutUnsigned(seq_);
    Lit(",\"failures\":");
    PutUnsigned(failures_);
    Lit(",\"ops\":{");
    bool first = true;
    for (int op = 0; op < kOpCount; ++op) {
        const OpStats& s = stats_[op];
        if (s.calls == 0) {
            continue;
        }
        if (!first) {
            PutChar(',');
        }
        first = false;
        PutChar('"');
        Put(kOps[op].name);
        Lit("\":{\"calls\":");
        PutUnsigned(s.calls);
        Lit(",\"failures\":");
        PutUnsigned(s.failures);
        Lit(",\"timed\":");
        PutUnsigned(s.timed);
        if (s.timed == 0) {
            Lit(",\"dur_ns\":null}");
            continue;
        }
        Lit(",\"dur_ns\":{\"median\":");
        PutUnsigned(s.Quantile(1, 2));
        Lit(",\"p99\":");
        PutUnsigned(s.Quantile(99, 100));
        Lit(",\"max\":");
        PutUnsigned(s.max);
        Lit("}}");
    }
    Lit("},\"pending_folds\":[");
    first = true;
    keys_.ForEach([&](KeyEntry& key) {
        if (key.folded == 0) {
            return;
        }
        if (!first) {
            PutChar(',');
        }
        first = false;
        Lit("{\"op\":\"");
        Put(kOps[key.op].name);
        Lit("\",\"data_set\":");
        PutSigned(key.dataSet);
        Lit(",\"tag\":");
        PutTag(key.tagNull, key.tag.data(), key.tag.size());
        Lit(",\"folded\":");
        PutUnsigned(key.folded);
        PutChar('}');
        key.folded = 0;
    });
    Lit("],\"stopped\":");
    Put(stopped ? "true" : "false");
    Lit("}\n");
}

bool Recorder::Room(uint64_t bound) {
    if (written_ + len_ + bound + reserve_ <= limit_) {
        return true;
    }
    WriteSummary("limit", true);
    if (FlushLocked()) {
        Report("the trace " + path_ + " reached its size limit; the calls go on untraced");
    }
    recording_ = false;
    if (file_ != platform::kNoFile) {
        platform::CloseFile(file_);
        file_ = platform::kNoFile;
    }
    if (problem_.empty()) {
        problem_ = "the trace reached its size limit";
    }
    return false;
}

void Recorder::WriteCallStart(int op, uint64_t start) {
    Lit("{\"type\":\"call\",\"seq\":");
    PutUnsigned(seq_);
    Lit(",\"t_us\":");
    PutUnsigned(start > startNs_ ? (start - startNs_) / 1000 : 0);
    Lit(",\"op\":\"");
    Put(kOps[op].name);
    Lit("\",\"ordinal\":");
    PutUnsigned(static_cast<uint64_t>(kOps[op].ordinal));
}

void Recorder::EndRecord(bool flushNow, bool known, uint64_t now) {
    if (flushNow || len_ >= kFlushAt) {
        FlushLocked();
        return;
    }
    // The age of what waits is checked on the calls whose time is known:
    // every record, and at least one call in kSampleEvery (TimeNext), so
    // an untimed call never reads the clock.
    if (known && len_ != 0 && now - lastFlushNs_ >= kFlushEveryNs) {
        FlushLocked();
    }
}

bool Recorder::FlushLocked() {
    lastFlushNs_ = TheClock().Now();
    if (len_ == 0 || file_ == platform::kNoFile) {
        len_ = 0;
        return file_ != platform::kNoFile;
    }
    std::string error;
    const bool ok = platform::WriteAll(file_, buf_.get(), len_, &error);
    written_ += len_;
    len_ = 0;
    if (!ok) {
        Fail("cannot write the trace file " + path_ + ": " + error);
    }
    return ok;
}

void Recorder::Flush() {
    Hold hold(lock_);
    try {
        if (recording_) {
            FlushLocked();
        }
    } catch (...) {
        Abandon();
    }
}

void Recorder::Grow() {
    std::vector<KeyEntry*> bigger(table_.size() * 2, nullptr);
    const size_t mask = bigger.size() - 1;
    for (KeyEntry* entry : table_) {
        if (entry == nullptr) {
            continue;
        }
        size_t i = static_cast<size_t>(entry->hash) & mask;
        while (bigger[i] != nullptr) {
            i = (i + 1) & mask;
        }
        bigger[i] = entry;
    }
    table_.swap(bigger);
}

KeyEntry* Recorder::Key(int op, int32_t dataSet, const char* tag, size_t length, bool* fresh) {
    const uint64_t hash = HashKey(op, dataSet, tag, length);
    const size_t mask = table_.size() - 1;
    size_t i = static_cast<size_t>(hash) & mask;
    for (KeyEntry* entry = table_[i]; entry != nullptr; i = (i + 1) & mask, entry = table_[i]) {
        if (entry->hash == hash && entry->op == op && entry->dataSet == dataSet && entry->tagNull == (tag == nullptr) &&
            entry->tag.size() == length && std::memcmp(entry->tag.data(), tag == nullptr ? "" : tag, length) == 0) {
            *fresh = false;
            return entry;
        }
    }
    KeyEntry* entry = &keys_.Add();
    entry->hash = hash;
    entry->op = op;
    entry->dataSet = dataSet;
    entry->tagNull = tag == nullptr;
    entry->tag.assign(tag == nullptr ? "" : tag, length);
    table_[i] = entry;
    reserve_ += kFoldEntryReserve + WrittenLength(entry->tag.data(), length);
    if (keys_.size() * 2 > table_.size()) {
        Grow();
    }
    *fresh = true;
    return entry;
}

namespace {
uint64_t SiteHash(const uint32_t* cookie, int op, int32_t dataSet) {
    return (static_cast<uint64_t>(reinterpret_cast<uintptr_t>(cookie)) ^ static_cast<uint64_t>(op) << 56 ^
            static_cast<uint32_t>(dataSet)) *
           0x9e3779b97f4a7c15ull;
}
}  // namespace

// The site of a call with a cell, made when new. Its key's text is compared
// with the call's, since the caller may have put another tag in the cell.
CallSite* Recorder::Site(int op, int32_t dataSet, const char* tag, const uint32_t* cookie, bool* fresh) {
    size_t mask = siteTable_.size() - 1;
    size_t i = static_cast<size_t>(SiteHash(cookie, op, dataSet) >> 32) & mask;
    for (CallSite* site = siteTable_[i]; site != nullptr; i = (i + 1) & mask, site = siteTable_[i]) {
        if (site->cookie == cookie && site->op == op && site->dataSet == dataSet) {
            if (std::strcmp(site->key->tag.c_str(), tag) != 0) {
                site->key = Key(op, dataSet, tag, std::strlen(tag), fresh);
                site->cookieKnown = false;
            } else {
                *fresh = false;
            }
            return site;
        }
    }
    CallSite* site = &sites_.Add();
    site->cookie = cookie;
    site->op = op;
    site->dataSet = dataSet;
    site->key = Key(op, dataSet, tag, std::strlen(tag), fresh);
    if (sites_.size() * 2 > siteTable_.size()) {
        std::vector<CallSite*> bigger(siteTable_.size() * 2, nullptr);
        mask = bigger.size() - 1;
        for (CallSite* old : siteTable_) {
            if (old == nullptr) continue;
            size_t k = static_cast<size_t>(SiteHash(old->cookie, old->op, old->dataSet) >> 32) & mask;
            while (bigger[k] != nullptr) k = (k + 1) & mask;
            bigger[k] = old;
        }
        siteTable_.swap(bigger);
        i = static_cast<size_t>(SiteHash(cookie, op, dataSet) >> 32) & mask;
        while (siteTable_[i] != nullptr) i = (i + 1) & mask;
    }
    siteTable_[i] = site;
    return site;
}

// The key of a call at changes: the site called after the previous one
// last time is tried first, then the site table, then (for a call without
// a cell or a tag) the text's hash.
KeyEntry* Recorder::ChangesKey(int op, int32_t dataSet, const char* tag, const uint32_t* cookie, bool* fresh,
                               CallSite** site) {
    if (cookie == nullptr || tag == nullptr) {
        *site = nullptr;
        return Key(op, dataSet, tag, tag == nullptr ? 0 : std::strlen(tag), fresh);
    }
    CallSite* guess = previous_ != nullptr ? previous_->next : nullptr;
    if (guess != nullptr && guess->cookie == cookie && guess->op == op && guess->dataSet == dataSet &&
        std::strcmp(guess->key->tag.c_str(), tag) == 0) {
        previous_ = guess;
        *fresh = false;
        *site = guess;
        return guess->key;
    }
    CallSite* found = Site(op, dataSet, tag, cookie, fresh);
    if (previous_ != nullptr) previous_->next = found;
    previous_ = found;
    *site = found;
    return found->key;
}

template <typename T>
void Recorder::TagCall(int op, bool timed, uint64_t start, uint64_t end, int32_t dataSet, const char* tag,
                       const uint32_t* cookie, uint32_t cookieBefore, const T* value, T passed, const int32_t* status,
                       T result) {
    int32_t statusNow = 0;
    uint64_t flags = 0;
    if (status != nullptr) {
        flags |= Outcome::kHasStatus;
        std::memcpy(&statusNow, status, sizeof statusNow);
    }
    const bool failed = statusNow != 0;
    T shown = passed;
    if (value != nullptr) {
        if (!kOps[op].write && status != nullptr && statusNow == 0) {
            std::memcpy(&shown, value, sizeof shown);
            flags |= Outcome::kHasValue;
        } else if (kOps[op].write) {
            flags |= Outcome::kHasValue;
        }
    }
    uint32_t cookieAfter = 0;
    if (cookie != nullptr) {
        flags |= Outcome::kHasCookie;
        std::memcpy(&cookieAfter, cookie, sizeof cookieAfter);
    }
    Outcome out;
    if ((flags & Outcome::kHasValue) != 0) {
        out.valueBits = IsReal(op) ? DoubleBits(static_cast<double>(shown)) : static_cast<uint32_t>(shown);
    }
    out.resultBits = IsReal(op) ? DoubleBits(static_cast<double>(result)) : static_cast<uint32_t>(result);
    out.statusBits = static_cast<uint32_t>(statusNow);
    out.flags = flags;

    Hold hold(lock_);
    if (forked_) {
        StartOver();
    }
    ++seq_;
    failures_ += failed ? 1 : 0;
    if (timed) {
        stats_[op].Add(end - start, failed);
    } else {
        stats_[op].Count(failed);
    }
    if (!recording_) {
        return;
    }
    uint64_t folded = 0;
    if (settings.level == TraceLevel::Failures) {
        if (!failed) {
            EndRecord(false, timed, end);
            return;
        }
    } else if (settings.level == TraceLevel::Changes) {
        bool fresh = false;
        CallSite* site = nullptr;
        KeyEntry* key = ChangesKey(op, dataSet, tag, cookie, &fresh, &site);
        if (site == nullptr) {
            out.statusBits |= static_cast<uint64_t>(cookieAfter) << 32;  // a cell without a site: the key's
        }
        const bool cookieSame = site == nullptr || (site->cookieKnown && site->cookieAfter == cookieAfter);
        if (site != nullptr) {
            site->cookieKnown = true;
            site->cookieAfter = cookieAfter;
        }
        // Failures are always written, so that the file holds each one
        // even when the process dies before the next record.
        if (!fresh && !failed && cookieSame && key->last == out) {
            ++key->folded;
            EndRecord(false, timed, end);
            return;
        }
        folded = key->folded;
        key->folded = 0;
        key->last = out;
    }
    const size_t length = tag == nullptr ? 0 : std::strlen(tag);
    if (!Room(kCallRecordRest + WrittenLength(tag, length))) {
        return;
    }
    if (!timed) {
        // The record's time is then when the call came back.
        end = TheClock().Now();
        start = end;
    }
    timing_.store(kTimedAfterRecord, std::memory_order_relaxed);
    WriteCallStart(op, start);
    Lit(",\"data_set\":");
    PutSigned(dataSet);
    Lit(",\"tag\":");
    PutTag(tag == nullptr, tag, length);
    if (out.Has(Outcome::kHasValue)) {
        Lit(",\"value\":");
        if (IsReal(op)) {
            PutDouble(BitsDouble(out.valueBits));
        } else {
            PutSigned(static_cast<int32_t>(out.valueBits));
        }
    }
    Lit(",\"status\":");
    if (out.Has(Outcome::kHasStatus)) {
        PutSigned(out.Status());
    } else {
        Lit("null");
    }
    Lit(",\"result\":");
    if (IsReal(op)) {
        PutDouble(BitsDouble(out.resultBits));
    } else {
        PutSigned(static_cast<int32_t>(out.resultBits));
    }
    Lit(",\"cookie_before\":");
    if (cookie != nullptr) {
        PutUnsigned(cookieBefore);
        Lit(",\"cookie_after\":");
        PutUnsigned(cookieAfter);
    } else {
        Lit("null,\"cookie_after\":null");
    }
    Lit(",\"dur_ns\":");
    if (timed) {
        PutUnsigned(end - start);
    } else {
        Lit("null");
    }
    Lit(",\"folded\":");
    PutUnsigned(folded);
    Lit("}\n");
    EndRecord(failed, true, end);
}

void Recorder::LinkCall(int op, uint64_t start, uint64_t end, int32_t result, const char* initBuffer) {
    Hold hold(lock_);
    if (forked_) {
        StartOver();
    }
    ++seq_;
    stats_[op].Add(end - start, false);
    size_t textLength = 0;
    const bool lengthKnown = lengthKnown_;
    const int32_t length = lastLength_;
    if (op == kGetInitStringLength) {
        lengthKnown_ = true;
        lastLength_ = result;
    } else if (op == kGetInitString && initBuffer != nullptr && lengthKnown && length > 0) {
        const void* nul = std::memchr(initBuffer, 0, static_cast<size_t>(length));
        textLength = nul == nullptr ? static_cast<size_t>(length)
                                    : static_cast<size_t>(static_cast<const char*>(nul) - initBuffer);
    }
    const uint64_t bound = kCallRecordRest + (op == kGetInitString ? kInitStringRecordRest : 0);
    if (!recording_ || !Room(bound + WrittenLength(initBuffer, textLength))) {
        return;
    }
    timing_.store(kTimedAfterRecord, std::memory_order_relaxed);
    WriteCallStart(op, start);
    Lit(",\"result\":");
    PutSigned(result);
    Lit(",\"dur_ns\":");
    PutUnsigned(end - start);
    Lit(",\"folded\":0}\n");
    if (op == kGetInitString) {
        Lit("{\"type\":\"init_string\",\"seq\":");
        PutUnsigned(seq_);
        Lit(",\"t_us\":");
        PutUnsigned((start - startNs_) / 1000);
        Lit(",\"length\":");
        if (lengthKnown) {
            PutSigned(length);
        } else {
            Lit("null");
        }
        Lit(",\"bytes\":");
        PutUnsigned(textLength);
        Lit(",\"text\":");
        PutBytes(initBuffer, textLength);
        Lit("}\n");
    }
    if (op == kResetLink && Room(reserve_)) {
        WriteSummary("ResetLink", false);
    }
    EndRecord(op == kResetLink, true, end);
}

void Recorder::End(bool onlyIfFree) {
    if (onlyIfFree) {
        if (!lock_.TryLock()) {
            return;
        }
    } else {
        lock_.Lock();
    }
    if (!ended_) {
        ended_ = true;
        try {
            if (recording_) {
                WriteSummary("exit", false);
                FlushLocked();
            }
        } catch (...) {
            Abandon();
        }
        recording_ = false;
        if (file_ != platform::kNoFile) {
            platform::CloseFile(file_);
            file_ = platform::kNoFile;
        }
    }
    lock_.Unlock();
}

bool ParseTraceLevel(const std::string& text, TraceLevel* level) {
    size_t begin = 0;
    size_t end = text.size();
    while (begin < end && (text[begin] == ' ' || text[begin] == '\t')) ++begin;
    while (end > begin && (text[end - 1] == ' ' || text[end - 1] == '\t' || text[end - 1] == '\r')) --end;
    std::string word;
    for (size_t i = begin; i < end; ++i) {
        const char c = text[i];
        word += c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    }
    if (word == "all") {
        *level = TraceLevel::All;
    } else if (word == "changes") {
        *level = TraceLevel::Changes;
    } else if (word == "failures") {
        *level = TraceLevel::Failures;
    } else {
        return false;
    }
    return true;
}

const char* TraceLevelName(TraceLevel level) {
    switch (level) {
    case TraceLevel::All: return "all";
    case TraceLevel::Changes: return "changes";
    case TraceLevel::Failures: return "failures";
    }
    return "changes";
}

// --- The session ---------------------------------------------------------------

TraceSession::TraceSession(const MrxOps& real, const TraceSettings& settings)
    : recorder_(new Recorder(real, settings)) {}

TraceSession::~TraceSession() { End(); }

bool TraceSession::Recording() const { return recorder_->Recording(); }
std::string TraceSession::Problem() const { return recorder_->Problem(); }
std::string TraceSession::FilePath() const { return recorder_->FilePath(); }
void TraceSession::Flush() { recorder_->Flush(); }
void TraceSession::End() { recorder_->End(false); }
void TraceSession::EndIfFree() { recorder_->End(true); }

int32_t TraceSession::GetInitStringLength() {
    Recorder& r = *recorder_;
    const uint64_t start = r.Begin();
    const int32_t result = r.real.GetInitStringLength != nullptr ? r.real.GetInitStringLength(r.real.context) : 0;
    const uint64_t end = TheClock().Now();
    r.Guarded([&] { r.LinkCall(kGetInitStringLength, start, end, result, nullptr); });
    return result;
}

int32_t TraceSession::GetInitString(char* buffer) {
    Recorder& r = *recorder_;
    const uint64_t start = r.Begin();
    const int32_t result = r.real.GetInitString != nullptr ? r.real.GetInitString(r.real.context, buffer) : 0;
    const uint64_t end = TheClock().Now();
    r.Guarded([&] { r.LinkCall(kGetInitString, start, end, result, buffer); });
    return result;
}

int32_t TraceSession::ResetLink() {
    Recorder& r = *recorder_;
    const uint64_t start = r.Begin();
    const int32_t result = r.real.ResetLink != nullptr ? r.real.ResetLink(r.real.context) : 0;
    const uint64_t end = TheClock().Now();
    r.Guarded([&] { r.LinkCall(kResetLink, start, end, result, nullptr); });
    return result;
}

namespace {

// One tag operation: the cookie and a written value are read before the
// call, everything else after it; the real function gets the caller's very
// pointers.
template <typename T, typename Fn>
T Traced(Recorder& r, int op, Fn fn, void* context, int32_t dataSet, const char* tag, uint32_t* cookie, T* value,
         int32_t* status) {
    uint32_t before = 0;
    if (cookie != nullptr) {
        std::memcpy(&before, cookie, sizeof before);
    }
    T passed{};
    if (kOps[op].write && value != nullptr) {
        std::memcpy(&passed, value, sizeof passed);
    }
    const bool timed = r.TimeNext();
    const uint64_t start = timed ? r.Begin() : 0;
    T result{};
    if (fn != nullptr) {
        result = fn(context, dataSet, tag, cookie, value, status);
    } else if (status != nullptr) {
        std::memcpy(status, &kNoLibraryStatus, sizeof kNoLibraryStatus);
    }
    const uint64_t end = timed ? TheClock().Now() : 0;
    r.Guarded(
        [&] { r.TagCall<T>(op, timed, start, end, dataSet, tag, cookie, before, value, passed, status, result); });
    return result;
}

}  // namespace

#define MRXTRACE_TAG_OP(T, Op)                                                                                     \
    T TraceSession::Op(int32_t dataSet, const char* tag, uint32_t* cookie, T* value, int32_t* status) {            \
        constexpr int op = MrxOperationIndex(MrxOperationNamed(#Op)->ordinal);                                     \
        return Traced<T>(*recorder_, op, recorder_->real.Op, recorder_->real.context, dataSet, tag, cookie, value, \
                         status);                                                                                  \
    }
MRXTRACE_TAG_OP(double, ReadAI)
MRXTRACE_TAG_OP(double, WriteAI)
MRXTRACE_TAG_OP(double, ReadAO)
MRXTRACE_TAG_OP(int32_t, ReadDI)
MRXTRACE_TAG_OP(int32_t, WriteDI)
MRXTRACE_TAG_OP(int32_t, ReadDO)
MRXTRACE_TAG_OP(double, ReadCALC)
MRXTRACE_TAG_OP(double, WriteCALC)
#undef MRXTRACE_TAG_OP

// --- The installed session -----------------------------------------------------

namespace {

std::atomic<TraceSession*> g_installed{nullptr};

// The session a table's call goes to: its context, or for the installed
// table (no context) the installed session.
TraceSession* SessionOf(void* context) {
    return context != nullptr ? static_cast<TraceSession*>(context) : g_installed.load(std::memory_order_acquire);
}

int32_t MRX_CALL SessionGetInitStringLength(void* context) {
    TraceSession* s = SessionOf(context);
    return s != nullptr ? s->GetInitStringLength() : 0;
}
int32_t MRX_CALL SessionGetInitString(void* context, char* buffer) {
    TraceSession* s = SessionOf(context);
    return s != nullptr ? s->GetInitString(buffer) : 0;
}
int32_t MRX_CALL SessionResetLink(void* context) {
    TraceSession* s = SessionOf(context);
    return s != nullptr ? s->ResetLink() : 0;
}

#define MRXTRACE_SESSION_OP(T, Op)                                                                      \
    T MRX_CALL Session##Op(void* context, int32_t dataSet, const char* tag, uint32_t* cookie, T* value, \
                           int32_t* status) {                                                           \
        TraceSession* s = SessionOf(context);                                                           \
        if (s != nullptr) {                                                                             \
            return s->Op(dataSet, tag, cookie, value, status);                                          \
        }                                                                                               \
        if (status != nullptr) {                                                                        \
            std::memcpy(status, &kNoLibraryStatus, sizeof kNoLibraryStatus);                            \
        }                                                                                               \
        return T{};                                                                                     \
    }
MRXTRACE_SESSION_OP(double, ReadAI)
MRXTRACE_SESSION_OP(double, WriteAI)
MRXTRACE_SESSION_OP(double, ReadAO)
MRXTRACE_SESSION_OP(int32_t, ReadDI)
MRXTRACE_SESSION_OP(int32_t, WriteDI)
MRXTRACE_SESSION_OP(int32_t, ReadDO)
MRXTRACE_SESSION_OP(double, ReadCALC)
MRXTRACE_SESSION_OP(double, WriteCALC)
#undef MRXTRACE_SESSION_OP

MrxOps SessionOps(TraceSession* session) {
    return MrxOps{session,
                  SessionGetInitStringLength,
                  SessionGetInitString,
                  SessionResetLink,
                  SessionReadAI,
                  SessionWriteAI,
                  SessionReadAO,
                  SessionReadDI,
                  SessionWriteDI,
                  SessionReadDO,
                  SessionReadCALC,
                  SessionWriteCALC};
}

}  // namespace

void Install(TraceSession* session) { g_installed.store(session, std::memory_order_release); }
TraceSession* Installed() { return g_installed.load(std::memory_order_acquire); }

const MrxOps& TracedOps() {
    static const MrxOps ops = SessionOps(nullptr);
    return ops;
}

MrxOps TraceSession::Ops() { return SessionOps(this); }

}  // namespace mrxtrace
