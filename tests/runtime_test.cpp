// The running link as the tag server sees it: the step exchange, modes,
// initial values and flags, and the entry points outside a configuration.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <map>
#include <string>
#include <tuple>

#include "binding.h"
#include "binding_rules.h"
#include "case_builder.h"
#include "messages.h"
#include "tag_io.h"

namespace {

const char* const kTags =
    "*AI*\nAI.SP,-,1,0,100\nAI.OP,-,1,0,100\nAI.INIT,-,1,0,100\nAI.MODE,-,1,0,1\nAI.PV,-,1,0,1\n"
    "*AO*\nAO.SP,-,1,0,100\nAO.OP,-,1,0,100\n"
    "*DI*\nDI.SP,-,1\nDI.OP,-,1\nDI.INIT,-,1\nDI.MODE,-,1\nDI.PV,-,1\nEN,-,1\nRUN,-,1\n"
    "*DO*\nDO.OP,-,1\n"
    "*DCD*\nDCD.SP,-,1,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0\n"
    "*CALC*\nCALC.OP,-,1\nCALC.INIT,-,1\nCALC.MODE,-,1\nCALC.PV,-,1\n";

class RuntimeTest : public DriverTest {
protected:
    void SetUp() override {
        DriverTest::SetUp();
        MrxStandin_SetInitString(kTags);
    }

    static void Configure(TestCase& c) {
        ASSERT_EQ(DCSConfigure(&c.d), 1) << (Boxes().empty() ? std::string() : Boxes()[0].text);
        MrxStandin_ClearCallLog();
        User32Standin_Reset();
    }

    static double Double(int32_t kind, const char* tag) {
        double value = std::numeric_limits<double>::quiet_NaN();
        EXPECT_EQ(MrxStandin_GetDouble(kind, 1, tag, &value), 1) << tag;
        return value;
    }
    static int32_t Int(int32_t kind, const char* tag) {
        int32_t value = -12345;
        EXPECT_EQ(MrxStandin_GetInt(kind, 1, tag, &value), 1) << tag;
        return value;
    }

    // Tag operations of the log, as "op:tag".
    static std::vector<std::string> Calls() {
        static const char* names[] = {"",       "Len",     "Get",    "Reset", "ReadAI",   "WriteAI",  "ReadAO",
                                      "ReadDI", "WriteDI", "ReadDO", "",      "ReadCALC", "WriteCALC"};
        std::vector<std::string> calls;
        for (int32_t i = 0; i < MrxStandin_CallCount(); ++i) {
            const MrxCall* call = MrxStandin_Call(i);
            calls.push_back(std::string(names[call->operation]) + ":" + call->tag);
        }
        return calls;
    }
};

using Strings = std::vector<std::string>;

TEST_F(RuntimeTest, OPScalingAndSPConversions) {
    TestCase c;
    ControllerSpec sameSP{1, "AO.SP", nullptr, "AI.OP", "AI.INIT", nullptr};
    sameSP.spValue = 42.5;  // what the tag holds: still marked changed
    c.AddController(sameSP);
    c.AddController({1, "DI.SP", nullptr, "AO.OP", "AI.INIT", nullptr});
    c.AddController({1, nullptr, nullptr, "CALC.OP", "AI.INIT", nullptr});
    c.AddController({1, nullptr, nullptr, "DI.OP", "AI.INIT", nullptr});
    c.AddController({1, nullptr, nullptr, "DO.OP", "AI.INIT", nullptr});
    MrxStandin_SetDouble(MRX_KIND_AO, 1, "AO.SP", 42.5);
    MrxStandin_SetInt(MRX_KIND_DI, 1, "DI.SP", 42);
    MrxStandin_SetDouble(MRX_KIND_AI, 1, "AI.OP", 50.0);
    MrxStandin_SetDouble(MRX_KIND_AO, 1, "AO.OP", 50.0);
    MrxStandin_SetDouble(MRX_KIND_CALC, 1, "CALC.OP", 50.0);
    MrxStandin_SetInt(MRX_KIND_DI, 1, "DI.OP", 50);
    MrxStandin_SetInt(MRX_KIND_DO, 1, "DO.OP", 50);
    Configure(c);
    ASSERT_EQ(DCSSimulate(&c.d), 1);
    EXPECT_EQ(+c.Controller(0).SP, 42.5) << "an SP is never scaled";
    EXPECT_EQ(+c.Controller(0).SPChanged, 1) << "an SP read equal to the stored one still marks the row";
    EXPECT_EQ(+c.Controller(1).SP, 42.0);
    EXPECT_EQ(+c.Controller(1).SPChanged, 1);
    EXPECT_EQ(+c.Controller(2).SPChanged, 0) << "no SP tag, no SP exchange";
    for (size_t i = 0; i < 3; ++i) EXPECT_EQ(+c.Controller(i).OP, 50.0 * 0.01) << i;
    EXPECT_EQ(+c.Controller(3).OP, 50.0);
    EXPECT_EQ(+c.Controller(4).OP, 50.0);
    for (size_t i = 0; i < 5; ++i) EXPECT_EQ(+c.Controller(i).OPChanged, 1);
    EXPECT_TRUE(Boxes().empty());
}

TEST_F(RuntimeTest, OPOnlyWhenEnabledIsExactlyOne) {
    TestCase c;
    for (int16_t flag : {0, -1, 2}) {
        ControllerSpec c0{1, nullptr, nullptr, "AI.OP", "AI.INIT", nullptr};
        c0.opEnabled = flag;
        c0.opValue = 7.0;
        c.AddController(c0);
    }
    MrxStandin_SetDouble(MRX_KIND_AI, 1, "AI.OP", 50.0);
    Configure(c);
    ASSERT_EQ(DCSSimulate(&c.d), 1);
    EXPECT_TRUE(Calls().empty());
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(+c.Controller(i).OP, 7.0);
        EXPECT_EQ(+c.Controller(i).OPChanged, 0);
    }
}

TEST_F(RuntimeTest, ExportAndImportConversions) {
    TestCase c;
    c.AddPVExport(1, "DI.PV", -2.7);
    c.AddPVExport(1, "AI.PV", 2.7);
    c.AddPVExport(1, "CALC.PV", 1e300, 0);  // inactive
    c.AddPVImport(1, "DI.SP", 1);           // Controller Mode
    c.AddPVImport(1, "DI.OP", 0);
    c.AddPVImport(1, "AO.SP", 1);
    c.AddPVImport(1, "DO.OP", 1, 2);  // Active 2: skipped
    MrxStandin_SetInt(MRX_KIND_DI, 1, "DI.SP", 2);
    MrxStandin_SetInt(MRX_KIND_DI, 1, "DI.OP", 2);
    MrxStandin_SetDouble(MRX_KIND_AO, 1, "AO.SP", 0.25);
    Configure(c);
    ASSERT_EQ(DCSSimulate(&c.d), 1);
    EXPECT_EQ(Int(MRX_KIND_DI, "DI.PV"), -2);
    EXPECT_EQ(Double(MRX_KIND_AI, "AI.PV"), 2.7) << "exports are not scaled";
    EXPECT_EQ(+c.PVImport(0).Value, 3.0);
    EXPECT_EQ(+c.PVImport(1).Value, 2.0);
    EXPECT_EQ(+c.PVImport(2).Value, 1.25);
    EXPECT_EQ(+c.PVImport(3).Value, 0.0);
    EXPECT_EQ(Calls(), (Strings{"WriteDI:DI.PV", "WriteAI:AI.PV", "ReadDI:DI.SP", "ReadDI:DI.OP", "ReadAO:AO.SP"}));

    c.PVExport(0).Value = 2.7;
    ASSERT_EQ(DCSSimulate(&c.d), 1);
    EXPECT_EQ(Int(MRX_KIND_DI, "DI.PV"), 2);
}

TEST_F(RuntimeTest, FailingSPReadOfRowTwoOfFive) {
    TestCase c;
    const char* sps[] = {"AI.SP", "AI.SP", "AO.SP", "AI.SP", "AI.SP"};
    for (const char* sp : sps) c.AddController({1, sp, nullptr, "AI.OP", "AI.INIT", nullptr});
    c.AddPVExport(1, "AI.PV", 1.0);
    c.AddPVImport(1, "AI.SP");
    MrxStandin_SetDouble(MRX_KIND_AI, 1, "AI.SP", 10.0);
    MrxStandin_SetDouble(MRX_KIND_AI, 1, "AI.OP", 20.0);
    MrxStandin_SetDouble(MRX_KIND_AO, 1, "AO.SP", 30.0);
    Configure(c);
    MrxStandin_InjectStatus(MRX_OP_READ_AO, "AO.SP", 7, -1);
    EXPECT_EQ(DCSSimulate(&c.d), 0);
    EXPECT_EQ(Calls(), (Strings{"ReadAI:AI.SP", "ReadAI:AI.OP", "ReadAI:AI.SP", "ReadAI:AI.OP", "ReadAO:AO.SP"}));
    EXPECT_EQ(+c.Controller(1).SP, 10.0) << "values stored before the failure stay";
    EXPECT_EQ(+c.Controller(2).SPChanged, 0);
    EXPECT_EQ(+c.Controller(2).OPChanged, 0) << "the failing row's OP is not read";
    EXPECT_EQ(BoxTexts(), (Strings{"Error reading AO tag for SP tag AO.SP of controller at index 2"}));

    // The next step starts again with row 0.
    MrxStandin_ClearInjections();
    MrxStandin_ClearCallLog();
    EXPECT_EQ(DCSSimulate(&c.d), 1);
    EXPECT_EQ(Calls().front(), "ReadAI:AI.SP");
    EXPECT_EQ(Calls().size(), 12u);
}

TEST_F(RuntimeTest, FailingExportStopsTheImports) {
    TestCase c;
    c.AddPVExport(1, "CALC.PV", 4.0);
    c.AddPVExport(1, "AI.PV", 5.0);
    c.AddPVImport(1, "AI.SP");
    Configure(c);
    MrxStandin_InjectStatus(MRX_OP_WRITE_CALC, nullptr, 3, 1);
    EXPECT_EQ(DCSSimulate(&c.d), 0);
    EXPECT_EQ(Calls(), (Strings{"WriteCALC:CALC.PV"}));
    EXPECT_EQ(BoxTexts(), (Strings{"Error writing CALC tag for PV tag CALC.PV of PV Export at index 0\n"
                                   "\nCALC tag must be in External mode to set it from an external system"}));
}

TEST_F(RuntimeTest, BadTagTypes) {
    TestCase c;
    c.AddController({1, "DCD.SP", nullptr, "AI.OP", "AI.INIT", nullptr});
    Configure(c);
    EXPECT_EQ(DCSSimulate(&c.d), 0);
    EXPECT_EQ(BoxTexts(), (Strings{"Bad tag type 5 for SP tag DCD.SP of controller at index 0\n"}));
    EXPECT_TRUE(Calls().empty()) << "nothing is transferred for a DCD tag";
    DCSReset(&c.d);

    TestCase i;
    i.AddPVImport(1, "DCD.SP");
    Configure(i);
    EXPECT_EQ(DCSSimulate(&i.d), 0);
    EXPECT_EQ(BoxTexts(), (Strings{"Bad tag type 5 for PV tag DCD.SP of PV Import at index 0\n"}));
}

TEST_F(RuntimeTest, RowsAddedAfterConfigurationAreUnbound) {
    TestCase c;
    c.AddController({1, "AI.SP", nullptr, "AI.OP", "AI.INIT", "AI.MODE"});
    c.AddPVImport(1, "AI.SP");
    MrxStandin_SetDouble(MRX_KIND_AI, 1, "AI.SP", 1.0);
    MrxStandin_SetDouble(MRX_KIND_AI, 1, "AI.OP", 1.0);
    Configure(c);
    c.AddPVImport(1, "AI.SP");  // unbound: skipped
    ASSERT_EQ(DCSSimulate(&c.d), 1);
    EXPECT_EQ(+c.PVImport(1).Value, 0.0);

    c.AddController({1, "AI.SP", "AI.INIT", "AI.OP", "AI.INIT", "AI.MODE"});  // OPEnabled 1
    User32Standin_Reset();
    EXPECT_EQ(DCSSimulate(&c.d), 0);
    EXPECT_EQ(BoxTexts(), (Strings{"Bad tag type 0 for OP tag AI.OP of controller at index 1\n"}));
    User32Standin_Reset();
    DCSInitialize(&c.d);
    EXPECT_EQ(BoxTexts(), (Strings{"Bad tag type 0 for OPInit tag AI.INIT of controller at index 1\n"}));

    c.AddPVExport(1, "AI.PV");
    User32Standin_Reset();
    c.Controller(1).OPEnabled = 0;
    EXPECT_EQ(DCSSimulate(&c.d), 0);
    EXPECT_EQ(BoxTexts(), (Strings{"Bad tag type 0 for PV tag AI.PV of PV Export at index 0\n"}));
}

TEST_F(RuntimeTest, NullTagTextAfterConfigurationIsPassedEmpty) {
    TestCase c;
    c.AddController({1, "AI.SP", nullptr, "AI.OP", "AI.INIT", nullptr});
    Configure(c);
    c.SetControllerText(0, 1, nullptr);
    MrxStandin_SetStrictWrites(1);
    EXPECT_EQ(DCSSimulate(&c.d), 0);
    ASSERT_EQ(MrxStandin_CallCount(), 1);
    EXPECT_EQ(MrxStandin_Call(0)->tagWasNull, 0);
    EXPECT_STREQ(MrxStandin_Call(0)->tag, "");
    EXPECT_EQ(BoxTexts(), (Strings{"Error reading AI tag for SP tag  of controller at index 0"}));
    MrxStandin_ClearCallLog();
}

TEST_F(RuntimeTest, InitialValuesAndModes) {
    TestCase c;
    ControllerSpec a{1, nullptr, "AI.INIT", "AI.OP", "CALC.INIT", "DI.MODE"};
    a.spValue = 3.7;
    a.opValue = 0.25;
    a.modeValue = 2.9;
    ControllerSpec b{1, nullptr, "DI.INIT", "AI.OP", "DI.INIT", "AI.MODE"};
    b.spValue = 3.7;
    b.opValue = 0.25;
    b.modeValue = -1.5;
    ControllerSpec off{1, nullptr, nullptr, "AI.OP", "CALC.MODE", "CALC.MODE"};
    off.opEnabled = 0;
    c.AddController(a);
    c.AddController(b);
    c.AddController(off);
    Configure(c);

    DCSInitialize(&c.d);
    EXPECT_EQ(Double(MRX_KIND_AI, "AI.INIT"), 3.7);
    EXPECT_EQ(Double(MRX_KIND_CALC, "CALC.INIT"), 25.0);
    EXPECT_EQ(Int(MRX_KIND_DI, "DI.MODE"), 0) << "the Mode tag is set to 0 at capture";
    EXPECT_EQ(Double(MRX_KIND_AI, "AI.MODE"), 0.0);
    EXPECT_EQ(Calls(), (Strings{"WriteDI:DI.MODE", "WriteAI:AI.MODE", "WriteCALC:CALC.MODE", "WriteAI:AI.INIT",
                                "WriteCALC:CALC.INIT", "WriteDI:DI.INIT", "WriteDI:DI.INIT"}));
    const MrxCall* spInit = MrxStandin_Call(5);
    const MrxCall* opInit = MrxStandin_Call(6);
    EXPECT_EQ(spInit->intValue, 3) << "SP Init 3.7 to DI";
    EXPECT_EQ(opInit->intValue, 0) << "OP Init 0.25 to DI, truncated, not scaled";
    EXPECT_EQ(+CtrlBindings[0].SavedMode, 2);
    EXPECT_EQ(+CtrlBindings[1].SavedMode, -1);

    MrxStandin_ClearCallLog();
    DCSStart(&c.d);
    EXPECT_EQ(Int(MRX_KIND_DI, "DI.MODE"), 2);
    EXPECT_EQ(Double(MRX_KIND_AI, "AI.MODE"), -1.0);
    EXPECT_EQ(Double(MRX_KIND_CALC, "CALC.MODE"), 1.0);
    EXPECT_EQ(Calls().size(), 7u);

    c.Controller(0).Mode = 4.0;
    DCSTimeZero(&c.d);
    EXPECT_EQ(Int(MRX_KIND_DI, "DI.MODE"), 0);
    DCSStart(&c.d);
    EXPECT_EQ(Int(MRX_KIND_DI, "DI.MODE"), 4);
    EXPECT_TRUE(Boxes().empty());
}

// The rules' account of when, and in what order, the runtime moves each
// column's tag (which the checker's conflicts rely on) is the driver's:
// over a life cycle every moment moves exactly the columns whose rule names
// it, pass by pass, then row by row, then column by column.
TEST_F(RuntimeTest, TheRulesSayWhenAndInWhatOrderEveryTagMoves) {
    using Place = std::tuple<int32_t, int32_t, int32_t>;  // table, row, column
    auto rowsOf = [](int32_t table) { return table == TAG_TABLE_GENERAL ? 1 : 2; };
    auto nameOf = [](const Place& p) {
        return "T" + std::to_string(std::get<0>(p)) + "R" + std::to_string(std::get<1>(p)) + "C" +
               std::to_string(std::get<2>(p));
    };
    std::map<std::string, Place> places;
    std::string analog = "*AI*\n", digital = "*DI*\n";
    for (int32_t i = 0; i < kTagColumnRuleCount; ++i) {
        const TagColumnRule& rule = kTagColumnRules[i];
        for (int32_t row = 0; row < rowsOf(rule.Table); ++row) {
            const Place p{rule.Table, row, rule.Column};
            places[nameOf(p)] = p;
            const bool flag = rule.Table == TAG_TABLE_GENERAL;
            (flag ? digital : analog) += nameOf(p) + (flag ? ",-,1\n" : ",-,1,0,100\n");
            if (flag) {
                MrxStandin_SetInt(MRX_KIND_DI, 1, nameOf(p).c_str(), 0);
            } else {
                MrxStandin_SetDouble(MRX_KIND_AI, 1, nameOf(p).c_str(), 1.0);
            }
        }
    }
    MrxStandin_SetInitString((analog + digital).c_str());
    auto at = [&](int32_t table, int32_t row, int32_t column) { return nameOf(Place{table, row, column}); };
    TestCase c;
    const std::string en = at(TAG_TABLE_GENERAL, 0, GEN_ENABLED_FLAG), run = at(TAG_TABLE_GENERAL, 0, GEN_RUNNING_FLAG);
    c.SetGeneral(1, en.c_str(), run.c_str());
    for (int32_t row = 0; row < 2; ++row) {
        std::string t[6];
        for (int32_t col = 1; col <= 5; ++col) t[col] = at(TAG_TABLE_CTRL, row, col);
        c.AddController({1, t[1].c_str(), t[2].c_str(), t[3].c_str(), t[4].c_str(), t[5].c_str()});
        c.AddPVExport(1, at(TAG_TABLE_PV_EXPORT, row, 1).c_str());
        c.AddPVImport(1, at(TAG_TABLE_PV_IMPORT, row, 1).c_str());
    }
    const struct {
        const char* name;
        uint32_t moment;
        std::function<void()> call;
    } moments[] = {
        {"DCSConfigure", TAG_MOMENT_CONFIGURE, [&] { EXPECT_EQ(DCSConfigure(&c.d), 1); }},
        {"DCSInitialize", TAG_MOMENT_INITIALIZE, [&] { DCSInitialize(&c.d); }},
        {"DCSStart", TAG_MOMENT_START, [&] { DCSStart(&c.d); }},
        {"DCSSimulate", TAG_MOMENT_STEP, [&] { EXPECT_EQ(DCSSimulate(&c.d), 1); }},
        {"DCSStop", TAG_MOMENT_STOP, [&] { DCSStop(&c.d); }},
        {"DCSTimeZero", TAG_MOMENT_TIME_ZERO, [&] { DCSTimeZero(&c.d); }},
        {"DCSReset", TAG_MOMENT_RESET, [&] { DCSReset(&c.d); }},
    };
    for (const auto& m : moments) {
        // What the rules predict, in the order they give.
        std::vector<std::tuple<int32_t, int32_t, int32_t, std::string>> predicted;
        for (int32_t i = 0; i < kTagColumnRuleCount; ++i) {
            const TagColumnRule& rule = kTagColumnRules[i];
            const int32_t pass = TagMovePass(rule, m.moment);
            EXPECT_EQ(pass != 0, (rule.Moments & m.moment) != 0) << m.name;
            if (pass == 0) continue;
            for (int32_t row = 0; row < rowsOf(rule.Table); ++row) {
                predicted.emplace_back(pass, row, rule.Column, at(rule.Table, row, rule.Column));
            }
        }
        std::sort(predicted.begin(), predicted.end());
        Strings expected;
        for (const auto& p : predicted) expected.push_back(std::get<3>(p));
        MrxStandin_ClearCallLog();
        m.call();
        Strings moved;
        for (int32_t i = 0; i < MrxStandin_CallCount(); ++i) {
            const MrxCall* call = MrxStandin_Call(i);
            if (call->operation >= MRX_OP_READ_AI && places.count(call->tag) != 0) moved.push_back(call->tag);
        }
        EXPECT_EQ(moved, expected) << m.name;
    }
    EXPECT_TRUE(Boxes().empty()) << Boxes()[0].text;
}

TEST_F(RuntimeTest, WriteFailuresAreEachReportedAndWorkGoesOn) {
    TestCase c;
    ControllerSpec a{1, nullptr, "AI.INIT", "AI.OP", "CALC.INIT", "CALC.MODE"};
    c.AddController(a);
    c.AddController({1, nullptr, "DI.INIT", "AI.OP", "DI.INIT", nullptr});
    Configure(c);
    MrxStandin_InjectStatus(MRX_OP_WRITE_AI, "AI.INIT", 1, -1);
    MrxStandin_InjectStatus(MRX_OP_WRITE_CALC, "CALC.MODE", 1, -1);
    DCSInitialize(&c.d);
    EXPECT_EQ(BoxTexts(), (Strings{"Error writing CALC tag for Mode tag CALC.MODE of controller at index 0\n"
                                   "\nCALC tag must be in External mode to set it from an external system",
                                   "Error writing AI tag for SPInit tag AI.INIT of controller at index 0\n"}));
    EXPECT_EQ(Calls(), (Strings{"WriteCALC:CALC.MODE", "WriteAI:AI.INIT", "WriteCALC:CALC.INIT", "WriteDI:DI.INIT",
                                "WriteDI:DI.INIT"}));
}

TEST_F(RuntimeTest, FlagsOverALifeCycle) {
    TestCase c;
    c.SetGeneral(1, "EN", "RUN");
    MrxStandin_SetInt(MRX_KIND_DI, 1, "EN", 7);
    MrxStandin_SetInt(MRX_KIND_DI, 1, "RUN", 7);
    ASSERT_EQ(DCSConfigure(&c.d), 1);
    EXPECT_EQ(Int(MRX_KIND_DI, "EN"), 0);
    EXPECT_EQ(Int(MRX_KIND_DI, "RUN"), 0);
    DCSInitialize(&c.d);
    EXPECT_EQ(Int(MRX_KIND_DI, "EN"), 1);
    DCSStart(&c.d);
    EXPECT_EQ(Int(MRX_KIND_DI, "RUN"), 1);
    DCSStop(&c.d);
    EXPECT_EQ(Int(MRX_KIND_DI, "RUN"), 0);
    DCSStart(&c.d);
    MrxStandin_ClearCallLog();
    DCSReset(&c.d);
    EXPECT_EQ(Int(MRX_KIND_DI, "EN"), 0);
    EXPECT_EQ(Int(MRX_KIND_DI, "RUN"), 1) << "the reset leaves the Running Flag";
    ASSERT_GE(MrxStandin_CallCount(), 2);
    EXPECT_EQ(MrxStandin_Call(0)->operation, MRX_OP_WRITE_DI) << "the flag is cleared before the link reset";
    EXPECT_EQ(MrxStandin_Call(1)->operation, MRX_OP_RESET_LINK);
    EXPECT_EQ(+EnabledFlagBinding.Found, 1) << "the flag binding outlives the reset";

    User32Standin_Reset();
    MrxStandin_InjectStatus(MRX_OP_WRITE_DI, "EN", 1, -1);
    DCSReset(&c.d);
    EXPECT_EQ(BoxTexts(), (Strings{kMsgEnabledFlagWrite}));
    EXPECT_EQ(Boxes()[0].caption, "KVMRXNT Error");

    // After the case is destroyed its flag bindings are gone: a reset, on
    // the released record or on one loaded again, writes no flag by the
    // old cookie.
    DCSDestroy(&c.d);
    EXPECT_EQ(+EnabledFlagBinding.Found, 0);
    MrxStandin_ClearCallLog();
    DCSReset(&c.d);
    DCSLoad(&c.d);
    DCSReset(&c.d);
    EXPECT_EQ(Calls(), (Strings{"Reset:", "Reset:"}));
}

TEST_F(RuntimeTest, NoFlagTagsNoWritesNoBoxes) {
    TestCase c;
    Configure(c);
    EXPECT_EQ(DCSSimulate(&c.d), 1) << "a case without rows steps successfully";
    EXPECT_TRUE(Calls().empty()) << "and calls nothing";
    DCSInitialize(&c.d);
    DCSStart(&c.d);
    DCSStop(&c.d);
    DCSReset(&c.d);
    EXPECT_EQ(Calls(), (Strings{"Reset:"}));
    EXPECT_TRUE(Boxes().empty());
}

TEST_F(RuntimeTest, OutsideAConfigurationTheRuntimeEntryPointsDoNothing) {
    TestCase c;
    c.AddController({1, "AI.SP", "AI.INIT", "AI.OP", "AI.INIT", "AI.MODE"});
    c.AddPVExport(1, "AI.PV");
    auto untouched = [&] {
        EXPECT_EQ(DCSSimulate(&c.d), 0);
        EXPECT_EQ(DCSInitialize(&c.d), 0);
        EXPECT_EQ(DCSStart(&c.d), 0);
        EXPECT_EQ(DCSStop(&c.d), 0);
        EXPECT_EQ(DCSTimeZero(&c.d), 0);
        EXPECT_TRUE(Boxes().empty());
        EXPECT_TRUE(Calls().empty());
    };
    untouched();  // after load only
    c.SetControllerText(0, 3, "NOPE");
    EXPECT_EQ(DCSConfigure(&c.d), 0);
    User32Standin_Reset();
    MrxStandin_ClearCallLog();
    untouched();  // after a failed configuration
    c.SetControllerText(0, 3, "AI.OP");
    Configure(c);
    DCSReset(&c.d);
    MrxStandin_ClearCallLog();
    untouched();  // after a reset
}

// One case with every kind of transfer, for the tables below.
void BuildFullCase(TestCase& c) {
    c.SetGeneral(1, "EN", "RUN");
    c.AddController({1, "AI.SP", "AI.INIT", "AI.OP", "CALC.INIT", "DI.MODE"});
    c.AddPVExport(1, "DI.PV", 3.0);
    c.AddPVExport(1, "AI.PV", 4.0);
    c.AddPVImport(1, "AO.SP");
    c.PVImport(0).Value = 9.5;
    MrxStandin_SetDouble(MRX_KIND_AO, 1, "AO.SP", 11.0);
    MrxStandin_SetDouble(MRX_KIND_AI, 1, "AI.SP", 10.0);
    MrxStandin_SetDouble(MRX_KIND_AI, 1, "AI.OP", 20.0);
}

// Each failing transfer shows exactly its own box; the row keeps its value.
TEST_F(RuntimeTest, EachFailingTransferIsReportedOnce) {
    struct Row {
        const char* what;
        int32_t operation;
        const char* tag;
        int32_t (*entry)(DCSLinkData*);
        int32_t result;  // -1: no defined result
        const char* box;
        uint8_t opChanged;  // whether the controller's exchange came before
    };
    const Row rows[] = {
        {"OP read", MRX_OP_READ_AI, "AI.OP", DCSSimulate, 0,
         "Error reading AI tag for OP tag AI.OP of controller at index 0", 0},
        {"PV import read", MRX_OP_READ_AO, "AO.SP", DCSSimulate, 0,
         "Error reading AO tag for PV tag AO.SP of PV Import at index 0", 1},
        {"DI export write (empty detail)", MRX_OP_WRITE_DI, "DI.PV", DCSSimulate, 0,
         "Error writing DI tag for PV tag DI.PV of PV Export at index 0\n", 1},
        {"Running Flag write", MRX_OP_WRITE_DI, "RUN", DCSStart, -1, kMsgRunningFlagWrite, 0},
        {"Enabled Flag write while configuring", MRX_OP_WRITE_DI, "EN", DCSConfigure, 1, kMsgEnabledFlagWrite, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        TestCase c;
        BuildFullCase(c);
        if (row.entry != DCSConfigure) Configure(c);
        MrxStandin_InjectStatus(row.operation, row.tag, 4, 1);
        const int32_t result = row.entry(&c.d);
        if (row.result >= 0) {
            EXPECT_EQ(result, row.result);
        }
        EXPECT_EQ(BoxTexts(), (Strings{row.box}));
        EXPECT_EQ(Boxes().at(0).caption, "KVMRXNT Error");
        EXPECT_EQ(+c.Controller(0).OPChanged, row.opChanged);
        EXPECT_EQ(+c.PVImport(0).Value, 9.5) << "a failed or skipped import keeps the row's value";
        MrxStandin_ClearInjections();
        User32Standin_Reset();
    }
}

// The order in which the tag server sees the writes of each entry point,
// with the value of every DI write.
TEST_F(RuntimeTest, WriteOrderOfTheEntryPoints) {
    struct Row {
        const char* what;
        int32_t (*entry)(DCSLinkData*);
        bool failExport;
        Strings calls;
    };
    const Row rows[] = {
        {"initialize",
         DCSInitialize,
         false,
         {"WriteDI:DI.MODE=0", "WriteAI:AI.INIT", "WriteCALC:CALC.INIT", "WriteDI:DI.PV=3", "WriteAI:AI.PV",
          "WriteDI:EN=1"}},
        {"initialize with a failing export",
         DCSInitialize,
         true,
         {"WriteDI:DI.MODE=0", "WriteAI:AI.INIT", "WriteCALC:CALC.INIT", "WriteDI:DI.PV=3", "WriteDI:EN=1"}},
        {"start", DCSStart, false, {"WriteDI:DI.MODE=0", "WriteAI:AI.INIT", "WriteCALC:CALC.INIT", "WriteDI:RUN=1"}},
        {"stop", DCSStop, false, {"WriteDI:DI.MODE=0", "WriteDI:RUN=0"}},
        {"time zero", DCSTimeZero, false, {"WriteDI:DI.MODE=0"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        TestCase c;
        BuildFullCase(c);
        Configure(c);
        if (row.failExport) MrxStandin_InjectStatus(MRX_OP_WRITE_DI, "DI.PV", 4, 1);
        row.entry(&c.d);
        Strings calls = Calls();
        for (int32_t i = 0; i < MrxStandin_CallCount(); ++i) {
            const MrxCall* call = MrxStandin_Call(i);
            calls[static_cast<size_t>(i)] +=
                ((call->operation == MRX_OP_WRITE_DI ? "=" + std::to_string(call->intValue) : ""));
        }
        EXPECT_EQ(calls, row.calls);
        EXPECT_EQ(BoxTexts().size(), row.failExport ? 1u : 0u);
        MrxStandin_ClearInjections();
        User32Standin_Reset();
    }
}

TEST_F(RuntimeTest, AStepAllocatesNothing) {
    TestCase c;
    c.AddController({1, "AI.SP", nullptr, "AI.OP", "AI.INIT", nullptr});
    c.AddPVExport(1, "AI.PV");
    c.AddPVImport(1, "AI.SP");
    MrxStandin_SetDouble(MRX_KIND_AI, 1, "AI.SP", 1.0);
    MrxStandin_SetDouble(MRX_KIND_AI, 1, "AI.OP", 1.0);
    Configure(c);
    const int64_t before = IFaceStandin_AllocationCalls();
    for (int i = 0; i < 10; ++i) ASSERT_EQ(DCSSimulate(&c.d), 1);
    EXPECT_EQ(IFaceStandin_AllocationCalls(), before);
}

TEST(Conversions, TruncationTowardZeroWithoutUndefinedBehaviour) {
    EXPECT_EQ(TruncateToInt32(2.9), 2);
    EXPECT_EQ(TruncateToInt32(-1.5), -1);
    EXPECT_EQ(TruncateToInt32(-2.7), -2);
    EXPECT_EQ(TruncateToInt32(std::nan("")), 0);
    EXPECT_EQ(TruncateToInt32(1e20), INT32_MAX);
    EXPECT_EQ(TruncateToInt32(-1e20), INT32_MIN);
    EXPECT_EQ(TruncateToInt32(std::numeric_limits<double>::infinity()), INT32_MAX);
    EXPECT_EQ(TruncateToInt32(2147483647.9), INT32_MAX);
    EXPECT_EQ(TruncateToInt32(-2147483648.9), INT32_MIN);
    EXPECT_EQ(TruncateToInt32(2147483648.0), INT32_MAX);
}

}  // namespace
