// Filling value cells by label: the cell a value lands in follows the
// driver's definitions, whatever order they come in, and a value no
// definition takes is refused with its line.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "link/fields.h"

namespace {

const char* const kMapping[] = {"1:1", "Controller Mode", nullptr};

DCSDataDef Def(int32_t kind, const char* label, const char* const* options = nullptr) {
    DCSDataDef def{};
    def.Kind = kind;
    def.Label = const_cast<char*>(label);  // the definitions never write through it
    def.Options = options;
    return def;
}

host::FieldValue Int(const char* label, int64_t value, int line = 1) {
    host::FieldValue v;
    v.label = label;
    v.integer = value;
    v.line = line;
    return v;
}

host::FieldValue Text(const char* label, const char* text, int line = 1) {
    host::FieldValue v;
    v.label = label;
    v.isText = true;
    v.text = text;
    v.line = line;
    return v;
}

std::vector<DCSValue> Cells(size_t n) {
    std::vector<DCSValue> cells(n);
    for (DCSValue& cell : cells) std::memset(cell.Bytes, 0xAB, sizeof cell.Bytes);
    return cells;
}

std::string FillError(const host::DefTable& table, const std::vector<host::FieldValue>& values) {
    std::vector<DCSValue> cells = Cells(static_cast<size_t>(table.count));
    caseblock::TextStore texts;
    try {
        host::FillCells(table, values, cells.data(), texts, "case.toml", "pv_import 1", "name, Active");
    } catch (const host::CaseError& e) {
        return e.what();
    }
    return "(accepted)";
}

class FillTest : public ::testing::Test {
protected:
    // The PV-import fields, declared in an order unlike the usual one.
    std::vector<DCSDataDef> defs_{Def(FIELD_KIND_OPTION, "Mapping", kMapping), Def(FIELD_KIND_TEXT, "PV Tag"),
                                  Def(FIELD_KIND_INTEGER, "Data Set")};
    host::DefTable table_{defs_.data(), 3, "PV import rows"};
};

TEST_F(FillTest, ValuesLandInTheCellOfTheirLabel) {
    std::vector<DCSValue> cells = Cells(3);
    caseblock::TextStore texts;
    host::FillCells(table_, {Int("Data Set", 7), Text("PV Tag", "TI-102.PV"), Text("Mapping", "Controller Mode")},
                    cells.data(), texts, "case.toml", "pv_import 0", "");
    EXPECT_EQ(host::CellInteger(cells[2]), 7);
    EXPECT_STREQ(host::CellTextPointer(cells[1]), "TI-102.PV");
    EXPECT_EQ(host::CellInteger(cells[0]), 1) << "option stored as its index";
    EXPECT_EQ(cells[2].Bytes[4], 0xAB) << "an integer store leaves bytes 4 to 7 alone";
}

TEST_F(FillTest, UntouchedCellsStayAsTheyWere) {
    std::vector<DCSValue> cells = Cells(3);
    caseblock::TextStore texts;
    host::FillCells(table_, {Int("Data Set", 2)}, cells.data(), texts, "case.toml", "pv_import 0", "");
    EXPECT_EQ(cells[0].Bytes[0], 0xAB);
    EXPECT_EQ(cells[1].Bytes[0], 0xAB);
    EXPECT_EQ(texts.Count(), 0u);
}

TEST_F(FillTest, OptionByIndex) {
    std::vector<DCSValue> cells = Cells(3);
    caseblock::TextStore texts;
    host::FillCells(table_, {Int("Mapping", 0)}, cells.data(), texts, "case.toml", "pv_import 0", "");
    EXPECT_EQ(host::CellInteger(cells[0]), 0);
}

TEST_F(FillTest, TextsOutliveTheCaseAndStayPut) {
    std::vector<DCSValue> cells = Cells(3);
    caseblock::TextStore texts;
    {
        std::vector<host::FieldValue> values{Text("PV Tag", "FIC-101.MODE")};
        host::FillCells(table_, values, cells.data(), texts, "case.toml", "pv_import 0", "");
    }
    const char* first = host::CellTextPointer(cells[1]);
    for (int i = 0; i < 100; ++i) texts.Add("filler " + std::to_string(i));
    EXPECT_EQ(host::CellTextPointer(cells[1]), first);
    EXPECT_STREQ(first, "FIC-101.MODE");
}

TEST_F(FillTest, RefusedValuesNameFieldOwnerAndLine) {
    EXPECT_EQ(FillError(table_, {Int("Data Set", 1, 3), Text("PV Tagg", "X", 9)}),
              "case.toml:9: pv_import 1: no field \"PV Tagg\" is declared for PV import rows; the driver declares "
              "\"Mapping\", \"PV Tag\", \"Data Set\", and the host takes name, Active; did you mean \"PV Tag\"?");
    EXPECT_EQ(FillError(table_, {Text("Data Set", "one", 4)}),
              "case.toml:4: pv_import 1: field \"Data Set\" holds an integer; expected an integer, not a text");
    EXPECT_EQ(FillError(table_, {Int("PV Tag", 5, 5)}),
              "case.toml:5: pv_import 1: field \"PV Tag\" holds a text; expected a text, not an integer");
    EXPECT_EQ(FillError(table_, {Text("Mapping", "controller mode", 6)}),
              "case.toml:6: pv_import 1: field \"Mapping\" takes one of \"1:1\", \"Controller Mode\", not "
              "\"controller mode\"");
    EXPECT_EQ(FillError(table_, {Int("Mapping", 2, 7)}).rfind("case.toml:7: pv_import 1: field \"Mapping\" takes", 0),
              0u);
    EXPECT_EQ(FillError(table_, {Int("Mapping", -1, 7)}).rfind("case.toml:7:", 0), 0u);
    // A value of another type: a wrong value for a declared label, an
    // unknown key (with the keys that exist) for any other.
    host::FieldValue real = Int("Data Set", 0, 8);
    real.otherType = "a floating-point number";
    EXPECT_EQ(FillError(table_, {real}),
              "case.toml:8: pv_import 1: expected an integer or a text for field \"Data Set\", not a floating-point "
              "number");
    real.label = "Sp";
    EXPECT_EQ(FillError(table_, {real})
                  .rfind("case.toml:8: pv_import 1: no field \"Sp\" is declared for PV import "
                         "rows; the driver declares \"Mapping\"",
                         0),
              0u);
}

TEST_F(FillTest, EveryUnknownLabelNamedAtOnce) {
    std::vector<DCSValue> cells = Cells(3);
    caseblock::TextStore texts;
    std::vector<std::string> unknown;
    host::FillCells(table_, {Text("PV tag", "X", 3), Int("Data Set", 1, 4), Text("Maping", "1:1", 5)}, cells.data(),
                    texts, "case.toml", "pv_import 0", "name, Active", &unknown);
    ASSERT_EQ(unknown.size(), 2u);
    EXPECT_EQ(unknown[0].rfind("case.toml:3: pv_import 0: no field \"PV tag\"", 0), 0u) << unknown[0];
    EXPECT_NE(unknown[0].find("did you mean \"PV Tag\"?"), std::string::npos) << unknown[0];
    EXPECT_NE(unknown[1].find("did you mean \"Mapping\"?"), std::string::npos) << unknown[1];
    EXPECT_EQ(host::CellInteger(cells[2]), 1) << "the known labels are still filled";
}

TEST(FieldTableTest, LabelsAreMatchedExactly) {
    std::vector<DCSDataDef> defs{Def(FIELD_KIND_INTEGER, "Data Set"), Def(FIELD_KIND_TEXT, nullptr),
                                 Def(FIELD_KIND_TEXT, "SP Tag")};
    const host::DefTable table{defs.data(), 3, "controller rows"};
    EXPECT_EQ(host::FindField(table, "SP Tag"), 2);
    EXPECT_EQ(host::FindField(table, "sp tag"), -1);
    EXPECT_EQ(host::FindField(table, "SP Tag "), -1);
    EXPECT_EQ(host::FindField(table, ""), -1) << "a definition without label matches nothing";
    EXPECT_EQ(host::DeclaredLabels(table), "\"Data Set\", \"SP Tag\"");
    EXPECT_EQ(host::FindField(host::DefTable{nullptr, 0, "none"}, "Data Set"), -1);
}

TEST(FieldTableTest, OptionLabels) {
    EXPECT_EQ(host::OptionLabels(Def(FIELD_KIND_OPTION, "Mapping", kMapping)),
              (std::vector<std::string>{"1:1", "Controller Mode"}));
    EXPECT_TRUE(host::OptionLabels(Def(FIELD_KIND_OPTION, "Mapping")).empty());
}

}  // namespace
