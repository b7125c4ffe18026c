// Our own windows leave the screen before a capture reads it: a capture
// taken right after hide() shows none of their pixels.

#include <sys/socket.h>

#include <algorithm>
#include <thread>
#include <cstdlib>
#include <vector>

#include "InteractionTestSupport.h"
#include "TestDisplay.h"
#include "platform/x11/X11Displays.h"
#include "platform/x11/X11WindowHider.h"

namespace tessarin::x11::testing {
namespace {

constexpr uint32_t kScreen = fnv1a32("screen");
constexpr uint32_t kBackground = 0x204060;

class WindowHider : public XServerTest {
protected:
    void SetUp() override {
        XServerTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        x.setRootColour(kBackground);
        auto opened = X11Connection::open(std::getenv("DISPLAY"));
        ASSERT_TRUE(opened) << opened.error();
        connection = std::move(opened.value());
    }
    // How many pixels of `rgb` a capture of `area` shows now.
    size_t pixelsOf(uint32_t rgb, PixelRect area) {
        const auto image = backend->captureDisplayArea(kScreen, area);
        EXPECT_TRUE(image) << image.error().description();
        if (!image) return 0;
        size_t count = 0;
        for (uint32_t y = 0; y < image.value().height(); ++y) {
            for (uint32_t x0 = 0; x0 < image.value().width(); ++x0) count += rgbAt(image.value(), x0, y) == rgb;
        }
        return count;
    }

    Expected<WindowHiding, std::string> hide(std::vector<uint32_t> ours) { return X11WindowHider(*connection).hide(ours); }

    std::unique_ptr<X11Connection> connection;
};

TEST_F(WindowHider, AHiddenWindowIsGoneFromTheNextCapture) {
    const PixelRect area{100, 100, 300, 200};
    const auto overlay = x.createWindow({.rect = {150, 120, 120, 80}, .colour = 0xff00ff});
    const auto thumbnail = x.createWindow({.rect = {200, 180, 60, 60}, .colour = 0x00ffee, .overrideRedirect = true});
    ASSERT_EQ(pixelsOf(0xff00ff, area), 120u * 80u - 60u * 20u);
    ASSERT_EQ(pixelsOf(0x00ffee, area), 60u * 60u);

    // Windows not on screen are skipped.
    const auto unmapped = x.createWindow({.rect = {0, 0, 10, 10}, .mapped = false});
    const auto hidden = hide({overlay, thumbnail, unmapped, 0x1fffffe});
    ASSERT_TRUE(hidden) << hidden.error();
    EXPECT_EQ(hidden.value().withdrawn, 2);
    EXPECT_EQ(pixelsOf(0xff00ff, area), 0u);
    EXPECT_EQ(pixelsOf(0x00ffee, area), 0u);
    EXPECT_EQ(pixelsOf(kBackground, area), size_t(area.width * area.height));
}

TEST_F(WindowHider, AWindowInsideAFrameTakesTheFrameAlong) {
    // Without a window manager nobody removes the frame; the hider waits
    // for the frame only while it is on screen, and the wait is bounded.
    const auto frame = x.createWindow({.rect = {400, 400, 100, 100}, .colour = 0x808080});
    const auto inside = x.createWindow({.rect = {5, 20, 90, 75}, .colour = 0xffff00, .parent = frame});
    // The test unmaps the frame when the client goes, as a window manager does.
    const uint32_t substructure = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(x.connection(), frame, XCB_CW_EVENT_MASK, &substructure);
    x.sync();
    std::thread windowManager([&] {
        const auto event = waitForEvent(
            x.connection(), [](const xcb_generic_event_t& e) { return eventType(e) == XCB_UNMAP_NOTIFY; },
            std::chrono::seconds(20));
        if (event) xcb_unmap_window(x.connection(), frame);
        xcb_flush(x.connection());
    });
    const auto hidden = hide({inside});
    windowManager.join();
    ASSERT_TRUE(hidden) << hidden.error();
    x.sync();
    EXPECT_EQ(pixelsOf(0x808080, {400, 400, 100, 100}), 0u);
    EXPECT_EQ(pixelsOf(0xffff00, {400, 400, 100, 100}), 0u);
}

TEST_F(WindowHider, UnderACompositorTheWindowIsGoneToo) {
    // The test owns the compositor selection; nobody redirects the windows,
    // so the screen shows the result at once, after the hider's settle.
    const xcb_window_t owner = x.createWindow({.rect = {0, 0, 1, 1}, .mapped = false});
    xcb_set_selection_owner(x.connection(), owner, atomNamed(x.connection(), "_NET_WM_CM_S0"), XCB_CURRENT_TIME);
    x.sync();
    const auto window = x.createWindow({.rect = {600, 100, 80, 80}, .colour = 0x00ff00});
    ASSERT_EQ(pixelsOf(0x00ff00, {600, 100, 80, 80}), 80u * 80u);

    X11WindowHider hider(*connection, std::chrono::milliseconds(1));
    const std::vector<uint32_t> ours = {window};
    const auto hidden = hider.hide(ours);
    ASSERT_TRUE(hidden) << hidden.error();
    EXPECT_EQ(hidden.value().withdrawn, 1);
    EXPECT_EQ(pixelsOf(0x00ff00, {600, 100, 80, 80}), 0u);
}

TEST_F(WindowHider, ALostConnectionIsAnError) {
    const auto window = x.createWindow({.rect = {0, 0, 10, 10}});
    X11WindowHider hider(*connection);
    ::shutdown(xcb_get_file_descriptor(connection->raw()), SHUT_RDWR);
    const std::vector<uint32_t> ours = {window};
    const auto hidden = hider.hide(ours);
    ASSERT_FALSE(hidden);
    EXPECT_NE(hidden.error().find("lost the connection"), std::string::npos) << hidden.error();
}

}  // namespace
}  // namespace tessarin::x11::testing
