// The stand-ins' echo around a command's quiet part: off inside, on again
// after, whether the part ends or throws.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "iface_control.h"
#include "link/session.h"
#include "platform/iface.h"
#include "platform/message_box.h"
#include "user32_control.h"

namespace {

using host::QuietStandins;

// Raises a box and an ErrorMsg, each with its own text; returns what the
// stand-ins echoed.
std::string RaiseBoth(const char* box, const char* error) {
    ::testing::internal::CaptureStderr();
    MessageBoxA(nullptr, box, "Quiet test", 0);
    ErrorMsg("%s", error);
    return ::testing::internal::GetCapturedStderr();
}

bool Holds(const std::string& text, const char* part) { return text.find(part) != std::string::npos; }

TEST(QuietStandins, EchoIsOffInsideAndOnAgainHoweverTheScopeIsLeft) {
    struct Case {
        QuietStandins::ErrorMsg errorMsg;
        bool throws;
    };
    const Case cases[] = {{QuietStandins::ErrorMsg::Echoed, false},
                          {QuietStandins::ErrorMsg::Echoed, true},
                          {QuietStandins::ErrorMsg::Quiet, false},
                          {QuietStandins::ErrorMsg::Quiet, true}};
    for (const Case& c : cases) {
        const bool errorMsgEchoed = c.errorMsg == QuietStandins::ErrorMsg::Echoed;
        SCOPED_TRACE(std::string(errorMsgEchoed ? "ErrorMsg echoed" : "ErrorMsg quiet") +
                     (c.throws ? ", left by an exception" : ", left normally"));
        User32Standin_Reset();
        IFaceStandin_Reset();
        std::string inside;
        try {
            const QuietStandins quiet(c.errorMsg);
            inside = RaiseBoth("BOX-INSIDE", "ERROR-INSIDE");
            if (c.throws) throw std::runtime_error("the quiet part failed");
        } catch (const std::runtime_error&) {
        }
        EXPECT_FALSE(Holds(inside, "BOX-INSIDE"));
        EXPECT_EQ(Holds(inside, "ERROR-INSIDE"), errorMsgEchoed);
        const std::string after = RaiseBoth("BOX-AFTER", "ERROR-AFTER");
        EXPECT_TRUE(Holds(after, "BOX-AFTER"));
        EXPECT_TRUE(Holds(after, "ERROR-AFTER"));
    }
    User32Standin_Reset();
    IFaceStandin_Reset();
}

}  // namespace
