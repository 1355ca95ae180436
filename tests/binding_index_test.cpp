// Binding through the catalogue's index against binding by comparing every
// record of every list, which stays the reference: generated catalogues and
// cases are bound both ways and must give the same binding tables, boxes,
// ErrorMsg texts and results, row by row and through DCSConfigure.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "binding.h"
#include "case_builder.h"
#include "catalogue.h"
#include "catalogue_index.h"
#include "entry_points.h"
#include "test_support.h"

namespace {

// Names that differ from one another only in letter case, a trailing or
// leading blank, a byte above 0x7F, the separator a quote protects, or a
// last character.
const char* const kNames[] = {"FIC-1.PV", "fic-1.pv", "FIC-1.PV ", "FIC-1.PV  ", " FIC-1.PV",
                              "FIC-1.P",  "T\xE9MP",  "T\xC9MP",   "\xFF\xFE",   "A,B",
                              "A;B",      "x",        "X",         "DCD-1",      "LINK.EN"};
constexpr uint32_t kNameCount = sizeof kNames / sizeof kNames[0];
const int32_t kDataSets[] = {1, 2, 0, -1};
const char* const kHeaders[] = {"*AI*", "*AO*", "*DI*", "*DO*", "*DCD*", "*CALC*"};
const char* const kFields[] = {",0,1", ",0,1", "", "", ",0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0", ""};

constexpr int32_t kRandomCases = 600;

std::string Entry(int32_t kind, const std::string& name, int32_t dataSet) {
    const bool quoted = name.find_first_of(" ,;") != std::string::npos;
    const std::string token = quoted ? "\"" + name + "\"" : name;
    return token + ",-," + std::to_string(dataSet) + kFields[kind - 1] + "\n";
}

// A row's tag text: a name of the pool, or one held by no list, or (with
// `gaps`) empty or absent.
const char* RowText(std::mt19937& rng, bool gaps = true) {
    const uint32_t pick = rng() % (kNameCount + (gaps ? 3 : 1));
    if (pick < kNameCount) return kNames[pick];
    if (pick == kNameCount) return "NOT-THERE";
    return pick == kNameCount + 1 ? "" : nullptr;
}

int32_t DataSet(std::mt19937& rng) { return kDataSets[rng() % 4]; }

struct CatalogueEntry {
    int32_t kind;
    const char* name;
    int32_t dataSet;
};

// Sections in any order, repeated, some empty; names drawn from the small
// pool, so they repeat within a list and across lists, in several data sets.
std::string RandomCatalogue(std::mt19937& rng, std::vector<CatalogueEntry>* entries = nullptr) {
    std::string text = "*DO*\nPADDING,-,99\n";
    const uint32_t blocks = 3 + rng() % 8;
    for (uint32_t block = 0; block < blocks; ++block) {
        const auto kind = static_cast<int32_t>(rng() % 6) + 1;
        text += std::string(kHeaders[kind - 1]) + "\n";
        for (uint32_t i = rng() % 9; i > 0; --i) {
            const CatalogueEntry entry{kind, kNames[rng() % kNameCount], DataSet(rng)};
            text += Entry(kind, entry.name, entry.dataSet);
            if (entries != nullptr) entries->push_back(entry);
        }
    }
    return text;
}

// Rows naming the pool's texts; some controllers read their SP and OP from
// one text, as a DCD tag may serve only one of them. In one case of four
// the texts a configuration requires may be missing too.
void RandomRows(std::mt19937& rng, TestCase& c) {
    const bool requiredGaps = rng() % 4 == 0;
    const char* enabled = RowText(rng);
    c.SetGeneral(DataSet(rng), enabled, rng() % 4 == 0 ? enabled : RowText(rng));
    for (uint32_t i = rng() % 9; i > 0; --i) {
        ControllerSpec row;
        row.dataSet = DataSet(rng);
        row.sp = RowText(rng);
        row.spInit = RowText(rng);
        row.op = rng() % 4 == 0 ? row.sp : RowText(rng, requiredGaps);
        row.opInit = RowText(rng, requiredGaps);
        row.mode = RowText(rng);
        c.AddController(row);
    }
    for (uint32_t i = rng() % 7; i > 0; --i) c.AddPVExport(DataSet(rng), RowText(rng, requiredGaps));
    for (uint32_t i = rng() % 7; i > 0; --i) c.AddPVImport(DataSet(rng), RowText(rng, requiredGaps));
}

// Rows that each name catalogue entries of their own data set, of kinds
// their columns take, so that the configuration gets past every row.
void BindableRows(std::mt19937& rng, const std::vector<CatalogueEntry>& entries, TestCase& c) {
    std::vector<CatalogueEntry> writable;
    std::vector<CatalogueEntry> flags;
    for (const CatalogueEntry& e : entries) {
        if (e.kind == TAG_KIND_AI || e.kind == TAG_KIND_DI || e.kind == TAG_KIND_CALC) writable.push_back(e);
        if (e.kind == TAG_KIND_DI) flags.push_back(e);
    }
    if (!flags.empty()) {
        const CatalogueEntry& enabled = flags[rng() % flags.size()];
        const CatalogueEntry& running = flags[rng() % flags.size()];
        c.SetGeneral(enabled.dataSet, enabled.name, running.dataSet == enabled.dataSet ? running.name : nullptr);
    }
    const auto sameDataSet = [&](int32_t dataSet) {
        const CatalogueEntry& e = entries[rng() % entries.size()];
        return e.dataSet == dataSet ? e.name : nullptr;
    };
    for (uint32_t i = writable.empty() ? 0 : rng() % 9; i > 0; --i) {
        const CatalogueEntry& e = writable[rng() % writable.size()];
        c.AddController({e.dataSet, sameDataSet(e.dataSet), e.name, e.name, e.name, sameDataSet(e.dataSet)});
    }
    for (uint32_t i = writable.empty() ? 0 : rng() % 7; i > 0; --i) {
        const CatalogueEntry& e = writable[rng() % writable.size()];
        c.AddPVExport(e.dataSet, e.name);
    }
    for (uint32_t i = rng() % 7; i > 0; --i) {
        const CatalogueEntry& e = entries[rng() % entries.size()];
        c.AddPVImport(e.dataSet, e.name);
    }
}

// The DI list filled to its capacity with names of the pool among filler
// names (some in data set 2), then `beyond` names of the pool that it cannot
// keep, then a random catalogue, whose DI entries it cannot keep either.
std::string FullDIList(std::mt19937& rng, int32_t beyond) {
    std::string text = "*DI*\n";
    for (int32_t i = 0; i < kTagListCapacity + beyond; ++i) {
        const bool pool = i < 3 || i % 4099 == 7 || i >= kTagListCapacity - 3;
        text += pool ? Entry(TAG_KIND_DI, kNames[rng() % kNameCount], DataSet(rng))
                     : Entry(TAG_KIND_DI, "F" + std::to_string(i), i % 1000 == 0 ? 2 : 1);
    }
    return text + RandomCatalogue(rng);
}

struct Outcome {
    std::vector<int32_t> results;
    std::vector<unsigned char> tables;  // controller, PV-export, PV-import tables, then the two flags
    std::vector<std::string> boxes;     // caption, a bar, the text
    std::vector<std::string> errors;    // ErrorMsg texts
    int64_t failedAllocations = 0;
    bool operator==(const Outcome& other) const {
        return results == other.results && tables == other.tables && boxes == other.boxes && errors == other.errors;
    }
};

template <typename T>
void Append(std::vector<unsigned char>& bytes, const T* table, int32_t count) {
    const auto* first = reinterpret_cast<const unsigned char*>(table);
    bytes.insert(bytes.end(), first, first + static_cast<size_t>(count) * sizeof(T));
}

void TakeMessages(Outcome& out) {
    for (const Box& box : Boxes()) out.boxes.push_back(box.caption + "|" + box.text);
    out.errors = ErrorMessages();
}

std::string Describe(const Outcome& out) {
    std::string text = "results";
    for (int32_t r : out.results) text += " " + std::to_string(r);
    text += "; " + std::to_string(out.tables.size()) + " table bytes; boxes:";
    for (const std::string& box : out.boxes) text += "\n  " + box;
    for (const std::string& error : out.errors) text += "\n  ErrorMsg " + error;
    return text;
}

// Every row of every table bound against the loaded catalogue, whether or
// not an earlier row bound; through the index or by comparing every record.
Outcome BindEveryRow(const DCSLinkData* d, bool indexed) {
    if (indexed) {
        EXPECT_EQ(BuildCatalogueIndex(), 1);
    }
    EXPECT_EQ(CatalogueIndexed(), indexed);
    User32Standin_Reset();
    IFaceStandin_Reset();
    CtrlBindings = StaleTable<CtrlBinding>(d->CtrlCnt);
    PVExportBindings = StaleTable<TagSlot>(d->PVCnt);
    PVImportBindings = StaleTable<TagSlot>(d->PVImportCnt);
    EnabledFlagBinding = {0xEEEEEEEEu, 0xEE};
    RunningFlagBinding = {0xEEEEEEEEu, 0xEE};
    Outcome out;
    out.results.push_back(BindGeneralFlags(d));
    for (int32_t row = 0; row < d->CtrlCnt; ++row) out.results.push_back(BindController(d, row));
    for (int32_t row = 0; row < d->PVCnt; ++row) out.results.push_back(BindPVExport(d, row));
    for (int32_t row = 0; row < d->PVImportCnt; ++row) out.results.push_back(BindPVImport(d, row));
    Append(out.tables, CtrlBindings, d->CtrlCnt);
    Append(out.tables, PVExportBindings, d->PVCnt);
    Append(out.tables, PVImportBindings, d->PVImportCnt);
    Append(out.tables, &EnabledFlagBinding, 1);
    Append(out.tables, &RunningFlagBinding, 1);
    TakeMessages(out);
    ReleaseBindingTables();
    FreeCatalogueIndex();
    return out;
}

// DCSConfigure of the case, with allocation call `failCall` failing (0: none).
Outcome Configure(TestCase& c, int64_t failCall, int32_t sticky = 0) {
    User32Standin_Reset();
    IFaceStandin_Reset();
    IFaceStandin_FailAllocation(failCall, sticky);
    Outcome out;
    out.results.push_back(DCSConfigure(&c.d));
    out.failedAllocations = IFaceStandin_FailedAllocations();
    IFaceStandin_FailAllocation(0, 0);
    if (LinkConfigured == 1) {
        Append(out.tables, CtrlBindings, CtrlBindingCnt);
        Append(out.tables, PVExportBindings, PVExportBindingCnt);
        Append(out.tables, PVImportBindings, PVImportBindingCnt);
    }
    // The flags' cookie cells are the server's once the flags are cleared.
    out.tables.push_back(EnabledFlagBinding.Found);
    out.tables.push_back(RunningFlagBinding.Found);
    TakeMessages(out);
    DCSReset(&c.d);
    return out;
}

class CatalogueIndexTest : public DriverTest {
protected:
    // Binds every row of the case both ways and requires the same outcome;
    // with `throughConfigure`, also DCSConfigure with and without the index.
    static void ExpectSameBinding(TestCase& c, const std::string& catalogue, bool throughConfigure) {
        MrxStandin_SetInitString(catalogue.c_str());
        IFaceStandin_Reset();
        ASSERT_EQ(LoadTagCatalogue(nullptr), 1);
        const int64_t indexCall = IFaceStandin_AllocationCalls() + 1;
        const Outcome scanned = BindEveryRow(&c.d, false);
        const Outcome indexed = BindEveryRow(&c.d, true);
        EXPECT_TRUE(indexed == scanned) << "row by row\nby the index: " << Describe(indexed)
                                        << "\nby comparing every record: " << Describe(scanned);
        FreeTagCatalogue();
        if (!throughConfigure) return;

        const Outcome configured = Configure(c, 0);
        const Outcome configuredByScan = Configure(c, indexCall);
        EXPECT_TRUE(configured == configuredByScan) << "through DCSConfigure\nby the index: " << Describe(configured)
                                                    << "\nwithout the index: " << Describe(configuredByScan);
        // Only the required-text checks end a generated case before binding.
        if (configured.errors.empty()) {
            EXPECT_EQ(configuredByScan.failedAllocations, 1) << "the index's block was not the call that failed";
        }
    }
};

TEST_F(CatalogueIndexTest, GeneratedCasesBindAsWhenEveryRecordIsCompared) {
    for (int32_t seed = 1; seed <= kRandomCases; ++seed) {
        SCOPED_TRACE("generated case " + std::to_string(seed));
        std::mt19937 rng(static_cast<uint32_t>(seed));
        TestCase c;
        std::vector<CatalogueEntry> entries;
        const std::string catalogue = RandomCatalogue(rng, &entries);
        if (seed % 3 == 0 && !entries.empty()) {
            BindableRows(rng, entries, c);
        } else {
            RandomRows(rng, c);
        }
        ExpectSameBinding(c, catalogue, true);
        if (HasFailure()) break;
    }
}

// Row by row only: loading a full list costs seconds on the checking heap.
TEST_F(CatalogueIndexTest, AListAtItsCapacityBindsAsWhenEveryRecordIsCompared) {
    std::mt19937 rng(1000);
    TestCase c;
    const std::string catalogue = FullDIList(rng, 4);
    RandomRows(rng, c);
    c.SetGeneral(1, "F32001", "F16001");
    c.AddController({1, "F32001", "F101", "F32001", "F16001", "F1001"});
    c.AddController({2, "F1000", nullptr, "F2000", "F3000", nullptr});
    c.AddPVImport(1, "F32763");
    ExpectSameBinding(c, catalogue, false);
}

// A host that cannot give the index its block still gets every row bound,
// with no message; the call after it is the controller table's, whose
// failure is told as before.
TEST_F(CatalogueIndexTest, IndexThatCannotBeHadStillBindsEveryRow) {
    std::string catalogue = "*DI*\nLINK.EN,-,1\nLINK.RUN,-,1\n";
    for (int32_t kind = TAG_KIND_AI; kind <= TAG_KIND_CALC; ++kind) {
        catalogue += std::string(kHeaders[kind - 1]) + "\n";
        for (int32_t i = 0; i < 300; ++i) catalogue += Entry(kind, "T" + std::to_string(kind * 1000 + i), 1 + i % 3);
    }
    MrxStandin_SetInitString(catalogue.c_str());
    const auto name = [](int32_t kind, int32_t i) { return "T" + std::to_string(kind * 1000 + i); };
    TestCase c;
    c.SetGeneral(1, "LINK.EN", "LINK.RUN");
    for (int32_t i = 0; i < 60; ++i) {
        const int32_t writable = i % 3 == 0 ? TAG_KIND_AI : i % 3 == 1 ? TAG_KIND_DI : TAG_KIND_CALC;
        const std::string sp = name(1 + i % 6, i);
        const std::string op = name(writable, i);
        const std::string pvImport = name(1 + (i + 2) % 6, i);
        c.AddController({1 + i % 3, sp.c_str(), op.c_str(), op.c_str(), op.c_str(), op.c_str()});
        c.AddPVExport(1 + i % 3, op.c_str());
        c.AddPVImport(1 + i % 3, pvImport.c_str());
    }
    IFaceStandin_Reset();
    ASSERT_EQ(LoadTagCatalogue(nullptr), 1);
    const int64_t indexCall = IFaceStandin_AllocationCalls() + 1;
    FreeTagCatalogue();

    const Outcome indexed = Configure(c, 0);
    const Outcome byScan = Configure(c, indexCall);
    EXPECT_EQ(byScan.failedAllocations, 1);
    EXPECT_EQ(byScan.results, std::vector<int32_t>{1});
    EXPECT_TRUE(byScan.boxes.empty() && byScan.errors.empty()) << Describe(byScan);
    EXPECT_TRUE(byScan == indexed) << Describe(indexed);
    const auto* bindings = reinterpret_cast<const CtrlBinding*>(byScan.tables.data());
    for (int32_t row = 0; row < 60; ++row) {
        for (const TagSlot& slot : {bindings[row].SPSlot, bindings[row].SPInitSlot, bindings[row].OPSlot,
                                    bindings[row].OPInitSlot, bindings[row].ModeSlot}) {
            EXPECT_EQ(+slot.Found, 1) << "controller " << row;
        }
    }

    const Outcome noTable = Configure(c, indexCall + 1);
    EXPECT_EQ(noTable.results, std::vector<int32_t>{0});
    EXPECT_EQ(noTable.boxes, std::vector<std::string>{"DCSConfigError|Cannot Enable DCS Link\n\nNot enough memory for "
                                                      "the controller tag bindings"});
    // A host out of memory from the index's call on fares as one out of
    // memory from the controller table's on: the index's failure is not told.
    const Outcome noMemoryLeft = Configure(c, indexCall, 1);
    const Outcome noMemoryFromTheTable = Configure(c, indexCall + 1, 1);
    EXPECT_EQ(noMemoryLeft.results, std::vector<int32_t>{0});
    EXPECT_TRUE(noMemoryLeft == noMemoryFromTheTable) << Describe(noMemoryLeft);
}

}  // namespace
