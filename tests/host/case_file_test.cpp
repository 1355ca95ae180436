// Reading case files: every fault is reported with the file and the line it
// stands on, and what a good file says reaches the case unchanged.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>

#include "case/case_file.h"
#include "case/schedule.h"

namespace {

class CaseFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = std::filesystem::temp_directory_path() /
               ("dcs-host-test-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(dir_);
        std::ofstream(dir_ / "plant.mrx") << "*AI*\nFIC-101.PV,-,1,0,100\nFIC-101.OP,-,1,0,100\n";
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }

    host::Case Parse(const std::string& text) { return host::ParseCaseText(text, "case.toml", dir_.string()); }

    // The message of the fault the text is refused with.
    std::string Error(const std::string& text) {
        try {
            host::RefuseUnknownKeys(Parse(text));
        } catch (const host::CaseError& e) {
            return e.what();
        }
        return "(accepted)";
    }

    std::filesystem::path dir_;
};

const char kHead[] = "init_string = \"plant.mrx\"\n";

std::string Repeated(const std::string& text, int times) {
    std::string out;
    for (int i = 0; i < times; ++i) out += text;
    return out;
}

// Each part is in the text, after the one before it.
void ExpectInOrder(const std::string& text, const std::vector<std::string>& parts) {
    size_t at = 0;
    for (const std::string& part : parts) {
        const size_t found = text.find(part, at);
        EXPECT_NE(found, std::string::npos) << part << "\n in: " << text;
        if (found != std::string::npos) at = found;
    }
}

TEST_F(CaseFileTest, EveryUnknownKeyInOneRun) {
    const std::string error = Error(std::string(kHead) +
                                    "step = 3\n"
                                    "[[controller]]\nOPEnable = 1\n\"OP Tag\" = \"FIC-101.OP\"\n"
                                    "[[pv_import]]\nAktive = 1\n\"PV Tag\" = \"FIC-101.PV\"\n");
    const std::vector<std::string> expected = {
        "case.toml:2:", "unknown key \"step\"; did you mean \"steps\"?",
        "case.toml:4:", "controller 0: unknown key \"OPEnable\"; did you mean OPEnabled?",
        "case.toml:7:", "pv_import 0: unknown key \"Aktive\"; did you mean Active?",
    };
    ExpectInOrder(error, expected);
    EXPECT_EQ(std::count(error.begin(), error.end(), '\n'), 2) << error;
}

// The sections' own keys too: every unknown one in one run, with the
// nearest key, and not the fault it leads to (a value missing because its
// key is misspelt).
TEST_F(CaseFileTest, EveryUnknownSectionKeyInOneRun) {
    const std::string error = Error(std::string(kHead) +
                                    "[[tag]]\nkind = \"AI\"\nname = \"A\"\nvaleu = 1\n"
                                    "[[event]]\nstpe = 2\naction = \"stop\"\n"
                                    "[[fail]]\nop = \"ReadAI\"\ntimes = 2\nstatuss = 3\n");
    const std::vector<std::string> expected = {
        "case.toml:5:1: tag 0: unknown key \"valeu\"; did you mean \"value\"?",
        "case.toml:7:1: event 0: unknown key \"stpe\"; did you mean \"step\"?",
        "case.toml:12:1: fail 0: unknown key \"statuss\"; did you mean \"status\"?",
    };
    ExpectInOrder(error, expected);
}

TEST_F(CaseFileTest, ReadsEverySection) {
    const host::Case c = Parse(std::string(kHead) +
                               "steps = 7\n"
                               "[[tag]]\nkind = \"DI\"\ndata_set = 2\nname = \"LINK.ENABLED\"\nvalue = 1\n"
                               "[general]\n\"Data Set\" = 2\n\"Enabled Flag\" = \"LINK.ENABLED\"\n"
                               "[[controller]]\nname = \"FIC\"\n\"OP Tag\" = \"FIC-101.OP\"\nOPEnabled = 0\n"
                               "Mode = 2\nSP = 50\nOP = 0.25\n"
                               "[[pv_export]]\n\"PV Tag\" = \"FIC-101.PV\"\nfollows = 0\ngain = 2\n"
                               "time_constant = 3\ninitial = 4\n"
                               "[[pv_import]]\n\"PV Tag\" = \"X\"\nMapping = \"Controller Mode\"\nActive = false\n");
    EXPECT_EQ(c.initStringPath, (dir_ / "plant.mrx").lexically_normal().string());
    EXPECT_EQ(c.steps, 7);
    ASSERT_EQ(c.tags.size(), 1u);
    EXPECT_EQ(c.tags[0].kind, host::TagKind::DI);
    EXPECT_EQ(c.tags[0].dataSet, 2);
    EXPECT_EQ(c.tags[0].name, "LINK.ENABLED");
    ASSERT_EQ(c.general.size(), 2u);
    EXPECT_EQ(c.general[0].label, "Data Set");
    EXPECT_FALSE(c.general[0].isText);
    EXPECT_EQ(c.general[0].integer, 2);
    EXPECT_EQ(c.general[0].line, 9);
    EXPECT_TRUE(c.general[1].isText);
    ASSERT_EQ(c.controllers.size(), 1u);
    const host::ControllerCase& ctrl = c.controllers[0];
    EXPECT_EQ(ctrl.name, "FIC");
    ASSERT_EQ(ctrl.fields.size(), 1u) << "host keys are not taken for driver fields";
    EXPECT_EQ(ctrl.fields[0].label, "OP Tag");
    EXPECT_EQ(ctrl.opEnabled, 0);
    EXPECT_EQ(ctrl.mode, 2.0);
    EXPECT_EQ(ctrl.sp, 50.0);
    EXPECT_EQ(ctrl.op, 0.25);
    ASSERT_EQ(c.pvExports.size(), 1u);
    EXPECT_TRUE(c.pvExports[0].response.follows);
    EXPECT_EQ(c.pvExports[0].response.timeConstant, 3.0);
    EXPECT_EQ(c.pvExports[0].name, "pvx0");
    ASSERT_EQ(c.pvImports.size(), 1u);
    EXPECT_EQ(c.pvImports[0].active, 0);
    ASSERT_EQ(c.pvImports[0].fields.size(), 2u);
    for (const host::FieldValue& field : c.pvImports[0].fields) {
        EXPECT_EQ(field.text, field.label == "Mapping" ? "Controller Mode" : "X");
    }
}

TEST_F(CaseFileTest, FaultsNameFileAndLine) {
    struct Fault {
        std::string body;
        const char* expected;
    } const faults[] = {
        {"colour = 3\n", "case.toml:2:1: unknown key \"colour\""},
        {"steps = \"ten\"\n", "case.toml:2:9: expected an integer for steps, not a text"},
        {"steps = -1\n", "case.toml:2:9: steps must be between 0 and 10000000, not -1"},
        {"[[tag]]\nkind = \"AI\"\nname = \"A\"\nvalue = \"high\"\n",
         "case.toml:5:9: tag 0: expected a number for value, not a text"},
        {"[[tag]]\nkind = \"DCD\"\nname = \"A\"\nvalue = 1\n", "case.toml:3:8: tag 0: kind must be one of"},
        {"[[tag]]\nkind = \"DI\"\nname = \"A\"\nvalue = 0.5\n",
         "case.toml:5:9: tag 0: a DI tag holds a whole number; expected one for value, not 0.5"},
        {"[[tag]]\nkind = \"DI\"\nname = \"A\"\nvalue = 99999999999\n",
         "case.toml:5:9: tag 0: a DI tag holds a 32-bit integer, from -2147483648 to 2147483647; 99999999999 is out of "
         "that range"},
        {"[[tag]]\nkind = \"AI\"\nvalue = 1\n",
         "case.toml:2:1: tag 0: a tag needs kind, name and value; name (the tag's name) is missing"},
        {"[[tag]]\nkind = \"AI\"\nname = \"A\"\nvalue = 1\ncolour = 2\n",
         "case.toml:6:1: tag 0: unknown key \"colour\""},
        {"[[controller]]\nSP = true\n", "case.toml:3:6: controller 0: expected a number for SP, not a boolean"},
        {"[[controller]]\nSp = 18.0\n",
         "case.toml:3:1: controller 0: unknown key \"Sp\"; did you mean SP? A controller takes the host keys name, "
         "OPEnabled, Mode, SP, OP"},
        {"[[controller]]\n[[pv_export]]\nfolows = 0\ngain = 2\n",
         "case.toml:4:1: pv_export 0: unknown key \"folows\"; did you mean follows?"},
        {"[[controller]]\n\"SP Tag\" = \"" + std::string(64, 'X') + "\"\n",
         "case.toml:3:12: controller 0: \"SP Tag\" is 64 characters long; the driver's text cells hold 63 bytes at "
         "most"},
        {"[[controller]]\nname = \"" + Repeated("\xC3\xA9", 64) + "\"\n",
         "case.toml:3:8: controller 0: name is 64 characters"},
        {"[[controller]]\n[[pv_export]]\nfollows = 0\nvalue = 3\n",
         "case.toml:5:9: pv_export 0: expected either value"},
        {"[[pv_export]]\ngain = 3\n", "case.toml:3:8: pv_export 0: gain, time_constant and initial describe"},
        {"[[controller]]\n[[pv_export]]\nfollows = 0\ntime_constant = 0.5\n",
         "case.toml:5:17: pv_export 0: time_constant is counted in steps and must be at least 1"},
        {"[[pv_export]]\nfollows = 1\n", "case.toml:3:11: pv_export 0: follows 1 names no controller (the case has 0)"},
        {"[[pv_import]]\nActive = 2.0\n",
         "case.toml:3:10: pv_import 0: expected 0, 1, true or false for Active, not a floating-point number"},
        {"[[event]]\nstep = 0\naction = \"start\"\n", "case.toml:3:8: event 0: step must be between 1"},
        {"[[event]]\nstep = 2\naction = \"pause\"\n", "case.toml:4:10: event 0: action must be start, stop"},
        {"[[event]]\naction = \"stop\"\n", "case.toml:2:1: event 0: expected a key step"},
        {"[[event]]\nstep = 2\naction = \"stop\"\nname = \"X\"\n",
         "case.toml:5:1: event 0: a tag is set only by set_tag"},
        {"[[event]]\nstep = 2\naction = \"set_tag\"\nkind = \"AI\"\nname = \"X\"\n",
         "case.toml:2:1: event 0: a set_tag event needs kind, name and value; value is missing"},
        {"[[event]]\nstep = 2\naction = \"set_tag\"\nkind = \"AI\"\nvalue = 1\n",
         "case.toml:2:1: event 0: a set_tag event needs kind, name and value; name (the tag's name) is missing"},
        {"general = 3\n", "case.toml:2:1: expected a table for general"},
        {"controller = 3\n", "case.toml:2:1: expected [[controller]] sections"},
        {"[[controller]]\nSP = 1\nSP = 2\n",
         "case.toml:4:6: value (\"SP\") already exists: value defined twice (line 3"},
        {"steps = 1e999\n", "case.toml:2:9: expected an integer for steps, not a floating-point number"},
        {"[[pv_export]]\nvalue = 1e999\n", "case.toml:3:9: pv_export 0: expected a finite number for value"},
        // Characters outside ASCII where TOML takes none: refused by the
        // TOML reader itself, at their line and column.
        {"\xC7\xA7\n", "case.toml:2:1: "},
        {"# caf\xC3\xA9 \"\n[general]\n\xE3\x80\x81 = 1\n", "case.toml:4:1: "},
        {"[[controller]]\nname = \"\"\"a\n\"\"\" \xEF\xB9\x90\n", "case.toml:4:5: "},
        {"[\xE1\x9A\x81]\n", "case.toml:2:1: an invalid key appeared"},  // U+1681
        {"[a\xE2\x80\x90"
         "b]\n",
         "case.toml:2:1: an invalid key appeared"},  // U+2010 in a table name
        {"a\xE2\x80\x90"
         "b = 1\n",
         "case.toml:2:2: invalid format for key"},  // and in a key
        // Not UTF-8: the former library's reader of texts read out of bounds.
        {"[[controller]]\nname = '\xFF'\n", "case.toml:3:9: expected UTF-8 text; the byte 0xFF here"},
        {"# \xC3\n", "case.toml:2:3: expected UTF-8 text; the byte 0xC3"},
        {"a = \"\xED\xA0\x80\"\n", "case.toml:2:6: expected UTF-8 text; the byte 0xED"},  // a surrogate
        // Nesting: the library's time grows faster than its square.
        {"a = " + std::string(100, '[') + std::string(100, ']') + "\n", "case.toml:2:1: unknown key \"a\""},
        {"a = " + Repeated("{b=", 99) + "'}}}'" + std::string(99, '}') + "\n#[\n", "case.toml:2:1: unknown key"},
        {"a = " + std::string(101, '[') + std::string(101, ']') + "\n",
         "case.toml:1: the case file nests arrays and inline tables 101 deep; dcs-host reads 100 levels at most"},
        {"a = [" + Repeated("\"\\\"]\", [", 100) + "]\n",
         "case.toml:1: the case file nests arrays and inline tables 101"},
    };
    for (const Fault& fault : faults) {
        const std::string message = Error(std::string(kHead) + fault.body);
        EXPECT_EQ(message.rfind(fault.expected, 0), 0u) << "case body:\n"
                                                        << fault.body.substr(0, 200) << "gave: " << message;
    }
}

// The same characters inside texts and comments are the user's business.
TEST_F(CaseFileTest, NonAsciiInTextsAndCommentsIsRead) {
    const host::Case c =
        Parse(std::string(kHead) + "# r\xC3\xA9glage \xC7\xA7\n[[controller]]\nname = \"\xC7\xA7 'x'\"\n" +
              "\"SP Tag\" = '\xE3\x80\x81'\n\"SP\xE2\x80\x90Init\" = 'x'\n");
    ASSERT_EQ(c.controllers.size(), 1u);
    EXPECT_EQ(c.controllers[0].name, "\xC7\xA7 'x'");
    ASSERT_EQ(c.controllers[0].fields.size(), 2u);
    EXPECT_EQ(c.controllers[0].fields[1].label, "SP\xE2\x80\x90Init") << "a quoted key may hold U+2010";
}

// The input that drove the former TOML library into undefined behaviour
// (its fuzzer's find, kept in fuzz/case_file_corpus too).
TEST_F(CaseFileTest, FormerReadersFaultIsAPlainRefusal) {
    const std::string input = "\"\"=8B8B')[\xC7\xB9''8B8B')[\"''')\xEF\xBB\xBF'')?\"'''";
    EXPECT_EQ(Error(input).rfind("case.toml:1:5: invalid line format", 0), 0u) << Error(input);
}

// Values a host may store but the driver reads otherwise than they look:
// taken, with a warning that says what the driver makes of them.
TEST_F(CaseFileTest, OddSwitchesAndModesAreTakenWithAWarning) {
    const host::Case c = Parse(std::string(kHead) +
                               "[[controller]]\nOPEnabled = -5\nMode = 1.5\n[[pv_export]]\nActive = 2\nvalue = 1\n"
                               "[[pv_import]]\nActive = true\n");
    EXPECT_EQ(c.controllers[0].opEnabled, -5);
    EXPECT_EQ(c.pvExports[0].active, 2);
    ASSERT_EQ(c.warnings.size(), 3u);
    EXPECT_EQ(c.warnings[0].text.rfind(
                  "case.toml:3:13: warning: controller 0: OPEnabled = -5 is taken, but the driver counts "
                  "only exactly 1 as set",
                  0),
              0u);
    EXPECT_EQ(c.warnings[1].text.rfind(
                  "case.toml:4:8: warning: controller 0: Mode = 1.5 is taken, but the driver truncates a "
                  "mode toward zero: it captures 1",
                  0),
              0u);
    EXPECT_EQ(c.warnings[2].text.rfind("case.toml:6:10: warning: pv_export 0: Active = 2 is taken", 0), 0u);
}

TEST_F(CaseFileTest, InitStringMustNameAReadableFile) {
    EXPECT_EQ(Error("steps = 3\n").rfind("case.toml:1: expected init_string", 0), 0u);
    EXPECT_EQ(Error("\ninit_string = \"missing.mrx\"\n").rfind("case.toml:2: cannot read the initialization string", 0),
              0u);
    EXPECT_EQ(Error("init_string = \"\"\n").rfind("case.toml:1:1: expected the path", 0), 0u);
}

TEST_F(CaseFileTest, MissingCaseFileIsReported) {
    try {
        host::ParseCaseFile((dir_ / "none.toml").string());
        FAIL() << "accepted a missing file";
    } catch (const host::CaseError& e) {
        EXPECT_NE(std::string(e.what()).find("none.toml\": No such file or directory"), std::string::npos);
    }
}

TEST_F(CaseFileTest, ReadsFromDiskRelativeToTheCaseFile) {
    std::ofstream(dir_ / "case.toml") << kHead;
    const host::Case c = host::ParseCaseFile((dir_ / "case.toml").string());
    EXPECT_EQ(c.initStringPath, (dir_ / "plant.mrx").lexically_normal().string());
}

TEST_F(CaseFileTest, EventsRunByStepInFileOrder) {
    const host::Case c = Parse(std::string(kHead) +
                               "[[event]]\nstep = 5\naction = \"stop\"\n"
                               "[[event]]\nstep = 2\naction = \"start\"\n"
                               "[[event]]\nstep = 5\naction = \"set_tag\"\nkind = \"DO\"\nname = \"A\"\nvalue = 3\n"
                               "[[event]]\nstep = 9\naction = \"time_zero\"\n");
    EXPECT_TRUE(host::EventsAt(c, 1).empty());
    ASSERT_EQ(host::EventsAt(c, 2).size(), 1u);
    EXPECT_EQ(host::EventsAt(c, 2)[0]->action, host::Action::Start);
    const auto five = host::EventsAt(c, 5);
    ASSERT_EQ(five.size(), 2u);
    EXPECT_EQ(five[0]->action, host::Action::Stop);
    EXPECT_EQ(five[1]->action, host::Action::SetTag);
    EXPECT_EQ(five[1]->tag.kind, host::TagKind::DO);
    EXPECT_EQ(five[1]->tag.dataSet, 1) << "data set 1 unless given";
    EXPECT_EQ(five[1]->tag.value, 3.0);
    ASSERT_EQ(host::EventsAfter(c, 8).size(), 1u);
    EXPECT_EQ(host::EventsAfter(c, 8)[0]->step, 9);
    EXPECT_TRUE(host::EventsAfter(c, 9).empty());
}

TEST(ResponseTest, ConstantOrFirstOrderLag) {
    host::Response constant;
    constant.constant = 12.0;
    EXPECT_EQ(host::NextValue(constant, 3.0, 0.9), 12.0);

    host::Response lag;
    lag.follows = true;
    lag.gain = 100.0;
    lag.timeConstant = 4.0;
    EXPECT_DOUBLE_EQ(host::NextValue(lag, 40.0, 0.5), 42.5);  // 40 + (50 - 40) / 4
    double pv = 0.0;
    for (int i = 0; i < 200; ++i) pv = host::NextValue(lag, pv, 0.5);
    EXPECT_NEAR(pv, 50.0, 1e-9) << "settles at gain * OP";
}

}  // namespace
