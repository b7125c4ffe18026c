#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

#include "platform/NullScreenBackend.h"
#include "platform/PlatformFactory.h"
#include "platform/x11/X11ScreenBackend.h"

namespace tessarin {
namespace {

// Sets (or clears, for nullopt) an environment variable for one scope.
class ScopedEnvironment {
public:
    ScopedEnvironment(const char* name, std::optional<std::string> value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        set(value);
    }
    ~ScopedEnvironment() { set(old_); }
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

private:
    void set(const std::optional<std::string>& value) {
        value ? setenv(name_, value->c_str(), 1) : unsetenv(name_);
    }
    const char* name_;
    std::optional<std::string> old_;
};

// The reason a null back end gives, or nothing for a real back end.
std::optional<std::string> nullReason(const ScreenBackend& backend) {
    if (dynamic_cast<const NullScreenBackend*>(&backend) == nullptr) return std::nullopt;
    return const_cast<ScreenBackend&>(backend).screenCaptureAccess().detail;
}

TEST(PlatformFactory, EnvironmentChoosesThePlatform) {
    {
        ScopedEnvironment platform("TESSARIN_PLATFORM", "null");
        auto backend = makeScreenBackend();
        EXPECT_EQ(nullReason(*backend), "screen capture disabled (TESSARIN_PLATFORM=null)");
        EXPECT_EQ(backend->displays().error(),
                  CaptureError::captureFailed("screen capture disabled (TESSARIN_PLATFORM=null)"));
    }
    ScopedEnvironment platform("TESSARIN_PLATFORM", "wayland");
    EXPECT_EQ(nullReason(*makeScreenBackend()), "unknown TESSARIN_PLATFORM value \"wayland\" (expected x11 or null)");
}

TEST(PlatformFactory, MissingOrUnreachableDisplayIsExplained) {
    ScopedEnvironment platform("TESSARIN_PLATFORM", std::nullopt);
    ScopedEnvironment wayland("WAYLAND_DISPLAY", "wayland-0");
    {
        ScopedEnvironment display("DISPLAY", std::nullopt);
        EXPECT_EQ(nullReason(*makeScreenBackend()),
                  "no X display: DISPLAY is not set (run under an X session or Xvfb; Wayland sessions need the "
                  "portal back end, which is not built yet)");
    }
    {
        ScopedEnvironment display("DISPLAY", ":59");  // nothing listens there
        EXPECT_EQ(nullReason(*makeScreenBackend()),
                  "cannot open X display \":59\": no X server answered, or it refused the connection");
    }
    ScopedEnvironment display("DISPLAY", "not a display");
    EXPECT_EQ(nullReason(*makeScreenBackend()),
              "cannot open X display \"not a display\": the display name could not be parsed");
}

TEST(PlatformFactory, ReachableDisplayGivesTheX11BackEndEvenInAWaylandSession) {
    if (std::getenv("TESSARIN_TEST_X_SERVER") == nullptr) GTEST_SKIP() << "needs the test X server";
    ScopedEnvironment wayland("WAYLAND_DISPLAY", "wayland-0");  // Xwayland sets both
    ScopedEnvironment scale("GDK_SCALE", "2");
    for (const char* choice : {"", "x11"}) {
        ScopedEnvironment platform("TESSARIN_PLATFORM", choice);
        auto backend = makeScreenBackend();
        ASSERT_NE(dynamic_cast<x11::X11ScreenBackend*>(backend.get()), nullptr);
        EXPECT_EQ(backend->screenCaptureAccess().detail, "X11 display " + std::string(std::getenv("DISPLAY")));
        auto displays = backend->displays();
        ASSERT_TRUE(displays) << displays.error().description();
        EXPECT_EQ(displays->front().scale, 2);
    }
}

}  // namespace
}  // namespace tessarin
