// CSV IO lists as spreadsheets write them, and every fault with its place.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "case/case_loader.h"
#include "case/case_schema.h"
#include "case/io_list_csv.h"
#include "text/code_page.h"

namespace {

// The cells of every record, joined with | for a compact expectation.
std::string Flatten(const host::CsvTable& table) {
    std::string out;
    for (const host::CsvCell& cell : table.header) out += cell.text + "|";
    for (const host::CsvRecord& record : table.records) {
        out += "\n";
        for (const host::CsvCell& cell : record.cells) out += cell.text + "|";
    }
    return out;
}

TEST(CsvReadTest, WhatSpreadsheetsWrite) {
    const struct {
        const char* what;
        std::string text;
        std::string cells;
        char separator;
    } cases[] = {
        {"plain", "name,SP Tag\nFIC-1,FIC-1.SP\n", "name|SP Tag|\nFIC-1|FIC-1.SP|", ','},
        {"byte-order mark and CRLF", "\xEF\xBB\xBFname,SP Tag\r\nFIC-1,FIC-1.SP\r\n", "name|SP Tag|\nFIC-1|FIC-1.SP|",
         ','},
        {"no line end at the end", "name\nA", "name|\nA|", ','},
        {"quoted separator, quote and line feed", "name,note\n\"A,B\",\"say \"\"hi\"\"\r\nthere\"\n",
         "name|note|\nA,B|say \"hi\"\nthere|", ','},
        {"semicolons, detected from the header", "name;SP Tag;OP\nA;A.SP;0,5\n", "name|SP Tag|OP|\nA|A.SP|0,5|", ';'},
        {"a comma inside a quoted header name does not count", "\"a,b\";c;d\n1;2;3\n", "a,b|c|d|\n1|2|3|", ';'},
        {"empty trailing columns and blank rows", "name,SP Tag,,\nA,A.SP,,\n,,,\n\nB,,,\n",
         "name|SP Tag|\nA|A.SP|\nB||", ','},
        {"short rows get empty cells", "a,b,c\n1\n", "a|b|c|\n1|||", ','},
        {"old Mac line ends", "a\r1\r2\r", "a|\n1|\n2|", ','},
        {"tabs, as a spreadsheet's copy gives", "name\tSP Tag\tnote\nA\tA.SP\t\"x,y;z\"\n",
         "name|SP Tag|note|\nA|A.SP|x,y;z|", '\t'},
        {"sep= declares the separator", "sep=;\r\nname;SP Tag,x\nA;A.SP,1\n", "name|SP Tag,x|\nA|A.SP,1|", ';'},
        {"sep= wins over the count", "sep=,\na;b;c,d\n1;2;3,4\n", "a;b;c|d|\n1;2;3|4|", ','},
        {"a column named sep=x is no declaration", "sep=x,b\n1,2\n", "sep=x|b|\n1|2|", ','},
    };
    for (const auto& c : cases) {
        const host::CsvTable table = host::ParseCsv(c.text, "io.csv");
        EXPECT_EQ(Flatten(table), c.cells) << c.what;
        EXPECT_EQ(table.separator, c.separator) << c.what;
    }
}

TEST(CsvReadTest, CellsKnowTheirLineAndColumn) {
    const host::CsvTable table = host::ParseCsv("\xEF\xBB\xBFname,\"multi\nline\",Ä,x\nA,B,C,D\n", "io.csv");
    ASSERT_EQ(table.records.size(), 1u);
    EXPECT_EQ(table.header[1].column, 6) << "the byte-order mark is not counted";
    EXPECT_EQ(table.header[2].line, 2) << "the line feed in quotes is";
    EXPECT_EQ(table.header[2].column, 7);
    EXPECT_EQ(table.header[3].column, 9) << "Ä is one character";
    EXPECT_EQ(table.records[0].line, 3);
    EXPECT_EQ(table.records[0].cells[3].column, 7);
}

std::string ErrorOf(const std::string& text) {
    try {
        host::ParseCsv(text, "io.csv");
    } catch (const host::CaseError& e) {
        return e.what();
    }
    return "(no error)";
}

TEST(CsvReadTest, FaultsNameLineAndColumn) {
    const struct {
        std::string text;
        std::string error;
    } cases[] = {
        {"", "io.csv:1:1: expected a header line naming the columns"},
        {"name,,SP Tag\n", "io.csv:1:6: expected a column name"},
        {"name,SP Tag,name\n", "io.csv:1:13: expected each column once; \"name\" is also column 1"},
        {"name\n\"open\n", "io.csv:2:1: expected a closing quote for the field opened here"},
        {"name,b\n\"A\"x,1\n", "io.csv:2:4: expected ',' or the end of the line after the closing quote"},
        {"name;b\nA\"B;1\n", "io.csv:2:2: expected no quote inside an unquoted field"},
        {"name,b\nA,1,extra\n", "io.csv:2:5: expected at most 2 fields, as the header names"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ErrorOf(c.text).rfind(c.error, 0), 0u) << ErrorOf(c.text);
    }
}

class IoListTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = std::filesystem::temp_directory_path() /
               ("io_list_test_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(dir_);
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }
    std::string Write(const std::string& name, const std::string& text) {
        const std::string path = (dir_ / name).string();
        std::ofstream(path, std::ios::binary) << text;
        return path;
    }
    std::string Append(host::Case& c, const std::string& key, const std::string& text) {
        try {
            host::AppendIoList(c, key, Write(key + ".csv", text), {c.file, 3, 0});
            host::ValidateCase(c);
        } catch (const host::CaseError& e) {
            return e.what();
        }
        return "";
    }
    std::filesystem::path dir_;
};

TEST_F(IoListTest, RowsTakeTheHostKeysAndTheDriverFields) {
    host::Case c;
    c.file = "case.toml";
    ASSERT_EQ(Append(c, "controllers", "name;Data Set;SP Tag;OPEnabled;SP;OP\r\nFIC-1;2;101;TRUE;48;0,45\r\n"), "");
    ASSERT_EQ(c.controllers.size(), 1u);
    const host::ControllerCase& row = c.controllers[0];
    EXPECT_EQ(row.name, "FIC-1");
    EXPECT_EQ(row.opEnabled, 1);
    EXPECT_EQ(row.sp, 48.0);
    EXPECT_EQ(row.op, 0.45) << "a decimal comma beside semicolons";
    ASSERT_EQ(row.fields.size(), 2u);
    EXPECT_TRUE(row.fields[0].alsoInteger && row.fields[0].integer == 2);
    EXPECT_EQ(row.fields[1].text, "101") << "a tag named by digits stays a text too";
    EXPECT_EQ(row.fields[1].line, 2);
    EXPECT_EQ(row.fields[1].column, 9);
    EXPECT_NE(row.fields[1].file.find("controllers.csv"), std::string::npos);

    ASSERT_EQ(Append(c, "pv_exports", "name,PV Tag,follows,gain,time_constant\nFI-1,FI-1.PV,0,100,4\n"), "");
    EXPECT_TRUE(c.pvExports[0].response.follows);
    EXPECT_EQ(c.pvExports[0].response.timeConstant, 4.0);
}

TEST_F(IoListTest, SpreadsheetExportsReadAsTheListsTheyAre) {
    // One list, four ways a spreadsheet writes it; each gives the same row.
    const std::string tabs = "name\tSP Tag\tSP\tOP\r\nK\u00fchl-1\tK\u00fchl.SP\t48\t0,45\r\n";
    std::string utf16le = "\xFF\xFE", utf16be = "\xFE\xFF";
    for (size_t i = 0; i < tabs.size();) {
        size_t length = 0;
        const char32_t ch = host::NextCharacter(tabs, i, &length);
        i += length;
        utf16le += static_cast<char>(ch & 0xFF);
        utf16le += static_cast<char>(ch >> 8);
        utf16be += static_cast<char>(ch >> 8);
        utf16be += static_cast<char>(ch & 0xFF);
    }
    const struct {
        const char* what;
        std::string text;
    } cases[] = {
        {"tabs", tabs},
        {"sep=;", "sep=;\nname;SP Tag;SP;OP\nK\u00fchl-1;K\u00fchl.SP;48;0,45\n"},
        {"UTF-16, little-endian", utf16le},
        {"UTF-16, big-endian", utf16be},
    };
    for (const auto& x : cases) {
        host::Case c;
        c.file = "case.toml";
        ASSERT_EQ(Append(c, "controllers", x.text), "") << x.what;
        ASSERT_EQ(c.controllers.size(), 1u) << x.what;
        EXPECT_EQ(c.controllers[0].name, "K\u00fchl-1") << x.what;
        EXPECT_EQ(c.controllers[0].sp, 48.0) << x.what;
        EXPECT_EQ(c.controllers[0].op, 0.45) << x.what;
        ASSERT_EQ(c.controllers[0].fields.size(), 1u) << x.what;
        EXPECT_EQ(c.controllers[0].fields[0].text, "K\u00fchl.SP") << x.what;
        EXPECT_EQ(c.controllers[0].fields[0].labelAt.line, x.what[0] == 's' ? 2 : 1) << x.what;
    }

    // Beside tabs a comma is a decimal mark only where it cannot group
    // thousands; beside semicolons it always is.
    const struct {
        std::string text;
        std::string error;  // "" when read; then OP is `op`
        double op;
    } numbers[] = {
        {"name\tOP\nA\t0,5\n", "", 0.5},
        {"name\tOP\nA\t12,25\n", "", 12.25},
        {"name\tOP\nA\t1,250\n", ":2:3: controller 0: expected a number for OP, not \"1,250\"", 0.0},
        {"name;OP\nA;1,250\n", "", 1.25},
        {"name,OP\nA,\"0,5\"\n", ":2:3: controller 0: expected a number for OP", 0.0},
    };
    for (const auto& x : numbers) {
        host::Case c;
        c.file = "case.toml";
        const std::string error = Append(c, "controllers", x.text);
        if (x.error.empty()) {
            ASSERT_EQ(error, "") << x.text;
            EXPECT_EQ(c.controllers[0].op, x.op) << x.text;
        } else {
            EXPECT_NE(error.find("controllers.csv" + x.error), std::string::npos) << error;
        }
    }

    host::Case c;
    c.file = "case.toml";
    EXPECT_NE(Append(c, "controllers", std::string("\xFF\xFEn\0a\0\n\0\0\xD8x\0", 12))
                  .find("line 2 holds a broken character"),
              std::string::npos)
        << "an unpaired surrogate is refused, not read as something else";
}

TEST_F(IoListTest, FaultsInRowsNameTheCell) {
    host::Case c;
    c.file = "case.toml";
    const struct {
        const char* key;
        std::string text;
        std::string error;  // after the file's path
    } cases[] = {
        {"controllers", "name,SP\nA,fifty\n", ":2:3: controller 0: expected a number for SP, not \"fifty\""},
        {"controllers", "name,OPEnabled\nA,yes\n", ":2:3: controller 0: expected 0, 1, true or false for OPEnabled"},
        {"pv_exports", "name,follows\nA,4\n", ":2:3: pv_export 0: follows 4 names no controller (the case has 0)"},
        {"pv_exports", "name,value,follows\nA,1,0\n", ":2:3: pv_export 0: expected either value"},
        {"pv_imports", "name,PV Tag\nA," + std::string(64, 'x') + "\n",
         ":2:3: pv_import 0: \"PV Tag\" is 64 characters long"},
    };
    for (const auto& x : cases) {
        c.pvExports.clear();
        const std::string error = Append(c, x.key, x.text);
        EXPECT_NE(error.find(std::string(x.key) + ".csv" + x.error), std::string::npos) << error;
    }
    try {
        host::AppendIoList(c, "controllers", (dir_ / "none.csv").string(), {c.file, 3, 0});
        ADD_FAILURE() << "a missing list was read";
    } catch (const host::CaseError& e) {
        EXPECT_EQ(std::string(e.what()).rfind("case.toml:3: controllers: cannot read the IO list", 0), 0u) << e.what();
    }
}

}  // namespace
