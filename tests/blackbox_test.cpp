// The driver as the host sees it: the shared library loaded at run time and
// its entry points found by name.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstring>

#include "entry_points.h"
#include "test_support.h"

namespace {

const char* const kEntryPoints[] = {"DCSLoad",  "DCSConfigure", "DCSInitialize", "DCSSimulate", "DCSStart",
                                    "DCSStop", "DCSTimeZero",  "DCSReset",      "DCSDestroy"};

class BlackBoxTest : public StandinTest {
protected:
    void SetUp() override {
        StandinTest::SetUp();
        handle_ = dlopen(DCS_DRIVER_PATH, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(handle_, nullptr) << dlerror();
    }
    void TearDown() override {
        if (handle_ != nullptr) dlclose(handle_);
        StandinTest::TearDown();
    }
    DCSEntryPoint Entry(const char* name) {
        return reinterpret_cast<DCSEntryPoint>(dlsym(handle_, name));
    }
    void* handle_ = nullptr;
};

TEST_F(BlackBoxTest, AllNineEntryPointsResolve) {
    for (const char* name : kEntryPoints) {
        EXPECT_NE(Entry(name), nullptr) << name;
    }
    EXPECT_EQ(dlsym(handle_, "DeclareFields"), nullptr) << "internal routines stay hidden";
    EXPECT_EQ(dlsym(handle_, "GetCtrlSP"), nullptr);
}

TEST_F(BlackBoxTest, LoadThenDestroyLeavesNothing) {
    DCSLinkData d{};
    const int64_t mallocBefore = IFaceStandin_LiveBlocks(IFACE_FAMILY_MALLOC);
    EXPECT_EQ(Entry("DCSLoad")(&d), 0);
    EXPECT_EQ(d.GenDefCnt, 3);
    EXPECT_EQ(d.CtrlDefCnt, 6);
    EXPECT_EQ(d.PVDefCnt, 2);
    EXPECT_EQ(d.PVImportDefCnt, 3);
    EXPECT_GT(IFaceStandin_LiveBlocks(IFACE_FAMILY_MALLOC), mallocBefore);
    EXPECT_EQ(Entry("DCSDestroy")(&d), 0);
    EXPECT_EQ(Entry("DCSDestroy")(&d), 0);
    EXPECT_TRUE(Boxes().empty());
}

}  // namespace

namespace {

// A whole life cycle through the loaded library, from DCSLoad to
// DCSDestroy, with nothing left allocated at the end.
TEST_F(BlackBoxTest, WholeLifeCycleAgainstTheSimulatedServer) {
    MrxStandin_SetInitString(
        "*AI*\nFIC-1.OP,-,1,0,100\nFIC-1.OPI,-,1,0,100\nTI-1.PV,-,1,0,100\n*DI*\nEN,-,1\nRUN,-,1\n"
        "*CALC*\nFIC-1.SP,-,1\n");
    MrxStandin_SetDouble(MRX_KIND_AI, 1, "FIC-1.OP", 40.0);
    MrxStandin_SetDouble(MRX_KIND_CALC, 1, "FIC-1.SP", 55.0);

    DCSLinkData d{};
    ASSERT_EQ(Entry("DCSLoad")(&d), 0);
    char en[] = "EN", run[] = "RUN", sp[] = "FIC-1.SP", op[] = "FIC-1.OP", opi[] = "FIC-1.OPI", pv[] = "TI-1.PV";
    auto text = [](DCSValue& cell, char* value) { memcpy(cell.Bytes, &value, sizeof value); };
    text(d.GenData[1], en);
    text(d.GenData[2], run);
    DCSValue ctrlCells[6] = {};
    int32_t one = 1;
    memcpy(ctrlCells[0].Bytes, &one, 4);
    text(ctrlCells[1], sp);
    text(ctrlCells[3], op);
    text(ctrlCells[4], opi);
    DCSCtrlRow ctrl{};
    ctrl.OPEnabled = 1;
    ctrl.OP = 0.3;
    ctrl.Values = ctrlCells;
    DCSValue pvCells[2] = {};
    memcpy(pvCells[0].Bytes, &one, 4);
    text(pvCells[1], pv);
    DCSPVRow export0{};
    export0.Active = 1;
    export0.Value = 12.5;
    export0.Values = pvCells;
    d.CtrlCnt = 1;
    d.CtrlData = &ctrl;
    d.PVCnt = 1;
    d.PVData = &export0;

    ASSERT_EQ(Entry("DCSConfigure")(&d), 1);
    Entry("DCSInitialize")(&d);
    double opInit = 0;
    ASSERT_EQ(MrxStandin_GetDouble(MRX_KIND_AI, 1, "FIC-1.OPI", &opInit), 1);
    EXPECT_DOUBLE_EQ(opInit, 30.0);
    Entry("DCSStart")(&d);
    EXPECT_EQ(Entry("DCSSimulate")(&d), 1);
    EXPECT_EQ(+ctrl.SP, 55.0);
    EXPECT_DOUBLE_EQ(+ctrl.OP, 0.4);
    double exported = 0;
    ASSERT_EQ(MrxStandin_GetDouble(MRX_KIND_AI, 1, "TI-1.PV", &exported), 1);
    EXPECT_EQ(exported, 12.5);
    int32_t enabled = -1, running = -1;
    MrxStandin_GetInt(MRX_KIND_DI, 1, "EN", &enabled);
    MrxStandin_GetInt(MRX_KIND_DI, 1, "RUN", &running);
    EXPECT_EQ(enabled, 1);
    EXPECT_EQ(running, 1);
    Entry("DCSStop")(&d);
    Entry("DCSReset")(&d);
    MrxStandin_GetInt(MRX_KIND_DI, 1, "EN", &enabled);
    EXPECT_EQ(enabled, 0);
    EXPECT_EQ(MrxStandin_ResetLinkCount(), 1);
    EXPECT_EQ(Entry("DCSDestroy")(&d), 0);
    EXPECT_TRUE(Boxes().empty());
    EXPECT_TRUE(ErrorMessages().empty());
}

}  // namespace
