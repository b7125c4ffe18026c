#pragma once
// The test's own connection to the X server its binary runs against (see
// tests/XServerFixture.cmake): it creates windows the server paints in a
// solid colour, starts real clients, moves the pointer and sets root
// properties, and undoes all of it when destroyed.

#include <gtest/gtest.h>
#include <sys/types.h>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <xcb/xcb.h>

#include "core/common/Geometry.h"
#include "core/common/Image.h"
#include "platform/DisplayPrinter.h"
#include "platform/x11/X11ScreenBackend.h"

namespace tessarin::x11::testing {

// Without the fixture's TESSARIN_TEST_X_SERVER the tests skip rather than
// change whatever desktop DISPLAY points at.
#define TESSARIN_REQUIRE_X_SERVER()                                                               \
    do {                                                                                          \
        if (std::getenv("TESSARIN_TEST_X_SERVER") == nullptr) {                                   \
            GTEST_SKIP() << "needs a test X server (run through ctest, see XServerFixture.cmake)"; \
        }                                                                                         \
    } while (false)

struct TestWindow {
    PixelRect rect;  // outer corner relative to the parent's inside, and the inside size
    uint32_t colour = 0x000000;  // 0xRRGGBB, painted by the server
    std::optional<std::string> wmClass = std::nullopt;    // raw bytes, e.g. "inst\0Class\0"s
    std::optional<std::string> wmName = std::nullopt;     // WM_NAME as STRING (Latin-1 bytes)
    std::optional<std::string> netWmName = std::nullopt;  // _NET_WM_NAME as UTF8_STRING
    std::optional<uint32_t> pid = std::nullopt;           // _NET_WM_PID
    bool overrideRedirect = false;
    uint16_t border = 0;
    xcb_window_t parent = XCB_WINDOW_NONE;  // the root when none
    bool mapped = true;
};

class TestDisplay {
public:
    TestDisplay();
    ~TestDisplay();
    TestDisplay(const TestDisplay&) = delete;
    TestDisplay& operator=(const TestDisplay&) = delete;

    bool ok() const { return xcb_connection_has_error(connection_) == 0; }
    xcb_connection_t* connection() const { return connection_; }
    xcb_window_t root() const { return root_; }
    void sync();

    // Returns once the server has painted the window (when mapped).
    xcb_window_t createWindow(const TestWindow& window);

    // Starts a client; it is killed on destruction.
    pid_t spawn(const std::vector<std::string>& command);
    // Runs a command (xsetroot, xrandr) to completion; its exit status.
    int run(const std::vector<std::string>& command);
    // Waits (up to 20 s: clients start slowly on loaded machines) for a
    // viewable child of the root whose WM_NAME is `title`.
    std::optional<xcb_window_t> waitForTopLevel(const std::string& title);

    // A root property of 8- or 32-bit items, deleted again on destruction
    // (the test servers start without any of those the tests set).
    void setRootProperty(const std::string& name, const std::string& type, uint8_t format, const void* data,
                         uint32_t items);
    void setRootColour(uint32_t rgb);  // runs xsetroot -solid
    void warpPointer(int16_t x, int16_t y);
    // The window's inside in root pixels, asked of the server directly.
    std::optional<PixelRect> rootGeometry(xcb_window_t window);
    // Redirects every top-level window as a compositing manager does, until
    // this connection closes.
    void redirectLikeACompositor();

private:
    xcb_atom_t atom(const std::string& name);

    xcb_connection_t* connection_;
    xcb_window_t root_ = 0;
    std::vector<xcb_window_t> windows_;
    std::vector<pid_t> children_;
    std::vector<xcb_atom_t> rootProperties_;
};

// Pixel (x, y) as 0xRRGGBB.
uint32_t rgbAt(const Image& image, uint32_t x, uint32_t y);
// True when every pixel is this opaque colour.
bool isSolid(const Image& image, uint32_t rgb);

// The back end on the test server.
std::unique_ptr<X11ScreenBackend> connectBackend(X11BackendOptions options = {});

// Base of the tests against a server: the test's connection and a back end.
class XServerTest : public ::testing::Test {
protected:
    void SetUp() override {
        TESSARIN_REQUIRE_X_SERVER();
        ASSERT_TRUE(x.ok());
        backend = connectBackend();
        ASSERT_TRUE(backend);
    }
    // The back end's lists; empty, and a failure, on error.
    template <class T>
    static T orFail(Expected<T, CaptureError> result) {
        EXPECT_TRUE(result) << (result ? "" : result.error().description());
        return result ? std::move(result.value()) : T{};
    }
    std::vector<DisplayDescription> displays() { return orFail(backend->displays()); }
    std::vector<WindowDescription> windows() { return orFail(backend->windows()); }

    TestDisplay x;
    std::unique_ptr<X11ScreenBackend> backend;
};

}  // namespace tessarin::x11::testing
