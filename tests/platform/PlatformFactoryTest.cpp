#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

#include "platform/NullScreenBackend.h"
#include "platform/PlatformFactory.h"
#include "platform/x11/X11ScreenBackend.h"
#include "support/ScopedEnvironment.h"

namespace tessarin {
namespace {

using testing::ScopedEnvironment;

TEST(PlatformFactory, WithoutAUsableDisplayTheNullBackEndSaysWhy) {
    ScopedEnvironment noWayland("WAYLAND_DISPLAY", std::nullopt);
    ScopedEnvironment noSessionType("XDG_SESSION_TYPE", std::nullopt);
    const struct { std::optional<std::string> platform, display; std::string reason; } rows[] = {
        // Nothing listens on :59. (TESSARIN_PLATFORM=null is PlatformChoice's.)
        {std::nullopt, ":59", "cannot open X display \":59\": no X server answered, or it refused the connection"},
        {std::nullopt, "not a display",
         "cannot open X display \"not a display\": the display name could not be parsed"},
    };
    for (const auto& [platform, display, reason] : rows) {
        SCOPED_TRACE(reason);
        ScopedEnvironment platformChoice("TESSARIN_PLATFORM", platform);
        ScopedEnvironment displayName("DISPLAY", display);
        auto backend = makeScreenBackend();
        ASSERT_NE(dynamic_cast<NullScreenBackend*>(backend.get()), nullptr);
        EXPECT_EQ(backend->screenCaptureAccess().detail, reason);
        EXPECT_EQ(backend->displays().error(), CaptureError::captureFailed(reason));
    }
}

// What each back end advertises, and what the adapter passes on: X11 does
// everything but let the user pick an area; the null back end nothing.
TEST(PlatformFactory, BackEndsAdvertiseWhatTheyCanDo) {
    using C = ScreenCapability;
    const ScreenCapabilities x11{C::displayCapture, C::regionCapture, C::windowCapture,
                                 C::regionStream,   C::syntheticScroll, C::pointerPosition};
    EXPECT_TRUE(NullScreenBackend("off").capabilities().empty());
    if (std::getenv("TESSARIN_TEST_X_SERVER") == nullptr) GTEST_SKIP() << "needs the test X server";
    ScopedEnvironment noWayland("WAYLAND_DISPLAY", std::nullopt);
    ScopedEnvironment noSessionType("XDG_SESSION_TYPE", std::nullopt);
    ScopedEnvironment platform("TESSARIN_PLATFORM", std::nullopt);
    auto backend = makeScreenBackend();
    ASSERT_NE(dynamic_cast<x11::X11ScreenBackend*>(backend.get()), nullptr);
    EXPECT_EQ(backend->capabilities(), x11);
    EXPECT_FALSE(backend->capabilities().has(C::interactiveAreaPick));
}

}  // namespace
}  // namespace tessarin
