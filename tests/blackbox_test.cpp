// The driver as the host sees it: the shared library loaded at run time and
// its entry points found by name.
#include <dlfcn.h>
#include <gtest/gtest.h>

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
