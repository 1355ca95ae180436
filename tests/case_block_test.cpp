// The case data block the tools hand the driver: the record must always
// point at the rows as they are now, each row at its own cells, and each
// text cell at a copy the block keeps.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "case_block.h"
#include "hostapi/value_cell.h"

namespace {

using caseblock::CaseBlock;

// The record's fields are packed: read by value, never bound to a reference.
template <typename T>
T Get(T value) {
    return value;
}

TEST(CaseBlock, RecordFollowsRowsAsTheyGrowAndCellsStayPut) {
    CaseBlock block;
    const DCSLinkData& d = block.Data();
    EXPECT_EQ(Get(d.CtrlCnt), 0);
    EXPECT_EQ(Get(d.CtrlData), nullptr);

    constexpr int32_t kRows = 300;  // enough for the row vectors to move several times
    const DCSValue* firstCells = nullptr;
    for (int32_t i = 0; i < kRows; ++i) {
        const std::string tag = "T" + std::to_string(i);
        caseblock::ControllerRow row;
        row.dataSet = i;
        row.op = tag.c_str();
        row.spValue = i * 0.5;
        block.AddController(row);
        block.AddPVExport(i, tag.c_str(), i * 2.0, static_cast<int16_t>(i % 2));
        block.AddPVImport(i, i % 3 == 0 ? nullptr : tag.c_str(), i % 2);
        if (i == 0) firstCells = d.CtrlData[0].Values;
    }

    ASSERT_EQ(Get(d.CtrlCnt), kRows);
    ASSERT_EQ(Get(d.PVCnt), kRows);
    ASSERT_EQ(Get(d.PVImportCnt), kRows);
    EXPECT_EQ(Get(d.CtrlData[0].Values), firstCells);
    for (int32_t i = 0; i < kRows; ++i) {
        const std::string tag = "T" + std::to_string(i);
        const DCSCtrlRow& ctrl = d.CtrlData[i];
        EXPECT_EQ(CellInt(&ctrl.Values[CTRL_COL_DATA_SET]), i);
        EXPECT_EQ(CellText(&ctrl.Values[CTRL_COL_SP]), nullptr);
        EXPECT_STREQ(CellText(&ctrl.Values[CTRL_COL_OP]), tag.c_str());
        EXPECT_NE(CellText(&ctrl.Values[CTRL_COL_OP]), tag.c_str());  // a copy
        EXPECT_EQ(Get(ctrl.OPEnabled), 1);
        EXPECT_EQ(Get(ctrl.Mode), 1.0);
        EXPECT_EQ(Get(ctrl.SP), i * 0.5);

        const DCSPVRow& pv = d.PVData[i];
        EXPECT_EQ(CellInt(&pv.Values[PV_COL_DATA_SET]), i);
        EXPECT_STREQ(CellText(&pv.Values[PV_COL_TAG]), tag.c_str());
        EXPECT_EQ(Get(pv.Value), i * 2.0);
        EXPECT_EQ(Get(pv.Active), i % 2);

        const DCSPVRow& imp = d.PVImportData[i];
        if (i % 3 == 0) {
            EXPECT_EQ(CellText(&imp.Values[PV_COL_TAG]), nullptr);
        } else {
            EXPECT_STREQ(CellText(&imp.Values[PV_COL_TAG]), tag.c_str());
        }
        EXPECT_EQ(CellInt(&imp.Values[PV_IMPORT_COL_MAPPING]), i % 2);
        EXPECT_EQ(Get(imp.Active), 1);
    }
}

TEST(CaseBlock, CellStoresKeepWhatTheyDoNotOwn) {
    CaseBlock block;
    DCSValue cells[3]{};
    DCSLinkData& d = block.Data();
    EXPECT_EQ(block.GeneralText(GEN_ENABLED_FLAG), "");  // not loaded: no general data

    // Every byte of a text is kept, NULs included, and nothing after it.
    const std::string withNul("A\0B", 3);
    block.SetText(cells[0], withNul);
    EXPECT_EQ(std::memcmp(CellText(&cells[0]), "A\0B\0", 4), 0);

    // An integer store leaves the rest of a cell that held a double.
    StoreCellDouble(&cells[1], -1.5);
    uint8_t upper[4];
    std::memcpy(upper, cells[1].Bytes + 4, 4);
    CaseBlock::SetInt(cells[1], 7);
    EXPECT_EQ(CellInt(&cells[1]), 7);
    EXPECT_EQ(std::memcmp(upper, cells[1].Bytes + 4, 4), 0);

    d.GenData = cells;
    block.SetGeneral(3, nullptr, "RUN");
    EXPECT_EQ(CellInt(&cells[GEN_DATA_SET]), 3);
    EXPECT_EQ(block.GeneralText(GEN_ENABLED_FLAG), "");
    EXPECT_EQ(block.GeneralText(GEN_RUNNING_FLAG), "RUN");
    d.GenData = nullptr;
}

}  // namespace
