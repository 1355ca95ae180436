// Shared fixtures of the driver tests: the stand-ins reset and silenced
// before each test, and a check after it that the driver gave back every
// block it took from the host services.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "iface_control.h"
#include "mrx3p_control.h"
#include "user32_control.h"

struct Box {
    std::string text;
    std::string caption;
    unsigned int type;
    void* owner;
};

inline std::vector<Box> Boxes() {
    std::vector<Box> boxes;
    for (int32_t i = 0; i < User32Standin_BoxCount(); ++i) {
        boxes.push_back({User32Standin_BoxText(i), User32Standin_BoxCaption(i), User32Standin_BoxType(i),
                         User32Standin_BoxOwner(i)});
    }
    return boxes;
}

inline std::vector<std::string> BoxTexts() {
    std::vector<std::string> texts;
    for (const Box& box : Boxes()) {
        texts.push_back(box.text);
    }
    return texts;
}

inline std::vector<std::string> ErrorMessages() {
    std::vector<std::string> texts;
    for (int32_t i = 0; i < IFaceStandin_ErrorMessageCount(); ++i) {
        texts.emplace_back(IFaceStandin_ErrorMessage(i));
    }
    return texts;
}

class StandinTest : public ::testing::Test {
protected:
    void SetUp() override {
        IFaceStandin_Reset();
        MrxStandin_Reset();
        User32Standin_Reset();
        User32Standin_SetEcho(0);
        IFaceStandin_SetEcho(0);
        liveMallocBefore_ = IFaceStandin_LiveBlocks(IFACE_FAMILY_MALLOC);
        liveNewBefore_ = IFaceStandin_LiveBlocks(IFACE_FAMILY_NEW);
    }

    // Tests that keep blocks on purpose until TearDown release them first.
    void TearDown() override {
        IFaceStandin_FailAllocation(0, 0);
        EXPECT_EQ(IFaceStandin_LiveBlocks(IFACE_FAMILY_MALLOC), liveMallocBefore_) << "malloc-family blocks leaked";
        EXPECT_EQ(IFaceStandin_LiveBlocks(IFACE_FAMILY_NEW), liveNewBefore_) << "new-family blocks leaked";
        EXPECT_EQ(MrxStandin_CookieFaults(), 0) << "the driver passed a wrong or changed cookie cell";
    }

private:
    int64_t liveMallocBefore_ = 0;
    int64_t liveNewBefore_ = 0;
};
