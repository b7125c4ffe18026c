// The window pick through the ScreenCast portal's chooser on the headless
// Wayland session the test runs in, whose ScreenCast backend offers windows
// (wayland-run.sh --cast-windows): the stand-in backend "picks" the cast
// output's desktop, so the picked window is the whole output in its colour.
// The stand-in's log says what the pick asked for.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "core/common/Log.h"
#include "platform/portal/PortalWindowPick.h"
#include "support/ScopedEnvironment.h"
#include "support/TempDir.h"

namespace tessarin::portal {
namespace {

using namespace std::chrono_literals;
using testing::ScopedEnvironment;

bool inSession() { return std::getenv("WAYLAND_DISPLAY") && std::getenv("DBUS_SESSION_BUS_ADDRESS"); }

// The lines of the stand-in backend's log (one JSON object each, keys sorted).
std::vector<std::string> standInLog() {
    std::vector<std::string> lines;
    const char* session = std::getenv("WAYLAND_SESSION_DIR");
    if (!session) return lines;
    std::ifstream log(std::string(session) + "/logs/cast-windows-portal.log");
    for (std::string line; std::getline(log, line);) lines.push_back(line);
    return lines;
}

bool logHolds(const std::string& text) {
    return std::ranges::any_of(standInLog(), [&](const std::string& line) { return line.find(text) != std::string::npos; });
}

// The stand-in writes its log as calls arrive; a call made just before may
// still be on its way.
bool logComesToHold(const std::string& text) {
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (!logHolds(text)) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(20ms);
    }
    return true;
}

class WindowPick : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(inSession()) << "runs inside the headless Wayland session (tests/support/wayland-run.sh)";
        configureLoggingFromEnvironment();
    }
    // Nothing may be remembered between picks: a data folder of the test's own shows it.
    tessarin::testing::TempDir data_;
    ScopedEnvironment dataHome_{"XDG_DATA_HOME", data_.path().string()};
    WindowPickTimeouts timeouts_{20s, 10s};
};

// wayland-run.sh --cast-windows share
TEST_F(WindowPick, ThePickedWindowArrivesWholeAndOpaqueAndTheCastEndsWithThePick) {
    const auto picked = pickWindowThroughPortal(nullptr, timeouts_);
    ASSERT_TRUE(picked) << picked.error().description();
    ASSERT_TRUE(picked->has_value()) << "the stand-in's chooser picked a window";
    const Image& image = **picked;
    EXPECT_EQ(image.width(), 1280u);
    EXPECT_EQ(image.height(), 720u);
    // The session's output is red (wayland-run.sh's default background).
    for (const auto& [x, y] : {std::pair{0u, 0u}, {1279u, 719u}, {640u, 360u}}) {
        const uint8_t* pixel = image.row(y) + x * 4;
        EXPECT_EQ((std::array<uint8_t, 4>{pixel[0], pixel[1], pixel[2], pixel[3]}),
                  (std::array<uint8_t, 4>{255, 0, 0, 255}))
            << x << "," << y;
    }
    // A window, asked for alone, and not to be remembered: each pick asks afresh.
    for (const char* asked : {R"("method": "SelectSources")", R"("multiple": false, "persist_mode": 0, "session")",
                              R"("types": 2})", R"("method": "Start", "session")", R"("window": true})"}) {
        EXPECT_TRUE(logHolds(asked)) << asked;
    }
    // The screen is shared no longer than the one picture takes.
    EXPECT_TRUE(logComesToHold(R"("method": "Session.Close")")) << "the cast was left running";
}

// wayland-run.sh --cast-windows cancel (a refusal takes the same way out,
// as the permission error: WindowPickFailure in CastPortalTest)
TEST_F(WindowPick, ClosingTheChooserPicksNothingAndEndsTheCast) {
    const auto picked = pickWindowThroughPortal(nullptr, timeouts_);
    ASSERT_TRUE(picked) << "closing the chooser is no error: " << picked.error().description();
    EXPECT_FALSE(picked->has_value());
    EXPECT_TRUE(logHolds(R"("answer": 1)"));
    EXPECT_TRUE(logComesToHold(R"("method": "Session.Close")")) << "the session was left open";
}

// wayland-run.sh --cast-windows stall: the backend never answers SelectSources.
// Only the chooser may take long; a step stuck before it ends the pick
// within the time-out of such steps (the test's own time-out is far below
// the chooser's).
TEST_F(WindowPick, AStepStuckBeforeTheChooserEndsThePickWithinItsOwnTimeOut) {
    const WindowPickTimeouts timeouts{std::chrono::minutes(10), 10s, 2s};
    const auto picked = pickWindowThroughPortal(nullptr, timeouts);
    ASSERT_FALSE(picked);
    EXPECT_EQ(picked.error().description(),
              "Capture failed: the desktop portal did not answer org.freedesktop.portal.ScreenCast.SelectSources "
              "within 2000 ms; the request was closed");
    EXPECT_FALSE(logHolds(R"("method": "Start")")) << "the pick went on past the stuck step";
    EXPECT_TRUE(logComesToHold(R"("method": "Request.Close")")) << "the stuck request was left open";
    EXPECT_TRUE(logComesToHold(R"("method": "Session.Close")")) << "the session was left open";
}

// wayland-run.sh --cast-windows hold: the chooser stays open. A pick given
// up from another thread (the application quitting) ends at once as no
// pick, with the chooser's request and the session closed.
TEST_F(WindowPick, APickAbandonedInTheChooserIsNoPickAndClosesTheChooser) {
    const WindowPickTimeouts timeouts{std::chrono::minutes(10), 10s, 10s};
    auto abandonment = std::make_shared<WindowPickAbandonment>();
    std::optional<Expected<std::optional<Image>, CaptureError>> picked;
    std::thread picking([&] { picked = pickWindowThroughPortal(nullptr, timeouts, abandonment); });
    const bool chooserOpen = logComesToHold(R"("method": "Start")");
    abandonment->abandon();
    picking.join();
    ASSERT_TRUE(chooserOpen) << "the pick never reached the chooser";
    ASSERT_TRUE(picked);
    ASSERT_TRUE(*picked) << picked->error().description();
    EXPECT_FALSE((*picked)->has_value());
    EXPECT_TRUE(logComesToHold(R"("method": "Request.Close")")) << "the chooser was left open";
    EXPECT_TRUE(logComesToHold(R"("method": "Session.Close")")) << "the session was left open";
}

}  // namespace
}  // namespace tessarin::portal
