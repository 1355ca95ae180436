// The checker against the driver itself: for thousands of generated cases
// the verdicts must predict what the driver really does when configured,
// initialized and stepped (its messages, and the operations the server
// served), and the catalogue the checker sees must be the driver's own.

#include <gtest/gtest.h>

#include <dirent.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "catalogue.h"
#include "check_support.h"
#include "diagnose/catalogue_parse.h"
#include "link_state.h"

namespace {

using host::Diagnosis;
using host::DriverMessage;
using host::RowDiagnosis;
using host::TagDiagnosis;
using host::Verdict;

struct Rng {
    std::mt19937 engine;
    explicit Rng(uint32_t seed) : engine(seed) {}
    int Below(int n) { return static_cast<int>(engine() % static_cast<uint32_t>(n)); }
    bool Chance(int percent) { return Below(100) < percent; }
};

struct Tag {
    int32_t kind;
    std::string name;
    int32_t dataSet;
};

const char* const kHeaders[] = {"*AI*", "*AO*", "*DI*", "*DO*", "*DCD*", "*CALC*"};

std::string Entry(const Tag& tag) {
    std::string line = tag.name + ",-," + std::to_string(tag.dataSet);
    const int numbers = tag.kind == 1 || tag.kind == 2 ? 2 : tag.kind == 5 ? 17 : 0;
    for (int i = 0; i < numbers; ++i) line += ",0";
    return line + "\n";
}

// A catalogue of a few names spread over kinds and data sets, so that
// duplicates across kinds and data sets are common, written as the
// server sends it; a padding tag keeps it past the empty-string limit.
std::vector<Tag> MakeCatalogue(Rng& rng, std::string& text) {
    std::vector<Tag> tags;
    const int count = rng.Below(24);
    for (int i = 0; i < count; ++i) {
        tags.push_back({1 + rng.Below(6), "T" + std::to_string(rng.Below(10)), 1 + rng.Below(3)});
    }
    tags.push_back({4, "PADDING_SO_THE_STRING_IS_NOT_EMPTY", 99});
    int32_t section = 0;
    for (const Tag& tag : tags) {
        if (tag.kind != section || rng.Chance(10)) text += std::string(kHeaders[tag.kind - 1]) + "\n";
        section = tag.kind;
        text += Entry(tag);
    }
    return tags;
}

const std::vector<int32_t> kAnyKind = {1, 2, 3, 4, 5, 6};
const std::vector<int32_t> kWritable = {1, 3, 6};

// A tag text for a row. In a careful case it is mostly a tag of the row's
// data set of a kind the column can use, so that many cases configure; in
// a careless one, or now and then, a catalogue name of any kind, a near
// miss, an unknown name or nothing.
struct Writer {
    Rng& rng;
    const std::vector<Tag>& tags;
    bool careful;

    const Tag& AnyTag() { return tags[static_cast<size_t>(rng.Below(static_cast<int>(tags.size())))]; }

    std::string Text(int32_t dataSet, const std::vector<int32_t>& kinds, bool required) {
        if (careful && rng.Chance(90)) {
            std::vector<const Tag*> fitting;
            for (const Tag& tag : tags) {
                if (tag.dataSet == dataSet && std::find(kinds.begin(), kinds.end(), tag.kind) != kinds.end()) {
                    fitting.push_back(&tag);
                }
            }
            if (!fitting.empty())
                return fitting[static_cast<size_t>(rng.Below(static_cast<int>(fitting.size())))]->name;
        }
        const int pick = rng.Below(100);
        const Tag& tag = AnyTag();
        if (pick < 55) return tag.name;
        if (pick < 65) return rng.Chance(50) ? "t" + tag.name.substr(1) : tag.name + " ";
        if (pick < 75) return "X" + std::to_string(rng.Below(5));
        if (pick < (required ? 77 : 95)) return "";
        return "T" + std::to_string(rng.Below(10));
    }

    int32_t DataSet() { return careful ? AnyTag().dataSet : 1 + rng.Below(3); }
};

host::Case MakeCase(Rng& rng, const std::vector<Tag>& tags) {
    host::Case c;
    c.file = "generated";
    Writer w{rng, tags, rng.Chance(60)};
    const int32_t general = w.DataSet();
    const std::string enabled = rng.Chance(40) ? w.Text(general, {3}, false) : "";
    const std::string running = rng.Chance(40) ? (rng.Chance(20) ? enabled : w.Text(general, {3}, false)) : "";
    c.general.push_back(checktest::Integer("Data Set", general));
    if (!enabled.empty()) c.general.push_back(checktest::Text("Enabled Flag", enabled));
    if (!running.empty()) c.general.push_back(checktest::Text("Running Flag", running));
    for (int i = rng.Below(6); i > 0; --i) {
        const int32_t dataSet = w.DataSet();
        std::vector<std::string> texts;
        for (int column = 0; column < 5; ++column) {
            const bool written = column == 1 || column == 3 || column == 4;
            texts.push_back(w.Text(dataSet, written ? kWritable : kAnyKind, column == 2 || column == 3));
        }
        if (rng.Chance(15)) texts[2] = texts[0];  // SP and OP on one tag: the DCD rule
        const int32_t opEnabled = rng.Chance(80) ? 1 : rng.Below(3) - 1;
        c.controllers.push_back(checktest::Controller(dataSet, texts, opEnabled));
    }
    for (int i = rng.Below(5); i > 0; --i) {
        const int32_t dataSet = w.DataSet();
        const std::string text = w.Text(dataSet, kWritable, true);
        c.pvExports.push_back(checktest::PVRow<host::PVExportCase>(dataSet, text, rng.Chance(85) ? 1 : 0));
    }
    for (int i = rng.Below(5); i > 0; --i) {
        const int32_t dataSet = w.DataSet();
        const std::string text = w.Text(dataSet, kAnyKind, true);
        c.pvImports.push_back(checktest::PVRow<host::PVImportCase>(dataSet, text, rng.Chance(85) ? 1 : 0));
    }
    return c;
}

bool IsRead(const std::string& operation) { return operation.rfind("Read", 0) == 0; }
bool IsReadColumn(const RowDiagnosis& row, const TagDiagnosis& tag) {
    return tag.field == "SP Tag" || tag.field == "OP Tag" || row.table == "pv_import";
}

std::string Show(const DriverMessage& m) { return m.source + "|" + m.title + "|" + m.text; }

// The configuration messages the verdicts predict: either the first missing
// required text or the binding messages of every row up to the one that
// stops the configuration. (The generated strings start with a header, so
// the parse raises no box of its own.)
std::vector<std::string> PredictedConfigure(const Diagnosis& d) {
    std::vector<std::string> out;
    for (const RowDiagnosis& row : d.rows) {
        for (const TagDiagnosis& tag : row.tags) {
            if (tag.code == "missing-text" && row.table == d.stop.table && row.index == d.stop.index) {
                out.push_back(Show(*tag.message));
                return out;
            }
        }
    }
    for (const RowDiagnosis& row : d.rows) {
        for (const TagDiagnosis& tag : row.tags) {
            if (tag.status == Verdict::Problem && tag.code != "dcd-not-readable" && tag.message) {
                out.push_back(Show(*tag.message));
            }
        }
        if (row.table == d.stop.table && row.index == d.stop.index) break;
    }
    return out;
}

using Call = std::tuple<std::string, int32_t, std::string>;

int32_t DataSetOf(const host::Case& c, const RowDiagnosis& row) {
    const std::vector<host::FieldValue>* fields = &c.general;
    const auto at = static_cast<size_t>(row.index);
    if (row.table == "controller") fields = &c.controllers[at].fields;
    if (row.table == "pv_export") fields = &c.pvExports[at].fields;
    if (row.table == "pv_import") fields = &c.pvImports[at].fields;
    return static_cast<int32_t>(fields->front().integer);
}

// The operations of a configured case: every bound write, and every bound
// read up to the first tag that ends the step; and the step's message.
std::set<Call> PredictedCalls(const host::Case& c, const Diagnosis& d, std::vector<std::string>& stepMessages) {
    std::set<Call> calls;
    bool stepEnded = false;
    for (const RowDiagnosis& row : d.rows) {
        for (const TagDiagnosis& tag : row.tags) {
            if (IsReadColumn(row, tag) && !stepEnded && tag.code == "dcd-not-readable") {
                stepEnded = true;
                stepMessages.push_back(Show(*tag.message));
            }
            if (tag.status != Verdict::Bound || (IsRead(tag.operation) && stepEnded)) continue;
            calls.insert({tag.operation, DataSetOf(c, row), tag.text});
        }
    }
    return calls;
}

std::set<Call> LoggedCalls() {
    std::set<Call> calls;
    for (const host::LoggedCall& call : host::CallLog()) {
        const char* name = host::OperationName(call.operation);
        if (name != nullptr) calls.insert({name, call.dataSet, call.tag});
    }
    return calls;
}

std::vector<std::string> MessagesOf(const Diagnosis& d, const std::string& phase) {
    std::vector<std::string> out;
    for (const DriverMessage& m : d.messages) {
        if (m.raisedBy == phase) out.push_back(Show(m));
    }
    return out;
}

TEST(CheckDifferential, VerdictsPredictTheDriver) {
    Rng rng(20261208);
    int configured = 0;
    int stepFailures = 0;
    for (int round = 0; round < 2000; ++round) {
        std::string text;
        const std::vector<Tag> tags = MakeCatalogue(rng, text);
        const host::Case c = MakeCase(rng, tags);
        std::vector<std::pair<int32_t, std::pair<int32_t, std::string>>> seed;
        for (const Tag& tag : tags) {
            if (tag.kind != 5) seed.push_back({tag.kind, {tag.dataSet, tag.name}});
        }
        const Diagnosis d = checktest::Check(c, text, seed);
        SCOPED_TRACE("round " + std::to_string(round) + "\n" + text);
        ASSERT_EQ(d.configured, d.stop.table.empty());
        // The rules built into the checker and the loaded driver agree.
        ASSERT_EQ(d.RowsDiffering(), 0);
        ASSERT_TRUE(d.unexplained.empty());
        ASSERT_EQ(MessagesOf(d, "DCSConfigure"), PredictedConfigure(d));
        if (!d.configured) continue;
        ++configured;
        std::vector<std::string> stepMessages;
        ASSERT_EQ(LoggedCalls(), PredictedCalls(c, d, stepMessages));
        ASSERT_TRUE(MessagesOf(d, "DCSInitialize").empty());
        ASSERT_EQ(MessagesOf(d, "step 1"), stepMessages);
        stepFailures += stepMessages.empty() ? 0 : 1;
    }
    // The generator must reach both outcomes often enough to mean something.
    EXPECT_GT(configured, 200);
    EXPECT_GT(stepFailures, 25);
}

// The catalogue the checker collects from the parse's events is the one
// the driver keeps: the same names, data sets, kinds and order.
void ExpectSameCatalogue(const std::string& text) {
    MrxStandin_Reset();
    IFaceStandin_Reset();
    User32Standin_Reset();
    MrxStandin_SetInitString(text.c_str());
    const host::CatalogueParse parse = host::ObserveCatalogueLoad();
    std::vector<std::tuple<int32_t, std::string, int32_t>> seen;
    for (const host::CatalogueEntry& entry : parse.entries) {
        if (entry.stored) seen.emplace_back(entry.kind, entry.name, entry.dataSet);
    }
    std::vector<std::tuple<int32_t, std::string, int32_t>> kept;
    for (int32_t kind = TAG_KIND_AI; kind <= TAG_KIND_CALC; ++kind) {
        const TagList& list = TagListOf(kind);
        for (int32_t i = 0; list.Items != nullptr && i < list.Count; ++i) {
            const TagHead* tag = TagAt(list, kind, i);
            kept.emplace_back(kind, tag->Name, tag->DataSet);
        }
    }
    std::stable_sort(seen.begin(), seen.end(),
                     [](const auto& a, const auto& b) { return std::get<0>(a) < std::get<0>(b); });
    FreeTagCatalogue();
    EXPECT_EQ(seen, kept) << text;
    EXPECT_EQ(parse.loaded, static_cast<int32_t>(text.size()) > kEmptyInitStringLength);
}

TEST(CheckDifferential, CatalogueIsTheDriversForArbitraryStrings) {
    static const char* const kPieces[] = {
        "*AI*", "*AO*", "*DI*", "*DO*", "*DCD*", "*CALC*", "*AI*\r",    "A",   "b c",  " x", "010", "0x1F",
        "-3",   "7abc", ",",    ";",    "\n",    "\r\n",   "\"q,;\n\"", "'s'", "\"\"", " ",  "\t",  "99999999999"};
    Rng rng(7);
    for (int round = 0; round < 1500; ++round) {
        std::string text;
        for (int i = rng.Below(60); i > 0; --i) text += kPieces[rng.Below(static_cast<int>(std::size(kPieces)))];
        ExpectSameCatalogue(text);
    }
}

TEST(CheckDifferential, CatalogueIsTheDriversForTheFuzzCorpus) {
    DIR* dir = opendir(DCS_FUZZ_CORPUS_DIR);
    if (dir == nullptr) GTEST_SKIP() << "no fuzz corpus";
    int files = 0;
    while (dirent* entry = readdir(dir)) {
        if (entry->d_name[0] == '.') continue;
        std::ifstream in(std::string(DCS_FUZZ_CORPUS_DIR) + "/" + entry->d_name, std::ios::binary);
        std::stringstream content;
        content << in.rdbuf();
        const std::string bytes = content.str();
        // The fuzzer's first four bytes steer it; the text follows, up to a NUL.
        const std::string text = bytes.size() > 4 ? bytes.substr(4) : std::string();
        ExpectSameCatalogue(text.substr(0, text.find('\0')));
        ++files;
    }
    closedir(dir);
    EXPECT_GT(files, 0);
}

}  // namespace
