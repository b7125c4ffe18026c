// Window capture on Xvfb: from the root without a compositor, from the
// window's own pixmap when a compositor has redirected it.

#include "TestDisplay.h"

namespace tessarin::x11::testing {
namespace {

using XvfbWindowCapture = XServerTest;

TEST_F(XvfbWindowCapture, WindowPartlyOffScreenIsClippedToTheScreen) {
    const auto window = x.createWindow({.rect = {-30, -20, 100, 80}, .colour = 0x00ff00, .border = 3});
    auto image = backend->captureWindow(window);
    ASSERT_TRUE(image) << image.error().description();
    EXPECT_EQ(image->width(), 73u);  // the inside starts 3 border pixels in
    EXPECT_EQ(image->height(), 63u);
    EXPECT_TRUE(isSolid(*image, 0x00ff00));
}

TEST_F(XvfbWindowCapture, MissingHiddenAndOffScreenWindowsFailWithTheReason) {
    const uint32_t missing = 0x3ffff0;
    const auto hidden = x.createWindow({.rect = {0, 0, 50, 50}, .mapped = false});
    const auto away = x.createWindow({.rect = {3000, 10, 50, 50}});
    const std::pair<uint32_t, std::string> rows[] = {
        {missing, " does not exist (closed?)"},
        {hidden, " is not on screen (unmapped, minimised or on another desktop)"},
        {away, " lies entirely outside the screen"},
    };
    for (const auto& [window, reason] : rows) {
        EXPECT_EQ(backend->captureWindow(window).error(),
                  CaptureError::captureFailed("window " + std::to_string(window) + reason));
    }
}

// Without a compositor the covered part of a window exists nowhere: the
// capture shows what covers it.
TEST_F(XvfbWindowCapture, WithoutCompositorCoveredPartsShowTheCoveringWindow) {
    const auto below = x.createWindow({.rect = {600, 100, 100, 100}, .colour = 0xff0000});
    x.createWindow({.rect = {650, 150, 100, 100}, .colour = 0x00ff00});
    auto image = backend->captureWindow(below);
    ASSERT_TRUE(image) << image.error().description();
    EXPECT_EQ(rgbAt(*image, 10, 10), 0xff0000u);
    EXPECT_EQ(rgbAt(*image, 60, 60), 0x00ff00u);
}

// With a compositor a covered window, and a client inside a covered frame,
// are read from their own pixmaps.
TEST_F(XvfbWindowCapture, WithCompositorCoveredPartsAreTheWindowsOwnAndAFramedClientIsCutFromItsFrame) {
    x.redirectLikeACompositor();
    const auto below = x.createWindow({.rect = {600, 100, 100, 100}, .colour = 0xff0000});
    x.createWindow({.rect = {650, 150, 100, 100}, .colour = 0x00ff00});
    auto covered = backend->captureWindow(below);
    ASSERT_TRUE(covered) << covered.error().description();
    EXPECT_EQ(covered->width(), 100u);
    EXPECT_TRUE(isSolid(*covered, 0xff0000));

    const auto frame = x.createWindow({.rect = {200, 300, 220, 150}, .colour = 0x808080, .border = 2, .mapped = false});
    const auto client = x.createWindow({.rect = {10, 30, 200, 110}, .colour = 0x0000ff, .parent = frame});
    xcb_map_window(x.connection(), frame);
    x.sync();
    x.createWindow({.rect = {190, 290, 100, 100}, .colour = 0xffff00});  // covers the frame's corner
    auto image = backend->captureWindow(client);
    ASSERT_TRUE(image) << image.error().description();
    EXPECT_EQ(image->width(), 200u);
    EXPECT_EQ(image->height(), 110u);
    EXPECT_TRUE(isSolid(*image, 0x0000ff));
}

}  // namespace
}  // namespace tessarin::x11::testing
