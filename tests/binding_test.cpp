// Which catalogue tag each named tag binds to, and the binding messages.
#include <gtest/gtest.h>

#include <string>

#include "binding.h"
#include "binding_rules.h"
#include "case_builder.h"
#include "catalogue.h"
#include "configure.h"
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
        ASSERT_EQ(LoadTagCatalogue(nullptr), 1);
        CtrlBindings = StaleTable<CtrlBinding>(4);
        PVExportBindings = StaleTable<TagSlot>(4);
        PVImportBindings = StaleTable<TagSlot>(4);
    }
    void TearDown() override {
        FreeTagCatalogue();
        ReleaseBindingTables();
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
    EXPECT_EQ(BoxTexts(),
              (std::vector<std::string>{"Incorrect data set or unknown SPInit tag for controller at index 0\n"
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
    EXPECT_EQ(BoxTexts(),
              (std::vector<std::string>{"Incorrect data set or unknown OPInit tag for controller at index 0\n"
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

// The rules' answer for a name held by any set of lists is what the
// binding itself makes of it, for every tag column: the winner is the kind
// of the bound slot, and a column with no winner is unbound. Rows where the
// SP shares the name exercise the DCD rule.
TEST_F(BindingTest, QueryAnswersWhatTheBindingDoes) {
    const char* const headers[] = {"*AI*", "*AO*", "*DI*", "*DO*", "*DCD*", "*CALC*"};
    const char* const fields[] = {",0,1", ",0,1", "", "", ",0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0", ""};
    TestCase c;  // its reset at the end releases the fixture's tables
    c.AddController({1, "N", "N", "N", "N", "N"});
    c.AddController({1, "S", "N", "N", "N", "N"});
    c.AddPVExport(1, "N");
    c.AddPVImport(1, "N");
    c.SetGeneral(1, "N", nullptr);
    for (uint32_t mask = 0; mask < 64; ++mask) {
        SCOPED_TRACE("lists holding N: " + std::to_string(mask));
        std::string text = "*DO*\nPADDING_SO_THE_STRING_IS_NOT_EMPTY,-,99\n";
        for (int32_t kind = TAG_KIND_AI; kind <= TAG_KIND_CALC; ++kind) {
            if ((mask & (1u << (kind - 1))) != 0)
                text += std::string(headers[kind - 1]) + "\nN,-,1" + fields[kind - 1] + "\n";
        }
        FreeTagCatalogue();
        MrxStandin_SetInitString(text.c_str());
        ASSERT_EQ(LoadTagCatalogue(nullptr), 1);
        TagColumnAnswer answer{};
        for (int32_t row = 0; row < 2; ++row) {
            BindController(&c.d, row);
            for (int32_t column = CTRL_COL_SP; column <= CTRL_COL_MODE; ++column) {
                const char* spText = row == 0 ? "N" : "S";
                const char* name = column == CTRL_COL_SP ? spText : "N";
                ASSERT_EQ(QueryTagColumn(TAG_TABLE_CTRL, column, 1, name, spText, &answer), 1);
                EXPECT_EQ(answer.Held, name[0] == 'N' ? mask << 1 : 0u);
                const TagSlot* slot = SlotOfColumn(&CtrlBindings[row], column);
                EXPECT_EQ(+slot->Kind, answer.Winner) << "row " << row << " column " << column;
                EXPECT_EQ(+slot->Found, answer.Winner != TAG_KIND_NONE ? 1 : 0);
                EXPECT_EQ(answer.Candidates == 0, answer.Winner == TAG_KIND_NONE);
            }
        }
        BindPVExport(&c.d, 0);
        QueryTagColumn(TAG_TABLE_PV_EXPORT, PV_COL_TAG, 1, "N", nullptr, &answer);
        EXPECT_EQ(+PVExportBindings[0].Kind, answer.Winner);
        BindPVImport(&c.d, 0);
        QueryTagColumn(TAG_TABLE_PV_IMPORT, PV_COL_TAG, 1, "N", nullptr, &answer);
        EXPECT_EQ(+PVImportBindings[0].Kind, answer.Winner);
        BindGeneralFlags(&c.d);
        QueryTagColumn(TAG_TABLE_GENERAL, GEN_ENABLED_FLAG, 1, "N", nullptr, &answer);
        EXPECT_EQ(+EnabledFlagBinding.Found, answer.Winner != TAG_KIND_NONE ? 1 : 0);
        EXPECT_EQ(QueryTagColumn(TAG_TABLE_CTRL, CTRL_COL_DATA_SET, 1, "N", nullptr, &answer), 0);
    }
}

// The texts the configuration requires are those the field definitions
// make text, and the configuration's own check refuses exactly those rows.
TEST_F(BindingTest, RequiredTextsFollowTheDefinitions) {
    TestCase c;
    c.AddController({1, "AI1", nullptr, "AI1", "", nullptr});
    EXPECT_TRUE(TextRequired(&c.d, TAG_TABLE_CTRL, CTRL_COL_OP));
    EXPECT_TRUE(TextRequired(&c.d, TAG_TABLE_CTRL, CTRL_COL_OP_INIT));
    EXPECT_FALSE(TextRequired(&c.d, TAG_TABLE_CTRL, CTRL_COL_SP));
    EXPECT_FALSE(TextRequired(&c.d, TAG_TABLE_GENERAL, GEN_ENABLED_FLAG));
    EXPECT_TRUE(TextRequired(&c.d, TAG_TABLE_PV_EXPORT, PV_COL_TAG));
    EXPECT_FALSE(TextRequired(&c.d, TAG_TABLE_PV_IMPORT, PV_COL_DATA_SET));
    EXPECT_TRUE(RowLacksRequiredText(&c.d, kRequiredTextChecks[1], 0));
    EXPECT_EQ(CheckCtrlTagColumn(&c.d, CTRL_COL_OP_INIT), 0);
    // A definition that is not text is not required, and not checked.
    c.d.CtrlDef[CTRL_COL_OP_INIT].Kind = FIELD_KIND_INTEGER;
    EXPECT_FALSE(TextRequired(&c.d, TAG_TABLE_CTRL, CTRL_COL_OP_INIT));
    EXPECT_FALSE(RowLacksRequiredText(&c.d, kRequiredTextChecks[1], 0));
    EXPECT_EQ(CheckCtrlTagColumn(&c.d, CTRL_COL_OP_INIT), 1);
}

}  // namespace
