// DCSConfigure's sequence: each failing step, what it shows, and that a
// failure leaves nothing the configuration allocated.
#include <gtest/gtest.h>

#include <string>

#include "case_builder.h"
#include "entry_points.h"
#include "link_state.h"
#include "messages.h"
#include "test_support.h"

namespace {

const char* const kPlant =
    "*AI*\nFIC-101.OP,-,1,0,100\nFIC-101.OPI,-,1,0,100\nTI-1,-,1,0,100\n"
    "*AO*\nFIC-101.SP,-,1,0,100\n"
    "*DI*\nLINK.EN,-,1\nLINK.RUN,-,1\nFIC-101.MODE,-,1\n"
    "*CALC*\nCALC-1,-,1\n";

class ConfigureTest : public DriverTest {
protected:
    void SetUp() override {
        DriverTest::SetUp();
        MrxStandin_SetInitString(kPlant);
    }
    static void Controller(TestCase& c, const char* op = "FIC-101.OP", const char* opInit = "FIC-101.OPI") {
        c.AddController({1, "FIC-101.SP", nullptr, op, opInit, "FIC-101.MODE"});
    }
    static bool NothingStands() {
        for (const TagList& list : TagCatalogue) {
            if (list.Items != nullptr) return false;
        }
        return CtrlBindings == nullptr && PVExportBindings == nullptr && PVImportBindings == nullptr &&
               LinkConfigured == 0;
    }
};

TEST_F(ConfigureTest, EmptyCaseConfigures) {
    TestCase c;
    EXPECT_EQ(DCSConfigure(&c.d), 1);
    EXPECT_NE(CtrlBindings, nullptr) << "tables with no entries are still made";
    EXPECT_EQ(CtrlBindingCnt, 0);
    EXPECT_TRUE(Boxes().empty());
    EXPECT_TRUE(ErrorMessages().empty());
    DCSReset(&c.d);
    EXPECT_TRUE(NothingStands());
}

TEST_F(ConfigureTest, FullCaseBindsAndClearsTheFlags) {
    TestCase c;
    c.SetGeneral(1, "LINK.EN", "LINK.RUN");
    Controller(c);
    c.AddPVExport(1, "TI-1");
    c.AddPVImport(1, "CALC-1");
    EXPECT_EQ(DCSConfigure(&c.d), 1);
    EXPECT_EQ(CtrlBindingCnt, 1);
    EXPECT_EQ(PVExportBindingCnt, 1);
    EXPECT_EQ(PVImportBindingCnt, 1);
    int32_t value = -1;
    ASSERT_EQ(MrxStandin_GetInt(MRX_KIND_DI, 1, "LINK.EN", &value), 1);
    EXPECT_EQ(value, 0);
    ASSERT_EQ(MrxStandin_GetInt(MRX_KIND_DI, 1, "LINK.RUN", &value), 1);
    EXPECT_EQ(value, 0);
    EXPECT_TRUE(Boxes().empty());
}

TEST_F(ConfigureTest, EachRowCheckFailsThroughTheHostsErrorService) {
    struct Case {
        const char* expected;
        void (*fill)(TestCase&);
    };
    const Case cases[] = {
        {kMsgOPTagsMissing, [](TestCase& c) { Controller(c, ""); }},
        {kMsgOPInitTagsMissing, [](TestCase& c) { Controller(c, "FIC-101.OP", nullptr); }},
        {kMsgPVTagFieldError, [](TestCase& c) { c.AddPVExport(1, ""); }},
        {kMsgPVImportTagFieldError, [](TestCase& c) { c.AddPVImport(1, nullptr); }},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.expected);
        IFaceStandin_Reset();
        User32Standin_Reset();
        {
            TestCase c;
            Controller(c);
            k.fill(c);
            EXPECT_EQ(DCSConfigure(&c.d), 0);
            EXPECT_EQ(ErrorMessages(), (std::vector<std::string>{k.expected}));
            EXPECT_TRUE(Boxes().empty()) << "no binding message before the checks pass";
            EXPECT_TRUE(NothingStands());
        }
    }
}

TEST_F(ConfigureTest, EmptyInitStringAndLengthDroppingBetweenTheChecks) {
    TestCase c;
    MrxStandin_SetInitString("*AI*\n");
    EXPECT_EQ(DCSConfigure(&c.d), 0);
    EXPECT_EQ(BoxTexts(), (std::vector<std::string>{kMsgEmptyInitString}));
    EXPECT_TRUE(NothingStands());

    // The second length check, made after the row checks, sees the server's
    // string gone short in between.
    User32Standin_Reset();
    MrxStandin_SetInitString(kPlant);
    MrxStandin_ChangeReportedLengthAfter(1, 33);
    EXPECT_EQ(DCSConfigure(&c.d), 0);
    EXPECT_EQ(BoxTexts(), (std::vector<std::string>{kMsgCannotEnableLink}));
    EXPECT_EQ(Boxes()[0].caption, "DCSConfigError");
    EXPECT_TRUE(NothingStands());
}

TEST_F(ConfigureTest, OnlyTheFirstFailingControllerIsReported) {
    TestCase c;
    Controller(c);
    Controller(c, "NOPE.OP");
    Controller(c);
    Controller(c);
    Controller(c, "NOPE.OP");
    c.AddPVExport(1, "NOPE.PV");
    EXPECT_EQ(DCSConfigure(&c.d), 0);
    EXPECT_EQ(BoxTexts(), (std::vector<std::string>{"Incorrect data set or unknown OP tag for controller at index 1"}));
    EXPECT_TRUE(NothingStands());
}

TEST_F(ConfigureTest, FlagFailureStopsBeforeTheControllers) {
    TestCase c;
    c.SetGeneral(1, "TI-1", nullptr);
    Controller(c, "NOPE.OP");
    EXPECT_EQ(DCSConfigure(&c.d), 0);
    EXPECT_EQ(BoxTexts(), (std::vector<std::string>{kMsgEnabledFlagUnbound}));
}

TEST_F(ConfigureTest, PVFailuresStopAtTheFirstRow) {
    TestCase c;
    Controller(c);
    c.AddPVExport(1, "TI-1");
    c.AddPVExport(1, "FIC-101.SP");
    c.AddPVExport(1, "NOPE");
    EXPECT_EQ(DCSConfigure(&c.d), 0);
    EXPECT_EQ(BoxTexts().size(), 1u);
    EXPECT_NE(BoxTexts()[0].find("PV Export at index 1\n"), std::string::npos);
}

TEST_F(ConfigureTest, SecondConfigureStartsFromAnEmptyCatalogue) {
    TestCase c;
    Controller(c);
    c.AddPVImport(1, "FIC-101.SP");
    ASSERT_EQ(DCSConfigure(&c.d), 1);
    const int16_t aiCount = TagListOf(TAG_KIND_AI).Count;
    const int64_t liveNew = IFaceStandin_LiveBlocks(IFACE_FAMILY_NEW);
    const int64_t liveMalloc = IFaceStandin_LiveBlocks(IFACE_FAMILY_MALLOC);
    ASSERT_EQ(DCSConfigure(&c.d), 1);
    EXPECT_EQ(TagListOf(TAG_KIND_AI).Count, aiCount) << "nothing is appended to a standing catalogue";
    EXPECT_EQ(IFaceStandin_LiveBlocks(IFACE_FAMILY_NEW), liveNew) << "the old binding tables are released";
    EXPECT_EQ(IFaceStandin_LiveBlocks(IFACE_FAMILY_MALLOC), liveMalloc);
    EXPECT_EQ(+CtrlBindings[0].OPSlot.Kind, TAG_KIND_AI);
    EXPECT_EQ(+PVImportBindings[0].Kind, TAG_KIND_AO);
}

TEST_F(ConfigureTest, FailedConfigureThenAGoodOne) {
    TestCase c;
    Controller(c, "NOPE.OP");
    EXPECT_EQ(DCSConfigure(&c.d), 0);
    c.SetControllerText(0, 3, "FIC-101.OP");
    EXPECT_EQ(DCSConfigure(&c.d), 1);
    EXPECT_EQ(TagListOf(TAG_KIND_DI).Count, 3);
}

// Fail the Nth allocation of a whole configuration for N = 1, 2, ... until
// one runs through: no crash, no leak, and a failure always ends reset.
TEST_F(ConfigureTest, EveryAllocationFailureOfAConfiguration) {
    for (int64_t n = 1;; ++n) {
        SCOPED_TRACE("failing allocation " + std::to_string(n));
        TestCase c;
        c.SetGeneral(1, "LINK.EN", "LINK.RUN");
        Controller(c);
        Controller(c);
        c.AddPVExport(1, "TI-1");
        c.AddPVImport(1, "CALC-1");
        User32Standin_Reset();
        IFaceStandin_Reset();
        IFaceStandin_FailAllocation(n, 0);
        const int32_t result = DCSConfigure(&c.d);
        const bool failed = IFaceStandin_FailedAllocations() == 1;
        IFaceStandin_FailAllocation(0, 0);
        if (!failed) {
            EXPECT_EQ(result, 1);
            break;
        }
        if (result == 0) {
            EXPECT_TRUE(NothingStands());
            EXPECT_FALSE(Boxes().empty()) << "a failed configuration is always told";
        }
        ASSERT_LT(n, 200);
    }
}

TEST_F(ConfigureTest, BindingTableThatCannotBeHadFailsCleanly) {
    TestCase c;
    Controller(c);
    // Allocations: the string buffer, six list blocks, then per entry a
    // reallocation and a name; then the three binding tables. Fail from the
    // controller table alone.
    const int64_t before = IFaceStandin_AllocationCalls();
    ASSERT_EQ(DCSConfigure(&c.d), 1);
    const int64_t perConfigure = IFaceStandin_AllocationCalls() - before;
    DCSReset(&c.d);
    User32Standin_Reset();
    IFaceStandin_FailAllocation(perConfigure - 2, 0);
    EXPECT_EQ(DCSConfigure(&c.d), 0);
    IFaceStandin_FailAllocation(0, 0);
    EXPECT_EQ(BoxTexts(), (std::vector<std::string>{"Cannot Enable DCS Link\n\nNot enough memory for the controller tag bindings"}));
    EXPECT_TRUE(NothingStands());
}

}  // namespace
