// The access routines touch exactly the bytes of the item they name.
#include <gtest/gtest.h>

#include <array>
#include <cstring>

#include "hostapi/access.h"
#include "hostapi/value_cell.h"
#include "platform/iface.h"
#include "test_support.h"

namespace {

class AccessTest : public StandinTest {};

template <typename Row>
std::array<uint8_t, sizeof(Row)> BytesOf(const Row& row) {
    std::array<uint8_t, sizeof(Row)> bytes{};
    std::memcpy(bytes.data(), &row, sizeof(Row));
    return bytes;
}

// Indexes of the bytes that differ between two snapshots.
template <size_t N>
std::vector<size_t> ChangedBytes(const std::array<uint8_t, N>& before, const std::array<uint8_t, N>& after) {
    std::vector<size_t> changed;
    for (size_t i = 0; i < N; ++i) {
        if (before[i] != after[i]) {
            changed.push_back(i);
        }
    }
    return changed;
}

TEST_F(AccessTest, SetPVImportValueChangesBytes8To15Only) {
    DCSPVRow rows[2];
    std::memset(rows, 0xA5, sizeof rows);
    DCSLinkData d{};
    d.PVImportData = rows;
    d.PVImportCnt = 2;
    const auto before = BytesOf(rows[1]);
    const auto untouched = BytesOf(rows[0]);
    SetPVImportValue(&d, 1, 12.5);
    std::vector<size_t> expected = {8, 9, 10, 11, 12, 13, 14, 15};
    // A byte may happen to keep its old value; none outside 8..15 may change.
    for (size_t i : ChangedBytes(before, BytesOf(rows[1]))) {
        EXPECT_GE(i, 8u);
        EXPECT_LE(i, 15u);
    }
    EXPECT_EQ(GetPVImportValue(&d, 1), 12.5);
    EXPECT_EQ(BytesOf(rows[0]), untouched);
}

TEST_F(AccessTest, SetCtrlOPChangesBytes32To39AndOPChangedOnly) {
    DCSCtrlRow rows[2];
    std::memset(rows, 0x5A, sizeof rows);
    DCSLinkData d{};
    d.CtrlData = rows;
    d.CtrlCnt = 2;
    const auto before = BytesOf(rows[1]);
    SetCtrlOP(&d, 1, -3.25);
    const size_t opChanged = offsetof(DCSCtrlRow, OPChanged);
    for (size_t i : ChangedBytes(before, BytesOf(rows[1]))) {
        EXPECT_TRUE((i >= 32 && i <= 39) || i == opChanged) << "byte " << i;
    }
    EXPECT_EQ(+rows[1].OP, -3.25);
    EXPECT_EQ(+rows[1].OPChanged, 1);
    EXPECT_EQ(+rows[1].SPChanged, 0x5A);

    // Storing the value already held still marks it changed.
    rows[1].SPChanged = 0;
    SetCtrlSP(&d, 1, rows[1].SP);
    EXPECT_EQ(+rows[1].SPChanged, 1);
}

TEST_F(AccessTest, IntegerStoreLeavesUpperHalfOfDouble) {
    DCSValue cells[3] = {};
    DCSLinkData d{};
    d.GenData = cells;
    SetGenDataDouble(&d, 1, 1234.5678);
    uint8_t upper[4];
    std::memcpy(upper, cells[1].Bytes + 4, 4);
    SetGenDataInt(&d, 1, -7);
    EXPECT_EQ(GetGenDataInt(&d, 1), -7);
    EXPECT_EQ(std::memcmp(upper, cells[1].Bytes + 4, 4), 0);
    EXPECT_EQ(CellInt(&cells[0]), 0);
    EXPECT_EQ(CellInt(&cells[2]), 0);
}

TEST_F(AccessTest, IntegerAndTextReadersShareTheCell) {
    char tag[] = "FI-101";
    DCSValue values[2] = {};
    StoreCellText(&values[1], tag);
    DCSPVRow row{};
    row.Values = values;
    DCSLinkData d{};
    d.PVData = &row;
    d.PVCnt = 1;
    EXPECT_EQ(GetPVDataText(&d, 0, 1), tag);
    int32_t low;
    char* pointer = tag;
    std::memcpy(&low, &pointer, sizeof low);  // little-endian: the low 32 bits
    EXPECT_EQ(GetPVDataInt(&d, 0, 1), low);
}

TEST_F(AccessTest, FlagsAreSignExtended) {
    DCSCtrlRow ctrl{};
    ctrl.OPEnabled = -1;
    DCSPVRow pv{};
    pv.Active = -2;
    pv.AuxFlag = -3;
    DCSLinkData d{};
    d.CtrlData = &ctrl;
    d.PVData = &pv;
    d.PVImportData = &pv;
    EXPECT_EQ(GetCtrlOPEnabled(&d, 0), -1);
    EXPECT_EQ(GetPVActive(&d, 0), -2);
    EXPECT_EQ(GetPVAuxFlag(&d, 0), -3);
    EXPECT_EQ(GetPVImportActive(&d, 0), -2);
}

TEST_F(AccessTest, TextRoutinesCopyIntoTheirOwnBufferAndCutAt63) {
    DCSValue cells[3] = {};
    DCSLinkData d{};
    d.GenData = cells;
    const std::string fits(63, 'a');
    const std::string tooLong(200, 'b');
    ASSERT_EQ(SetGenDataText(&d, 1, fits.c_str()), 0);
    ASSERT_EQ(SetGenDataText(&d, 2, tooLong.c_str()), 0);
    EXPECT_EQ(std::string(GetGenDataText(&d, 1)), fits);
    EXPECT_EQ(std::string(GetGenDataText(&d, 2)), tooLong.substr(0, 63));
    EXPECT_NE(GetGenDataText(&d, 1), fits.c_str());

    // The host services' buffer is 64 bytes: ASan would catch a write past it.
    IFaceStandin_FailAllocation(1, 0);
    EXPECT_EQ(SetGenDataText(&d, 0, "x"), 1);
    EXPECT_EQ(GetGenDataText(&d, 0), nullptr);
    IFace_free(GetGenDataText(&d, 1));
    IFace_free(GetGenDataText(&d, 2));
}

}  // namespace
