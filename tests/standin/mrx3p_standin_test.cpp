#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "mrx3p_control.h"
#include "platform/mrx3p.h"

namespace {

class MrxStandin : public ::testing::Test {
protected:
    void SetUp() override {
        MrxStandin_Reset();
        MrxStandin_SetLogging(1);
    }
    void TearDown() override { MrxStandin_Reset(); }
};

// A buffer sized as the driver sizes it (reported length + 1, zero-filled)
// with guard bytes behind, to catch a write past its end.
std::string FetchInitString(int32_t reported, int32_t* result, bool* guardIntact) {
    const size_t size = reported >= 0 ? static_cast<size_t>(reported) + 1 : 0;
    std::vector<char> buffer(size + 8, '#');
    std::fill(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(size), '\0');
    *result = GetInitString(buffer.data());
    *guardIntact = std::string(buffer.end() - 8, buffer.end()) == "########";
    return size > 0 ? std::string(buffer.data()) : std::string();
}

TEST_F(MrxStandin, InitStringLengthFollowsTheTextUnlessSetApart) {
    EXPECT_EQ(GetInitStringLength(), 0);
    MrxStandin_SetInitString("host=plant1;port=7000");
    EXPECT_EQ(GetInitStringLength(), 21);
    MrxStandin_SetReportedLength(4);
    EXPECT_EQ(GetInitStringLength(), 4);
    MrxStandin_ClearReportedLength();
    EXPECT_EQ(GetInitStringLength(), 21);
}

TEST_F(MrxStandin, InitStringCopyIsBoundedByTheReportedLengthAndTheText) {
    MrxStandin_SetInitString("abcdefgh");
    struct Case {
        int32_t reported;
        const char* expected;
        int32_t copied;
    };
    for (const Case& c : {Case{8, "abcdefgh", 8}, Case{3, "abc", 3}, Case{20, "abcdefgh", 8}, Case{0, "", 0},
                          Case{-1, "", 0}}) {
        MrxStandin_SetReportedLength(c.reported);
        int32_t result = -7;
        bool guardIntact = false;
        EXPECT_EQ(FetchInitString(c.reported, &result, &guardIntact), c.expected) << c.reported;
        EXPECT_EQ(result, c.copied) << c.reported;
        EXPECT_TRUE(guardIntact) << c.reported;
    }
}

TEST_F(MrxStandin, InitStringFromFile) {
    const std::string path = ::testing::TempDir() + "mrx3p_init_string.txt";
    std::FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    std::fputs("from file\nsecond line", file);
    std::fclose(file);

    EXPECT_EQ(MrxStandin_SetInitStringFromFile(path.c_str()), 0);
    EXPECT_EQ(GetInitStringLength(), 21);
    std::remove(path.c_str());

    // A file that cannot be read leaves the text as it was.
    EXPECT_EQ(MrxStandin_SetInitStringFromFile(path.c_str()), -1);
    EXPECT_EQ(MrxStandin_SetInitStringFromFile(nullptr), -1);
    int32_t result = 0;
    bool guardIntact = false;
    EXPECT_EQ(FetchInitString(21, &result, &guardIntact), "from file\nsecond line");
}

TEST_F(MrxStandin, KindsAndDataSetsAreSeparateTags) {
    MrxStandin_SetDouble(MRX_KIND_AI, 1, "T1", 1.5);
    MrxStandin_SetDouble(MRX_KIND_AO, 1, "T1", 2.5);
    MrxStandin_SetDouble(MRX_KIND_CALC, 1, "T1", 3.5);
    MrxStandin_SetInt(MRX_KIND_DI, 1, "T1", 7);
    MrxStandin_SetInt(MRX_KIND_DO, 1, "T1", 8);
    MrxStandin_SetDouble(MRX_KIND_AI, 2, "T1", 9.5);

    uint32_t cookies[6] = {};
    double d = 0;
    int32_t i = 0;
    int32_t status = -1;
    EXPECT_EQ(ReadAI(1, "T1", &cookies[0], &d, &status), 1.5);
    EXPECT_EQ(d, 1.5);
    EXPECT_EQ(status, MRX_STATUS_OK);
    ReadAO(1, "T1", &cookies[1], &d, &status);
    EXPECT_EQ(d, 2.5);
    ReadCALC(1, "T1", &cookies[2], &d, &status);
    EXPECT_EQ(d, 3.5);
    ReadDI(1, "T1", &cookies[3], &i, &status);
    EXPECT_EQ(i, 7);
    ReadDO(1, "T1", &cookies[4], &i, &status);
    EXPECT_EQ(i, 8);
    ReadAI(2, "T1", &cookies[5], &d, &status);
    EXPECT_EQ(d, 9.5);
    EXPECT_EQ(MrxStandin_CookieFaults(), 0);
}

TEST_F(MrxStandin, WritesGoToTheirOwnKind) {
    uint32_t cookies[3] = {};
    double ai = 4.25;
    double calc = -1.0;
    int32_t di = 1;
    int32_t status = -1;
    EXPECT_EQ(WriteAI(3, "W", &cookies[0], &ai, &status), 4.25);
    EXPECT_EQ(status, MRX_STATUS_OK);
    WriteCALC(3, "W", &cookies[1], &calc, &status);
    WriteDI(3, "W", &cookies[2], &di, &status);

    double d = 0;
    int32_t i = 0;
    EXPECT_TRUE(MrxStandin_GetDouble(MRX_KIND_AI, 3, "W", &d));
    EXPECT_EQ(d, 4.25);
    EXPECT_TRUE(MrxStandin_GetDouble(MRX_KIND_CALC, 3, "W", &d));
    EXPECT_EQ(d, -1.0);
    EXPECT_TRUE(MrxStandin_GetInt(MRX_KIND_DI, 3, "W", &i));
    EXPECT_EQ(i, 1);
    EXPECT_FALSE(MrxStandin_GetDouble(MRX_KIND_AO, 3, "W", &d));
    EXPECT_FALSE(MrxStandin_GetInt(MRX_KIND_DO, 3, "W", &i));
}

TEST_F(MrxStandin, ReadOfAnUnknownTagFailsAndLeavesTheCells) {
    uint32_t cookie = 0;
    double d = 42.0;
    int32_t i = 42;
    int32_t status = -1;
    ReadAI(1, "NOPE", &cookie, &d, &status);
    EXPECT_EQ(status, MRX_STATUS_UNKNOWN_TAG);
    EXPECT_EQ(d, 42.0);
    EXPECT_EQ(cookie, 0u);
    ReadDO(1, "NOPE", &cookie, &i, &status);
    EXPECT_EQ(status, MRX_STATUS_UNKNOWN_TAG);
    EXPECT_EQ(i, 42);
}

TEST_F(MrxStandin, StrictWritesRefuseUnknownTags) {
    MrxStandin_SetStrictWrites(1);
    MrxStandin_SetDouble(MRX_KIND_AI, 1, "HELD", 0.0);
    uint32_t cookies[2] = {};
    double d = 5.0;
    int32_t status = -1;
    WriteAI(1, "NEW", &cookies[0], &d, &status);
    EXPECT_EQ(status, MRX_STATUS_UNKNOWN_TAG);
    EXPECT_FALSE(MrxStandin_GetDouble(MRX_KIND_AI, 1, "NEW", &d));
    WriteAI(1, "HELD", &cookies[1], &d, &status);
    EXPECT_EQ(status, MRX_STATUS_OK);

    MrxStandin_Reset();  // back to creating on write
    WriteAI(1, "NEW", &cookies[0], &d, &status);
    EXPECT_EQ(status, MRX_STATUS_OK);
}

TEST_F(MrxStandin, NullTagIsTheEmptyNameAndNullValueFails) {
    MrxStandin_SetDouble(MRX_KIND_AI, 1, "", 6.0);
    uint32_t cookie = 0;
    double d = 0;
    int32_t status = -1;
    ReadAI(1, nullptr, &cookie, &d, &status);
    EXPECT_EQ(status, MRX_STATUS_OK);
    EXPECT_EQ(d, 6.0);
    ASSERT_EQ(MrxStandin_CallCount(), 1);
    EXPECT_EQ(MrxStandin_Call(0)->tagWasNull, 1);
    EXPECT_STREQ(MrxStandin_Call(0)->tag, "");

    ReadAI(1, nullptr, &cookie, nullptr, &status);
    EXPECT_EQ(status, MRX_STATUS_BAD_ARGUMENT);
}

class MrxCookies : public MrxStandin {
protected:
    void SetUp() override {
        MrxStandin::SetUp();
        MrxStandin_SetDouble(MRX_KIND_AI, 1, "A", 1.0);
        MrxStandin_SetDouble(MRX_KIND_AI, 1, "B", 2.0);
        MrxStandin_SetInt(MRX_KIND_DI, 1, "A", 3);
    }
    int32_t ReadA(uint32_t* cookie, const char* tag = "A", int32_t dataSet = 1) {
        double d = -5.0;
        int32_t status = -1;
        ReadAI(dataSet, tag, cookie, &d, &status);
        return status;
    }
};

TEST_F(MrxCookies, FirstCallGivesAHandleThatLaterCallsMustBring) {
    uint32_t cookie = 0;
    EXPECT_EQ(ReadA(&cookie), MRX_STATUS_OK);
    const uint32_t handle = cookie;
    EXPECT_NE(handle, 0u);
    EXPECT_EQ(ReadA(&cookie), MRX_STATUS_OK);
    EXPECT_EQ(cookie, handle);
    double d = 8.0;
    int32_t status = -1;
    WriteAI(1, "A", &cookie, &d, &status);  // same tag identity, other operation
    EXPECT_EQ(status, MRX_STATUS_OK);
    EXPECT_EQ(MrxStandin_CookieFaults(), 0);
}

TEST_F(MrxCookies, TwoCellsOfTheSameTagEachGetTheirOwnHandle) {
    uint32_t first = 0;
    uint32_t second = 0;
    EXPECT_EQ(ReadA(&first), MRX_STATUS_OK);
    EXPECT_EQ(ReadA(&second), MRX_STATUS_OK);
    EXPECT_NE(first, second);
    EXPECT_EQ(ReadA(&first), MRX_STATUS_OK);
    EXPECT_EQ(ReadA(&second), MRX_STATUS_OK);
    EXPECT_EQ(MrxStandin_CookieFaults(), 0);
}

TEST_F(MrxCookies, ChangedOrForeignCellsAreFaults) {
    uint32_t cellA = 0;
    uint32_t cellB = 0;
    uint32_t cellDI = 0;
    ASSERT_EQ(ReadA(&cellA), MRX_STATUS_OK);
    ASSERT_EQ(ReadA(&cellB, "B"), MRX_STATUS_OK);
    int32_t i = 0;
    int32_t status = -1;
    ReadDI(1, "A", &cellDI, &i, &status);
    ASSERT_EQ(status, MRX_STATUS_OK);

    ::testing::internal::CaptureStderr();
    EXPECT_EQ(ReadA(&cellA, "B"), MRX_STATUS_COOKIE_FAULT);       // cell reused for another tag
    EXPECT_EQ(ReadA(&cellA, "A", 2), MRX_STATUS_COOKIE_FAULT);    // same name, other data set
    EXPECT_EQ(ReadA(&cellDI), MRX_STATUS_COOKIE_FAULT);           // same name, other kind
    uint32_t changed = cellA + 1000;
    EXPECT_EQ(ReadA(&changed), MRX_STATUS_COOKIE_FAULT);          // a value no server gave out
    EXPECT_EQ(ReadA(nullptr), MRX_STATUS_COOKIE_FAULT);
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(MrxStandin_CookieFaults(), 5);
    EXPECT_NE(err.find("cookie fault in ReadAI"), std::string::npos) << err;
    EXPECT_NE(err.find("handle of another tag (AI tag \"A\""), std::string::npos) << err;

    // The faulty calls left the cells alone.
    EXPECT_EQ(ReadA(&cellA), MRX_STATUS_OK);
}

TEST_F(MrxCookies, UnalignedCellInsideAPackedRecord) {
    // The driver's records are 9 bytes, packed, with the cookie at offset 5.
    alignas(8) unsigned char records[2 * 9] = {};
    auto* cell = reinterpret_cast<uint32_t*>(records + 9 + 5);
    EXPECT_EQ(ReadA(cell), MRX_STATUS_OK);
    uint32_t handle = 0;
    std::memcpy(&handle, records + 9 + 5, sizeof handle);
    EXPECT_NE(handle, 0u);
    EXPECT_EQ(ReadA(cell), MRX_STATUS_OK);
    for (int b = 0; b < 9 + 5; ++b) {
        EXPECT_EQ(records[b], 0) << b;  // nothing else of the records is touched
    }
    ASSERT_GE(MrxStandin_CallCount(), 1);
    EXPECT_EQ(MrxStandin_Call(0)->cookieAddress, records + 9 + 5);
}

TEST_F(MrxStandin, InjectedStatusForACountOfCalls) {
    MrxStandin_SetDouble(MRX_KIND_AI, 1, "X", 1.0);
    MrxStandin_InjectStatus(MRX_OP_WRITE_AI, "X", 17, 2);
    uint32_t cookie = 0;
    double d = 9.0;
    int32_t status = -1;
    WriteAI(1, "X", &cookie, &d, &status);
    EXPECT_EQ(status, 17);
    WriteAI(5, "X", &cookie, &d, &status);  // any data set
    EXPECT_EQ(status, 17);
    EXPECT_EQ(cookie, 0u);
    double held = 0;
    MrxStandin_GetDouble(MRX_KIND_AI, 1, "X", &held);
    EXPECT_EQ(held, 1.0);  // the store was not touched
    WriteAI(1, "X", &cookie, &d, &status);
    EXPECT_EQ(status, MRX_STATUS_OK);
    MrxStandin_GetDouble(MRX_KIND_AI, 1, "X", &held);
    EXPECT_EQ(held, 9.0);
}

TEST_F(MrxStandin, InjectedStatusForeverMatchesOnlyItsOperationAndTag) {
    MrxStandin_SetDouble(MRX_KIND_AI, 1, "X", 1.0);
    MrxStandin_SetDouble(MRX_KIND_AI, 1, "Y", 2.0);
    MrxStandin_InjectStatus(MRX_OP_READ_AI, "X", 5, -1);
    uint32_t cx = 0;
    uint32_t cy = 0;
    double d = 0;
    int32_t status = -1;
    for (int n = 0; n < 10; ++n) {
        d = -3.0;
        ReadAI(1, "X", &cx, &d, &status);
        ASSERT_EQ(status, 5);
        ASSERT_EQ(d, -3.0);  // the value cell was not touched
    }
    ReadAI(1, "Y", &cy, &d, &status);
    EXPECT_EQ(status, MRX_STATUS_OK);
    WriteAI(1, "X", &cx, &d, &status);
    EXPECT_EQ(status, MRX_STATUS_OK);

    MrxStandin_InjectStatus(MRX_OP_READ_AI, nullptr, 6, -1);  // any tag
    ReadAI(1, "Y", &cy, &d, &status);
    EXPECT_EQ(status, 6);
    MrxStandin_ClearInjections();
    ReadAI(1, "X", &cx, &d, &status);
    EXPECT_EQ(status, MRX_STATUS_OK);
}

TEST_F(MrxStandin, CallLogRecordsEveryOperation) {
    MrxStandin_SetInitString("init");
    MrxStandin_SetInt(MRX_KIND_DO, 4, "PUMP", 1);
    char tag[] = "PUMP";
    uint32_t cookie = 0;
    int32_t i = 0;
    int32_t status = -1;
    char buffer[5] = {};
    GetInitStringLength();
    GetInitString(buffer);
    ResetLink();
    ReadDO(4, tag, &cookie, &i, &status);
    double d = 2.5;
    WriteAI(4, tag, &cookie, &d, &status);  // cookie belongs to DO PUMP: a fault
    std::strcpy(tag, "XXXX");               // the log keeps its own copy

    ASSERT_EQ(MrxStandin_CallCount(), 5);
    EXPECT_EQ(MrxStandin_Call(0)->operation, MRX_OP_GET_INIT_STRING_LENGTH);
    EXPECT_EQ(MrxStandin_Call(0)->intValue, 4);
    EXPECT_EQ(MrxStandin_Call(1)->operation, MRX_OP_GET_INIT_STRING);
    EXPECT_EQ(MrxStandin_Call(1)->intValue, 4);
    EXPECT_EQ(MrxStandin_Call(2)->operation, MRX_OP_RESET_LINK);

    const MrxCall* read = MrxStandin_Call(3);
    EXPECT_EQ(read->operation, MRX_OP_READ_DO);
    EXPECT_EQ(read->dataSet, 4);
    EXPECT_STREQ(read->tag, "PUMP");
    EXPECT_EQ(read->tagWasNull, 0);
    EXPECT_EQ(read->cookieAddress, &cookie);
    EXPECT_EQ(read->cookieBefore, 0u);
    EXPECT_EQ(read->cookieAfter, cookie);
    EXPECT_EQ(read->intValue, 1);
    EXPECT_EQ(read->status, MRX_STATUS_OK);

    const MrxCall* write = MrxStandin_Call(4);
    EXPECT_EQ(write->operation, MRX_OP_WRITE_AI);
    EXPECT_STREQ(write->tag, "PUMP");
    EXPECT_EQ(write->doubleValue, 2.5);
    EXPECT_EQ(write->cookieBefore, cookie);
    EXPECT_EQ(write->cookieAfter, cookie);
    EXPECT_EQ(write->status, MRX_STATUS_COOKIE_FAULT);
    EXPECT_EQ(MrxStandin_Call(5), nullptr);

    MrxStandin_ClearCallLog();
    EXPECT_EQ(MrxStandin_CallCount(), 0);
    MrxStandin_SetLogging(0);
    ResetLink();
    EXPECT_EQ(MrxStandin_CallCount(), 0);
    EXPECT_EQ(MrxStandin_ResetLinkCount(), 2);  // counted even when not logged
}

TEST_F(MrxStandin, ResetEmptiesStoreAndCounters) {
    MrxStandin_SetDouble(MRX_KIND_AI, 1, "A", 1.0);
    MrxStandin_SetInitString("text");
    MrxStandin_InjectStatus(MRX_OP_RESET_LINK, nullptr, 3, -1);
    EXPECT_EQ(ResetLink(), 3);
    MrxStandin_Reset();
    double d = 0;
    EXPECT_FALSE(MrxStandin_GetDouble(MRX_KIND_AI, 1, "A", &d));
    EXPECT_EQ(GetInitStringLength(), 0);
    EXPECT_EQ(MrxStandin_ResetLinkCount(), 0);
    EXPECT_EQ(ResetLink(), 0);
}

}  // namespace
