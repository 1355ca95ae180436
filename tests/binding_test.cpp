// Which catalogue tag each named tag binds to, and the binding messages.
#include <gtest/gtest.h>

#include <string>

#include "binding.h"
#include "case_builder.h"
#include "catalogue.h"
#include "messages.h"
#include "platform/iface.h"
#include "test_support.h"

namespace {

const char* const kCatalogue =
    "*AI*\nAI1,-,1,0,100\nBOTH,-,1,0,1\nOTHERDS,-,2,0,1\n"
    "*AO*\nAO1,-,1,0,100\n"
    "*DI*\nDI1,-,1\nDI2,-,1\nFLAG,-,1\n"
    "*DO*\nDO1,-,1\n"
    "*DCD*\nDCD1,-,1,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0\n"
    "*CALC*\nCALC1,-,1\nBOTH,-,1\n";

class BindingTest : public DriverTest {
protected:
    void SetUp() override {
        DriverTest::SetUp();
        MrxStandin_SetInitString(kCatalogue);
        ASSERT_EQ(LoadTagCatalogue(), 1);
        CtrlBindings = static_cast<CtrlBinding*>(IFace_new(4 * sizeof(CtrlBinding)));
        PVExportBindings = static_cast<TagSlot*>(IFace_new(4 * sizeof(TagSlot)));
        PVImportBindings = static_cast<TagSlot*>(IFace_new(4 * sizeof(TagSlot)));
        // Stale content, as an uncleared block from the host may hold.
        std::memset(CtrlBindings, 0xEE, 4 * sizeof(CtrlBinding));
        std::memset(PVExportBindings, 0xEE, 4 * sizeof(TagSlot));
        std::memset(PVImportBindings, 0xEE, 4 * sizeof(TagSlot));
    }
    void TearDown() override {
        FreeTagCatalogue();
        IFace_delete(CtrlBindings);
        IFace_delete(PVExportBindings);
        IFace_delete(PVImportBindings);
        CtrlBindings = nullptr;
        PVExportBindings = nullptr;
        PVImportBindings = nullptr;
        StandinTest::TearDown();
    }

    static void ExpectSlot(const TagSlot& slot, int32_t kind, bool found) {
        EXPECT_EQ(+slot.Kind, kind);
        EXPECT_EQ(+slot.Cookie, 0u);
        EXPECT_EQ(+slot.Found, found ? 1 : 0);
    }
};

TEST_F(BindingTest, ControllerColumnsBindByKind) {
    TestCase c;
    c.AddController({1, "AO1", "AO1", "AI1", "DI1", "CALC1"});
    EXPECT_EQ(BindController(&c.d, 0), 1);
    const CtrlBinding& b = CtrlBindings[0];
    ExpectSlot(b.SPSlot, TAG_KIND_AO, true);
    ExpectSlot(b.SPInitSlot, TAG_KIND_NONE, false);  // AO is not writable
    ExpectSlot(b.OPSlot, TAG_KIND_AI, true);
    ExpectSlot(b.OPInitSlot, TAG_KIND_DI, true);
    ExpectSlot(b.ModeSlot, TAG_KIND_CALC, true);
    EXPECT_EQ(+b.SavedMode, 0);
    EXPECT_EQ(BoxTexts(), (std::vector<std::string>{
                              "Incorrect data set or unknown SPInit tag for controller at index 0\n"
                              "                SPInit tags must be writable (AI, DI or CALC)"}));
}

TEST_F(BindingTest, LastListWinsForControllers) {
    TestCase c;
    c.AddController({1, "BOTH", nullptr, "BOTH", "BOTH", nullptr});
    EXPECT_EQ(BindController(&c.d, 0), 1);
    ExpectSlot(CtrlBindings[0].SPSlot, TAG_KIND_CALC, true);
    ExpectSlot(CtrlBindings[0].OPInitSlot, TAG_KIND_CALC, true);
    EXPECT_TRUE(Boxes().empty()) << "absent optional tags raise nothing";
}

TEST_F(BindingTest, DcdServesTheSPOrTheOPNotBoth) {
    TestCase c;
    c.AddController({1, "DCD1", "", "DCD1", "AI1", ""});
    c.AddController({1, nullptr, nullptr, "DCD1", "AI1", nullptr});
    EXPECT_EQ(BindController(&c.d, 0), 0);
    ExpectSlot(CtrlBindings[0].SPSlot, TAG_KIND_DCD, true);
    ExpectSlot(CtrlBindings[0].OPSlot, TAG_KIND_NONE, false);
    EXPECT_EQ(BoxTexts(), (std::vector<std::string>{"Incorrect data set or unknown OP tag for controller at index 0"}));
    EXPECT_EQ(BindController(&c.d, 1), 1);
    ExpectSlot(CtrlBindings[1].OPSlot, TAG_KIND_DCD, true);
}

TEST_F(BindingTest, DoBindsTheOPButNotTheOPInit) {
    TestCase c;
    c.AddController({1, nullptr, nullptr, "DO1", "DO1", nullptr});
    EXPECT_EQ(BindController(&c.d, 0), 0);
    ExpectSlot(CtrlBindings[0].OPSlot, TAG_KIND_DO, true);
    EXPECT_EQ(BoxTexts(), (std::vector<std::string>{
                              "Incorrect data set or unknown OPInit tag for controller at index 0\n"
                              "             OPInit tags must be writable (AI, DI or CALC)"}));
}

TEST_F(BindingTest, NamesMatchExactlyWithinTheRowsDataSet) {
    TestCase c;
    c.AddController({1, "OTHERDS", "ai1", "AI1 ", "AI1", "NOPE"});
    c.AddController({2, "OTHERDS", nullptr, "OTHERDS", "OTHERDS", nullptr});
    EXPECT_EQ(BindController(&c.d, 0), 0);
    EXPECT_EQ(BindController(&c.d, 1), 1);
    ExpectSlot(CtrlBindings[1].SPSlot, TAG_KIND_AI, true);
    const auto texts = BoxTexts();
    ASSERT_EQ(texts.size(), 4u);
    EXPECT_EQ(texts[0], "Incorrect data set or unknown SP tag for controller at index 0");
    EXPECT_EQ(texts[1].substr(0, 66), "Incorrect data set or unknown SPInit tag for controller at index 0");
    EXPECT_EQ(texts[2], "Incorrect data set or unknown OP tag for controller at index 0");
    EXPECT_EQ(texts[3],
              "Incorrect data set or unknown mode tag for controller at index 0\n"
              "          Mode tags must be writable (AI, DI, or CALC)");
    for (const Box& box : Boxes()) EXPECT_EQ(box.caption, "MARLIXNT");
}

TEST_F(BindingTest, PVExportFirstWritableListWins) {
    TestCase c;
    c.AddPVExport(1, "BOTH");
    c.AddPVExport(1, "AO1");
    c.AddPVExport(1, "DO1");
    c.AddPVExport(1, "DCD1");
    EXPECT_EQ(BindPVExport(&c.d, 0), 1);
    ExpectSlot(PVExportBindings[0], TAG_KIND_AI, true);
    for (int32_t row = 1; row < 4; ++row) {
        EXPECT_EQ(BindPVExport(&c.d, row), 0);
        ExpectSlot(PVExportBindings[row], TAG_KIND_NONE, false);
    }
    const auto texts = BoxTexts();
    ASSERT_EQ(texts.size(), 3u);
    EXPECT_EQ(texts[2],
              "Incorrect data set or unknown tag for PV Export at index 3\n"
              "                      PV Export tags must be writable (AI, DI, or CALC)");
}

TEST_F(BindingTest, PVImportTakesEveryKind) {
    TestCase c;
    c.AddPVImport(1, "AO1");
    c.AddPVImport(1, "DCD1");
    c.AddPVImport(1, "DO1");
    c.AddPVImport(2, "AI1");
    EXPECT_EQ(BindPVImport(&c.d, 0), 1);
    ExpectSlot(PVImportBindings[0], TAG_KIND_AO, true);
    EXPECT_EQ(BindPVImport(&c.d, 1), 1);
    ExpectSlot(PVImportBindings[1], TAG_KIND_DCD, true);
    EXPECT_EQ(BindPVImport(&c.d, 2), 1);
    ExpectSlot(PVImportBindings[2], TAG_KIND_DO, true);
    EXPECT_EQ(BindPVImport(&c.d, 3), 0);
    EXPECT_EQ(BoxTexts(), (std::vector<std::string>{"Incorrect data set or unknown tag for PV Import at index 3"}));
}

TEST_F(BindingTest, GeneralFlags) {
    TestCase c;
    c.SetGeneral(1, "FLAG", "DI2");
    EXPECT_EQ(BindGeneralFlags(&c.d), 1);
    EXPECT_EQ(+EnabledFlagBinding.Found, 1);
    EXPECT_EQ(+RunningFlagBinding.Found, 1);

    // The same tag for both binds the Enabled Flag only; an AI tag binds
    // neither; both messages come, the Enabled Flag's first.
    c.SetGeneral(1, "FLAG", "FLAG");
    EXPECT_EQ(BindGeneralFlags(&c.d), 0);
    EXPECT_EQ(+EnabledFlagBinding.Found, 1);
    EXPECT_EQ(+RunningFlagBinding.Found, 0);
    User32Standin_Reset();
    c.SetGeneral(1, "AI1", "NOPE");
    EXPECT_EQ(BindGeneralFlags(&c.d), 0);
    EXPECT_EQ(BoxTexts(), (std::vector<std::string>{kMsgEnabledFlagUnbound, kMsgRunningFlagUnbound}));

    User32Standin_Reset();
    c.SetGeneral(2, "FLAG", nullptr);
    EXPECT_EQ(BindGeneralFlags(&c.d), 0) << "the flag tag is in another data set";
    c.SetGeneral(1, "", nullptr);
    EXPECT_EQ(BindGeneralFlags(&c.d), 1) << "no flags named, nothing to bind";
    EXPECT_EQ(Boxes().size(), 1u);
}

}  // namespace
