#pragma once
// Base of the cases that run the agent against one of the test X servers
// (see tests/XServerFixture.cmake): the agent's child processes and the
// test's own connection see the same DISPLAY.

#include "AgentProcess.h"
#include "platform/x11/TestDisplay.h"

namespace tessarin::integration {

class AgentXServerTest : public AgentTest {
protected:
    void SetUp() override {
        TESSARIN_REQUIRE_X_SERVER();
        ASSERT_TRUE(x.ok());
    }

    x11::testing::TestDisplay x;
};

}  // namespace tessarin::integration
