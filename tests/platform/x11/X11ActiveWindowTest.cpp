// The active window on Xvfb, where no window manager runs: the input focus
// is the active window, unless a test plays a window manager that
// announces _NET_ACTIVE_WINDOW. With openbox: X11DesktopActiveWindowTest.cpp.

#include <cstdlib>
#include <string>

#include "InteractionTestSupport.h"
#include "TestDisplay.h"
#include "platform/x11/X11ActiveWindow.h"

namespace tessarin::x11::testing {
namespace {

using namespace std::string_literals;

class ActiveWindow : public ::testing::Test {
protected:
    void SetUp() override {
        TESSARIN_REQUIRE_X_SERVER();
        ASSERT_TRUE(x.ok());
        auto opened = X11ActiveWindowTracker::open(std::getenv("DISPLAY"));
        ASSERT_TRUE(opened) << opened.error();
        tracker = std::move(opened.value());
    }
    void TearDown() override {
        if (x.ok()) focusNothing();
    }
    void focusNothing() {
        xcb_set_input_focus(x.connection(), XCB_INPUT_FOCUS_POINTER_ROOT, XCB_INPUT_FOCUS_POINTER_ROOT, XCB_CURRENT_TIME);
        x.sync();
    }
    // Publishes what a window manager announces: a check window naming
    // itself (unless `stale`) and the supported atoms.
    void announceWindowManager(bool stale) {
        const xcb_window_t check = x.createWindow({.rect = {0, 0, 1, 1}, .mapped = false});
        const xcb_atom_t checkAtom = atomNamed(x.connection(), "_NET_SUPPORTING_WM_CHECK");
        if (!stale) {
            xcb_change_property(x.connection(), XCB_PROP_MODE_REPLACE, check, checkAtom, XCB_ATOM_WINDOW, 32, 1,
                                &check);
        }
        x.setRootProperty("_NET_SUPPORTING_WM_CHECK", "WINDOW", 32, &check, 1);
        const xcb_atom_t supported = atomNamed(x.connection(), "_NET_ACTIVE_WINDOW");
        x.setRootProperty("_NET_SUPPORTED", "ATOM", 32, &supported, 1);
    }

    TestDisplay x;
    std::unique_ptr<X11ActiveWindowTracker> tracker;
};

TEST_F(ActiveWindow, WithoutAWindowManagerTheFocusIsSetDirectlyAndNoFocusIsNone) {
    const auto first = x.createWindow({.rect = {0, 0, 100, 100}, .colour = 0x112233});
    const auto second = x.createWindow({.rect = {50, 50, 100, 100}, .colour = 0x445566});
    EXPECT_FALSE(tracker->windowManagerActivates());

    EXPECT_EQ(tracker->activate(first).outcome, ActivationOutcome::focused);
    EXPECT_EQ(tracker->activeWindow(), first);
    EXPECT_EQ(tracker->activate(second).outcome, ActivationOutcome::focused);
    EXPECT_TRUE(tracker->isActive(second));
    EXPECT_FALSE(tracker->isActive(first));
    focusNothing();
    EXPECT_EQ(tracker->activeWindow(), std::nullopt);
}

TEST_F(ActiveWindow, WindowsThatCannotBeActivatedSayWhyAndAStaleManagerIsNotBelieved) {
    const auto unmapped = x.createWindow({.rect = {0, 0, 10, 10}, .mapped = false});
    struct Case {
        xcb_window_t window;
        std::string detail;
    };
    for (const Case& c : {Case{0x1fffffe, "window 33554430 does not exist (closed?)"},
                          Case{unmapped, "window " + std::to_string(unmapped) + " is not on screen"}}) {
        const auto result = tracker->activate(c.window);
        EXPECT_EQ(result.outcome, ActivationOutcome::failed);
        EXPECT_EQ(result.detail, c.detail);
    }
    // A stale window manager announcement is not believed.
    announceWindowManager(/*stale=*/true);
    EXPECT_FALSE(tracker->windowManagerActivates());
    const auto window = x.createWindow({.rect = {0, 0, 10, 10}});
    EXPECT_EQ(tracker->activate(window).outcome, ActivationOutcome::focused);
}

TEST(CompositorProbe, ACompositorIsTheOwnerOfItsScreenSelection) {
    TESSARIN_REQUIRE_X_SERVER();
    TestDisplay x;
    auto connection = X11Connection::open(std::getenv("DISPLAY"));
    ASSERT_TRUE(connection) << connection.error();
    X11CompositorProbe probe(*connection.value());
    EXPECT_FALSE(probe.compositing());

    const xcb_window_t owner = x.createWindow({.rect = {0, 0, 1, 1}, .mapped = false});
    const xcb_atom_t selection = atomNamed(x.connection(), "_NET_WM_CM_S" + std::to_string(screenNumberOf(*connection.value())));
    xcb_set_selection_owner(x.connection(), owner, selection, XCB_CURRENT_TIME);
    x.sync();
    EXPECT_TRUE(probe.compositing());

    xcb_set_selection_owner(x.connection(), XCB_WINDOW_NONE, selection, XCB_CURRENT_TIME);
    x.sync();
    EXPECT_FALSE(probe.compositing());
}

}  // namespace
}  // namespace tessarin::x11::testing
