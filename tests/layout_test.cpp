// The records are shared with the host byte for byte. Offsets are computed
// from the pointer width, so the same expectations hold on the 32-bit build
// (where they are the host's own figures) and on the 64-bit one.
#include <gtest/gtest.h>

#include <cstddef>

#include "hostapi/dcs_link_data.h"
#include "link_state.h"

namespace {

constexpr size_t P = sizeof(void*);

TEST(Layout, DataDefAndValueCell) {
    EXPECT_EQ(sizeof(DCSValue), 8u);
    EXPECT_EQ(sizeof(DCSDataDef), 4 + 5 * P);
    EXPECT_EQ(offsetof(DCSDataDef, Label), 4u);
    EXPECT_EQ(offsetof(DCSDataDef, Key), 4 + P);
    EXPECT_EQ(offsetof(DCSDataDef, Options), 4 + 2 * P);
    EXPECT_EQ(offsetof(DCSDataDef, Aux1), 4 + 3 * P);
    EXPECT_EQ(offsetof(DCSDataDef, Aux2), 4 + 4 * P);
}

TEST(Layout, ControllerRow) {
    EXPECT_EQ(sizeof(DCSCtrlRow), 42 + P);
    EXPECT_EQ(offsetof(DCSCtrlRow, OPEnabled), 4u);
    EXPECT_EQ(offsetof(DCSCtrlRow, Mode), 8u);
    EXPECT_EQ(offsetof(DCSCtrlRow, AuxValue), 16u);
    EXPECT_EQ(offsetof(DCSCtrlRow, SP), 24u);
    EXPECT_EQ(offsetof(DCSCtrlRow, OP), 32u);
    EXPECT_EQ(offsetof(DCSCtrlRow, Values), 40u);
    EXPECT_EQ(offsetof(DCSCtrlRow, SPChanged), 40 + P);
    EXPECT_EQ(offsetof(DCSCtrlRow, OPChanged), 41 + P);
}

TEST(Layout, PVRow) {
    EXPECT_EQ(sizeof(DCSPVRow), 16 + P);
    EXPECT_EQ(offsetof(DCSPVRow, AuxFlag), 2u);
    EXPECT_EQ(offsetof(DCSPVRow, Active), 4u);
    EXPECT_EQ(offsetof(DCSPVRow, Value), 8u);
    EXPECT_EQ(offsetof(DCSPVRow, Values), 16u);
}

TEST(Layout, LinkData) {
    const size_t ctrlRow = 42 + P;
    const size_t pvRow = 16 + P;
    EXPECT_EQ(offsetof(DCSLinkData, GenDefCnt), 0u);
    EXPECT_EQ(offsetof(DCSLinkData, GenDef), 4u);
    EXPECT_EQ(offsetof(DCSLinkData, CtrlDefCnt), 4 + P);
    EXPECT_EQ(offsetof(DCSLinkData, CtrlDef), 8 + P);
    EXPECT_EQ(offsetof(DCSLinkData, PVDefCnt), 8 + 2 * P);
    EXPECT_EQ(offsetof(DCSLinkData, PVDef), 12 + 2 * P);
    EXPECT_EQ(offsetof(DCSLinkData, PVImportDefCnt), 12 + 3 * P);
    EXPECT_EQ(offsetof(DCSLinkData, PVImportDef), 16 + 3 * P);
    EXPECT_EQ(offsetof(DCSLinkData, GenData), 16 + 4 * P);
    EXPECT_EQ(offsetof(DCSLinkData, CtrlCnt), 16 + 5 * P);
    EXPECT_EQ(offsetof(DCSLinkData, CtrlData), 20 + 5 * P);
    const size_t ctrlDefault = 20 + 6 * P;
    EXPECT_EQ(offsetof(DCSLinkData, CtrlRowDefault), ctrlDefault);
    EXPECT_EQ(offsetof(DCSLinkData, CtrlRowDefault) + offsetof(DCSCtrlRow, Mode), ctrlDefault + 8);
    EXPECT_EQ(offsetof(DCSLinkData, PVCnt), ctrlDefault + ctrlRow);
    EXPECT_EQ(offsetof(DCSLinkData, PVData), ctrlDefault + ctrlRow + 4);
    EXPECT_EQ(offsetof(DCSLinkData, PVRowDefault), ctrlDefault + ctrlRow + 4 + P);
    const size_t importCnt = ctrlDefault + ctrlRow + 4 + P + pvRow;
    EXPECT_EQ(offsetof(DCSLinkData, PVImportCnt), importCnt);
    EXPECT_EQ(offsetof(DCSLinkData, PVImportData), importCnt + 4);
    EXPECT_EQ(offsetof(DCSLinkData, PVImportRowDefault), importCnt + 4 + P);
    EXPECT_EQ(sizeof(DCSLinkData), importCnt + 4 + P + pvRow);
    if (P == 4) {
        EXPECT_EQ(sizeof(DCSLinkData), 146u);
        EXPECT_EQ(offsetof(DCSLinkData, PVCnt), 90u);
        EXPECT_EQ(offsetof(DCSLinkData, CtrlRowDefault) + offsetof(DCSCtrlRow, Mode), 52u);
        EXPECT_EQ(offsetof(DCSLinkData, CtrlRowDefault) + offsetof(DCSCtrlRow, Values), 84u);
        EXPECT_EQ(offsetof(DCSLinkData, PVRowDefault) + offsetof(DCSPVRow, Values), 114u);
        EXPECT_EQ(offsetof(DCSLinkData, PVImportRowDefault) + offsetof(DCSPVRow, Values), 142u);
    }
}

TEST(Layout, DriverRecords) {
    EXPECT_EQ(sizeof(TagSlot), 9u);
    EXPECT_EQ(offsetof(TagSlot, Cookie), 4u);
    EXPECT_EQ(offsetof(TagSlot, Found), 8u);
    EXPECT_EQ(sizeof(CtrlBinding), 49u);
    EXPECT_EQ(offsetof(CtrlBinding, OPSlot), 18u);
    EXPECT_EQ(offsetof(CtrlBinding, SavedMode), 45u);
    EXPECT_EQ(sizeof(FlagBinding), 5u);
    EXPECT_EQ(sizeof(AnalogTag), 24 + P);
    EXPECT_EQ(sizeof(PlainTag), 8 + P);
    EXPECT_EQ(sizeof(DcdTag), 144 + P);
    EXPECT_EQ(offsetof(DcdTag, Numbers), 8 + P);
}

}  // namespace
