// The interactive capture's X11 side on a real desktop: openbox manages
// the windows (frames, focus, minimising). Runs inside
// tests/support/desktop-session.sh, one case a session.

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <optional>
#include <string>
#include <thread>

#include "InteractionTestSupport.h"
#include "TestDisplay.h"
#include "platform/x11/X11ActiveWindow.h"
#include "platform/x11/X11Displays.h"
#include "platform/x11/X11WindowPick.h"

namespace tessarin::x11::testing {
namespace {

using namespace std::chrono_literals;
using namespace std::string_literals;

// Tests on a shared machine get generous limits: they wait on conditions,
// and only a fault runs into these.
constexpr auto kPatience = 20s;

template <class Condition>
bool eventually(Condition condition) {
    const auto deadline = std::chrono::steady_clock::now() + kPatience;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(20ms);
    }
    return true;
}

class Desktop : public ::testing::Test {
protected:
    void SetUp() override {
        TESSARIN_REQUIRE_X_SERVER();
        ASSERT_TRUE(x.ok());
        auto opened = X11ActiveWindowTracker::open(std::getenv("DISPLAY"));
        ASSERT_TRUE(opened) << opened.error();
        tracker = std::move(opened.value());
        ASSERT_TRUE(eventually([&] { return tracker->windowManagerActivates(); })) << "openbox did not announce itself";
        backend = connectBackend();
        ASSERT_TRUE(backend);
    }

    // The first listed window that `matches`.
    template <class Match>
    std::optional<WindowDescription> listed(Match matches) {
        const auto windows = backend->windows();
        if (!windows) return std::nullopt;
        const auto it = std::ranges::find_if(windows.value(), matches);
        return it == windows.value().end() ? std::nullopt : std::optional(*it);
    }
    std::optional<WindowDescription> described(xcb_window_t window) {
        return listed([window](const WindowDescription& w) { return w.windowID == window; });
    }
    // The managed client window titled `title`, once the window manager lists it.
    std::optional<xcb_window_t> clientTitled(const std::string& title) {
        std::optional<WindowDescription> found;
        eventually([&] { return (found = listed([&](const WindowDescription& w) { return w.title == title; })).has_value(); });
        return found ? std::optional(found->windowID) : std::nullopt;
    }
    xcb_window_t startXlogo(const std::string& title, const std::string& geometry) {
        x.spawn({"xlogo", "-title", title, "-geometry", geometry});
        const auto window = clientTitled(title);
        EXPECT_TRUE(window) << title << " did not appear";
        return window.value_or(0);
    }

    TestDisplay x;
    std::unique_ptr<X11ActiveWindowTracker> tracker;
    std::unique_ptr<X11ScreenBackend> backend;
};

TEST_F(Desktop, AMinimisedWindowComesBackWhenActivated) {
    const xcb_window_t window = startXlogo("minimised logo", "200x150+100+100");
    ASSERT_TRUE(window);
    ASSERT_TRUE(eventually([&] { return tracker->isActive(window); }));
    ASSERT_EQ(x.run({"xdotool", "windowminimize", "--sync", std::to_string(window)}), 0);
    // The window manager hands the focus on a moment after the window is gone.
    EXPECT_TRUE(eventually([&] { return !tracker->isActive(window); }));

    // Minimised, it is no window to pick.
    X11PickableWindows source(*backend);
    const auto pickable = source.pickableWindows();
    ASSERT_TRUE(pickable);
    EXPECT_FALSE(topmostPickableWindowAt(pickable.value(), {150, 150}, {}).has_value());

    EXPECT_EQ(tracker->activate(window).outcome, ActivationOutcome::requested);
    EXPECT_TRUE(eventually([&] { return tracker->isActive(window) && described(window).has_value(); }));
}

TEST_F(Desktop, APickFindsTheClientAreaInsideTheFrameAndFocusGoesBack) {
    const xcb_window_t lower = startXlogo("lower logo", "300x200+100+100");
    const xcb_window_t upper = startXlogo("upper logo", "300x200+200+150");
    ASSERT_TRUE(lower && upper);
    // openbox focuses a new window when it maps.
    ASSERT_TRUE(eventually([&] { return tracker->isActive(upper); }));

    X11PickableWindows source(*backend);
    const auto pickable = source.pickableWindows();
    ASSERT_TRUE(pickable) << pickable.error().description();
    const auto upperFrame = described(upper);
    const auto lowerFrame = described(lower);
    ASSERT_TRUE(upperFrame && lowerFrame);
    EXPECT_EQ(upperFrame->frame.width, 300);
    EXPECT_EQ(upperFrame->frame.height, 200);

    // Where both overlap the upper one is picked, beside it the lower one.
    const Point overlap{upperFrame->frame.x + 10, upperFrame->frame.y + 10};
    const Point lowerOnly{lowerFrame->frame.x + 5, lowerFrame->frame.y + 5};
    auto picked = topmostPickableWindowAt(pickable.value(), overlap, {});
    ASSERT_TRUE(picked);
    EXPECT_EQ(picked->windowID, upper);
    EXPECT_EQ(picked->frame, upperFrame->frame);
    picked = topmostPickableWindowAt(pickable.value(), lowerOnly, {});
    ASSERT_TRUE(picked);
    EXPECT_EQ(picked->windowID, lower);
    // The title bar above the client area belongs to the frame: no pick
    // of the upper window there (the lower one, or nothing, is under it).
    picked = topmostPickableWindowAt(pickable.value(), {overlap.x, upperFrame->frame.y - 3}, {});
    EXPECT_TRUE(!picked || picked->windowID != upper);
    // Excluding the upper window by id finds the lower one under it.
    picked = topmostPickableWindowAt(pickable.value(), overlap, {.processID = std::nullopt, .windowIDs = {upper}});
    ASSERT_TRUE(picked);
    EXPECT_EQ(picked->windowID, lower);

    // Something else took the focus meanwhile (as the overlay does); it goes
    // back to the window that had it.
    const auto before = tracker->activeWindow();
    EXPECT_EQ(before, upper);
    EXPECT_EQ(tracker->activate(lower).outcome, ActivationOutcome::requested);
    ASSERT_TRUE(eventually([&] { return tracker->isActive(lower); }));
    EXPECT_EQ(tracker->activate(*before).outcome, ActivationOutcome::requested);
    EXPECT_TRUE(eventually([&] { return tracker->isActive(upper); }));
}

}  // namespace
}  // namespace tessarin::x11::testing
