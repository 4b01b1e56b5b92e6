// What every component step's tests share: a media directory to run from, a message buffer
// filled with a marker, and the checks that hold after every path through a step.
#pragma once

#include <gtest/gtest.h>

#include <string.h>

#include <functional>

#include "deploy/status.h"
#include "support/prompt_answerer.h"
#include "support/registry_keys.h"
#include "support/test_files.h"

class ComponentStepTest : public ::testing::Test {
protected:
    ComponentStepTest() { ResetMessage(); }

    void ResetMessage() { memset(message, 'x', sizeof(message)); }
    bool MessageUntouched() const
    {
        for (char c : message)
            if (c != 'x')
                return false;
        return true;
    }

    // Runs a step from the media directory: it must come back there and close every key and
    // file it opened. handlesTheTestCloses counts holds that the test itself lets go meanwhile.
    ComponentStatus RunFromMedia(const std::function<ComponentStatus()>& step)
    {
        WarmUpMessageBoxes();
        ScopedCurrentDirectory inMedia(media.Path());
        DWORD handlesBefore = OpenHandleCount();
        ComponentStatus status = step();
        EXPECT_EQ(handlesBefore - handlesTheTestCloses, OpenHandleCount())
            << "a registry key or file handle was left open";
        EXPECT_TRUE(SamePath(media.Path(), CurrentDirectory())) << CurrentDirectory();
        return status;
    }

    TempDir media{"media"};
    DWORD handlesTheTestCloses = 0;
    char message[kMessageCapacity];
};
