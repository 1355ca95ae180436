// [[expect]] tables: refused where they stand when they cannot be held
// (rows and tags the case lacks, with the nearest names it has, IO lists'
// rows included).
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "case/case_file.h"

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
    };
    for (const auto& fault : faults) {
        EXPECT_NE(Error(fault.body).find(fault.message), std::string::npos)
            << fault.body << "\ngave: " << Error(fault.body);
    }
}

}  // namespace
