// The tracing core over a scripted fake of the real operations: what the
// real side receives and what the caller gets back must be exactly what they
// would be without the tracer, and the file must say what happened.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "trace_core.h"

using mrxtrace::TraceLevel;
using mrxtrace::TraceSession;
using mrxtrace::TraceSettings;

namespace {

// What the fake saw and what it answers next.
struct Fake {
    int32_t dataSet = 0;
    const char* tag = nullptr;
    uint32_t* cookie = nullptr;
    void* value = nullptr;
    int32_t* status = nullptr;
    int32_t op = 0;
    double realResult = 0;
    int32_t intResult = 0;
    double readReal = 0;
    int32_t readInt = 0;
    int32_t answerStatus = 0;
    uint32_t newCookie = 0;
    const char* initString = "";
    int32_t length = 0;
} g_fake;

template <typename T>
void Answer(int32_t op, int32_t ds, const char* tag, uint32_t* cookie, T* value, int32_t* status, T read) {
    g_fake.op = op;
    g_fake.dataSet = ds;
    g_fake.tag = tag;
    g_fake.cookie = cookie;
    g_fake.value = value;
    g_fake.status = status;
    if (status != nullptr) *status = g_fake.answerStatus;
    if (cookie != nullptr && g_fake.newCookie != 0) std::memcpy(cookie, &g_fake.newCookie, sizeof g_fake.newCookie);
    if (value != nullptr && g_fake.answerStatus == 0 && op != 5 && op != 8 && op != 12) *value = read;
}

#define FAKE_REAL(Op, code)                                                                                          \
    double MRX_CALL Fake##Op(void*, int32_t ds, const char* tag, uint32_t* cookie, double* value, int32_t* status) { \
        Answer(code, ds, tag, cookie, value, status, g_fake.readReal);                                               \
        return g_fake.realResult;                                                                                    \
    }
#define FAKE_INT(Op, code)                                                                                             \
    int32_t MRX_CALL Fake##Op(void*, int32_t ds, const char* tag, uint32_t* cookie, int32_t* value, int32_t* status) { \
        Answer(code, ds, tag, cookie, value, status, g_fake.readInt);                                                  \
        return g_fake.intResult;                                                                                       \
    }
FAKE_REAL(ReadAI, 4)
FAKE_REAL(WriteAI, 5)
FAKE_REAL(ReadAO, 6)
FAKE_INT(ReadDI, 7)
FAKE_INT(WriteDI, 8)
FAKE_INT(ReadDO, 9)
FAKE_REAL(ReadCALC, 11)
FAKE_REAL(WriteCALC, 12)
int32_t MRX_CALL FakeLength(void*) { return g_fake.length; }
int32_t MRX_CALL FakeString(void*, char* buffer) {
    std::strncpy(buffer, g_fake.initString, static_cast<size_t>(g_fake.length));
    return 7;
}
int32_t MRX_CALL FakeReset(void*) { return 3; }

const MrxOps kFakeOps{nullptr,    FakeLength, FakeString,  FakeReset,  FakeReadAI,   FakeWriteAI,
                      FakeReadAO, FakeReadDI, FakeWriteDI, FakeReadDO, FakeReadCALC, FakeWriteCALC};

std::string TempPath(const std::string& name) {
    const char* dir = std::getenv("TMPDIR");
    std::string base = dir != nullptr && *dir != '\0' ? dir : "/tmp";
#if defined(_WIN32)
    base = ".";
#endif
    std::string path =
        base + "/trace_core_test." + name + "." + std::to_string(::testing::UnitTest::GetInstance()->random_seed());
    std::remove(path.c_str());
    return path;
}

std::vector<nlohmann::json> ReadTrace(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<nlohmann::json> records;
    std::string line;
    while (std::getline(in, line)) records.push_back(nlohmann::json::parse(line));
    return records;
}

std::vector<nlohmann::json> Calls(const std::vector<nlohmann::json>& records) {
    std::vector<nlohmann::json> calls;
    for (const auto& r : records)
        if (r["type"] == "call") calls.push_back(r);
    return calls;
}

TraceSettings Settings(const std::string& path, TraceLevel level) {
    TraceSettings s;
    s.file = path;
    s.level = level;
    s.realLibrary = "fake";
    return s;
}

// The bytes of a JSON string whose code points each stand for one byte.
std::string Bytes(const std::string& utf8) {
    std::string out;
    for (size_t i = 0; i < utf8.size(); ++i) {
        const unsigned char b = static_cast<unsigned char>(utf8[i]);
        if (b < 0x80) {
            out += static_cast<char>(b);
        } else {
            EXPECT_TRUE(b == 0xc2 || b == 0xc3) << "a code point above U+00FF";
            out += static_cast<char>(((b & 0x03) << 6) | (static_cast<unsigned char>(utf8[++i]) & 0x3f));
        }
    }
    return out;
}

TEST(TraceCore, EveryOperationPassesItsArgumentsAndResultsUnchanged) {
    for (TraceLevel level : {TraceLevel::All, TraceLevel::Changes, TraceLevel::Failures}) {
        const std::string path = TempPath("pass");
        TraceSession session(kFakeOps, Settings(path, level));
        ASSERT_TRUE(session.Recording()) << session.Problem();
        // A quiet NaN with a payload and a negative zero: both must come back
        // bit for bit.
        uint64_t nanBits = 0x7ff8000000001234ull;
        double nan = 0;
        std::memcpy(&nan, &nanBits, sizeof nan);
        for (int32_t status : {0, 5}) {
            g_fake.answerStatus = status;
            g_fake.newCookie = 0x4d580007u;
            g_fake.realResult = nan;
            g_fake.readReal = -0.0;
            g_fake.intResult = -42;
            g_fake.readInt = 77;
            using RealOp = double (TraceSession::*)(int32_t, const char*, uint32_t*, double*, int32_t*);
            using IntOp = int32_t (TraceSession::*)(int32_t, const char*, uint32_t*, int32_t*, int32_t*);
            const std::tuple<RealOp, int32_t> realOps[] = {{&TraceSession::ReadAI, 4},
                                                           {&TraceSession::WriteAI, 5},
                                                           {&TraceSession::ReadAO, 6},
                                                           {&TraceSession::ReadCALC, 11},
                                                           {&TraceSession::WriteCALC, 12}};
            const std::tuple<IntOp, int32_t> intOps[] = {
                {&TraceSession::ReadDI, 7}, {&TraceSession::WriteDI, 8}, {&TraceSession::ReadDO, 9}};
            const char tag[] = "FIC-101.SP";
            for (const auto& [op, code] : realOps) {
                uint32_t cookie = 0;
                double value = 12.5;
                int32_t st = -7;
                const double got = (session.*op)(3, tag, &cookie, &value, &st);
                EXPECT_EQ(g_fake.op, code);
                EXPECT_EQ(g_fake.dataSet, 3);
                EXPECT_EQ(g_fake.tag, tag);
                EXPECT_EQ(g_fake.cookie, &cookie);
                EXPECT_EQ(g_fake.value, &value);
                EXPECT_EQ(g_fake.status, &st);
                uint64_t gotBits = 0;
                std::memcpy(&gotBits, &got, sizeof got);
                EXPECT_EQ(gotBits, nanBits);
                EXPECT_EQ(cookie, 0x4d580007u);
                EXPECT_EQ(st, status);
                const bool read = code != 5 && code != 12;
                EXPECT_EQ(std::signbit(value), read && status == 0) << code;
            }
            for (const auto& [op, code] : intOps) {
                uint32_t cookie = 0;
                int32_t value = 9;
                int32_t st = -7;
                EXPECT_EQ((session.*op)(-1, nullptr, &cookie, &value, &st), -42);
                EXPECT_EQ(g_fake.op, code);
                EXPECT_EQ(g_fake.tag, nullptr);
                EXPECT_EQ(g_fake.value, &value);
                EXPECT_EQ(value, code != 8 && status == 0 ? 77 : 9);
            }
        }
        g_fake.length = 5;
        g_fake.initString = "*AI*\nX";
        char buffer[6] = {};
        EXPECT_EQ(session.GetInitStringLength(), 5);
        EXPECT_EQ(session.GetInitString(buffer), 7);
        EXPECT_STREQ(buffer, "*AI*\n");
        EXPECT_EQ(session.ResetLink(), 3);
        session.End();
        const auto records = ReadTrace(path);
        ASSERT_FALSE(records.empty());
        EXPECT_EQ(records.front()["type"], "header");
        EXPECT_EQ(records.front()["level"], mrxtrace::TraceLevelName(level));
        EXPECT_EQ(records.back()["type"], "summary");
        EXPECT_EQ(records.back()["reason"], "exit");
        EXPECT_EQ(records.back()["calls"], 19);
        EXPECT_EQ(records.back()["failures"], 8);
        std::remove(path.c_str());
    }
    g_fake = Fake{};
}

// A scripted run of reads on three tags; each step: tag index, value read,
// status. The records each level writes, and the rebuilt sequences.
TEST(TraceCore, LevelsWriteWhatTheySayAndChangesRebuildsEverySequence) {
    struct Step {
        int tag;
        double value;
        int32_t status;
    };
    const Step script[] = {{0, 1, 0}, {0, 1, 0}, {0, 1, 0}, {1, 5, 0}, {0, 2, 0}, {1, 5, 0}, {2, 0, 9},
                           {2, 0, 9}, {0, 2, 0}, {1, 5, 0}, {0, 2, 0}, {2, 0, 0}, {2, 0, 0}, {0, 1, 0}};
    const char* const tags[] = {"A", "B\xe9", "C,\"q\""};
    struct Expect {
        TraceLevel level;
        size_t callRecords;
    };
    for (const Expect& e :
         {Expect{TraceLevel::All, 14}, Expect{TraceLevel::Changes, 8}, Expect{TraceLevel::Failures, 2}}) {
        const std::string path = TempPath("levels");
        std::map<std::string, std::vector<std::string>> truth;
        {
            TraceSession session(kFakeOps, Settings(path, e.level));
            uint32_t cookies[3] = {};
            for (const Step& s : script) {
                g_fake.readReal = s.value;
                g_fake.answerStatus = s.status;
                g_fake.newCookie = static_cast<uint32_t>(100 + s.tag);
                double value = 0;
                int32_t status = 0;
                session.ReadAI(1, tags[s.tag], &cookies[s.tag], &value, &status);
                std::ostringstream event;
                event << status << " " << (status == 0 ? std::to_string(value) : "-");
                truth[tags[s.tag]].push_back(event.str());
            }
            if (e.level == TraceLevel::Changes) session.ResetLink();  // pending folds into a summary
            for (int i = 0; i < 2; ++i) {
                double value = 0;
                int32_t status = 0;
                session.ReadAI(1, tags[2], &cookies[2], &value, &status);
                truth[tags[2]].push_back("0 " + std::to_string(value));
            }
        }
        const auto records = ReadTrace(path);
        const auto calls = Calls(records);
        size_t tagCalls = 0;
        for (const auto& c : calls) tagCalls += c["op"] == "ReadAI" ? 1 : 0;
        EXPECT_EQ(tagCalls, e.callRecords + (e.level == TraceLevel::All ? 2 : 0)) << TraceLevelName(e.level);
        if (e.level == TraceLevel::Failures) {
            for (const auto& c : calls)
                if (c["op"] == "ReadAI") {
                    EXPECT_EQ(c["status"], 9);
                }
            continue;
        }
        // The rebuild the format describes.
        std::map<std::string, std::vector<std::string>> rebuilt;
        std::map<std::string, std::string> previous;
        auto event = [](const nlohmann::json& c) {
            const int status = c["status"];
            return std::to_string(status) + " " +
                   (c.contains("value") ? std::to_string(c["value"].get<double>()) : std::string("-"));
        };
        for (const auto& r : records) {
            if (r["type"] == "call" && r["op"] == "ReadAI") {
                const std::string key = Bytes(r["tag"].get<std::string>());
                for (int n = 0; n < r["folded"].get<int>(); ++n) rebuilt[key].push_back(previous[key]);
                previous[key] = event(r);
                rebuilt[key].push_back(previous[key]);
            } else if (r["type"] == "summary") {
                for (const auto& f : r["pending_folds"]) {
                    const std::string key = Bytes(f["tag"].get<std::string>());
                    for (int n = 0; n < f["folded"].get<int>(); ++n) rebuilt[key].push_back(previous[key]);
                }
            }
        }
        EXPECT_EQ(rebuilt, truth) << TraceLevelName(e.level);
        std::remove(path.c_str());
    }
    g_fake = Fake{};
}

// At all every call is timed; at changes and failures a sample is, and
// the calls of a run of changes (after its first) carry their durations.
TEST(TraceCore, EveryLevelTimesWhatItSays) {
    for (const TraceLevel level : {TraceLevel::All, TraceLevel::Changes, TraceLevel::Failures}) {
        const std::string path = TempPath("timing");
        constexpr int kQuiet = 400;
        constexpr int kRun = 40;
        {
            TraceSession session(kFakeOps, Settings(path, level));
            uint32_t cookies[kQuiet + kRun] = {};
            std::vector<std::string> tags;
            for (int i = 0; i < kQuiet + kRun; ++i) tags.push_back("T" + std::to_string(i % 8));
            g_fake.readReal = 1;
            for (int i = 0; i < kQuiet + kRun; ++i) {
                // A quiet stretch of equal answers, then a run of failures
                // with a new value each (only written at changes).
                const bool inRun = i >= kQuiet;
                g_fake.answerStatus = inRun && level == TraceLevel::Failures ? 4 : 0;
                g_fake.readReal = inRun ? i : 1;
                double value = 0;
                int32_t status = 0;
                session.ReadAI(1, tags[static_cast<size_t>(i)].c_str(), &cookies[i % 8], &value, &status);
            }
        }
        const auto records = ReadTrace(path);
        const nlohmann::json& summary = records.back();
        ASSERT_EQ(summary["type"], "summary");
        const int64_t calls = summary["ops"]["ReadAI"]["calls"];
        const int64_t timed = summary["ops"]["ReadAI"]["timed"];
        EXPECT_EQ(calls, kQuiet + kRun);
        int64_t t = 0;
        int written = 0;
        int withDuration = 0;
        for (const auto& c : Calls(records)) {
            EXPECT_GE(c["t_us"].get<int64_t>(), t) << "records out of time order";
            t = c["t_us"];
            if (c["seq"].get<int64_t>() <= kQuiet) continue;
            ++written;
            withDuration += c["dur_ns"].is_number_unsigned() ? 1 : 0;
            EXPECT_TRUE(c["dur_ns"].is_number_unsigned() || c["dur_ns"].is_null()) << c;
        }
        EXPECT_EQ(written, kRun) << TraceLevelName(level);
        if (level == TraceLevel::All) {
            EXPECT_EQ(timed, calls);
            EXPECT_EQ(withDuration, kRun);
        } else {
            EXPECT_GE(timed, calls / 16) << TraceLevelName(level);
            EXPECT_LT(timed, calls / 2) << TraceLevelName(level);
            EXPECT_GE(withDuration, kRun - 1) << TraceLevelName(level);
        }
        std::remove(path.c_str());
    }
    g_fake = Fake{};
}

// Two rows reading one tag keep two cells with two handles: at changes
// their calls fold as long as each cell keeps its handle, and a changed
// handle is written.
TEST(TraceCore, TwoCellsOfOneTagFoldAndAChangedHandleIsWritten) {
    const std::string path = TempPath("cells");
    {
        TraceSession session(kFakeOps, Settings(path, TraceLevel::Changes));
        uint32_t cells[2] = {};
        g_fake.readReal = 7;
        for (int round = 0; round < 12; ++round) {
            for (int c = 0; c < 2; ++c) {
                g_fake.newCookie = static_cast<uint32_t>(100 * (c + 1) + (c == 0 && round >= 6 ? 1 : 0));
                double value = 0;
                int32_t status = 0;
                session.ReadAI(1, "FIC-101.PV", &cells[c], &value, &status);
            }
        }
    }
    std::vector<uint32_t> written;
    for (const auto& c : Calls(ReadTrace(path))) written.push_back(c["cookie_after"]);
    EXPECT_EQ(written, (std::vector<uint32_t>{100, 200, 101}));
    std::remove(path.c_str());
    g_fake = Fake{};
}

// A written record waits in the buffer at most a second while calls go on,
// though the calls after it are equal and mostly untimed.
TEST(TraceCore, AWrittenRecordIsOnDiskWithinASecondOfCalls) {
    const std::string path = TempPath("second");
    TraceSession session(kFakeOps, Settings(path, TraceLevel::Changes));
    uint32_t cookie = 0;
    double value = 0;
    int32_t status = 0;
    g_fake.readReal = 3;
    session.ReadAI(1, "A", &cookie, &value, &status);
    auto onDisk = [&] { return Calls(ReadTrace(path)).size(); };
    EXPECT_EQ(onDisk(), 0u) << "written out at once, not buffered";
    std::this_thread::sleep_for(std::chrono::milliseconds(1100));
    for (int i = 0; i < 40; ++i) session.ReadAI(1, "A", &cookie, &value, &status);
    EXPECT_EQ(onDisk(), 1u);
    session.End();
    std::remove(path.c_str());
    g_fake = Fake{};
}

TEST(TraceCore, EveryByteOfTagsAndTheInitializationStringComesBack) {
    std::string all;
    for (int b = 1; b < 256; ++b) all += static_cast<char>(b);
    const std::string path = TempPath("bytes");
    {
        TraceSession session(kFakeOps, Settings(path, TraceLevel::All));
        g_fake.length = static_cast<int32_t>(all.size());
        g_fake.initString = all.c_str();
        std::vector<char> buffer(all.size() + 1, '\0');
        session.GetInitStringLength();
        session.GetInitString(buffer.data());
        int32_t value = 1;
        int32_t status = 0;
        uint32_t cookie = 0;
        session.WriteDI(0, all.c_str(), &cookie, &value, &status);
    }
    std::ifstream in(path, std::ios::binary);
    std::string line;
    int checked = 0;
    while (std::getline(in, line)) {
        for (unsigned char c : line) EXPECT_GE(c, 0x20) << "a raw control byte in a line";
        const auto r = nlohmann::json::parse(line);
        if (r["type"] == "init_string") {
            EXPECT_EQ(Bytes(r["text"]), all);
            EXPECT_EQ(r["bytes"], all.size());
            EXPECT_EQ(r["length"], all.size());
            ++checked;
        } else if (r["type"] == "call" && r["op"] == "WriteDI") {
            EXPECT_EQ(Bytes(r["tag"]), all);
            EXPECT_EQ(r["value"], 1);
            ++checked;
        }
    }
    EXPECT_EQ(checked, 2);
    std::remove(path.c_str());
    g_fake = Fake{};
}

TEST(TraceCore, TheSizeLimitHoldsAndTheCallsGoOn) {
    const std::string path = TempPath("limit");
    TraceSettings s = Settings(path, TraceLevel::All);
    s.limitMb = 1;
    int reports = 0;
    static int* counter = nullptr;
    counter = &reports;
    s.report = [](const char*) { ++*counter; };
    TraceSession session(kFakeOps, s);
    const std::string tag(100, 'T');
    for (int i = 0; i < 20000; ++i) {
        g_fake.readReal = i;
        double value = 0;
        int32_t status = 0;
        uint32_t cookie = 0;
        session.ReadAO(i, tag.c_str(), &cookie, &value, &status);
        ASSERT_EQ(value, i);  // forwarded still
    }
    EXPECT_FALSE(session.Recording());
    session.End();
    const auto records = ReadTrace(path);
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    EXPECT_LE(static_cast<long long>(in.tellg()), 1024 * 1024);
    ASSERT_FALSE(records.empty());
    EXPECT_EQ(records.back()["type"], "summary");
    EXPECT_EQ(records.back()["reason"], "limit");
    EXPECT_EQ(records.back()["stopped"], true);
    EXPECT_EQ(reports, 1);
    std::remove(path.c_str());
    g_fake = Fake{};
}

// Whether a record is too big for the limit is judged by its size as
// written: a long initialization string that fits is kept, one that does
// not stops the trace, and the file never passes its limit. Bytes written
// as \u00NN (six each) and as two bytes of UTF-8 are counted as such.
TEST(TraceCore, TheLimitWeighsARecordAtItsWrittenSize) {
    struct Case {
        uint32_t limitMb;
        size_t length;
        char byte;
        bool kept;
    };
    // The header and the first call take some 330 bytes, the closing
    // summary's room 4 KiB, an init string's numbers at most 600.
    const Case cases[] = {
        {2, 512 * 1024, 'A', true},  // was stopped right after the header
        {1, 1040000, 'A', true},     // 1,040,000 bytes written
        {1, 1044000, 'A', false},    // fits, but leaves no room for the closing summary
        {1, 173000, '\x01', true},   // 1,038,000 bytes written
        {1, 174000, '\x01', false},  // 1,044,000
        {1, 520000, '\xe9', true},   // 1,040,000
        {1, 522000, '\xe9', false},  // 1,044,000
    };
    for (const Case& c : cases) {
        const std::string what = std::to_string(c.limitMb) + " MiB, " + std::to_string(c.length) + " bytes of " +
                                 std::to_string(static_cast<unsigned char>(c.byte));
        const std::string path = TempPath("weigh");
        TraceSettings s = Settings(path, TraceLevel::Failures);
        s.limitMb = c.limitMb;
        s.report = [](const char*) {};
        const std::string text(c.length, c.byte);
        std::vector<char> buffer(text.size() + 1, '\0');
        g_fake.length = static_cast<int32_t>(text.size());
        g_fake.initString = text.c_str();
        {
            TraceSession session(kFakeOps, s);
            session.GetInitStringLength();
            session.GetInitString(buffer.data());
            EXPECT_EQ(session.Recording(), c.kept) << what;
        }
        const auto records = ReadTrace(path);
        std::ifstream in(path, std::ios::binary | std::ios::ate);
        EXPECT_LE(static_cast<long long>(in.tellg()), c.limitMb * 1024ll * 1024) << what;
        bool kept = false;
        for (const auto& r : records) kept = kept || (r["type"] == "init_string" && Bytes(r["text"]) == text);
        EXPECT_EQ(kept, c.kept) << what;
        ASSERT_FALSE(records.empty()) << what;
        EXPECT_EQ(records.back()["reason"], c.kept ? "exit" : "limit") << what;
        std::remove(path.c_str());
    }
    g_fake = Fake{};
}

// The header's texts (paths and messages, which come from settings files,
// the environment and the system) are UTF-8 whatever their bytes: a
// well-formed sequence is kept, anything else becomes U+FFFD.
TEST(TraceCore, TheHeaderIsUtf8WhateverBytesItsTextsHold) {
    struct Case {
        const char* bytes;
        const char* written;
    };
    const Case cases[] = {
        {"\xc3\xa9", "\xc3\xa9"},                                  // é
        {"\xe2\x82\xac", "\xe2\x82\xac"},                          // €
        {"\xf0\x9f\x98\x80", "\xf0\x9f\x98\x80"},                  // U+1F600
        {"\xf8\x80\x80", "\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd"},  // no lead byte of UTF-8 (F5..FF)
        {"\xf5\x80\x80\x80", "\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd"},
        {"\xff", "\xef\xbf\xbd"},
        {"\xc0\x80", "\xef\xbf\xbd\xef\xbf\xbd"},                                  // an overlong NUL
        {"\xe0\x80\xaf", "\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd"},                  // overlong
        {"\xed\xa0\x80", "\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd"},                  // a surrogate
        {"\xf4\x90\x80\x80", "\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd"},  // above U+10FFFF
        {"\xe2\x82", "\xef\xbf\xbd\xef\xbf\xbd"},                                  // cut short
    };
    for (const Case& c : cases) {
        const std::string path = TempPath("utf8");
        TraceSettings s = Settings(path, TraceLevel::All);
        s.realLibrary = std::string("/lib/") + c.bytes + ".so";
        s.settingsWarning = std::string("unknown level \"") + c.bytes + "\"";
        TraceSession(kFakeOps, s).End();
        std::ifstream in(path, std::ios::binary);
        std::string line;
        std::getline(in, line);
        nlohmann::json header;
        ASSERT_NO_THROW(header = nlohmann::json::parse(line)) << "bytes " << nlohmann::json(c.written).dump();
        EXPECT_EQ(header["real_library"], std::string("/lib/") + c.written + ".so");
        EXPECT_EQ(header["settings_warning"], std::string("unknown level \"") + c.written + "\"");
        std::remove(path.c_str());
    }
}

TEST(TraceCore, AFileThatCannotBeMadeNeverStopsTheCalls) {
    struct Case {
        const char* what;
        bool exists;
        bool suffix;
        bool recording;
    };
    for (const Case& c : {Case{"missing folder", false, true, false}, Case{"taken, suffix", true, true, true},
                          Case{"taken, refused", true, false, false}}) {
        std::string path = c.exists ? TempPath("taken.jsonl") : TempPath("nofolder") + "/x/trace.jsonl";
        if (c.exists) std::ofstream(path) << "another process's trace\n";
        TraceSettings s = Settings(path, TraceLevel::All);
        s.suffixOnCollision = c.suffix;
        static int reports = 0;
        reports = 0;
        s.report = [](const char*) { ++reports; };
        TraceSession session(kFakeOps, s);
        EXPECT_EQ(session.Recording(), c.recording) << c.what;
        EXPECT_EQ(session.Problem().empty(), c.recording) << c.what;
        EXPECT_EQ(reports, c.recording ? 0 : 1) << c.what;
        g_fake.intResult = 4;
        int32_t value = 0;
        int32_t status = 0;
        uint32_t cookie = 0;
        EXPECT_EQ(session.ReadDO(1, "X", &cookie, &value, &status), 4) << c.what;
        session.End();
        if (c.exists) {
            std::ifstream kept(path);
            std::string first;
            std::getline(kept, first);
            EXPECT_EQ(first, "another process's trace") << c.what;
            if (c.suffix) {
                EXPECT_NE(session.FilePath(), path);
                EXPECT_EQ(ReadTrace(session.FilePath()).front()["type"], "header");
                std::remove(session.FilePath().c_str());
            }
            std::remove(path.c_str());
        }
    }
    g_fake = Fake{};
}

TEST(TraceCore, AFailureIsOnDiskBeforeTheCallReturns) {
    const std::string path = TempPath("flush");
    TraceSession session(kFakeOps, Settings(path, TraceLevel::Changes));
    g_fake.answerStatus = 0;
    double value = 0;
    int32_t status = 0;
    uint32_t cookie = 0;
    session.ReadAI(1, "OK", &cookie, &value, &status);
    EXPECT_EQ(Calls(ReadTrace(path)).size(), 0u) << "a success stays buffered";
    g_fake.answerStatus = 2;
    session.ReadAI(1, "BAD", &cookie, &value, &status);
    const auto calls = Calls(ReadTrace(path));
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls.back()["tag"], "BAD");
    EXPECT_EQ(calls.back()["status"], 2);
    session.End();
    std::remove(path.c_str());
    g_fake = Fake{};
}

TEST(TraceCore, AMissingRealLibraryFailsSafely) {
    const std::string path = TempPath("missing");
    TraceSettings s = Settings(path, TraceLevel::All);
    s.realLibraryError = "cannot load the real client library";
    TraceSession session(MrxOps{}, s);
    EXPECT_EQ(session.GetInitStringLength(), 0);
    char buffer[4] = {'k', 'e', 'p', 't'};
    EXPECT_EQ(session.GetInitString(buffer), 0);
    EXPECT_EQ(buffer[0], 'k');
    double value = 3;
    int32_t status = 0;
    uint32_t cookie = 5;
    EXPECT_EQ(session.WriteCALC(1, "X", &cookie, &value, &status), 0.0);
    EXPECT_NE(status, 0);
    EXPECT_EQ(cookie, 5u);
    session.End();
    const auto records = ReadTrace(path);
    EXPECT_EQ(records.front()["real_library_error"], "cannot load the real client library");
    EXPECT_EQ(Calls(records).back()["status"], mrxtrace::kNoLibraryStatus);
    std::remove(path.c_str());
}

TEST(TraceCore, TheInstalledTableForwardsToTheInstalledSession) {
    const std::string path = TempPath("installed");
    const MrxOps& traced = mrxtrace::TracedOps();
    int32_t status = 0;
    int32_t value = 0;
    uint32_t cookie = 0;
    traced.ReadDI(traced.context, 1, "X", &cookie, &value, &status);
    EXPECT_EQ(status, mrxtrace::kNoLibraryStatus) << "nothing installed";
    {
        TraceSession session(kFakeOps, Settings(path, TraceLevel::All));
        mrxtrace::Install(&session);
        g_fake.intResult = 11;
        EXPECT_EQ(traced.ReadDI(traced.context, 1, "X", &cookie, &value, &status), 11);
        mrxtrace::Install(nullptr);
    }
    EXPECT_EQ(Calls(ReadTrace(path)).size(), 1u);
    std::remove(path.c_str());
    g_fake = Fake{};
}

// Plain functions, as a library exports them (no context), each noting
// which operation was called and answering with its ordinal.
int32_t g_plainCalled = 0;
template <MrxOperation Op>
int32_t MRX_CALL PlainLink() {
    return g_plainCalled = Op;
}
template <MrxOperation Op>
int32_t MRX_CALL PlainString(char* buffer) {
    buffer[0] = '\0';
    return g_plainCalled = Op;
}
template <MrxOperation Op, typename T>
T MRX_CALL PlainTag(int32_t, const char*, uint32_t*, T* value, int32_t* status) {
    *status = 0;
    *value = static_cast<T>(Op);
    return static_cast<T>(g_plainCalled = Op);
}

TEST(TraceCore, ATableOverALibrarysFunctionsCallsEachOperationsOwn) {
    void* const functions[kMrxOperationCount] = {reinterpret_cast<void*>(&PlainLink<MRX_OP_GET_INIT_STRING_LENGTH>),
                                                 reinterpret_cast<void*>(&PlainString<MRX_OP_GET_INIT_STRING>),
                                                 reinterpret_cast<void*>(&PlainLink<MRX_OP_RESET_LINK>),
                                                 reinterpret_cast<void*>(&PlainTag<MRX_OP_READ_AI, double>),
                                                 reinterpret_cast<void*>(&PlainTag<MRX_OP_WRITE_AI, double>),
                                                 reinterpret_cast<void*>(&PlainTag<MRX_OP_READ_AO, double>),
                                                 reinterpret_cast<void*>(&PlainTag<MRX_OP_READ_DI, int32_t>),
                                                 reinterpret_cast<void*>(&PlainTag<MRX_OP_WRITE_DI, int32_t>),
                                                 reinterpret_cast<void*>(&PlainTag<MRX_OP_READ_DO, int32_t>),
                                                 reinterpret_cast<void*>(&PlainTag<MRX_OP_READ_CALC, double>),
                                                 reinterpret_cast<void*>(&PlainTag<MRX_OP_WRITE_CALC, double>)};
    const MrxOps ops = MrxOpsOverFunctions(functions);
    const std::string path = TempPath("plain");
    TraceSession session(ops, Settings(path, TraceLevel::All));
    using Real = double (TraceSession::*)(int32_t, const char*, uint32_t*, double*, int32_t*);
    using Int = int32_t (TraceSession::*)(int32_t, const char*, uint32_t*, int32_t*, int32_t*);
    const std::tuple<Real, MrxOperation> reals[] = {{&TraceSession::ReadAI, MRX_OP_READ_AI},
                                                    {&TraceSession::WriteAI, MRX_OP_WRITE_AI},
                                                    {&TraceSession::ReadAO, MRX_OP_READ_AO},
                                                    {&TraceSession::ReadCALC, MRX_OP_READ_CALC},
                                                    {&TraceSession::WriteCALC, MRX_OP_WRITE_CALC}};
    const std::tuple<Int, MrxOperation> ints[] = {{&TraceSession::ReadDI, MRX_OP_READ_DI},
                                                  {&TraceSession::WriteDI, MRX_OP_WRITE_DI},
                                                  {&TraceSession::ReadDO, MRX_OP_READ_DO}};
    uint32_t cookie = 0;
    int32_t status = -1;
    for (const auto& [op, ordinal] : reals) {
        double value = 0;
        EXPECT_EQ((session.*op)(1, "T", &cookie, &value, &status), static_cast<double>(ordinal));
        EXPECT_EQ(g_plainCalled, ordinal);
    }
    for (const auto& [op, ordinal] : ints) {
        int32_t value = 0;
        EXPECT_EQ((session.*op)(1, "T", &cookie, &value, &status), ordinal);
        EXPECT_EQ(g_plainCalled, ordinal);
    }
    char buffer[1];
    EXPECT_EQ(session.GetInitStringLength(), MRX_OP_GET_INIT_STRING_LENGTH);
    EXPECT_EQ(session.GetInitString(buffer), MRX_OP_GET_INIT_STRING);
    EXPECT_EQ(session.ResetLink(), MRX_OP_RESET_LINK);
    session.End();
    std::remove(path.c_str());
}

TEST(TraceCore, TwoSessionsLiveSideBySideEachThroughItsOwnTable) {
    const std::string paths[2] = {TempPath("first"), TempPath("second")};
    TraceSession first(kFakeOps, Settings(paths[0], TraceLevel::All));
    TraceSession second(kFakeOps, Settings(paths[1], TraceLevel::All));
    const MrxOps tables[2] = {first.Ops(), second.Ops()};
    const char* const tags[2] = {"ONE", "TWO"};
    for (int i = 0; i < 2; ++i) {
        uint32_t cookie = 0;
        int32_t value = 0;
        int32_t status = -1;
        g_fake.intResult = 20 + i;
        EXPECT_EQ(tables[i].ReadDO(tables[i].context, 1, tags[i], &cookie, &value, &status), 20 + i);
    }
    first.End();
    second.End();
    for (int i = 0; i < 2; ++i) {
        const auto calls = Calls(ReadTrace(paths[i]));
        ASSERT_EQ(calls.size(), 1u) << paths[i];
        EXPECT_EQ(calls[0]["tag"], tags[i]);
        std::remove(paths[i].c_str());
    }
    g_fake = Fake{};
}

}  // namespace
