// Displays, pixels, the region stream, pointer and access on the
// single-screen Xvfb server (1920x1080, one RandR monitor named "screen" that
// is not flagged primary).

#include <sys/ipc.h>
#include <sys/shm.h>

#include <chrono>
#include <cstring>
#include <thread>
#include <tuple>

#include "TestDisplay.h"

namespace tessarin::x11::testing {
namespace {

constexpr uint32_t kScreen = fnv1a32("screen");

using XvfbDisplays = XServerTest;

// The only monitor is the whole screen and primary; Xft.dpi and the work
// area of the root then shape its frames.
TEST_F(XvfbDisplays, XftDpiAndWorkAreaOfTheRootShapeTheFrames) {
    const Rect whole{0, 0, 1920, 1080};
    EXPECT_EQ(displays(), (std::vector<DisplayDescription>{{kScreen, "screen", whole, whole, 1, 1920, 1080, true}}));
    const std::string resources = "Xft.antialias:\t1\nXft.dpi:\t192\n";
    x.setRootProperty("RESOURCE_MANAGER", "STRING", 8, resources.data(), static_cast<uint32_t>(resources.size()));
    // Two desktops; the second is current and keeps a 40-pixel panel free.
    const uint32_t areas[] = {0, 0, 1920, 1080, 0, 0, 1920, 1040};
    const uint32_t current = 1;
    x.setRootProperty("_NET_WORKAREA", "CARDINAL", 32, areas, 8);
    x.setRootProperty("_NET_CURRENT_DESKTOP", "CARDINAL", 32, &current, 1);
    EXPECT_EQ(displays(), (std::vector<DisplayDescription>{
                              {kScreen, "screen", {0, 0, 960, 540}, {0, 20, 960, 520}, 2, 1920, 1080, true}}));
}

// Shared memory in strips of any height, one GetImage, many short GetImage
// strips, and the fallback when shared memory fails must all produce the
// same pixels.
TEST_F(XvfbDisplays, SharedMemoryGetImageStripsAndTheFallbackAgree) {
    x.setRootColour(0x102030);
    x.createWindow({.rect = {0, 0, 1920, 3}, .colour = 0xff0000});
    x.createWindow({.rect = {5, 500, 7, 580}, .colour = 0x00ff00});
    x.createWindow({.rect = {1900, 1079, 20, 1}, .colour = 0x0000ff});
    const PixelRect whole{0, 0, 1920, 1080};
    auto shared = backend->captureDisplayArea(kScreen, whole);
    ASSERT_TRUE(shared);
    EXPECT_TRUE(backend->usingSharedMemory());
    const struct { uint32_t x, y, rgb; } probes[] = {
        {1919, 2, 0xff0000}, {0, 3, 0x102030}, {1900, 1079, 0x0000ff}, {1899, 1079, 0x102030}, {8, 1079, 0x00ff00}};
    for (const auto& [px, py, rgb] : probes) EXPECT_EQ(rgbAt(*shared, px, py), rgb) << px << "," << py;
    EXPECT_EQ(shared->row(1079)[1919 * 4 + 3], 0xff);  // opaque

    X11BackendOptions plain;
    plain.pixels.useSharedMemory = false;
    X11BackendOptions strips = plain;
    strips.pixels.maximumStripBytes = 1920 * 4 * 7 + 5;  // 7 rows a strip, the last one short
    static SharedMemoryCalls failing = SharedMemoryCalls::system();
    failing.get = [](key_t, size_t, int) { return errno = ENOSPC, -1; };
    X11BackendOptions fallback;
    fallback.pixels.sharedMemoryCalls = &failing;
    X11BackendOptions sharedStrips;
    sharedStrips.pixels.sharedStripBytes = 1920 * 4 * 5 + 3;  // 5 rows a strip, two strips in flight
    X11BackendOptions sharedWhole;
    sharedWhole.pixels.sharedStripBytes = 1920 * 4 * 1080;  // one strip
    const std::pair<X11BackendOptions, bool> readers[] = {
        {plain, false}, {strips, false}, {fallback, false}, {sharedStrips, true}, {sharedWhole, true}};
    for (const auto& [options, sharesMemory] : readers) {
        auto other = connectBackend(options);
        ASSERT_TRUE(other);
        auto image = other->captureDisplayArea(kScreen, whole);
        ASSERT_TRUE(image) << image.error().description();
        EXPECT_EQ(other->usingSharedMemory(), sharesMemory);
        ASSERT_EQ(image->byteCount(), shared->byteCount());
        EXPECT_EQ(std::memcmp(shared->data(), image->data(), image->byteCount()), 0);
    }
}

// How many processes had each segment attached when its name was removed.
std::vector<shmatt_t> attachedAtRemoval;

// The name must go while only this process holds the segment, before the
// round trip to the server: a kill during that wait then leaks nothing.
TEST_F(XvfbDisplays, ASharedMemorySegmentsNameIsRemovedBeforeTheServerAttachesIt) {
    static SharedMemoryCalls recording = SharedMemoryCalls::system();
    recording.control = [](int id, int command, shmid_ds* buffer) {
        shmid_ds status{};
        if (command == IPC_RMID && ::shmctl(id, IPC_STAT, &status) == 0) attachedAtRemoval.push_back(status.shm_nattch);
        return ::shmctl(id, command, buffer);
    };
    X11BackendOptions options;
    options.pixels.sharedMemoryCalls = &recording;
    auto other = connectBackend(options);
    ASSERT_TRUE(other);
    ASSERT_TRUE(other->captureDisplayArea(kScreen, {0, 0, 64, 64}));
    EXPECT_TRUE(other->usingSharedMemory());
    ASSERT_FALSE(attachedAtRemoval.empty());
    for (const shmatt_t count : attachedAtRemoval) EXPECT_EQ(count, 1u);
}

TEST_F(XvfbDisplays, AreasNotInsideTheDisplayAreRefusedNotClipped) {
    const std::pair<PixelRect, std::string> rows[] = {
        {{1900, 0, 100, 10}, "area 100x10 at (1900, 0) is not inside display screen (1920x1080 pixels)"},
        {{-1, 0, 10, 10}, "area 10x10 at (-1, 0) is not inside display screen (1920x1080 pixels)"},
        {{INT64_MAX, 0, 10, 10},
         "area 10x10 at (9223372036854775807, 0) is not inside display screen (1920x1080 pixels)"},
        {{0, 0, 0, 10}, "cannot capture an empty area (0x10 at (0, 0))"},
    };
    for (const auto& [area, message] : rows) {
        EXPECT_EQ(backend->captureDisplayArea(kScreen, area).error(), CaptureError::captureFailed(message));
    }
    EXPECT_EQ(backend->captureDisplayArea(fnv1a32("DP-7"), {0, 0, 10, 10}).error(), CaptureError::noDisplay());
}

TEST_F(XvfbDisplays, PointerIsInGlobalPointsBothWaysAndAccessNamesTheServer) {
    x.warpPointer(100, 200);
    EXPECT_EQ(backend->pointerLocation(), (Point{100, 880}));
    x.warpPointer(0, 1079);
    EXPECT_EQ(backend->pointerLocation(), (Point{0, 1}));
    // And back: y = 1080 - 300 is root row 300. Wheel clicks post through XTEST.
    EXPECT_FALSE(backend->movePointer({640, 780}));
    EXPECT_EQ(backend->pointerLocation(), (Point{640, 780}));
    EXPECT_FALSE(backend->postScroll(-3));
    EXPECT_FALSE(backend->postScroll(2));
    const std::string display = std::getenv("DISPLAY");
    EXPECT_TRUE(backend->screenCaptureAccess().granted);
    EXPECT_EQ(backend->screenCaptureAccess().detail, "X11 display " + display);
    EXPECT_TRUE(backend->syntheticInputAccess().granted);  // Xvfb has XTEST
    EXPECT_EQ(backend->syntheticInputAccess().detail, "XTEST extension on X11 display " + display);
}

// The scrolling capture's stream of one area.
TEST_F(XvfbDisplays, RegionStreamKeepsDeliveringTheNewestFrameOfTheArea) {
    x.setRootColour(0x102030);
    x.createWindow({.rect = {110, 220, 40, 30}, .colour = 0xc08040});
    auto stream = backend->openRegionStream(kScreen, {100, 200, 64, 48}, 30);
    ASSERT_TRUE(stream) << stream.error().description();
    ASSERT_FALSE((*stream)->start());
    // Unchanged content still arrives as new frames: wait for the third.
    LatestRegionFrame latest;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while ((latest = (*stream)->latest()).frameID < 3 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));  // polls the condition
    }
    ASSERT_GE(latest.frameID, 3u);
    ASSERT_TRUE(latest.frame);
    EXPECT_EQ(std::pair(latest.frame->width, latest.frame->height), std::pair(int64_t{64}, int64_t{48}));
    for (const auto& [px, py, rgb] : {std::tuple{9, 19, 0x102030u}, {10, 20, 0xc08040u}, {49, 47, 0xc08040u}, {50, 20, 0x102030u}}) {
        const uint8_t* p = latest.frame->row(py) + px * 4;  // BGRA
        EXPECT_EQ(uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0], rgb) << px << "," << py;
    }
    (*stream)->stop();  // joins the grabbing thread
    EXPECT_TRUE((*stream)->latest().frame);  // the last frame stays readable
    EXPECT_FALSE((*stream)->stopError());

    EXPECT_FALSE(backend->openRegionStream(kScreen, {1900, 0, 64, 48}, 30));  // not inside the display
    EXPECT_FALSE(backend->openRegionStream(12345, {0, 0, 64, 48}, 30));
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
