#include <gtest/gtest.h>

#include <string>

#include "platform/message_box.h"
#include "user32_control.h"

namespace {

class User32Standin : public ::testing::Test {
protected:
    void SetUp() override {
        User32Standin_Reset();
        User32Standin_SetEcho(0);
    }
    void TearDown() override {
        User32Standin_Reset();
        User32Standin_SetEcho(1);
    }
};

TEST_F(User32Standin, RecordsEveryBoxAndAnswersOk) {
    int owner = 0;
    EXPECT_EQ(MessageBoxA(&owner, "first", "Title 1", 0x30u), 1);
    EXPECT_EQ(MessageBoxA(nullptr, nullptr, nullptr, 0), 1);
    ASSERT_EQ(User32Standin_BoxCount(), 2);
    EXPECT_STREQ(User32Standin_BoxText(0), "first");
    EXPECT_STREQ(User32Standin_BoxCaption(0), "Title 1");
    EXPECT_EQ(User32Standin_BoxType(0), 0x30u);
    EXPECT_EQ(User32Standin_BoxOwner(0), &owner);
    EXPECT_STREQ(User32Standin_BoxText(1), "");
    EXPECT_STREQ(User32Standin_BoxCaption(1), "");
    EXPECT_EQ(User32Standin_BoxText(2), nullptr);

    // Earlier texts stay where they were while more boxes arrive.
    const char* first = User32Standin_BoxText(0);
    for (int n = 0; n < 100; ++n) {
        MessageBoxA(nullptr, "more", "t", 0);
    }
    EXPECT_STREQ(first, "first");

    User32Standin_Reset();
    EXPECT_EQ(User32Standin_BoxCount(), 0);
}

TEST_F(User32Standin, EchoesAFramedBoxWithItsTitle) {
    User32Standin_SetEcho(1);
    ::testing::internal::CaptureStderr();
    MessageBoxA(nullptr, "line one\r\nline two", "Runtime Error", 0);
    const std::string out = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(out.rfind("=== Runtime Error ===", 0), 0u) << out;
    EXPECT_NE(out.find("\n| line one\n| line two\n===="), std::string::npos) << out;

    User32Standin_SetEcho(0);
    ::testing::internal::CaptureStderr();
    MessageBoxA(nullptr, "silent", "t", 0);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(User32Standin_BoxCount(), 2);
}

// The listener sees every box, the stand-in records none, and a box is
// echoed only when the listener says so.
int32_t EchoOddOnes(const char* caption, const char* text, void* context) {
    auto* seen = static_cast<std::string*>(context);
    *seen += std::string(caption) + ":" + text + ";";
    return seen->size() % 2 == 1 ? 1 : 0;
}

TEST_F(User32Standin, ListenerTakesBoxesInsteadOfTheRecord) {
    std::string seen;
    User32Standin_SetListener(EchoOddOnes, &seen);
    User32Standin_SetEcho(1);
    ::testing::internal::CaptureStderr();
    MessageBoxA(nullptr, "ab", "t", 0);   // "t:ab;" is 5 long: echoed
    MessageBoxA(nullptr, "abc", "t", 0);  // 11 long: echoed
    MessageBoxA(nullptr, "a", "t", 0);    // 15 long: echoed
    MessageBoxA(nullptr, "", "t", 0);     // 18 long: not
    const std::string out = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(seen, "t:ab;t:abc;t:a;t:;");
    EXPECT_EQ(User32Standin_BoxCount(), 0);
    EXPECT_NE(out.find("| abc\n"), std::string::npos) << out;
    EXPECT_EQ(out.find("| \n"), std::string::npos) << out;

    User32Standin_Reset();  // drops the listener
    MessageBoxA(nullptr, "kept", "t", 0);
    EXPECT_EQ(User32Standin_BoxCount(), 1);
    EXPECT_EQ(seen, "t:ab;t:abc;t:a;t:;");
}

}  // namespace
