// DCSLoad's declarations and defaults, the definition limits, DCSDestroy's
// teardown, and both under every allocation failure.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "entry_points.h"
#include "hostapi/access.h"
#include "messages.h"
#include "platform/iface.h"
#include "test_support.h"

namespace {

class FieldDefsTest : public StandinTest {
protected:
    DCSLinkData d{};
};

struct Expected {
    const char* label;
    int32_t kind;
    const char* key;
};

void ExpectTable(const DCSDataDef* defs, int32_t count, const std::vector<Expected>& expected) {
    ASSERT_EQ(count, static_cast<int32_t>(expected.size()));
    ASSERT_NE(defs, nullptr);
    for (size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE(expected[i].label);
        ASSERT_NE(+defs[i].Label, nullptr);
        EXPECT_STREQ(+defs[i].Label, expected[i].label);
        EXPECT_EQ(+defs[i].Kind, expected[i].kind);
        EXPECT_STREQ(+defs[i].Key, expected[i].key);
        EXPECT_EQ(+defs[i].Aux1, nullptr);
        EXPECT_EQ(+defs[i].Aux2, nullptr);
    }
}

TEST_F(FieldDefsTest, LoadDeclaresEveryFieldWithItsKindAndKey) {
    EXPECT_EQ(DCSLoad(&d), 0);
    EXPECT_TRUE(Boxes().empty());
    ExpectTable(d.GenDef, d.GenDefCnt,
                {{"Data Set", 0, ":ExtraData.310"}, {"Enabled Flag", 2, ":ExtraData.311"},
                 {"Running Flag", 2, ":ExtraData.312"}});
    ExpectTable(d.CtrlDef, d.CtrlDefCnt,
                {{"Data Set", 0, ":ExtraData.340.[]"},
                 {"SP Tag", 2, ":ExtraData.341.[]"},
                 {"SP Init Tag", 2, ":ExtraData.342.[]"},
                 {"OP Tag", 2, ":ExtraData.343.[]"},
                 {"OP Init Tag", 2, ":ExtraData.344.[]"},
                 {"Mode Tag", 2, ":ExtraData.345.[]"}});
    ExpectTable(d.PVDef, d.PVDefCnt, {{"Data Set", 0, ":ExtraData.375.[]"}, {"PV Tag", 2, ":ExtraData.376.[]"}});
    ExpectTable(d.PVImportDef, d.PVImportDefCnt,
                {{"Data Set", 0, ":ExtraData.3075.[]"},
                 {"PV Tag", 2, ":ExtraData.3076.[]"},
                 {"Mapping", 3, ":ExtraData.3077.[]"}});

    // Only Mapping has options: "1:1", "Controller Mode", then the end.
    const char* const* options = d.PVImportDef[2].Options;
    ASSERT_NE(options, nullptr);
    EXPECT_STREQ(options[0], "1:1");
    EXPECT_STREQ(options[1], "Controller Mode");
    EXPECT_EQ(options[2], nullptr);
    for (int32_t i = 0; i < 6; ++i) EXPECT_EQ(+d.CtrlDef[i].Options, nullptr);
    EXPECT_EQ(+d.PVImportDef[1].Options, nullptr);

    EXPECT_STREQ(GetCtrlDefKey(&d, 5), ":ExtraData.345.[]");
    EXPECT_STREQ(GetPVImportDefKey(&d, 2), ":ExtraData.3077.[]");
    EXPECT_STREQ(GetGenDefLabel(&d, 1), "Enabled Flag");
    EXPECT_EQ(DCSDestroy(&d), 0);
}

TEST_F(FieldDefsTest, LoadGivesTheDefaults) {
    memset(&d.CtrlRowDefault, 0x77, sizeof d.CtrlRowDefault);
    d.CtrlRowDefault.OPEnabled = 5;
    DCSLoad(&d);
    EXPECT_EQ(GetGenDataInt(&d, 0), 1);
    EXPECT_EQ(GetGenDataText(&d, 1), nullptr);
    EXPECT_EQ(GetGenDataText(&d, 2), nullptr);
    EXPECT_EQ(GetGenDataDouble(&d, 2), 0.0);

    const DCSCtrlRow& c = d.CtrlRowDefault;
    EXPECT_EQ(+c.Mode, 1.0);
    EXPECT_EQ(+c.AuxValue, 0.0);
    EXPECT_EQ(+c.SP, 0.0);
    EXPECT_EQ(+c.OP, 0.0);
    EXPECT_EQ(+c.SPChanged, 0);
    EXPECT_EQ(+c.OPChanged, 0);
    EXPECT_EQ(+c.OPEnabled, 5) << "the host's OPEnabled is not the driver's to touch";
    EXPECT_EQ(+c.HostBytes0[0], 0x77);
    DCSValue* ctrl = c.Values;
    int32_t first;
    memcpy(&first, ctrl[0].Bytes, 4);
    EXPECT_EQ(first, 1);
    for (int i = 1; i < 6; ++i) {
        char* text;
        memcpy(&text, ctrl[i].Bytes, sizeof text);
        EXPECT_EQ(text, nullptr);
    }
    int32_t pvFirst, importFirst, mapping;
    memcpy(&pvFirst, d.PVRowDefault.Values[0].Bytes, 4);
    memcpy(&importFirst, d.PVImportRowDefault.Values[0].Bytes, 4);
    memcpy(&mapping, d.PVImportRowDefault.Values[2].Bytes, 4);
    EXPECT_EQ(pvFirst, 1);
    EXPECT_EQ(importFirst, 1);
    EXPECT_EQ(mapping, 0);
    EXPECT_EQ(+d.PVRowDefault.Value, 0.0);
    EXPECT_EQ(+d.PVImportRowDefault.Value, 0.0);
    DCSDestroy(&d);
}

TEST_F(FieldDefsTest, DefinitionCountLimits) {
    struct Case {
        int32_t (*alloc)(DCSLinkData*, int32_t);
        int32_t limit;
        const char* message;
        int32_t (*count)(const DCSLinkData*);
        void (*setCount)(DCSLinkData*, int32_t);
    };
    const Case cases[] = {
        {AllocGenDef, 20, kMsgGenDefCount, GetGenDefCnt, [](DCSLinkData* r, int32_t n) { r->GenDefCnt = n; }},
        {AllocCtrlDef, 20, kMsgCtrlDefCount, GetCtrlDefCnt, [](DCSLinkData* r, int32_t n) { r->CtrlDefCnt = n; }},
        {AllocPVDef, 25, kMsgPVDefCount, GetPVDefCnt, [](DCSLinkData* r, int32_t n) { r->PVDefCnt = n; }},
        {AllocPVImportDef, 25, kMsgPVImportDefCount, GetPVImportDefCnt,
         [](DCSLinkData* r, int32_t n) { r->PVImportDefCnt = n; }}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        DCSLinkData rec{};
        for (int32_t bad : {-1, c.limit + 1}) {
            User32Standin_Reset();
            c.setCount(&rec, 42);
            EXPECT_EQ(c.alloc(&rec, bad), 0);
            EXPECT_EQ(c.count(&rec), 42) << "a refused count leaves the old one";
            auto boxes = Boxes();
            ASSERT_EQ(boxes.size(), 1u);
            EXPECT_EQ(boxes[0].text, c.message);
            EXPECT_EQ(boxes[0].caption, "KVDCSAPI");
            EXPECT_EQ(boxes[0].type, 0u);
            EXPECT_EQ(boxes[0].owner, nullptr);
        }
        EXPECT_EQ(c.alloc(&rec, c.limit), 1);
        EXPECT_EQ(c.count(&rec), c.limit);
        DCSDestroy(&rec);
    }
    DCSLinkData ctrl{};
    ASSERT_EQ(AllocCtrlDef(&ctrl, 20), 1);
    EXPECT_STREQ(GetCtrlDefKey(&ctrl, 19), ":ExtraData.359.[]");
    DCSDestroy(&ctrl);
    DCSLinkData pv{};
    ASSERT_EQ(AllocPVImportDef(&pv, 25), 1);
    EXPECT_STREQ(GetPVImportDefKey(&pv, 24), ":ExtraData.3099.[]");
    ASSERT_EQ(AllocPVDef(&pv, 25), 1);
    EXPECT_STREQ(GetPVDefKey(&pv, 24), ":ExtraData.399.[]");
    DCSDestroy(&pv);
}

TEST_F(FieldDefsTest, DestroyReleasesEverythingAndLeavesNothing) {
    const int64_t mallocBefore = IFaceStandin_LiveBlocks(IFACE_FAMILY_MALLOC);
    const int64_t newBefore = IFaceStandin_LiveBlocks(IFACE_FAMILY_NEW);
    DCSLoad(&d);
    EXPECT_EQ(IFaceStandin_LiveBlocks(IFACE_FAMILY_MALLOC) - mallocBefore, 14) << "one buffer per label";
    EXPECT_EQ(IFaceStandin_LiveBlocks(IFACE_FAMILY_NEW) - newBefore, 8) << "four tables, four arrays";

    // A text the host stored in a default row is the driver's to release;
    // one in GenData is not.
    SetCtrlDataDefaultText(&d, 3, "FIC-101.OP");
    SetGenDataText(&d, 1, "ENABLED");
    char* genText = GetGenDataText(&d, 1);

    EXPECT_EQ(DCSDestroy(&d), 0);
    EXPECT_EQ(IFaceStandin_LiveBlocks(IFACE_FAMILY_MALLOC) - mallocBefore, 1);
    EXPECT_EQ(IFaceStandin_LiveBlocks(IFACE_FAMILY_NEW), newBefore);
    IFace_free(genText);

    EXPECT_EQ(+d.GenDefCnt, 0);
    EXPECT_EQ(+d.CtrlDefCnt, 0);
    EXPECT_EQ(+d.PVDefCnt, 0);
    EXPECT_EQ(+d.PVImportDefCnt, 0);
    EXPECT_EQ(+d.GenDef, nullptr);
    EXPECT_EQ(+d.CtrlDef, nullptr);
    EXPECT_EQ(+d.PVDef, nullptr);
    EXPECT_EQ(+d.PVImportDef, nullptr);
    EXPECT_EQ(+d.GenData, nullptr);
    EXPECT_EQ(+d.CtrlRowDefault.Values, nullptr);
    EXPECT_EQ(+d.PVRowDefault.Values, nullptr);
    EXPECT_EQ(+d.PVImportRowDefault.Values, nullptr);
    EXPECT_EQ(DCSDestroy(&d), 0) << "a second destroy finds nothing";
}

TEST_F(FieldDefsTest, DestroyReleasesAuxBlocksThroughDelete) {
    DCSLoad(&d);
    d.CtrlDef[2].Aux1 = IFace_new(16);
    d.PVImportDef[0].Aux2 = IFace_new(8);
    DCSDestroy(&d);  // the stand-in aborts on a release through the wrong family
}

TEST_F(FieldDefsTest, DestroyOnEmptyRecordOnlyZeroesCounts) {
    d.GenDefCnt = 3;
    d.CtrlDefCnt = 6;
    d.PVDefCnt = 2;
    d.PVImportDefCnt = 3;
    EXPECT_EQ(DCSDestroy(&d), 0);
    EXPECT_EQ(d.GenDefCnt + d.CtrlDefCnt + d.PVDefCnt + d.PVImportDefCnt, 0);
}

// The message each allocation of DCSLoad shows when it fails, in call
// order: a definition table, then its labels (which fail silently).
std::vector<std::pair<std::string, std::string>> ExpectedLoadFailures() {
    std::vector<std::pair<std::string, std::string>> calls;
    auto table = [&](const char* message, int labels) {
        calls.emplace_back(message, "KVDCSAPI");
        for (int i = 0; i < labels; ++i) calls.emplace_back("", "");
    };
    table(kMsgGenDefAlloc, 3);
    table(kMsgCtrlDefAlloc, 6);
    table(kMsgPVDefAlloc, 2);
    table(kMsgPVImportDefAlloc, 3);
    calls.emplace_back(kMsgGenDataAlloc, "KVDCSAPI Error");
    calls.emplace_back(kMsgCtrlDataDefaultAlloc, "KVDCSAPI Error");
    calls.emplace_back(kMsgPVDataDefaultAlloc, "KVDCSAPI Error");
    calls.emplace_back(kMsgPVImportDataDefaultAlloc, "KVDCSAPI Error");
    return calls;
}

TEST_F(FieldDefsTest, EveryAllocationFailureOfLoadIsSurvived) {
    const auto expected = ExpectedLoadFailures();
    for (int64_t n = 1;; ++n) {
        SCOPED_TRACE("failing allocation " + std::to_string(n));
        User32Standin_Reset();
        IFaceStandin_Reset();
        IFaceStandin_FailAllocation(n, 0);
        DCSLinkData rec{};
        EXPECT_EQ(DCSLoad(&rec), 0);
        const bool failed = IFaceStandin_FailedAllocations() == 1;
        IFaceStandin_FailAllocation(0, 0);
        const auto boxes = Boxes();
        if (!failed) {
            EXPECT_TRUE(boxes.empty());
            EXPECT_EQ(n, static_cast<int64_t>(expected.size()) + 1);
            DCSDestroy(&rec);
            break;
        }
        ASSERT_LE(n, static_cast<int64_t>(expected.size()));
        const auto& want = expected[static_cast<size_t>(n - 1)];
        if (want.first.empty()) {
            EXPECT_TRUE(boxes.empty()) << "a label buffer fails silently";
        } else {
            ASSERT_EQ(boxes.size(), 1u);
            EXPECT_EQ(boxes[0].text, want.first);
            EXPECT_EQ(boxes[0].caption, want.second);
        }
        DCSDestroy(&rec);
        EXPECT_EQ(+rec.GenDef, nullptr);
        EXPECT_EQ(+rec.GenData, nullptr);
    }
}

TEST_F(FieldDefsTest, LoadUnderPersistentAllocationFailure) {
    IFaceStandin_FailAllocation(1, 1);
    EXPECT_EQ(DCSLoad(&d), 0);
    IFaceStandin_FailAllocation(0, 0);
    EXPECT_EQ(Boxes().size(), 8u) << "four tables and four arrays, each with its message";
    EXPECT_EQ(+d.CtrlDefCnt, 6) << "the count is stored before the table is asked for";
    EXPECT_EQ(+d.CtrlDef, nullptr);
    EXPECT_EQ(DCSDestroy(&d), 0);
}

}  // namespace
