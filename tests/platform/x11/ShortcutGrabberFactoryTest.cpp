#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

#include "platform/ShortcutGrabberFactory.h"
#include "platform/x11/X11GlobalShortcutGrabber.h"
#include "support/ScopedEnvironment.h"

namespace tessarin {
namespace {

using testing::ScopedEnvironment;

TEST(ShortcutGrabberFactory, WithoutAUsableDisplayGrabsFailWithTheReason) {
    ScopedEnvironment noSessionType("XDG_SESSION_TYPE", std::nullopt);
    const struct { std::optional<std::string> platform, display, wayland; std::string reason; } rows[] = {
        {"null", ":59", std::nullopt, "global shortcuts disabled (TESSARIN_PLATFORM=null)"},
        {std::nullopt, ":59", "wayland-0", std::string(kWaylandShortcutsReason)},
        // Nothing listens on :59. (A session without DISPLAY: PlatformChoice's test.)
        {std::nullopt, ":59", std::nullopt,
         "cannot open X display \":59\": no X server answered, or it refused the connection"},
    };
    for (const auto& [platform, display, wayland, reason] : rows) {
        SCOPED_TRACE(reason);
        ScopedEnvironment platformChoice("TESSARIN_PLATFORM", platform);
        ScopedEnvironment displayName("DISPLAY", display);
        ScopedEnvironment waylandDisplay("WAYLAND_DISPLAY", wayland);
        std::string whyNot;
        auto grabber = makeGlobalShortcutGrabber(&whyNot);
        ASSERT_NE(dynamic_cast<NullGlobalShortcutGrabber*>(grabber.get()), nullptr);
        EXPECT_EQ(whyNot, reason);
        const GrabResult result = grabber->grab(1, {KeyModifier::shift, "Print"});
        EXPECT_EQ(result.outcome, GrabOutcome::failed);
        EXPECT_EQ(result.detail, reason);
        EXPECT_EQ(grabber->eventDescriptor(), -1);
    }
}

TEST(ShortcutGrabberFactory, AReachableDisplayGetsX11Grabs) {
    if (std::getenv("TESSARIN_TEST_X_SERVER") == nullptr) GTEST_SKIP() << "needs the test X server";
    ScopedEnvironment noWayland("WAYLAND_DISPLAY", std::nullopt);
    ScopedEnvironment noSessionType("XDG_SESSION_TYPE", std::nullopt);
    ScopedEnvironment platform("TESSARIN_PLATFORM", std::nullopt);
    std::string whyNot = "stale";
    auto grabber = makeGlobalShortcutGrabber(&whyNot);
    ASSERT_NE(dynamic_cast<x11::X11GlobalShortcutGrabber*>(grabber.get()), nullptr);
    EXPECT_EQ(whyNot, "");
    EXPECT_GE(grabber->eventDescriptor(), 0);
    EXPECT_TRUE(grabber->grab(1, {KeyModifier::super, "F7"}).ok());
}

}  // namespace
}  // namespace tessarin
