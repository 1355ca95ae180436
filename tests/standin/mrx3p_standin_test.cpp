#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "mrx3p_control.h"
#include "platform/mrx3p.h"

namespace {

using DoubleOp = double (*)(int32_t, const char*, uint32_t*, double*, int32_t*);
using IntOp = int32_t (*)(int32_t, const char*, uint32_t*, int32_t*, int32_t*);

// Each returns the status the operation stored.
int32_t StatusOf(DoubleOp op, int32_t dataSet, const char* tag, uint32_t* cookie, double* value) {
    int32_t status = -12345;
    op(dataSet, tag, cookie, value, &status);
    return status;
}
int32_t StatusOf(IntOp op, int32_t dataSet, const char* tag, uint32_t* cookie, int32_t* value) {
    int32_t status = -12345;
    op(dataSet, tag, cookie, value, &status);
    return status;
}

class MrxStandin : public ::testing::Test {
protected:
    void SetUp() override {
        MrxStandin_Reset();
        MrxStandin_SetLogging(1);
        MrxStandin_SetDouble(MRX_KIND_AI, 1, "A", 1.0);
        MrxStandin_SetDouble(MRX_KIND_AI, 1, "B", 2.0);
        MrxStandin_SetInt(MRX_KIND_DI, 1, "A", 3);
    }
    void TearDown() override { MrxStandin_Reset(); }
    uint32_t cookie = 0;
    double d = -5.0;
    int32_t i = -5;
};

// Fetches with a buffer sized as the driver sizes it (reported length + 1,
// zero-filled) and guard bytes behind it to catch a write past its end.
std::string Fetch(int32_t reported, int32_t* copied) {
    const size_t size = reported >= 0 ? static_cast<size_t>(reported) + 1 : 0;
    std::vector<char> buffer(size + 8, '#');
    std::fill(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(size), '\0');
    *copied = GetInitString(buffer.data());
    EXPECT_EQ(std::string(buffer.end() - 8, buffer.end()), "########") << "reported length " << reported;
    return size > 0 ? std::string(buffer.data()) : std::string();
}

TEST_F(MrxStandin, InitStringCopyIsBoundedByTheReportedLengthAndTheText) {
    EXPECT_EQ(GetInitStringLength(), 0);
    MrxStandin_SetInitString("abcdefgh");
    EXPECT_EQ(GetInitStringLength(), 8);
    int32_t copied = -1;
    const struct {
        int32_t reported;
        const char* expected;
    } cases[] = {{8, "abcdefgh"}, {3, "abc"}, {20, "abcdefgh"}, {0, ""}, {-1, ""}};
    for (const auto& c : cases) {
        MrxStandin_SetReportedLength(c.reported);
        EXPECT_EQ(GetInitStringLength(), c.reported);
        EXPECT_EQ(Fetch(c.reported, &copied), c.expected) << c.reported;
        EXPECT_EQ(copied, static_cast<int32_t>(std::strlen(c.expected)));
    }
    MrxStandin_ClearReportedLength();
    EXPECT_EQ(GetInitStringLength(), 8);
}

TEST_F(MrxStandin, InitStringFromFile) {
    const std::string path = ::testing::TempDir() + "mrx3p_init_string.txt";
    std::FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    std::fputs("from file\nline 2", file);
    std::fclose(file);
    EXPECT_EQ(MrxStandin_SetInitStringFromFile(path.c_str()), 0);
    std::remove(path.c_str());

    // A file that cannot be read leaves the text as it was.
    EXPECT_EQ(MrxStandin_SetInitStringFromFile(path.c_str()), -1);
    EXPECT_EQ(MrxStandin_SetInitStringFromFile(nullptr), -1);
    int32_t copied = 0;
    EXPECT_EQ(Fetch(GetInitStringLength(), &copied), "from file\nline 2");
}

TEST_F(MrxStandin, EachOperationUsesItsOwnKindAndDataSet) {
    MrxStandin_SetDouble(MRX_KIND_AO, 1, "A", 2.5);
    MrxStandin_SetDouble(MRX_KIND_CALC, 1, "A", 3.5);
    MrxStandin_SetInt(MRX_KIND_DO, 1, "A", 8);
    MrxStandin_SetDouble(MRX_KIND_AI, 2, "A", 9.5);
    uint32_t cells[8] = {};
    EXPECT_EQ(ReadAI(1, "A", &cells[0], &d, &i), 1.0);  // the result is the value too
    EXPECT_EQ(StatusOf(ReadAO, 1, "A", &cells[1], &d), MRX_STATUS_OK);
    EXPECT_EQ(d, 2.5);
    EXPECT_EQ(StatusOf(ReadCALC, 1, "A", &cells[2], &d), MRX_STATUS_OK);
    EXPECT_EQ(d, 3.5);
    EXPECT_EQ(StatusOf(ReadDI, 1, "A", &cells[3], &i), MRX_STATUS_OK);
    EXPECT_EQ(i, 3);
    EXPECT_EQ(StatusOf(ReadDO, 1, "A", &cells[4], &i), MRX_STATUS_OK);
    EXPECT_EQ(i, 8);
    EXPECT_EQ(StatusOf(ReadAI, 2, "A", &cells[5], &d), MRX_STATUS_OK);
    EXPECT_EQ(d, 9.5);

    double w = 4.25;
    int32_t wi = 0;
    EXPECT_EQ(StatusOf(WriteCALC, 7, "W", &cells[6], &w), MRX_STATUS_OK);
    EXPECT_EQ(StatusOf(WriteDI, 7, "W", &cells[7], &wi), MRX_STATUS_OK);
    EXPECT_TRUE(MrxStandin_GetDouble(MRX_KIND_CALC, 7, "W", &d));
    EXPECT_EQ(d, 4.25);
    EXPECT_TRUE(MrxStandin_GetInt(MRX_KIND_DI, 7, "W", &i));
    EXPECT_FALSE(MrxStandin_GetDouble(MRX_KIND_AI, 7, "W", &d));
    EXPECT_EQ(MrxStandin_CookieFaults(), 0);
}

TEST_F(MrxStandin, FailedReadsAndStrictWritesLeaveEverythingAlone) {
    EXPECT_EQ(StatusOf(ReadAO, 1, "A", &cookie, &d), MRX_STATUS_UNKNOWN_TAG);  // A is held as AI only
    EXPECT_EQ(StatusOf(ReadDO, 1, "NOPE", &cookie, &i), MRX_STATUS_UNKNOWN_TAG);
    EXPECT_EQ(d, -5.0);
    EXPECT_EQ(i, -5);
    EXPECT_EQ(cookie, 0u);

    MrxStandin_SetStrictWrites(1);
    EXPECT_EQ(StatusOf(WriteAI, 1, "NEW", &cookie, &d), MRX_STATUS_UNKNOWN_TAG);
    EXPECT_FALSE(MrxStandin_GetDouble(MRX_KIND_AI, 1, "NEW", &d));
    EXPECT_EQ(StatusOf(WriteAI, 1, "A", &cookie, &d), MRX_STATUS_OK);
    MrxStandin_Reset();  // back to creating on write
    uint32_t other = 0;
    EXPECT_EQ(StatusOf(WriteAI, 1, "NEW", &other, &d), MRX_STATUS_OK);
}

TEST_F(MrxStandin, NullTagIsTheEmptyNameAndNullValueFails) {
    MrxStandin_SetDouble(MRX_KIND_AI, 1, "", 6.0);
    EXPECT_EQ(StatusOf(ReadAI, 1, nullptr, &cookie, &d), MRX_STATUS_OK);
    EXPECT_EQ(d, 6.0);
    EXPECT_EQ(MrxStandin_Call(0)->tagWasNull, 1);
    EXPECT_STREQ(MrxStandin_Call(0)->tag, "");
    EXPECT_EQ(StatusOf(ReadAI, 1, nullptr, &cookie, nullptr), MRX_STATUS_BAD_ARGUMENT);
}

TEST_F(MrxStandin, CookieHandlesBelongToTheTagNotTheCell) {
    uint32_t second = 0;
    EXPECT_EQ(StatusOf(ReadAI, 1, "A", &cookie, &d), MRX_STATUS_OK);
    EXPECT_EQ(StatusOf(ReadAI, 1, "A", &second, &d), MRX_STATUS_OK);
    EXPECT_NE(cookie, 0u);
    EXPECT_NE(second, 0u);
    EXPECT_NE(cookie, second);
    const uint32_t handle = cookie;
    EXPECT_EQ(StatusOf(WriteAI, 1, "A", &cookie, &d), MRX_STATUS_OK);
    EXPECT_EQ(StatusOf(ReadAI, 1, "A", &second, &d), MRX_STATUS_OK);
    EXPECT_EQ(cookie, handle);
    EXPECT_EQ(MrxStandin_CookieFaults(), 0);
}

TEST_F(MrxStandin, ChangedOrForeignCookieCellsAreFaults) {
    uint32_t cellB = 0;
    uint32_t cellDI = 0;
    ASSERT_EQ(StatusOf(ReadAI, 1, "A", &cookie, &d), MRX_STATUS_OK);
    ASSERT_EQ(StatusOf(ReadAI, 1, "B", &cellB, &d), MRX_STATUS_OK);
    ASSERT_EQ(StatusOf(ReadDI, 1, "A", &cellDI, &i), MRX_STATUS_OK);
    uint32_t changed = cookie + 1000;

    ::testing::internal::CaptureStderr();
    d = -5.0;
    EXPECT_EQ(StatusOf(ReadAI, 1, "B", &cookie, &d), MRX_STATUS_COOKIE_FAULT);  // cell reused for another tag
    EXPECT_EQ(StatusOf(ReadAI, 2, "A", &cookie, &d), MRX_STATUS_COOKIE_FAULT);  // same name, other data set
    EXPECT_EQ(StatusOf(ReadAI, 1, "A", &cellDI, &d), MRX_STATUS_COOKIE_FAULT);  // same name, other kind
    EXPECT_EQ(StatusOf(ReadAI, 1, "A", &changed, &d), MRX_STATUS_COOKIE_FAULT);
    EXPECT_EQ(StatusOf(ReadAI, 1, "A", nullptr, &d), MRX_STATUS_COOKIE_FAULT);
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(MrxStandin_CookieFaults(), 5);
    EXPECT_EQ(d, -5.0);
    EXPECT_NE(err.find("cookie fault in ReadAI: data set 1, AI tag \"B\""), std::string::npos) << err;
    EXPECT_NE(err.find("handle of another tag (AI tag \"A\""), std::string::npos) << err;
    EXPECT_EQ(StatusOf(ReadAI, 1, "A", &cookie, &d), MRX_STATUS_OK);  // the cell was left alone
}

TEST_F(MrxStandin, UnalignedCookieCellInsideAPackedRecord) {
    // The driver's records are 9 bytes, packed, with the cookie at offset 5.
    alignas(8) unsigned char records[2 * 9] = {};
    auto* cell = reinterpret_cast<uint32_t*>(records + 9 + 5);
    EXPECT_EQ(StatusOf(ReadAI, 1, "A", cell, &d), MRX_STATUS_OK);
    EXPECT_EQ(StatusOf(ReadAI, 1, "A", cell, &d), MRX_STATUS_OK);
    uint32_t handle = 0;
    std::memcpy(&handle, records + 9 + 5, sizeof handle);
    EXPECT_EQ(handle, MrxStandin_Call(0)->cookieAfter);
    EXPECT_NE(handle, 0u);
    for (int b = 0; b < 9 + 5; ++b) {
        EXPECT_EQ(records[b], 0) << b;
    }
}

TEST_F(MrxStandin, InjectedStatusForACountOfCallsTouchesNothing) {
    MrxStandin_InjectStatus(MRX_OP_WRITE_AI, "A", 17, 2);
    d = 9.0;
    EXPECT_EQ(StatusOf(WriteAI, 1, "A", &cookie, &d), 17);
    EXPECT_EQ(StatusOf(WriteAI, 5, "A", &cookie, &d), 17);  // any data set
    EXPECT_EQ(cookie, 0u);
    double held = 0;
    MrxStandin_GetDouble(MRX_KIND_AI, 1, "A", &held);
    EXPECT_EQ(held, 1.0);
    EXPECT_EQ(StatusOf(WriteAI, 1, "A", &cookie, &d), MRX_STATUS_OK);
    MrxStandin_GetDouble(MRX_KIND_AI, 1, "A", &held);
    EXPECT_EQ(held, 9.0);
}

TEST_F(MrxStandin, InjectedStatusForeverMatchesOnlyItsOperationAndTag) {
    uint32_t cellB = 0;
    MrxStandin_InjectStatus(MRX_OP_READ_AI, "A", 5, -1);
    for (int n = 0; n < 10; ++n) {
        ASSERT_EQ(StatusOf(ReadAI, 1, "A", &cookie, &d), 5);
    }
    EXPECT_EQ(d, -5.0);
    EXPECT_EQ(StatusOf(ReadAI, 1, "B", &cellB, &d), MRX_STATUS_OK);
    EXPECT_EQ(StatusOf(WriteAI, 1, "A", &cookie, &d), MRX_STATUS_OK);
    MrxStandin_InjectStatus(MRX_OP_READ_AI, nullptr, 6, -1);
    EXPECT_EQ(StatusOf(ReadAI, 1, "B", &cellB, &d), 6);
    MrxStandin_ClearInjections();
    EXPECT_EQ(StatusOf(ReadAI, 1, "A", &cookie, &d), MRX_STATUS_OK);
}

TEST_F(MrxStandin, CallLogRecordsEveryOperation) {
    MrxStandin_SetInitString("init");
    char buffer[5] = {};
    GetInitStringLength();
    GetInitString(buffer);
    ResetLink();
    char tag[] = "A";
    StatusOf(ReadDI, 1, tag, &cookie, &i);
    d = 2.5;
    StatusOf(WriteAI, 1, tag, &cookie, &d);  // the cell belongs to DI A: a fault
    tag[0] = 'X';                            // the log keeps its own copy

    ASSERT_EQ(MrxStandin_CallCount(), 5);
    EXPECT_EQ(MrxStandin_Call(0)->operation, MRX_OP_GET_INIT_STRING_LENGTH);
    EXPECT_EQ(MrxStandin_Call(0)->intValue, 4);
    EXPECT_EQ(MrxStandin_Call(1)->operation, MRX_OP_GET_INIT_STRING);
    EXPECT_EQ(MrxStandin_Call(1)->intValue, 4);
    EXPECT_EQ(MrxStandin_Call(2)->operation, MRX_OP_RESET_LINK);
    const MrxCall* read = MrxStandin_Call(3);
    EXPECT_EQ(read->operation, MRX_OP_READ_DI);
    EXPECT_EQ(read->dataSet, 1);
    EXPECT_STREQ(read->tag, "A");
    EXPECT_EQ(read->cookieAddress, &cookie);
    EXPECT_EQ(read->cookieBefore, 0u);
    EXPECT_EQ(read->cookieAfter, cookie);
    EXPECT_EQ(read->intValue, 3);
    EXPECT_EQ(read->status, MRX_STATUS_OK);
    const MrxCall* write = MrxStandin_Call(4);
    EXPECT_STREQ(write->tag, "A");
    EXPECT_EQ(write->doubleValue, 2.5);
    EXPECT_EQ(write->cookieBefore, cookie);
    EXPECT_EQ(write->cookieAfter, cookie);
    EXPECT_EQ(write->status, MRX_STATUS_COOKIE_FAULT);
    EXPECT_EQ(MrxStandin_Call(5), nullptr);

    MrxStandin_ClearCallLog();
    MrxStandin_SetLogging(0);
    ResetLink();
    EXPECT_EQ(MrxStandin_CallCount(), 0);
    EXPECT_EQ(MrxStandin_ResetLinkCount(), 2);  // counted even when not logged
}

}  // namespace

namespace {

TEST_F(MrxStandin, ForgottenHandlesAreFaultsAndNewOnesDiffer) {
    uint32_t old = 0;
    double value = 0.0;
    int32_t status = -1;
    MrxStandin_SetDouble(MRX_KIND_AI, 1, "A", 1.0);
    ReadAI(1, "A", &old, &value, &status);
    ASSERT_EQ(status, MRX_STATUS_OK);
    MrxStandin_ForgetHandles();
    uint32_t fresh = 0;
    ReadAI(1, "A", &fresh, &value, &status);
    ASSERT_EQ(status, MRX_STATUS_OK);
    EXPECT_NE(fresh, old) << "a forgotten handle is never given out again";
    ::testing::internal::CaptureStderr();
    ReadAI(1, "A", &old, &value, &status);
    ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(status, MRX_STATUS_COOKIE_FAULT);
    EXPECT_EQ(MrxStandin_CookieFaults(), 1);
}

}  // namespace
