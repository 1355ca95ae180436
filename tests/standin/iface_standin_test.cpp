#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "iface_control.h"
#include "platform/iface.h"

namespace {

class IFaceStandin : public ::testing::Test {
protected:
    void SetUp() override {
        IFaceStandin_Reset();
        IFaceStandin_SetEcho(0);
        liveMalloc = IFaceStandin_LiveBlocks(IFACE_FAMILY_MALLOC);
        liveNew = IFaceStandin_LiveBlocks(IFACE_FAMILY_NEW);
    }
    void TearDown() override {
        IFaceStandin_Reset();
        IFaceStandin_SetEcho(1);
        // Every test releases what it took.
        EXPECT_EQ(IFaceStandin_LiveBlocks(IFACE_FAMILY_MALLOC), liveMalloc);
        EXPECT_EQ(IFaceStandin_LiveBlocks(IFACE_FAMILY_NEW), liveNew);
    }
    int64_t liveMalloc = 0;
    int64_t liveNew = 0;
};

using IFaceStandinDeathTest = IFaceStandin;

TEST_F(IFaceStandinDeathTest, WrongFamilySecondReleaseAndUnknownPointerAbort) {
    void* fromNew = IFace_new(8);
    char* fromMalloc = static_cast<char*>(IFace_malloc(8));
    EXPECT_DEATH(IFace_free(fromNew), "IFace_free\\(0x[0-9a-f]+\\).*new family.*IFace_delete");
    EXPECT_DEATH(IFace_delete(fromMalloc), "IFace_delete\\(0x[0-9a-f]+\\).*malloc family.*IFace_free");
    EXPECT_DEATH(IFace_realloc(fromNew, 16), "IFace_realloc.*new family");
    char onStack[32] = {};
    EXPECT_DEATH(IFace_free(onStack + 16), "IFace_free.*never handed out");
    EXPECT_DEATH(IFace_free(fromMalloc + 1), "IFace_free.*never handed out");
    IFace_delete(fromNew);
    IFace_free(fromMalloc);
    EXPECT_DEATH(IFace_free(fromMalloc), "IFace_free.*already released");
    EXPECT_DEATH(IFace_realloc(fromMalloc, 4), "IFace_realloc.*already released");
    EXPECT_DEATH(IFace_delete(fromNew), "IFace_delete.*already released");
}

TEST_F(IFaceStandinDeathTest, WritesOutsideTheBlockAreCaughtOnRelease) {
    char* block = static_cast<char*>(IFace_malloc(10));
    EXPECT_DEATH((block[10] = 'x', IFace_free(block)), "IFace_free.*past the end of the block of 10 bytes");
    EXPECT_DEATH((block[-4] = 'x', IFace_free(block)), "IFace_free.*header was overwritten");
    EXPECT_DEATH((block[-16] = 'x', IFace_free(block)), "IFace_free.*header was overwritten");
    IFace_free(block);
}

TEST_F(IFaceStandin, CountsLiveBlocksAndAllocationsPerFamily) {
    IFace_free(nullptr);  // no-ops, and not counted
    IFace_delete(nullptr);
    void* a = IFace_malloc(4);
    void* b = IFace_calloc(2, 4);
    void* c = IFace_new(4);
    a = IFace_realloc(a, 400);
    EXPECT_EQ(IFaceStandin_LiveBlocks(IFACE_FAMILY_MALLOC), liveMalloc + 2);
    EXPECT_EQ(IFaceStandin_LiveBlocks(IFACE_FAMILY_NEW), liveNew + 1);
    EXPECT_EQ(IFaceStandin_TotalAllocations(IFACE_FAMILY_MALLOC), 3);
    EXPECT_EQ(IFaceStandin_TotalAllocations(IFACE_FAMILY_NEW), 1);
    EXPECT_EQ(IFaceStandin_AllocationCalls(), 4);
    EXPECT_EQ(IFaceStandin_BlockFamily(c), IFACE_FAMILY_NEW);
    EXPECT_EQ(IFaceStandin_BlockSize(a), 400);

    // A reset forgets the totals but never the live blocks.
    IFaceStandin_Reset();
    EXPECT_EQ(IFaceStandin_TotalAllocations(IFACE_FAMILY_MALLOC), 0);
    EXPECT_EQ(IFaceStandin_AllocationCalls(), 0);
    EXPECT_EQ(IFaceStandin_LiveBlocks(IFACE_FAMILY_MALLOC), liveMalloc + 2);
    IFace_free(a);
    IFace_free(b);
    IFace_delete(c);
    EXPECT_EQ(IFaceStandin_BlockFamily(c), -1);

    void* again = IFace_new(4);  // often c's address, handed out anew
    IFace_delete(again);
}

TEST_F(IFaceStandin, BlocksAreAlignedAndUsableToTheirSize) {
    for (size_t size : {1u, 3u, 8u, 17u}) {
        void* block = IFace_malloc(size);
        EXPECT_EQ(reinterpret_cast<uintptr_t>(block) % 16, 0u) << size;
        IFace_free(block);
    }
    char* block = static_cast<char*>(IFace_realloc(nullptr, 6));
    std::memcpy(block, "hello", 6);
    block = static_cast<char*>(IFace_realloc(block, 5000));
    ASSERT_NE(block, nullptr);
    EXPECT_STREQ(block, "hello");
    block[4999] = 'z';
    IFace_free(block);
}

TEST_F(IFaceStandin, CallocZeroFillsAndRefusesAnOverflowingSize) {
    void* dirty = IFace_malloc(256);  // so that a zero fill is no accident
    std::memset(dirty, 0xAB, 256);
    IFace_free(dirty);
    auto* block = static_cast<unsigned char*>(IFace_calloc(64, 4));
    ASSERT_NE(block, nullptr);
    for (int n = 0; n < 256; ++n) {
        ASSERT_EQ(block[n], 0) << n;
    }
    IFace_free(block);
    EXPECT_EQ(IFace_calloc(SIZE_MAX / 2 + 2, 2), nullptr);
    EXPECT_EQ(IFace_malloc(SIZE_MAX - 4), nullptr);
}

TEST_F(IFaceStandin, FailsTheNthAllocationCallOfEitherFamily) {
    IFaceStandin_FailAllocation(3, 0);
    void* a = IFace_malloc(1);
    void* b = IFace_new(1);
    EXPECT_EQ(IFace_calloc(1, 1), nullptr);
    void* d = IFace_malloc(1);
    EXPECT_NE(a, nullptr);
    EXPECT_NE(b, nullptr);
    EXPECT_NE(d, nullptr);
    EXPECT_EQ(IFaceStandin_FailedAllocations(), 1);
    EXPECT_EQ(IFaceStandin_AllocationCalls(), 4);
    IFace_free(a);
    IFace_delete(b);
    IFace_free(d);
}

TEST_F(IFaceStandin, StickyFaultsFailEveryCallFromTheNthUntilSwitchedOff) {
    void* before = IFace_malloc(1);  // counting starts at the plan, not here
    IFaceStandin_FailAllocation(2, 1);
    void* a = IFace_malloc(1);
    EXPECT_NE(a, nullptr);
    EXPECT_EQ(IFace_malloc(1), nullptr);
    EXPECT_EQ(IFace_new(1), nullptr);
    EXPECT_EQ(IFace_realloc(nullptr, 1), nullptr);
    EXPECT_EQ(IFaceStandin_FailedAllocations(), 3);
    IFaceStandin_FailAllocation(0, 0);
    void* b = IFace_malloc(1);
    EXPECT_NE(b, nullptr);
    IFace_free(before);
    IFace_free(a);
    IFace_free(b);
}

TEST_F(IFaceStandin, FailedReallocKeepsTheOldBlockLive) {
    char* block = static_cast<char*>(IFace_malloc(8));
    std::memcpy(block, "kept", 5);
    IFaceStandin_FailAllocation(1, 0);
    EXPECT_EQ(IFace_realloc(block, 1000), nullptr);
    EXPECT_EQ(IFaceStandin_BlockFamily(block), IFACE_FAMILY_MALLOC);
    EXPECT_EQ(IFaceStandin_BlockSize(block), 8);
    EXPECT_STREQ(block, "kept");
    IFace_free(block);
}

TEST_F(IFaceStandin, ErrorMsgFormatsRecordsAndEchoes) {
    IFaceStandin_SetEcho(1);
    ::testing::internal::CaptureStderr();
    ErrorMsg("tag %s row %d value %.2f", "FIC101", 7, 2.5);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "[ErrorMsg] tag FIC101 row 7 value 2.50\n");
    IFaceStandin_SetEcho(0);
    const std::string longText(3000, 'x');
    ::testing::internal::CaptureStderr();
    ErrorMsg("%s|", longText.c_str());
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");

    ASSERT_EQ(IFaceStandin_ErrorMessageCount(), 2);
    EXPECT_STREQ(IFaceStandin_ErrorMessage(0), "tag FIC101 row 7 value 2.50");
    EXPECT_EQ(std::string(IFaceStandin_ErrorMessage(1)), longText + "|");
    EXPECT_EQ(IFaceStandin_ErrorMessage(2), nullptr);
    IFaceStandin_Reset();
    EXPECT_EQ(IFaceStandin_ErrorMessageCount(), 0);
}

}  // namespace

namespace {

TEST_F(IFaceStandin, DamagedBlocksAreCountedWithoutARelease) {
    char* block = static_cast<char*>(IFace_malloc(10));
    EXPECT_EQ(IFaceStandin_DamagedBlocks(), 0);
    const char guard = block[10];
    block[10] = 'x';
    EXPECT_EQ(IFaceStandin_DamagedBlocks(), 1);
    block[10] = guard;
    EXPECT_EQ(IFaceStandin_DamagedBlocks(), 0);
    IFace_free(block);
}

// Releases are remembered in a bounded record: a recent second release is
// told as such, an old one is still refused, as unknown.
TEST_F(IFaceStandinDeathTest, SecondReleaseLongAfterIsStillRefused) {
    void* old = IFace_malloc(8);
    IFace_free(old);
    // Blocks of another size, so that the C heap does not hand the old
    // address out again.
    for (int i = 0; i < 10000; ++i) IFace_free(IFace_malloc(200));
    EXPECT_DEATH(IFace_free(old), "IFace_free.*never handed out");
}

TEST_F(IFaceStandin, PlainHeapForwardsAndKeepsOnlyTheCounts) {
    void* checked = IFace_malloc(8);
    EXPECT_EQ(IFaceStandin_SetPlainHeap(1), -1) << "a checked block is live";
    IFace_free(checked);
    const int64_t calls = IFaceStandin_AllocationCalls();
    ASSERT_EQ(IFaceStandin_SetPlainHeap(1), 0);
    char* text = static_cast<char*>(IFace_malloc(4));
    void* table = IFace_new(16);
    text = static_cast<char*>(IFace_realloc(text, 64));
    EXPECT_EQ(IFaceStandin_BlockFamily(text), -1) << "plain blocks are not in the registry";
    EXPECT_EQ(IFaceStandin_LiveBlocks(IFACE_FAMILY_MALLOC), liveMalloc + 1);
    EXPECT_EQ(IFaceStandin_LiveBlocks(IFACE_FAMILY_NEW), liveNew + 1);
    EXPECT_EQ(IFaceStandin_SetPlainHeap(0), -1) << "plain blocks are live";
    IFace_free(text);
    IFace_delete(table);
    EXPECT_EQ(IFaceStandin_AllocationCalls(), calls) << "no fault plan on the plain heap";
    EXPECT_EQ(IFaceStandin_SetPlainHeap(0), 0);
    void* back = IFace_malloc(8);
    EXPECT_EQ(IFaceStandin_BlockFamily(back), IFACE_FAMILY_MALLOC);
    IFace_free(back);
}

}  // namespace
