// The stand-in's scripted answers (a replay's server) and its front (a
// recorder put between the driver and the server in the same process).
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "mrx3p_control.h"
#include "platform/mrx3p.h"

namespace {

class MrxScript : public ::testing::Test {
protected:
    void SetUp() override {
        MrxStandin_Reset();
        MrxStandin_SetFront(nullptr);
        MrxStandin_SetDouble(MRX_KIND_AI, 1, "A", 1.0);
        MrxStandin_SetInt(MRX_KIND_DI, 1, "D", 3);
    }
    void TearDown() override {
        MrxStandin_SetFront(nullptr);
        MrxStandin_Reset();
    }
};

struct Got {
    double value;
    int32_t status;
    double result;
};

Got CallAI(double (*op)(int32_t, const char*, uint32_t*, double*, int32_t*), int32_t dataSet, const char* tag,
           uint32_t* cookie, double in) {
    Got got{in, -1, 0.0};
    got.result = op(dataSet, tag, cookie, &got.value, &got.status);
    return got;
}

TEST_F(MrxScript, TheKthCallOfAKeyGetsTheKthAnswerThenTheStore) {
    // ReadAI "A" of data set 1: 7.5, a failure, then a success whose result
    // differs from its value; data set 2 and another tag have queues of their
    // own; a read of "A" past the queue falls back to the store (1.0).
    MrxStandin_ScriptAnswer(MRX_OP_READ_AI, 1, "A", 7.5, 0, 0, 0.0);
    MrxStandin_ScriptAnswer(MRX_OP_READ_AI, 1, "A", 0.0, 41, 1, -3.0);
    MrxStandin_ScriptAnswer(MRX_OP_READ_AI, 1, "A", 8.25, 0, 1, 99.0);
    MrxStandin_ScriptAnswer(MRX_OP_READ_AI, 2, "A", 2.0, 0, 0, 0.0);
    MrxStandin_ScriptAnswer(MRX_OP_WRITE_AI, 1, "A", 0.0, 13, 0, 0.0);
    EXPECT_EQ(MrxStandin_ScriptRemaining(MRX_OP_READ_AI, 1, "A"), 3);
    uint32_t cookie = 0;
    uint32_t other = 0;
    const struct {
        double (*op)(int32_t, const char*, uint32_t*, double*, int32_t*);
        int32_t dataSet;
        uint32_t* cookie;
        double in;
        Got expected;
    } calls[] = {
        {ReadAI, 1, &cookie, -1.0, {7.5, 0, 7.5}},
        {ReadAI, 2, &other, -1.0, {2.0, 0, 2.0}},
        {ReadAI, 1, &cookie, -1.0, {-1.0, 41, -3.0}},  // a failed read leaves the cell alone
        {WriteAI, 1, &cookie, 5.0, {5.0, 13, 0.0}},    // the write's own queue
        {ReadAI, 1, &cookie, -1.0, {8.25, 0, 99.0}},
        {ReadAI, 1, &cookie, -1.0, {1.0, 0, 1.0}},  // used up: the store, which the failed write left alone
        {ReadAI, 2, &other, -1.0, {-1.0, MRX_STATUS_UNKNOWN_TAG, 0.0}},
        {WriteAI, 1, &cookie, 6.5, {6.5, 0, 6.5}},
        {ReadAI, 1, &cookie, -1.0, {6.5, 0, 6.5}},
    };
    int n = 0;
    for (const auto& c : calls) {
        const Got got = CallAI(c.op, c.dataSet, "A", c.cookie, c.in);
        EXPECT_EQ(got.value, c.expected.value) << "call " << n;
        EXPECT_EQ(got.status, c.expected.status) << "call " << n;
        EXPECT_EQ(got.result, c.expected.result) << "call " << n;
        ++n;
    }
    EXPECT_EQ(MrxStandin_ScriptRemaining(MRX_OP_READ_AI, 1, "A"), 0);
    EXPECT_EQ(MrxStandin_CookieFaults(), 0);
}

TEST_F(MrxScript, ScriptedWritesStoreWhatWasPassedAndIntegersAreClamped) {
    MrxStandin_ScriptAnswer(MRX_OP_WRITE_DI, 1, "D", 0.0, 0, 0, 0.0);
    MrxStandin_ScriptAnswer(MRX_OP_READ_DI, 1, "D", 1e12, 0, 0, 0.0);
    MrxStandin_ScriptAnswer(MRX_OP_READ_DO, 1, "X", -42.0, 0, 0, 0.0);
    uint32_t cookie = 0;
    uint32_t doCookie = 0;
    int32_t value = 9;
    int32_t status = -1;
    EXPECT_EQ(WriteDI(1, "D", &cookie, &value, &status), 9);
    EXPECT_EQ(status, 0);
    int32_t held = 0;
    ASSERT_EQ(MrxStandin_GetInt(MRX_KIND_DI, 1, "D", &held), 1);
    EXPECT_EQ(held, 9);
    EXPECT_EQ(ReadDI(1, "D", &cookie, &value, &status), INT32_MAX);
    EXPECT_EQ(value, INT32_MAX);
    // A scripted read answers even for a tag the store does not hold.
    EXPECT_EQ(ReadDO(1, "X", &doCookie, &value, &status), -42);
    EXPECT_EQ(status, 0);
    EXPECT_NE(doCookie, 0u);
    // A cookie fault is not scripted away.
    MrxStandin_ScriptAnswer(MRX_OP_READ_DI, 1, "D", 5.0, 0, 0, 0.0);
    uint32_t wrong = doCookie;
    ::testing::internal::CaptureStderr();
    ReadDI(1, "D", &wrong, &value, &status);
    ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(status, MRX_STATUS_COOKIE_FAULT);
    EXPECT_EQ(MrxStandin_ScriptRemaining(MRX_OP_READ_DI, 1, "D"), 1);
}

TEST_F(MrxScript, ScriptedLengthsAndStringsStayInsideTheDriversBuffer) {
    MrxStandin_SetInitString("the store's own string, 34 bytes..");
    MrxStandin_ScriptAnswer(MRX_OP_GET_INIT_STRING_LENGTH, 0, "", 0.0, 0, 1, 5.0);
    MrxStandin_ScriptAnswer(MRX_OP_GET_INIT_STRING_LENGTH, 0, "", 0.0, 0, 1, 40.0);
    MrxStandin_ScriptInitString("abc\r\n\"q\"\xE9\xFF tail", 14);
    MrxStandin_ScriptAnswer(MRX_OP_RESET_LINK, 0, "", 0.0, 0, 1, 7.0);
    // The first string goes into a buffer of 5 + 1 bytes; guard bytes follow.
    EXPECT_EQ(GetInitStringLength(), 5);
    std::vector<char> buffer(6 + 4, '#');
    std::fill(buffer.begin(), buffer.begin() + 6, '\0');
    EXPECT_EQ(GetInitString(buffer.data()), 5);
    EXPECT_EQ(std::string(buffer.data()), "abc\r\n");
    EXPECT_EQ(std::string(buffer.end() - 4, buffer.end()), "####");
    // Queues used up: the store's string and its length again.
    EXPECT_EQ(GetInitStringLength(), 40);
    EXPECT_EQ(GetInitStringLength(), 34);
    EXPECT_EQ(ResetLink(), 7);
    EXPECT_EQ(ResetLink(), 0);
    MrxStandin_ScriptAnswer(MRX_OP_READ_AI, 1, "A", 2.0, 0, 0, 0.0);
    MrxStandin_Reset();  // forgets every script
    EXPECT_EQ(MrxStandin_ScriptRemaining(MRX_OP_READ_AI, 1, "A"), 0);
}

// A front that counts what passes and forwards to the table it was given.
MrxOps behind{};
std::vector<std::string> seen;

double FrontReadAI(void*, int32_t dataSet, const char* tag, uint32_t* cookie, double* value, int32_t* status) {
    seen.push_back(std::string("ReadAI ") + tag);
    return behind.ReadAI(behind.context, dataSet, tag, cookie, value, status);
}
int32_t FrontGetInitStringLength(void*) {
    seen.emplace_back("GetInitStringLength");
    return behind.GetInitStringLength(behind.context) + 1000;
}

TEST_F(MrxScript, TheFrontSeesEveryCallAndCallingBackDoesNotRecurse) {
    MrxOps direct{};
    MrxStandin_DirectOps(&direct);
    void* const exportedFunctions[kMrxOperationCount] = {reinterpret_cast<void*>(&GetInitStringLength),
                                                         reinterpret_cast<void*>(&GetInitString),
                                                         reinterpret_cast<void*>(&ResetLink),
                                                         reinterpret_cast<void*>(&ReadAI),
                                                         reinterpret_cast<void*>(&WriteAI),
                                                         reinterpret_cast<void*>(&ReadAO),
                                                         reinterpret_cast<void*>(&ReadDI),
                                                         reinterpret_cast<void*>(&WriteDI),
                                                         reinterpret_cast<void*>(&ReadDO),
                                                         reinterpret_cast<void*>(&ReadCALC),
                                                         reinterpret_cast<void*>(&WriteCALC)};
    MrxOps exported = MrxOpsOverFunctions(exportedFunctions);
    // Behind the front: the server's own operations, and then the exported
    // ones, which a careless recorder might take for the real library.
    for (const MrxOps* table : {&direct, &exported}) {
        seen.clear();
        behind = *table;
        MrxOps front = exported;
        front.ReadAI = FrontReadAI;
        front.GetInitStringLength = FrontGetInitStringLength;
        MrxStandin_SetFront(&front);
        uint32_t cookie = 0;
        double value = 0.0;
        int32_t status = -1;
        EXPECT_EQ(ReadAI(1, "A", &cookie, &value, &status), 1.0);
        EXPECT_EQ(status, 0);
        EXPECT_EQ(GetInitStringLength(), 1000);
        int32_t di = 0;
        ::testing::internal::CaptureStderr();
        EXPECT_EQ(ReadDI(1, "D", &cookie, &di, &status), 0);  // A's cell: the server itself judges it
        ::testing::internal::GetCapturedStderr();
        EXPECT_EQ(status, MRX_STATUS_COOKIE_FAULT);
        EXPECT_EQ(seen, (std::vector<std::string>{"ReadAI A", "GetInitStringLength"}));
        MrxStandin_SetFront(nullptr);
        seen.clear();
        EXPECT_EQ(GetInitStringLength(), 0);
        EXPECT_TRUE(seen.empty());
    }
}

}  // namespace
