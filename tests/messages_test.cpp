// The report routines format byte for byte, and every text is shown whole.
#include <gtest/gtest.h>

#include <string>

#include "messages.h"
#include "test_support.h"

namespace {

class MessagesTest : public StandinTest {
protected:
    Box OnlyBox() {
        auto boxes = Boxes();
        EXPECT_EQ(boxes.size(), 1u);
        return boxes.empty() ? Box{} : boxes[0];
    }
};

TEST_F(MessagesTest, ReadError) {
    ReportReadError("AO", kRoleSP, "FIC-101.SP", kOwnerController, 3);
    Box box = OnlyBox();
    EXPECT_EQ(box.text, "Error reading AO tag for SP tag FIC-101.SP of controller at index 3");
    EXPECT_EQ(box.caption, "KVMRXNT Error");
    EXPECT_EQ(box.type, 0u);
    EXPECT_EQ(box.owner, nullptr);
}

TEST_F(MessagesTest, WriteErrorEndsWithLineBreakUnlessCalc) {
    ReportWriteError(KindText(1), kRolePV, "TI-7", kOwnerPVExport, 0, WriteDetailText(1));
    ReportWriteError(KindText(6), kRoleMode, "FIC-9.MODE", kOwnerController, 12, WriteDetailText(6));
    auto texts = BoxTexts();
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_EQ(texts[0], "Error writing AI tag for PV tag TI-7 of PV Export at index 0\n");
    EXPECT_EQ(texts[1],
              "Error writing CALC tag for Mode tag FIC-9.MODE of controller at index 12\n"
              "\nCALC tag must be in External mode to set it from an external system");
    EXPECT_GE(texts[1].size(), 128u);
}

TEST_F(MessagesTest, BadTagTypeCarriesTheKindCode) {
    ReportBadTagType(5, kRolePV, "X1", kOwnerPVImport, 4);
    ReportBadTagType(0, kRoleOP, "Y2", kOwnerController, 0);
    auto texts = BoxTexts();
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_EQ(texts[0], "Bad tag type 5 for PV tag X1 of PV Import at index 4\n");
    EXPECT_EQ(texts[1], "Bad tag type 0 for OP tag Y2 of controller at index 0\n");
}

TEST_F(MessagesTest, LongAndNullTagTexts) {
    const std::string tag(200, 'T');
    ReportReadError("DI", kRolePV, tag.c_str(), kOwnerPVImport, 7);
    ReportReadError("DI", kRolePV, nullptr, kOwnerPVImport, 8);
    auto texts = BoxTexts();
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_EQ(texts[0], "Error reading DI tag for PV tag " + tag + " of PV Import at index 7");
    EXPECT_EQ(texts[1], "Error reading DI tag for PV tag  of PV Import at index 8");
}

TEST_F(MessagesTest, BindingMessagesKeepTheirBlanks) {
    ShowFormattedMessage(kTitleBinding, kMsgSPInitTagUnbound, 1000000);
    ShowFormattedMessage(kTitleBinding, kMsgPVExportUnbound, -1);
    auto texts = BoxTexts();
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_EQ(texts[0],
              "Incorrect data set or unknown SPInit tag for controller at index 1000000\n"
              "                SPInit tags must be writable (AI, DI or CALC)");
    EXPECT_EQ(texts[1].find("\n" + std::string(22, ' ') + "PV Export tags must be writable (AI, DI, or CALC)"),
              texts[1].find('\n'));
    EXPECT_NE(texts[1].find("index -1\n"), std::string::npos);
}

TEST_F(MessagesTest, FixedTextsShowAsTheyStand) {
    ShowMessage(kMsgCannotEnableLink, kTitleConfigError);
    Box box = OnlyBox();
    EXPECT_EQ(box.caption, "DCSConfigError");
    EXPECT_EQ(box.text.substr(box.text.rfind('\n')), "\n Enable the link");
    EXPECT_EQ(std::string(kMsgEnabledFlagUnbound).find("\n             Enabled"), 54u);
    EXPECT_EQ(std::string(kMsgModeTagUnbound).substr(std::string(kMsgModeTagUnbound).find('\n') + 1, 11),
              std::string(10, ' ') + "M");
}

TEST_F(MessagesTest, FormattingWithoutStorageStillTellsTheUser) {
    IFaceStandin_FailAllocation(1, 0);
    ReportReadError("AI", kRoleSP, "T", kOwnerController, 1);
    Box box = OnlyBox();
    EXPECT_EQ(box.text, kMsgReadError);
    EXPECT_EQ(box.caption, "KVMRXNT Error");
}

TEST_F(MessagesTest, KindTexts) {
    EXPECT_STREQ(KindText(1), "AI");
    EXPECT_STREQ(KindText(2), "AO");
    EXPECT_STREQ(KindText(3), "DI");
    EXPECT_STREQ(KindText(4), "DO");
    EXPECT_STREQ(KindText(6), "CALC");
    EXPECT_STREQ(KindText(5), "");
    EXPECT_STREQ(WriteDetailText(3), "");
}

}  // namespace
