// The trace reader and digest on small hand-written traces: every figure
// the trace command shows, the byte text, and the traces it must refuse or
// read only in part.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <nlohmann/json.hpp>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "diagnose/trace_digest.h"
#include "report/trace_report.h"
#include "trace/trace_file.h"

namespace host {
namespace {

const char kHeader[] =
    R"({"type":"header","format":"mrx3p-trace","version":1,"tracer":"1.0.0","level":"changes","limit_mb":256,)"
    R"("pid":4242,"start_utc":"2026-12-09T03:12:04.123456Z","timer_resolution_ns":100,)"
    R"("real_library":"C:\\Marlix\\MRX3P.dll","real_file_version":"3.2.1.0","settings":null})";

// A configuration, the flag writes, a set point that fails three times (two
// of them folded), a tag that never succeeds (once more in the summary's
// pending folds) and the reset.
const char kBody[] =
    R"({"type":"call","seq":1,"t_us":10,"op":"GetInitStringLength","ordinal":1,"result":40,"dur_ns":100}
{"type":"call","seq":2,"t_us":20,"op":"GetInitString","ordinal":2,"result":30,"dur_ns":200}
{"type":"init_string","seq":2,"t_us":20,"length":40,"bytes":30,"text":"*AI*\nA,-,1,0,1\r\n\"q\u00e9\u0080\u00ff\",-,1,0,1"}
{"type":"call","seq":3,"t_us":30,"op":"GetInitStringLength","ordinal":1,"result":40,"dur_ns":100}
{"type":"call","seq":4,"t_us":40,"op":"WriteDI","ordinal":8,"data_set":1,"tag":"EN","value":0,"status":0,"result":0,"cookie_before":0,"cookie_after":7,"dur_ns":900,"folded":0}
{"type":"call","seq":5,"t_us":50,"op":"WriteDI","ordinal":8,"data_set":1,"tag":"RUN","value":0,"status":0,"result":0,"cookie_before":0,"cookie_after":8,"dur_ns":1100,"folded":0}
{"type":"call","seq":6,"t_us":1000,"op":"ReadAI","ordinal":4,"data_set":1,"tag":"SP","value":50.5,"status":0,"result":50.5,"cookie_before":0,"cookie_after":9,"dur_ns":800,"folded":0}
{"type":"call","seq":9,"t_us":4000,"op":"ReadAI","ordinal":4,"data_set":1,"tag":"SP","status":7,"result":0,"cookie_before":9,"cookie_after":9,"dur_ns":5000,"folded":2}
{"type":"call","seq":10,"t_us":5000,"op":"ReadAI","ordinal":4,"data_set":2,"tag":"q\u00e9\u0080\u00ff","status":3,"result":0,"cookie_before":0,"cookie_after":0,"dur_ns":700,"folded":0}
{"type":"call","seq":14,"t_us":9000,"op":"ReadAI","ordinal":4,"data_set":1,"tag":"SP","value":"nan","status":0,"result":"nan","cookie_before":9,"cookie_after":9,"dur_ns":600,"folded":2}
{"type":"call","seq":15,"t_us":9500,"op":"WriteDI","ordinal":8,"data_set":1,"tag":"EN","value":0,"status":0,"result":0,"cookie_before":7,"cookie_after":7,"dur_ns":900,"folded":0}
{"type":"call","seq":16,"t_us":9600,"op":"ResetLink","ordinal":3,"result":0,"dur_ns":300}
{"type":"summary","reason":"exit","seq":16,"t_us":9700,"calls":16,"failures":5,"ops":{},"pending_folds":[{"op":"ReadAI","data_set":2,"tag":"q\u00e9\u0080\u00ff","folded":1}],"stopped":false}
)";

const std::string kOddTag = "q\xE9\x80\xFF";

std::string WriteTemp(const std::string& name, const std::string& text) {
    const std::string path = ::testing::TempDir() + name;
    std::ofstream(path, std::ios::binary) << text;
    return path;
}

TEST(TraceByteText, EveryByteComesBackFromItsJsonForm) {
    std::string all;
    for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
    // As the tracer writes it: each byte a code point, escaped as JSON does.
    const std::string line = nlohmann::json(EncodeByteText(all)).dump();
    std::string back;
    ASSERT_TRUE(DecodeByteText(nlohmann::json::parse(line).get<std::string>(), back));
    EXPECT_EQ(back, all);
    for (const char* refused : {"\xC4\x80" /* U+0100 */, "\xE2\x82\xAC" /* U+20AC */, "\xC3", "\xC3\x28"}) {
        EXPECT_FALSE(DecodeByteText(refused, back)) << refused;
    }
    EXPECT_EQ(DisplayBytes("a\r\n\t\x01\x80\x81\xE9"), "a\\r\\n\\t\\x01\xE2\x82\xAC\\x81\xC3\xA9");
    EXPECT_EQ(ShortDisplayBytes("ab\x01"
                                "cd",
                                3),
              "ab\\x01\xE2\x80\xA6 (5 bytes)");
    EXPECT_EQ(ShortDisplayBytes("abc", 3), "abc");
}

TEST(TraceDigest, SmallTraceFieldByField) {
    const std::string path = WriteTemp("small.jsonl", std::string(kHeader) + "\n" + kBody);
    std::string seenText;
    int64_t seenLength = 0;
    DigestOptions options;
    options.analyse = [&](const std::string& text, int64_t length, FetchDigest& f) {
        seenText = text;
        seenLength = length;
        f.entries[1] = 2;
    };
    options.tagGlobs = {"S?"};
    std::string kept;
    int64_t keptNumber = -1;
    options.keptText = &kept;
    options.keptNumber = &keptNumber;
    const TraceDigest d = DigestTrace(path, options);

    EXPECT_EQ(d.header.pid, 4242);
    EXPECT_EQ(d.header.realLibrary, "C:\\Marlix\\MRX3P.dll");
    EXPECT_EQ(d.header.realFileVersion, "3.2.1.0");
    EXPECT_EQ(d.header.level, "changes");
    EXPECT_TRUE(d.notes.empty());
    EXPECT_FALSE(d.cutOff);
    const std::string fetched = "*AI*\nA,-,1,0,1\r\n\"" + kOddTag + "\",-,1,0,1";
    EXPECT_EQ(seenText, fetched);
    EXPECT_EQ(seenLength, 40);
    EXPECT_EQ(kept, fetched);
    EXPECT_EQ(keptNumber, 1);
    ASSERT_EQ(d.fetches.size(), 1u);
    EXPECT_EQ(d.fetches[0].bytes, 30);
    EXPECT_EQ(d.fetches[0].entries[1], 2);

    // SP: ok, 2 folded ok, failed, 2 folded failed, nan ok: 7 calls, 3 failed.
    const KeyDigest& sp = d.keys.at({"SP", 1, "ReadAI"});
    EXPECT_EQ(sp.calls, 7);
    EXPECT_EQ(sp.failures, 3);
    EXPECT_EQ(sp.lastStatus, 0);
    EXPECT_TRUE(sp.everOk);
    const struct {
        const char* op;
        int64_t calls, failures, median, p99, max;
    } ops[] = {{"GetInitStringLength", 2, 0, 100, 100, 100},
               {"GetInitString", 1, 0, 200, 200, 200},
               {"ReadAI", 9, 5, 700, 5000, 5000},
               {"WriteDI", 3, 0, 900, 1100, 1100},
               {"ResetLink", 1, 0, 300, 300, 300}};
    for (const auto& o : ops) {
        const OpDigest& op = d.ops.at(o.op);
        EXPECT_EQ(op.calls, o.calls) << o.op;
        EXPECT_EQ(op.failures, o.failures) << o.op;
        EXPECT_EQ(op.medianNs, o.median) << o.op;
        EXPECT_EQ(op.p99Ns, o.p99) << o.op;
        EXPECT_EQ(op.maxNs, o.max) << o.op;
    }
    EXPECT_EQ(d.calls, 16);
    EXPECT_EQ(d.failures, 5);

    ASSERT_EQ(d.failureGroups.size(), 2u);
    const FailureGroup& spFail = d.failureGroups.at({"SP", 1, "ReadAI", 7});
    EXPECT_EQ(spFail.count, 3);
    EXPECT_EQ(spFail.firstUs, 4000);
    EXPECT_EQ(spFail.lastUs, 4000);
    EXPECT_EQ(d.failureGroups.at({kOddTag, 2, "ReadAI", 3}).count, 2);
    EXPECT_EQ(d.NeverSucceeded(), (std::vector<TagKeyT>{{kOddTag, 2, "ReadAI"}}));

    std::vector<std::string> events;
    for (const LinkEvent& e : d.events) events.push_back(e.what + ": " + e.text);
    EXPECT_EQ(events,
              (std::vector<std::string>{"configuration: fetch 1 of the initialization string: 30 bytes (length 40)",
                                        "flag: WriteDI EN = 0", "flag: WriteDI RUN = 0", "flag: WriteDI EN = 0",
                                        "reset: ResetLink"}));
    ASSERT_EQ(d.series.size(), 1u);
    EXPECT_EQ(d.series[0].points.size(), 2u);  // 50.5 at 1000 us, nan at 9000 us

    // The JSON gives the same, tags as their text in 1252 (the trace names no code page).
    const nlohmann::json j = nlohmann::json::parse(TraceJson(d));
    EXPECT_EQ(j["calls"], 16);
    EXPECT_EQ(j["ops"]["ReadAI"]["dur_ns"]["p99"], 5000);
    EXPECT_EQ(j["failures_by_tag"][0]["tag"], EncodeByteText("SP"));
    EXPECT_EQ(j["failures_by_tag"][1]["tag"], "q\xC3\xA9\xE2\x82\xAC\xC3\xBF");
    EXPECT_EQ(j["failures_by_tag"][1]["count"], 2);
    EXPECT_EQ(j["never_succeeded"][0]["data_set"], 2);
    EXPECT_EQ(j["events"].size(), 5u);
    EXPECT_EQ(j["fetches"][0]["length"], 40);
    EXPECT_TRUE(j["series"][0]["points"][1][1].is_null());
    const std::string text = TraceText(d);
    EXPECT_NE(text.find("q\xC3\xA9\xE2\x82\xAC\xC3\xBF (data set 2, ReadAI): 2 calls, last status 3"),
              std::string::npos)
        << text;
}

// Version 2: at changes and failures the tracer times a sample of the
// calls, so a record's duration may be null and a summary's durations are
// those of its "timed" calls; the figures come from whichever saw more
// timed calls, and an operation none of whose calls was timed has none.
// A trace's names in the code page its header names, or the one the user
// names over it: the same bytes read in each, and a glob typed as text
// matching them.
TEST(TraceCodePage, NamesAreShownAndMatchedInTheTracesCodePage) {
    struct Row {
        const char* headerCodePage;  // the header's field, "" for a trace of format 2
        std::optional<int> chosen;
        std::string tag;  // bytes
        int number;
        const char* from;
        std::string terminal;  // as the screen and the CSV show it
        std::string json;      // as the JSON writes it
        const char* glob;
    };
    // Łąka (1250 bytes A3 B9) and Œl (1252 byte 8C); 0xAA is no character of 1253.
    const std::string lk = "\xA3\xB9ka.EN";
    const std::string lkIn1250 = "\xC5\x81\xC4\x85ka.EN";
    const std::string lkIn1252 = "\xC2\xA3\xC2\xB9ka.EN";
    const std::string oe = "\xC5\x92l.PV";
    const Row rows[] = {
        {"1250", {}, lk, 1250, "the trace's header", lkIn1250, lkIn1250, "\xC5\x81\xC4\x85*"},
        {"", {}, lk, 1252, "the default: a trace of format version 2", lkIn1252, lkIn1252, "\xC2\xA3?ka*"},
        {"", 1250, lk, 1250, "--code-page", lkIn1250, lkIn1250, "?\xC4\x85*"},
        {"1250", 1252, lk, 1252, "--code-page", lkIn1252, lkIn1252, "*\xC2\xB9*"},
        {"1252", {}, "\x8Cl.PV", 1252, "the trace's header", oe, oe, "\xC5\x92*"},
        {"1253", {}, "\xAA.PV", 1253, "the trace's header", "\\xAA.PV", "\xEF\xBF\xBD.PV", "?.PV"},
        {"932", {}, "\x8Cl.PV", 1252, "the default (the trace's code page is none", oe, oe, "*l.PV"},
    };
    for (const Row& row : rows) {
        const std::string tag = nlohmann::json(EncodeByteText(row.tag)).dump();
        const std::string header =
            std::string(R"({"type":"header","format":"mrx3p-trace","version":)") +
            (*row.headerCodePage != 0 ? std::string("3,\"code_page\":") + row.headerCodePage : std::string("2")) +
            R"(,"level":"all"})";
        const std::string path = WriteTemp(
            "code_page.jsonl",
            header + "\n" + R"({"type":"call","seq":1,"t_us":10,"op":"ReadAI","ordinal":4,"data_set":1,"tag":)" + tag +
                R"(,"value":1.5,"status":0,"result":1.5,"dur_ns":100,"folded":0})" + "\n" +
                R"({"type":"call","seq":2,"t_us":20,"op":"ReadAI","ordinal":4,"data_set":1,"tag":)" + tag +
                R"(,"status":7,"result":0,"dur_ns":100,"folded":0})" + "\n" +
                R"({"type":"summary","reason":"exit","seq":2,"t_us":30,"calls":2,"failures":1,"ops":{}})" + "\n");
        DigestOptions options;
        options.codePage = row.chosen;
        options.tagGlobs = {row.glob};
        const TraceDigest d = DigestTrace(path, options);
        SCOPED_TRACE(std::string(row.headerCodePage) + " " + std::to_string(row.chosen.value_or(0)));
        EXPECT_EQ(d.codePage.Number(), row.number);
        EXPECT_EQ(d.codePageFrom.rfind(row.from, 0), 0u) << d.codePageFrom;
        const std::string text = TraceText(d);
        EXPECT_NE(text.find(row.terminal + "                "), std::string::npos) << text;
        EXPECT_NE(TraceProblemsCsv(d).find(std::string("\n") + row.terminal + ",1,ReadAI,7,"), std::string::npos)
            << TraceProblemsCsv(d);
        const nlohmann::json j = nlohmann::json::parse(TraceJson(d));
        EXPECT_EQ(j["code_page"]["number"], row.number);
        EXPECT_EQ(j["failures_by_tag"][0]["tag"], row.json);
        ASSERT_EQ(j["series"].size(), 1u) << "--tags " << row.glob;
        EXPECT_EQ(j["series"][0]["tag"], row.json);
    }
}

TEST(TraceDigest, DurationsOfASampleOfTheCalls) {
    std::string header(kHeader);
    header.replace(header.find("\"version\":1"), 11, "\"version\":2");
    const std::string body =
        R"({"type":"call","seq":1,"t_us":10,"op":"ReadAI","ordinal":4,"data_set":1,"tag":"A","value":1,"status":0,"result":1,"cookie_before":0,"cookie_after":5,"dur_ns":800,"folded":0}
{"type":"call","seq":2,"t_us":20,"op":"ReadAI","ordinal":4,"data_set":1,"tag":"B","value":2,"status":0,"result":2,"cookie_before":0,"cookie_after":6,"dur_ns":null,"folded":0}
{"type":"call","seq":3,"t_us":30,"op":"WriteDI","ordinal":8,"data_set":1,"tag":"EN","value":1,"status":0,"result":0,"cookie_before":0,"cookie_after":7,"dur_ns":null,"folded":0}
{"type":"call","seq":4,"t_us":40,"op":"ReadDI","ordinal":7,"data_set":1,"tag":"RUN","value":1,"status":0,"result":1,"cookie_before":0,"cookie_after":8,"dur_ns":300,"folded":0}
{"type":"summary","reason":"exit","seq":120,"t_us":50,"calls":120,"failures":0,"ops":{"ReadAI":{"calls":100,"failures":0,"timed":10,"dur_ns":{"median":500,"p99":900,"max":900}},"WriteDI":{"calls":10,"failures":0,"timed":0,"dur_ns":null},"ReadDI":{"calls":10,"failures":0,"timed":0,"dur_ns":null}},"pending_folds":[{"op":"ReadAI","data_set":1,"tag":"A","folded":98},{"op":"WriteDI","data_set":1,"tag":"EN","folded":9},{"op":"ReadDI","data_set":1,"tag":"RUN","folded":9}],"stopped":false}
)";
    const TraceDigest d = DigestTrace(WriteTemp("sampled.jsonl", header + "\n" + body), DigestOptions{});
    EXPECT_TRUE(d.notes.empty());
    const struct {
        const char* op;
        int64_t calls, median, max;
        bool fromSummary;
    } ops[] = {{"ReadAI", 100, 500, 900, true}, {"WriteDI", 10, -1, -1, false}, {"ReadDI", 10, 300, 300, false}};
    for (const auto& o : ops) {
        const OpDigest& op = d.ops.at(o.op);
        EXPECT_EQ(op.calls, o.calls) << o.op;
        EXPECT_EQ(op.medianNs, o.median) << o.op;
        EXPECT_EQ(op.maxNs, o.max) << o.op;
        EXPECT_EQ(op.fromSummary, o.fromSummary) << o.op;
    }
    const nlohmann::json j = nlohmann::json::parse(TraceJson(d));
    EXPECT_TRUE(j["ops"]["WriteDI"]["dur_ns"].is_null());
    EXPECT_EQ(j["ops"]["ReadAI"]["dur_ns"]["median"], 500);
    EXPECT_EQ(j["ops"]["ReadAI"]["timed"], 10);
    EXPECT_EQ(j["ops"]["ReadDI"]["timed"], 1);
    const std::string text = TraceText(d);
    EXPECT_EQ(text.find("-1 ns"), std::string::npos) << text;
}

TEST(TraceReader, RefusesWhatIsNoTraceOfThisFormat) {
    const std::string v4 =
        std::string(kHeader).replace(std::string(kHeader).find("\"version\":1"), 11, "\"version\":4");
    const struct {
        const char* name;
        std::string text;
        const char* message;
    } cases[] = {
        {"v4.jsonl", v4 + "\n", "is written in format version 4; this dcs-host reads versions 1 to 3"},
        {"empty.jsonl", "", "is empty"},
        {"notrace.jsonl", "{\"type\":\"call\"}\n", "its first line is no header record"},
        {"otherformat.jsonl",
         R"({"type":"header","format":"other","version":1})"
         "\n",
         "names the format \"other\""},
    };
    for (const auto& c : cases) {
        const std::string path = WriteTemp(c.name, c.text);
        try {
            TraceReader reader(path);
            ADD_FAILURE() << c.name << " was read";
        } catch (const TraceError& e) {
            EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
        }
    }
}

TEST(TraceReader, CutOffAndDamagedLines) {
    const std::string whole = std::string(kHeader) + "\n" + kBody;
    const size_t lastLine = whole.rfind('\n', whole.size() - 2) + 1;
    const struct {
        const char* name;
        std::string text;
        int64_t summaries;
        bool cutOff;
        const char* note;
    } cases[] = {
        // Killed in the middle of the summary line.
        {"cut.jsonl", whole.substr(0, lastLine + 40), 0, true, "cut off after 40 bytes"},
        // Killed right before the last line end: the record is whole.
        {"nolf.jsonl", whole.substr(0, whole.size() - 1), 1, false, nullptr},
        // A damaged line in the middle is skipped, the rest read.
        {"damaged.jsonl",
         std::string(kHeader) + "\n{\"type\":\"call\",\"op\":\"ReadAI\",\"tag\":\"\\u0100\"}\nnot json\n" + kBody, 1,
         false, "line 2: skipped, \"tag\" holds a character above U+00FF"},
    };
    for (const auto& c : cases) {
        const TraceDigest d = DigestTrace(WriteTemp(c.name, c.text), DigestOptions{});
        EXPECT_EQ(d.summaries, c.summaries) << c.name;
        EXPECT_EQ(d.cutOff, c.cutOff) << c.name;
        EXPECT_EQ(d.ops.at("ResetLink").calls, 1) << c.name;
        if (c.note == nullptr) {
            EXPECT_TRUE(d.notes.empty()) << c.name << ": " << d.notes.front();
        } else {
            ASSERT_FALSE(d.notes.empty()) << c.name;
            EXPECT_NE(d.notes.front().find(c.note), std::string::npos) << d.notes.front();
        }
    }
}

// A trace the file does not hold as the tracer writes it: each anomaly is
// said in a note, and no figure is taken from what cannot be trusted.
TEST(TraceReader, AnomaliesAreSaidNotSummedIn) {
    const std::string header = std::string(kHeader) + "\n";
    std::vector<std::string> lines;
    for (size_t at = 0, next; (next = std::string(kBody).find('\n', at)) != std::string::npos; at = next + 1) {
        lines.push_back(std::string(kBody).substr(at, next + 1 - at));
    }
    auto join = [&](size_t from, size_t to) {
        std::string text;
        for (size_t i = from; i < to; ++i) text += lines[i];
        return text;
    };
    const std::string body = join(0, lines.size());
    std::string failuresHeader = header;
    failuresHeader.replace(failuresHeader.find("\"changes\""), 9, "\"failures\"");
    // At level failures: only the failed calls and the link calls; the
    // summary counts the successes the records cannot show.
    const std::string failuresBody =
        join(0, 4) + lines[7] + lines[8] + lines[11] +
        R"({"type":"summary","reason":"exit","seq":16,"t_us":9700,"calls":16,"failures":5,"ops":{"ReadAI":{"calls":9,"failures":FAILED,"timed":9,"dur_ns":null},"WriteDI":{"calls":3,"failures":0,"timed":3,"dur_ns":null}},"pending_folds":[{"op":"ReadAI","data_set":1,"tag":"SP","folded":2},{"op":"ReadAI","data_set":2,"tag":"q\u00e9\u0080\u00ff","folded":1}],"stopped":false})"
        "\n";
    auto withFailed = [&](const char* failed) {
        std::string text = failuresBody;
        return text.replace(text.find("FAILED"), 6, failed);
    };
    const std::string longTag(static_cast<size_t>(kMaxRecordBytes), 'X');
    const struct {
        const char* name;
        std::string text;
        const char* note;  // the note that must be there; null: none at all
        bool inconsistent, finished;
        int64_t calls, failures, resets;
    } cases[] = {
        {"in order", header + body, nullptr, false, true, 16, 5, 1},
        // Two records swapped: the later one is left out, not counted twice.
        {"shuffled", header + join(0, 7) + lines[8] + lines[7] + join(9, lines.size()),
         "line 10: seq 9 after seq 10 (line 9): out of order, left out", true, true, 13, 2, 1},
        // Two processes' traces joined: the first is read, the second named.
        {"concatenated", header + body + header + body + header + body,
         "line 15: a second trace begins here (process 4242, started 2026-12-09T03:12:04.123456Z): the file holds "
         "the traces of 3 processes one after another, as joined files do. Only the first, lines 1 to 14, is read; "
         "the others begin at lines 15, 29",
         true, true, 16, 5, 1},
        // Stopped at the size limit: that summary counts the call that found
        // no room, so it is one call ahead of the records, and ends the trace.
        {"stopped at the limit",
         header + join(0, lines.size() - 1) +
             R"({"type":"summary","reason":"limit","seq":17,"t_us":9700,"calls":17,"failures":5,"ops":{"ResetLink":{"calls":2,"failures":0,"timed":2,"dur_ns":null}},"pending_folds":[],"stopped":true})"
             "\n",
         nullptr, false, true, 16, 4, 2},
        // Killed (or still running) before its exit summary.
        {"unfinished", header + join(0, lines.size() - 1), "the trace is unfinished", false, false, 15, 4, 1},
        // The summary's figures of the successes stand; no disagreement. Where
        // it disagrees, the tracer, which saw every call, is believed.
        {"failures level", failuresHeader + withFailed("5"), nullptr, false, true, 16, 5, 1},
        {"failures level, a failure missing", failuresHeader + withFailed("6"),
         "line 9: the tracer's summary disagrees with the records before it: ReadAI: 6 failed, where the records "
         "show 5 failed",
         true, true, 16, 6, 1},
        // A line longer than the reader holds is skipped, the rest read.
        {"oversized line",
         header + R"({"type":"call","seq":1,"op":"ReadAI","ordinal":4,"tag":")" + longTag + "\"}\n" +
             body.substr(body.find("\n") + 1),
         "line 2: skipped, a line of 4194362 bytes, longer than the 4 MiB this dcs-host reads in a record", true, true,
         15, 5, 1},
    };
    for (const auto& c : cases) {
        const TraceDigest d = DigestTrace(WriteTemp("anomaly.jsonl", c.text), DigestOptions{});
        std::string notes;
        for (const std::string& note : d.notes) notes += note + "\n";
        if (c.note == nullptr) {
            EXPECT_EQ(notes, "") << c.name;
        } else {
            EXPECT_NE(notes.find(c.note), std::string::npos) << c.name << ":\n" << notes;
        }
        EXPECT_EQ(d.inconsistent, c.inconsistent) << c.name;
        EXPECT_EQ(d.finished, c.finished) << c.name;
        EXPECT_EQ(d.calls, c.calls) << c.name;
        EXPECT_EQ(d.failures, c.failures) << c.name;
        EXPECT_EQ(d.ops.at("ResetLink").calls, c.resets) << c.name;
        if (!d.SuccessesRecorded()) {
            // Never claimed: the level records no success of any tag.
            EXPECT_TRUE(d.NeverSucceeded().empty()) << c.name;
            EXPECT_NE(TraceText(d).find("tags that never succeeded: not known"), std::string::npos) << c.name;
        }
    }
}

// The chart: one series per tag whatever operations touched it, and a glob
// that matches nothing said rather than dropped.
TEST(TraceDigest, ChartSeriesPerTag) {
    std::string body(kBody);
    body.replace(body.find("\"seq\":16,\"t_us\":9600"), 8, "\"seq\":17");
    body.replace(body.find("\"seq\":16,\"t_us\":9700,\"calls\":16"), 31, "\"seq\":17,\"t_us\":9700,\"calls\":17");
    body.insert(
        body.find("{\"type\":\"call\",\"seq\":17"),
        R"({"type":"call","seq":16,"t_us":9550,"op":"ReadDI","ordinal":7,"data_set":1,"tag":"EN","value":1,"status":0,"result":1,"cookie_before":0,"cookie_after":3,"dur_ns":100,"folded":0})"
        "\n");
    DigestOptions options;
    options.tagGlobs = {"EN", "NONE*"};
    const TraceDigest d = DigestTrace(WriteTemp("series.jsonl", std::string(kHeader) + "\n" + body), options);
    ASSERT_EQ(d.series.size(), 1u);
    EXPECT_EQ(d.series[0].op, "WriteDI/ReadDI");
    EXPECT_EQ(d.series[0].points.size(), 3u);
    ASSERT_EQ(d.notes.size(), 1u) << d.notes.front();
    EXPECT_NE(d.notes.back().find("--tags 'NONE*' matches no tag"), std::string::npos) << d.notes.back();
}

TEST(DurationHistogram, QuantilesWithinTheBucketPrecision) {
    std::mt19937_64 random(7);
    std::lognormal_distribution<double> spread(7.0, 1.5);
    std::vector<int64_t> values;
    DurationHistogram h;
    for (int i = 0; i < 20000; ++i) {
        values.push_back(static_cast<int64_t>(spread(random)));
        h.Add(values.back());
    }
    std::sort(values.begin(), values.end());
    for (const double q : {0.5, 0.99}) {
        const int64_t exact = values[static_cast<size_t>(q * static_cast<double>(values.size())) - 1];
        EXPECT_NEAR(static_cast<double>(h.Quantile(q)), static_cast<double>(exact), static_cast<double>(exact) / 400.0)
            << q;
    }
    EXPECT_EQ(h.Max(), values.back());
}

}  // namespace
}  // namespace host
