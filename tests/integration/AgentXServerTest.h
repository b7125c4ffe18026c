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

// The value of --rect for an area of the screen.
inline std::string rectArgument(const PixelRect& r) {
    const auto text = [](int64_t v) { return std::to_string(v); };
    return text(r.x) + "," + text(r.y) + "," + text(r.width) + "," + text(r.height);
}

}  // namespace tessarin::integration
