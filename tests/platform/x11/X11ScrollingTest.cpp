// The scrolling capture's platform part on Xvfb: the region stream and the
// pointer warp.

#include <chrono>
#include <thread>

#include "TestDisplay.h"

namespace tessarin::x11::testing {
namespace {

constexpr uint32_t kScreen = fnv1a32("screen");

using XvfbScrolling = XServerTest;

TEST_F(XvfbScrolling, RegionStreamKeepsDeliveringTheNewestFrameOfTheArea) {
    x.setRootColour(0x102030);
    x.createWindow({.rect = {110, 220, 40, 30}, .colour = 0xc08040});
    auto stream = backend->openRegionStream(kScreen, {100, 200, 64, 48}, 30);
    ASSERT_TRUE(stream) << stream.error().description();
    ASSERT_FALSE((*stream)->start());
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    const auto latest = (*stream)->latest();
    // Unchanged content still arrives as new frames, paced (about 12 in
    // 0.4 s; the bounds leave room for a busy machine).
    EXPECT_GE(latest.frameID, 3u);
    EXPECT_LE(latest.frameID, 20u);
    ASSERT_TRUE(latest.frame);
    EXPECT_EQ(latest.frame->width, 64);
    EXPECT_EQ(latest.frame->height, 48);
    auto bgr = [&](int64_t px, int64_t py) {
        const uint8_t* p = latest.frame->row(py) + px * 4;
        return uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0];
    };
    EXPECT_EQ(bgr(9, 19), 0x102030u);
    EXPECT_EQ(bgr(10, 20), 0xc08040u);
    EXPECT_EQ(bgr(49, 47), 0xc08040u);
    EXPECT_EQ(bgr(50, 20), 0x102030u);
    (*stream)->stop();
    const uint64_t stopped = (*stream)->latest().frameID;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ((*stream)->latest().frameID, stopped);
    EXPECT_FALSE((*stream)->stopError());

    EXPECT_FALSE(backend->openRegionStream(kScreen, {1900, 0, 64, 48}, 30));  // not inside the display
    EXPECT_FALSE(backend->openRegionStream(12345, {0, 0, 64, 48}, 30));
}

TEST_F(XvfbScrolling, PointerMovesToAGlobalPointAndWheelClicksPost) {
    // Global points have a bottom-left origin: y = 1080 - 300 is root row 300.
    EXPECT_FALSE(backend->movePointer({640, 780}));
    EXPECT_EQ(backend->pointerLocation(), (Point{640, 780}));
    EXPECT_FALSE(backend->postScroll(-3));
    EXPECT_FALSE(backend->postScroll(2));
    EXPECT_TRUE(backend->syntheticInputAccess().granted);
}

}  // namespace
}  // namespace tessarin::x11::testing
