// A row reads alike from the case file and from an IO list: the same case,
// the same warnings and the same refusals, each message naming the file,
// line and column of the value in the file it came from.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "case/case_file.h"

namespace {

class CaseParityTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = std::filesystem::temp_directory_path() /
               ("case-parity-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(dir_);
        std::ofstream(dir_ / "plant.mrx") << "*AI*\nA,-,1,0,100\n";
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }

    // The case or its refusal, and the warnings, with every "FILE:" cut down
    // to the file's name.
    std::string Outcome(const std::string& text) {
        std::string out;
        try {
            const host::Case c = host::ParseCaseText(text, "case.toml", dir_.string());
            host::RefuseUnknownKeys(c);  // as filling the case into the driver's tables does
            for (const host::CaseWarning& w : c.warnings) out += Short(w.text) + "\n";
            out += Rows(c);
        } catch (const host::CaseError& e) {
            out += "refused: " + Short(e.what());
        }
        return out;
    }

    std::string Short(std::string text) const {
        const std::string dir = std::filesystem::path(dir_).lexically_normal().generic_string() + "/";
        for (size_t at = text.find(dir); at != std::string::npos; at = text.find(dir)) text.erase(at, dir.size());
        return text;
    }

    static std::string Rows(const host::Case& c) {
        std::string out;
        for (const host::ControllerCase& r : c.controllers) {
            out += "controller " + r.name + " opEnabled=" + std::to_string(r.opEnabled.value_or(-99)) +
                   " mode=" + std::to_string(r.mode.value_or(-99)) + " sp=" + std::to_string(r.sp.value_or(-99)) +
                   Fields(r.fields) + "\n";
        }
        for (const host::PVExportCase& r : c.pvExports) {
            out += "pv_export " + r.name + " active=" + std::to_string(r.active) +
                   " follows=" + std::to_string(r.response.follows) + "/" + std::to_string(r.response.controller) +
                   " tc=" + std::to_string(r.response.timeConstant) + Fields(r.fields) + "\n";
        }
        for (const host::PVImportCase& r : c.pvImports) {
            out += "pv_import " + r.name + " active=" + std::to_string(r.active) + Fields(r.fields) + "\n";
        }
        return out;
    }

    static std::string Fields(const std::vector<host::FieldValue>& fields) {
        std::string out;
        for (const host::FieldValue& f : fields) {
            out += " [" + f.label + "=" + (f.isText ? f.text : std::to_string(f.integer)) + " at " +
                   std::to_string(f.line) + ":" + std::to_string(f.column) + "]";
        }
        return out;
    }

    std::filesystem::path dir_;
};

const char kHead[] = "init_string = \"plant.mrx\"\n";

// Each row once as TOML and once as a CSV IO list; the expected outcome
// names TOML's place and CSV's place as @T and @C.
TEST_F(CaseParityTest, SameRowsSameCaseSameMessages) {
    const struct {
        const char* what;
        const char* table;  // [[controller]] etc.
        const char* list;   // controllers etc.
        std::string toml;   // the row's keys, one a line, after the section header
        std::string header, cells;
        std::string expected;  // @T / @C: "case.toml:L:C" / "list.csv:L:C" of the value in question
        int tomlLine, tomlColumn, csvColumn;
    } rows[] = {
        {"a plain row", "controller", "controllers", "name = \"FIC\"\n\"SP Tag\" = \"A\"\nSP = 4.5\n", "name,SP Tag,SP",
         "FIC,A,4.5", "controller FIC opEnabled=-99 mode=-99.000000 sp=4.500000 [SP Tag=A at @P]\n", 4, 12, 5},
        {"Mode 2.9 warns", "controller", "controllers", "Mode = 2.9\n", "Mode", "2.9",
         "@W: warning: controller 0: Mode = 2.9 is taken, but the driver truncates a mode toward zero: it captures 2 "
         "and writes that to the Mode tag\ncontroller ctrl0 opEnabled=-99 mode=2.900000 sp=-99.000000\n",
         3, 8, 1},
        {"OPEnabled 2 warns", "controller", "controllers", "OPEnabled = 2\n", "OPEnabled", "2",
         "@W: warning: controller 0: OPEnabled = 2 is taken, but the driver counts only exactly 1 as set: it treats "
         "this as 0 (off)\ncontroller ctrl0 opEnabled=2 mode=-99.000000 sp=-99.000000\n",
         3, 13, 1},
        {"Active 2 warns", "pv_import", "pv_imports", "Active = 2\n", "Active", "2",
         "@W: warning: pv_import 0: Active = 2 is taken, but the driver counts only exactly 1 as set: it treats this "
         "as 0 (off)\npv_import pvi0 active=2\n",
         3, 10, 1},
        {"a near-miss key is refused", "controller", "controllers", "Sp = 18.0\n", "Sp", "18.0",
         "refused: @K: controller 0: unknown key \"Sp\"; did you mean SP? A controller takes the host keys name, "
         "OPEnabled, Mode, SP, OP, and the fields the driver declares by their quoted labels",
         3, 1, 1},
        {"an odd switch is refused", "pv_export", "pv_exports", "Active = 40000\n", "Active", "40000",
         "refused: @W: pv_export 0: Active must be between -32768 and 32767, not 40000", 3, 10, 1},
        {"time_constant below 1", "pv_export", "pv_exports", "follows = 0\ntime_constant = 0.5\n",
         "follows,time_constant", "0,0.5",
         "refused: @V: pv_export 0: time_constant is counted in steps and must be at least 1", 4, 17, 3},
        {"follows names no controller", "pv_export", "pv_exports", "follows = 3\n", "follows", "3",
         "refused: @W: pv_export 0: follows 3 names no controller (the case has 0)", 3, 11, 1},
        {"value and follows exclude each other", "pv_export", "pv_exports", "value = 2\nfollows = 0\n", "value,follows",
         "2,0",
         "refused: @W: pv_export 0: expected either value (a constant) or follows (a response to a controller's "
         "OP), not both",
         3, 9, 1},
        {"a text too long", "pv_import", "pv_imports", "\"PV Tag\" = \"" + std::string(64, 'x') + "\"\n", "PV Tag",
         std::string(64, 'x'),
         "refused: @W: pv_import 0: \"PV Tag\" is 64 characters long; the driver's text cells hold 63 bytes at most, "
         "one per character in the simulator's code page",
         3, 12, 1},
    };
    for (const auto& row : rows) {
        // The TOML file, and one whose rows stand in the IO list.
        const std::string toml = std::string(kHead) + "[[" + row.table + "]]\n" + row.toml;
        std::ofstream(dir_ / "list.csv", std::ios::binary) << row.header << "\n" << row.cells << "\n";
        const std::string csv = std::string(kHead) + row.list + " = \"list.csv\"\n";

        const auto expect = [&](const std::string& file, int line, int column) {
            std::string e = row.expected;
            const std::string place = file + ":" + std::to_string(line) + ":" + std::to_string(column);
            // A near-miss key is named where the key stands: TOML's key, CSV's header.
            const std::string key = file == "list.csv" ? "list.csv:1:1" : place;
            for (const char* mark : {"@W", "@V"}) {
                for (size_t at = e.find(mark); at != std::string::npos; at = e.find(mark)) e.replace(at, 2, place);
            }
            for (size_t at = e.find("@K"); at != std::string::npos; at = e.find("@K")) e.replace(at, 2, key);
            const std::string field = std::to_string(line) + ":" + std::to_string(column);
            for (size_t at = e.find("@P"); at != std::string::npos; at = e.find("@P")) e.replace(at, 2, field);
            return e;
        };
        EXPECT_EQ(Outcome(toml), expect("case.toml", row.tomlLine, row.tomlColumn)) << row.what << " (TOML)";
        EXPECT_EQ(Outcome(csv), expect("list.csv", 2, row.csvColumn)) << row.what << " (CSV)";
    }
}

// The places a row keeps for later use (a problems list, an export back to
// the IO list): the row's own and every host key's, in the file it came from.
TEST_F(CaseParityTest, RowsKeepWhereEveryValueCameFrom) {
    std::ofstream(dir_ / "list.csv", std::ios::binary) << "name;SP;Mode\nFIC;1,5;2\n";
    const host::Case c = host::ParseCaseText(
        std::string(kHead) + "controllers = \"list.csv\"\n[[controller]]\n" + "Mode = 3\nname = \"TIC\"\n", "case.toml",
        dir_.string());
    ASSERT_EQ(c.controllers.size(), 2u);
    const host::ControllerCase& toml = c.controllers[0];
    EXPECT_EQ(toml.at.file, "case.toml");
    EXPECT_EQ(toml.at.line, 3);
    ASSERT_EQ(toml.given.size(), 2u);
    EXPECT_EQ(toml.given[0].key, "Mode") << "in file order";
    EXPECT_EQ(toml.given[0].at.line, 4);
    EXPECT_EQ(toml.given[0].at.column, 8);
    const host::ControllerCase& csv = c.controllers[1];
    EXPECT_EQ(Short(csv.at.file), "list.csv");
    EXPECT_EQ(csv.at.line, 2);
    EXPECT_EQ(csv.sp, 1.5) << "a decimal comma beside semicolons";
    const host::SourcePos* mode = host::WhereGiven(csv.given, "Mode");
    ASSERT_NE(mode, nullptr);
    EXPECT_EQ(mode->line, 2);
    EXPECT_EQ(mode->column, 9);
}

}  // namespace
