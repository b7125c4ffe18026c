// Displays, pixels, pointer and access on the single-screen Xvfb server
// (1920x1080, one RandR monitor named "screen" that is not flagged primary).

#include <cstring>

#include "TestDisplay.h"

namespace tessarin::x11::testing {
namespace {

constexpr uint32_t kScreen = fnv1a32("screen");

using XvfbDisplays = XServerTest;

TEST_F(XvfbDisplays, TheOnlyMonitorIsTheWholeScreenAndPrimary) {
    auto displays = backend->displays();
    ASSERT_TRUE(displays) << displays.error().description();
    ASSERT_EQ(displays->size(), 1u);
    const DisplayDescription& screen = displays->front();
    EXPECT_EQ(screen.name, "screen");
    EXPECT_EQ(screen.displayID, kScreen);
    EXPECT_EQ(screen.frame, (Rect{0, 0, 1920, 1080}));
    EXPECT_EQ(screen.visibleFrame, screen.frame);
    EXPECT_EQ(screen.pixelWidth, 1920);
    EXPECT_EQ(screen.pixelHeight, 1080);
    EXPECT_EQ(screen.scale, 1);
    EXPECT_TRUE(screen.primary);
}

TEST_F(XvfbDisplays, XftDpiAndWorkAreaOfTheRootShapeTheFrames) {
    const std::string resources = "Xft.antialias:\t1\nXft.dpi:\t192\n";
    x.setRootProperty("RESOURCE_MANAGER", "STRING", 8, resources.data(), static_cast<uint32_t>(resources.size()));
    // Two desktops; the second is current and keeps a 40-pixel panel free.
    const uint32_t areas[] = {0, 0, 1920, 1080, 0, 0, 1920, 1040};
    const uint32_t current = 1;
    x.setRootProperty("_NET_WORKAREA", "CARDINAL", 32, areas, 8);
    x.setRootProperty("_NET_CURRENT_DESKTOP", "CARDINAL", 32, &current, 1);
    auto displays = backend->displays();
    ASSERT_TRUE(displays);
    EXPECT_EQ(displays->front().scale, 2);
    EXPECT_EQ(displays->front().frame, (Rect{0, 0, 960, 540}));
    EXPECT_EQ(displays->front().visibleFrame, (Rect{0, 20, 960, 520}));
    EXPECT_EQ(displays->front().pixelWidth, 1920);
}

TEST_F(XvfbDisplays, CapturedAreaShowsRootAndWindowsAtTheRightOffset) {
    x.setRootColour(0x336699);
    ASSERT_GT(x.spawn({"xlogo", "-geometry", "200x200+300+300"}), 0);
    ASSERT_TRUE(x.waitForTopLevel("xlogo"));
    x.createWindow({.rect = {10, 20, 30, 40}, .colour = 0xff0000});

    auto image = backend->captureDisplayArea(kScreen, {0, 0, 600, 600});
    ASSERT_TRUE(image) << image.error().description();
    ASSERT_EQ(image->width(), 600u);
    EXPECT_EQ(rgbAt(*image, 10, 20), 0xff0000u);
    EXPECT_EQ(rgbAt(*image, 39, 59), 0xff0000u);
    EXPECT_EQ(rgbAt(*image, 40, 59), 0x336699u);
    EXPECT_EQ(rgbAt(*image, 9, 20), 0x336699u);
    EXPECT_EQ(image->row(0)[3], 0xff);
    // The logo's window and its 1-pixel border hide the root entirely.
    for (uint32_t y = 300; y < 502; ++y) {
        for (uint32_t px = 300; px < 502; ++px) ASSERT_NE(rgbAt(*image, px, y), 0x336699u) << px << "," << y;
    }
    EXPECT_EQ(rgbAt(*image, 299, 400), 0x336699u);
    EXPECT_EQ(rgbAt(*image, 502, 400), 0x336699u);
}

// Shared memory, one GetImage, and many short GetImage strips must all
// produce the same pixels.
TEST_F(XvfbDisplays, SharedMemoryAndGetImageStripsAgree) {
    x.setRootColour(0x102030);
    x.createWindow({.rect = {0, 0, 1920, 3}, .colour = 0xff0000});
    x.createWindow({.rect = {5, 500, 7, 580}, .colour = 0x00ff00});
    x.createWindow({.rect = {1900, 1079, 20, 1}, .colour = 0x0000ff});
    const PixelRect whole{0, 0, 1920, 1080};
    auto shared = backend->captureDisplayArea(kScreen, whole);
    ASSERT_TRUE(shared);
    EXPECT_TRUE(backend->usingSharedMemory());

    X11BackendOptions plain;
    plain.pixels.useSharedMemory = false;
    X11BackendOptions strips = plain;
    strips.pixels.maximumStripBytes = 1920 * 4 * 7 + 5;  // 7 rows a strip, the last one short
    for (const auto& options : {plain, strips}) {
        auto other = connectBackend(options);
        ASSERT_TRUE(other);
        auto image = other->captureDisplayArea(kScreen, whole);
        ASSERT_TRUE(image) << image.error().description();
        EXPECT_FALSE(other->usingSharedMemory());
        ASSERT_EQ(image->byteCount(), shared->byteCount());
        EXPECT_EQ(std::memcmp(shared->data(), image->data(), image->byteCount()), 0);
        EXPECT_EQ(rgbAt(*image, 1900, 1079), 0x0000ffu);
        EXPECT_EQ(rgbAt(*image, 8, 1079), 0x00ff00u);
    }
}

TEST_F(XvfbDisplays, FailingSharedMemoryFallsBackToGetImage) {
    static const SharedMemoryCalls failing{
        [](key_t, size_t, int) {
            errno = ENOSPC;
            return -1;
        },
        SharedMemoryCalls::system().attach, SharedMemoryCalls::system().detach, SharedMemoryCalls::system().control};
    X11BackendOptions options;
    options.pixels.sharedMemoryCalls = &failing;
    auto fallback = connectBackend(options);
    ASSERT_TRUE(fallback);
    x.setRootColour(0x445566);
    auto image = fallback->captureDisplayArea(kScreen, {0, 0, 100, 100});
    ASSERT_TRUE(image) << image.error().description();
    EXPECT_TRUE(isSolid(*image, 0x445566));
    EXPECT_FALSE(fallback->usingSharedMemory());
}

TEST_F(XvfbDisplays, AreasNotInsideTheDisplayAreRefusedNotClipped) {
    EXPECT_EQ(backend->captureDisplayArea(kScreen, {1900, 0, 100, 10}).error(),
              CaptureError::captureFailed("area 100x10 at (1900, 0) is not inside display screen (1920x1080 pixels)"));
    EXPECT_EQ(backend->captureDisplayArea(kScreen, {-1, 0, 10, 10}).error(),
              CaptureError::captureFailed("area 10x10 at (-1, 0) is not inside display screen (1920x1080 pixels)"));
    EXPECT_EQ(backend->captureDisplayArea(kScreen, {INT64_MAX, 0, 10, 10}).error().kind(),
              CaptureError::Kind::captureFailed);
    EXPECT_EQ(backend->captureDisplayArea(kScreen, {0, 0, 0, 10}).error(),
              CaptureError::captureFailed("cannot capture an empty area (0x10 at (0, 0))"));
    EXPECT_EQ(backend->captureDisplayArea(fnv1a32("DP-7"), {0, 0, 10, 10}).error(), CaptureError::noDisplay());
}

TEST_F(XvfbDisplays, PointerIsReportedInGlobalPoints) {
    x.warpPointer(100, 200);
    EXPECT_EQ(backend->pointerLocation(), (Point{100, 880}));
    x.warpPointer(0, 1079);
    EXPECT_EQ(backend->pointerLocation(), (Point{0, 1}));
}

TEST_F(XvfbDisplays, AccessNamesTheServer) {
    const std::string display = std::getenv("DISPLAY");
    EXPECT_TRUE(backend->screenCaptureAccess().granted);
    EXPECT_EQ(backend->screenCaptureAccess().detail, "X11 display " + display);
    EXPECT_TRUE(backend->syntheticInputAccess().granted);  // Xvfb has XTEST
    EXPECT_EQ(backend->syntheticInputAccess().detail, "XTEST extension on X11 display " + display);
}

// A server that drops us must turn every call into a clear error, not a
// crash (nor a SIGPIPE).
TEST_F(XvfbDisplays, LostConnectionFailsCleanly) {
    ASSERT_TRUE(backend->captureDisplayArea(kScreen, {0, 0, 10, 10}));
    xcb_connection_t* own = backend->connection().raw();
    const xcb_pixmap_t resource = xcb_generate_id(own);
    xcb_create_pixmap(own, 24, resource, backend->connection().root(), 1, 1);
    backend->connection().sync();
    xcb_kill_client(x.connection(), resource);
    x.sync();

    const auto lost = CaptureError::captureFailed("lost the connection to X display " +
                                                  std::string(std::getenv("DISPLAY")) +
                                                  " (no X server answered, or it refused the connection)");
    EXPECT_EQ(backend->displays().error(), lost);
    EXPECT_EQ(backend->captureDisplayArea(kScreen, {0, 0, 10, 10}).error(), lost);
    EXPECT_EQ(backend->windows().error(), lost);
    EXPECT_EQ(backend->captureWindow(x.root()).error(), lost);
    EXPECT_EQ(backend->pointerLocation(), std::nullopt);
    EXPECT_EQ(backend->screenCaptureAccess().detail, lost.message());
    EXPECT_FALSE(backend->syntheticInputAccess().granted);
}

}  // namespace
}  // namespace tessarin::x11::testing
