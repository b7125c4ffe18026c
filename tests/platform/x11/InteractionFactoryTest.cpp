// The interactive capture's services for the session: X11 on the test
// server, null ones that say why where there is no usable display.

#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "TestDisplay.h"
#include "platform/InteractionFactory.h"
#include "support/ScopedEnvironment.h"

namespace tessarin {
namespace {

using testing::ScopedEnvironment;

TEST(InteractionFactory, WithoutAUsableDisplayEveryServiceSaysWhy) {
    ScopedEnvironment noWayland("WAYLAND_DISPLAY", std::nullopt);
    ScopedEnvironment noSessionType("XDG_SESSION_TYPE", std::nullopt);
    // Every reason the session gives is PlatformFactory's; here one reaches every service.
    ScopedEnvironment platformChoice("TESSARIN_PLATFORM", std::nullopt);
    ScopedEnvironment displayName("DISPLAY", ":59");
    const std::string reason = "cannot open X display \":59\": no X server answered, or it refused the connection";
    auto services = DesktopInteraction::open();
    EXPECT_EQ(services.unavailableReason(), reason);
    EXPECT_EQ(services.activeWindow().activeWindow(), std::nullopt);
    const auto activation = services.activeWindow().activate(42);
    EXPECT_EQ(activation.outcome, ActivationOutcome::failed);
    EXPECT_EQ(activation.detail, reason);
    EXPECT_FALSE(services.compositor().compositing());
    const std::vector<uint32_t> windows = {42};
    const auto hidden = services.ownWindows().hide(windows);
    ASSERT_TRUE(hidden);
    EXPECT_EQ(hidden.value().withdrawn, 0);
}

TEST(InteractionFactory, OnAnXServerTheServicesWork) {
    TESSARIN_REQUIRE_X_SERVER();
    x11::testing::TestDisplay x;
    const auto window = x.createWindow({.rect = {0, 0, 50, 50}, .colour = 0x123456});
    auto services = DesktopInteraction::open();
    ASSERT_EQ(services.unavailableReason(), "");
    EXPECT_EQ(services.activeWindow().activate(window).outcome, ActivationOutcome::focused);
    EXPECT_TRUE(services.activeWindow().isActive(window));
    EXPECT_FALSE(services.compositor().compositing());
    const std::vector<uint32_t> windows = {window};
    const auto hidden = services.ownWindows().hide(windows);
    ASSERT_TRUE(hidden) << hidden.error();
    EXPECT_EQ(hidden.value().withdrawn, 1);
    xcb_set_input_focus(x.connection(), XCB_INPUT_FOCUS_POINTER_ROOT, XCB_INPUT_FOCUS_POINTER_ROOT, XCB_CURRENT_TIME);
    x.sync();
}

}  // namespace
}  // namespace tessarin
