// [[expect]] tables: refused where they stand when they cannot be held
// (rows and tags the case lacks, with the nearest names it has, IO lists'
// rows included), and each kind of expectation passing and failing at the
// moments of a run made by hand, with what the report says.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "case/case_file.h"
#include "diagnose/case_test.h"
#include "report/test_report.h"

namespace {

namespace fs = std::filesystem;

// A controller and a PV import of the case file, a controller of an IO list.
const char kCase[] =
    "init_string = \"plant.mrx\"\n"                                            // 1
    "controllers = \"controllers.csv\"\n"                                      // 2
    "[[tag]]\nkind = \"AI\"\nname = \"FIC-101.SP\"\nvalue = 50.0\n"            // 3-6
    "[general]\n\"Enabled Flag\" = \"LINK.ENABLED\"\n"                         // 7-8
    "[[controller]]\nname = \"FIC-101\"\n\"OP Tag\" = \"FIC-101.OP\"\n"        // 9-11
    "[[pv_import]]\nname = \"FIC-101 mode\"\n\"PV Tag\" = \"FIC-101.MODE\"\n"  // 12-14
    "[[expect]]\n";                                                            // 15

class ExpectTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("dcs-expect-test-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir_);
        std::ofstream(dir_ / "plant.mrx") << "*AI*\nFIC-101.SP,-,1,0,100\n";
        std::ofstream(dir_ / "controllers.csv") << "name,OP Tag\nTIC-202,TIC-202.OP\n";
    }
    void TearDown() override { fs::remove_all(dir_); }

    // The case with `expect` as the body of its one [[expect]] table.
    host::Case Parse(const std::string& expect) {
        return host::ParseCaseText(kCase + expect, "case.toml", dir_.string());
    }
    std::string Error(const std::string& expect) {
        try {
            host::RefuseUnknownKeys(Parse(expect));
        } catch (const host::CaseError& e) {
            return e.what();
        }
        return "(accepted)";
    }

    fs::path dir_;
};

TEST_F(ExpectTest, RefusedWhereTheyStand) {
    const struct {
        const char* body;
        const char* message;
    } faults[] = {
        {"step = 1\ncontroller = \"FIC-10\"\nfield = \"OP\"\nvalue = 1\n",
         "case.toml:17:14: expect 0: the case has no controller named \"FIC-10\"; did you mean \"FIC-101\"?"},
        // A row of the IO list is a row of the case, and suggested like one.
        {"step = 1\ncontroller = \"TIC-220\"\nfield = \"SP\"\nvalue = 1\n",
         "controller named \"TIC-220\"; did you mean \"TIC-202\"?"},
        {"step = 1\ncontroller = 2\nfield = \"SP\"\nvalue = 1\n",
         "case.toml:17:14: expect 0: controller 2 is no row of the case (it has 2 controller row(s))"},
        {"step = 1\npv_import = \"FIC-101 mod\"\nvalue = 1\n", "did you mean \"FIC-101 mode\"?"},
        {"when = \"initialize\"\ntag = \"FIC-101.SPX\"\nkind = \"AI\"\nvalue = 1\n",
         "case.toml:17:7: expect 0: the case names no tag \"FIC-101.SPX\": no [[tag]], row or set_tag event gives or "
         "uses it; did you mean \"FIC-101.SP\""},
        {"vaule = 1\nstep = 1\nconfigured = true\n",
         "case.toml:16:1: expect 0: unknown key \"vaule\"; did you mean \"value\"?"},
        {"configured = true\n", "case.toml:15:1: expect 0: expected when the value is looked at"},
        {"step = 2\nwhen = \"start\"\nconfigured = true\n",
         "case.toml:17:1: expect 0: expected one moment, not both step and when"},
        {"when = \"begin\"\nconfigured = true\n", "when must be one of configure, initialize, start, stop, time_zero"},
        {"every_step = false\nconfigured = true\n", "every_step = false looks at no step"},
        {"step = 1\n", "expected what is looked at"},
        {"step = 1\ncontroller = 0\nvalue = 1\n", "case.toml:17:1: expect 0: a controller's value needs field"},
        {"step = 1\ntag = \"FIC-101.SP\"\nvalue = 1\n", "a tag's value needs its kind"},
        {"step = 1\nflag = \"Enabled\"\nvalue = 1\nmin = 0\n", "case.toml:19:1: expect 0: min does not go with value"},
        {"step = 1\nflag = \"Enabled\"\nmax = 1\ntolerance = 1\n", "tolerance needs a value to be a tolerance of"},
        {"step = 1\nflag = \"Enabled\"\nvalue = 1\nrel_tolerance = -0.1\n", "rel_tolerance must be 0 or more"},
        {"step = 1\nflag = \"Enabled\"\nmin = 2\nmax = 1\n", "max 1 is below min 2"},
        {"step = 1\nflag = \"Enabled\"\n", "expected value = X"},
        {"when = \"configure\"\nconfigured = true\nvalue = 1\n", "value does not go with configured"},
        {"step = 1\nboxes = 1\nkind = \"AI\"\n", "kind belongs to a tag = NAME expectation"},
        // A reference run is held at every step, as curves, within its tube.
        {"step = 2\nreference = \"run.csv\"\n", "step does not go with reference"},
        {"reference = \"run.csv\"\nvalue = 1\n", "value does not go with reference"},
        {"reference = \"run.csv\"\nflag = \"Enabled\"\n", "expected one subject, not both reference and flag"},
        {"reference = \"run.csv\"\ntime_tolerance = -1\n", "time_tolerance"},
        {"reference = \"\"\n", "expected the path of a CSV written by run --csv"},
        {"step = 1\nflag = \"Enabled\"\nvalue = 1\ntime_tolerance = 1\n",
         "time_tolerance belongs to a reference = \"RUN.csv\" expectation"},
    };
    for (const auto& fault : faults) {
        EXPECT_NE(Error(fault.body).find(fault.message), std::string::npos)
            << fault.body << "\ngave: " << Error(fault.body);
    }
}

// A moment of a run: after step 3, with two controllers, one PV import,
// the Enabled flag at 1 and two boxes.
host::LinkMoment StepThree() {
    host::LinkMoment m;
    m.step = 3;
    m.configured = true;
    m.controllers = {{50.0, 0.5, 2.0}, {180.0, 0.6, 1.0}};
    m.pvImports = {3.0};
    m.enabled = 1;
    m.boxes = {{"box", "MARLIXNT", "Incorrect data set or unknown SP tag for controller at index 0", "step 3"},
               {"box", "KVMRXNT Error", "Error reading AI tag for SP tag X of controller at index 1", "step 3"}};
    m.tagValue = [](const host::TagValue& tag) -> std::optional<double> {
        if (tag.name == "FIC-101.SP") return 50.0;
        return std::nullopt;
    };
    return m;
}

TEST_F(ExpectTest, EachKindPassesAndFailsWithWhatItSaw) {
    const struct {
        const char* body;
        bool passed;
        const char* line;  // the report's line from "passed: " or "FAILED: "
    } cases[] = {
        {"step = 3\ntag = \"FIC-101.SP\"\nkind = \"AI\"\nvalue = 50\n", true,
         "passed: AI tag \"FIC-101.SP\" at step 3: 50"},
        {"step = 3\ntag = \"FIC-101.SP\"\nkind = \"AI\"\nvalue = 49\n", false,
         "FAILED: AI tag \"FIC-101.SP\" at step 3: expected 49, actual 50 (off by 1)"},
        {"step = 3\ntag = \"FIC-101.OP\"\nkind = \"AO\"\nvalue = 49\n", false,
         "expected 49, actual none: the server holds no value for the tag"},
        {"step = 3\ncontroller = \"FIC-101\"\nfield = \"OP\"\nvalue = 0.5\n", true,
         "passed: controller FIC-101 OP at step 3: 0.5"},
        {"step = 3\ncontroller = \"TIC-202\"\nfield = \"SP\"\nvalue = 170\nname = \"hot\"\n", false,
         "FAILED: \"hot\" (controller TIC-202 SP at step 3): expected 170, actual 180 (off by 10)"},
        {"step = 3\ncontroller = 0\nfield = \"Mode\"\nmin = 1\nmax = 2\n", true, "passed: controller 0 Mode"},
        {"step = 3\npv_import = \"FIC-101 mode\"\nmin = 4\n", false, "expected at least 4, actual 3"},
        {"step = 3\nconfigured = false\n", false, "FAILED: configured at step 3: expected no, actual yes"},
        // A name that would drive the terminal is shown by its numbers.
        {"step = 3\nconfigured = true\nname = \"\\u001b[2J\"\n", true,
         "passed: \"\\x1B[2J\" (configured at step 3): yes"},
        {"step = 3\nflag = \"Enabled\"\nvalue = 1\n", true, "passed: the Enabled flag at step 3: 1"},
        {"step = 3\nflag = \"Running\"\nvalue = 0\n", false,
         "actual none: the general data names no Running Flag tag, or the server holds no value for it"},
        {"step = 3\nboxes = 2\n", true, "passed: boxes at step 3: 2 boxes"},
        {"step = 3\nboxes = 0\n", false, "FAILED: boxes at step 3: expected 0, actual 2 boxes"},
        {"step = 3\nbox_title = \"MARLIXNT\"\nbox_text = \"*unknown SP tag*index 0\"\n", true,
         "passed: boxes titled \"MARLIXNT\" saying \"*unknown SP tag*index 0\" at step 3: 1 box"},
        {"step = 3\nbox_title = \"MARLIXNT\"\nbox_text = \"*OP tag*\"\n", false, "expected at least 1, actual 0 boxes"},
        // Tolerances at their edge: within is passed, a hair beyond is not.
        {"step = 3\ncontroller = 1\nfield = \"SP\"\nvalue = 179.5\ntolerance = 0.5\n", true, "passed"},
        {"step = 3\ncontroller = 1\nfield = \"SP\"\nvalue = 179.5\ntolerance = 0.4999\n", false,
         "expected 179.5 ± 0.4999, actual 180 (off by 0.5)"},
        {"step = 3\ncontroller = 1\nfield = \"SP\"\nvalue = 200\nrel_tolerance = 0.1\n", true, "passed"},
        {"step = 3\ncontroller = 1\nfield = \"SP\"\nvalue = 200\nrel_tolerance = 0.0999\n", false,
         "expected 200 ± 9.99%, actual 180 (off by 20)"},
        {"step = 3\ncontroller = 1\nfield = \"SP\"\nvalue = 200\nrel_tolerance = 0.01\ntolerance = 20\n", true,
         "passed"},
        {"step = 3\ncontroller = 1\nfield = \"SP\"\nmin = 180\nmax = 180\n", true, "passed"},
        // Never looked at: a step the run does not reach, an event it lacks.
        {"step = 9\nconfigured = true\n", false, "expected yes, actual not looked at: the run takes 5 step(s)"},
        {"when = \"stop\"\nconfigured = true\n", false, "not looked at: no stop event within the run's 5 step(s)"},
    };
    for (const auto& c : cases) {
        const host::Case parsed = Parse(c.body);
        host::ExpectationTally tally(parsed.expectations);
        tally.Look(StepThree());
        const std::vector<host::ExpectationResult> results = tally.Results(5, true);
        ASSERT_EQ(results.size(), 1u);
        EXPECT_EQ(results[0].passed, c.passed) << c.body;
        const std::string line = host::ExpectationLine("case.toml", results[0]);
        EXPECT_NE(line.find(c.line), std::string::npos) << c.body << "\ngave: " << line;
        EXPECT_EQ(line.rfind("case.toml:15: ", 0), 0u) << line;
    }
}

TEST_F(ExpectTest, EveryStepTellsItsFirstFailureAndHowManyMore) {
    const host::Case c = Parse("every_step = true\npv_import = 0\nvalue = 3\n");
    host::ExpectationTally tally(c.expectations);
    for (int32_t step = 1; step <= 5; ++step) {
        host::LinkMoment m = StepThree();
        m.step = step;
        m.pvImports = {step == 2 || step >= 4 ? 4.0 : 3.0};
        tally.Look(m);
    }
    host::LinkMoment start = StepThree();  // not a step: not its moment
    start.when = host::ExpectWhen::Start;
    start.pvImports = {9.0};
    tally.Look(start);
    const host::ExpectationResult r = tally.Results(5, true).at(0);
    EXPECT_FALSE(r.passed);
    EXPECT_EQ(r.looks, 5);
    EXPECT_EQ(r.failedLooks, 3);
    EXPECT_NE(host::ExpectationLine("case.toml", r).find("expected 3, actual 4 (off by 1), at step 2 (and 2 more)"),
              std::string::npos)
        << host::ExpectationLine("case.toml", r);
}

}  // namespace
