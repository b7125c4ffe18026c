// Two RandR monitors on the Xorg dummy server: DUMMY0 1280x800 at +0+0
// (primary) and DUMMY1 1024x768 at +1280+0, in one 2304x800 root.

#include "TestDisplay.h"

namespace tessarin::x11::testing {
namespace {

using namespace std::string_literals;

constexpr uint32_t kDummy0 = fnv1a32("DUMMY0");
constexpr uint32_t kDummy1 = fnv1a32("DUMMY1");

class DualMonitors : public XServerTest {
protected:
    void SetUp() override {
        XServerTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        ASSERT_EQ(x.run({"xrandr", "--output", "DUMMY0", "--primary"}), 0);
    }
    void TearDown() override {
        if (x.ok()) x.run({"xrandr", "--output", "DUMMY0", "--primary"});
    }
};

TEST_F(DualMonitors, ThePrimaryComesFirstAndIsTheOrigin) {
    const Rect left{0, 0, 1280, 800}, right{1280, 32, 1024, 768};
    EXPECT_EQ(displays(), (std::vector<DisplayDescription>{{kDummy0, "DUMMY0", left, left, 1, 1280, 800, true},
                                                           {kDummy1, "DUMMY1", right, right, 1, 1024, 768, false}}));
    ASSERT_EQ(x.run({"xrandr", "--output", "DUMMY1", "--primary"}), 0);
    // Ids follow names, not order.
    const Rect first{0, 0, 1024, 768}, second{-1280, -32, 1280, 800};
    EXPECT_EQ(displays(), (std::vector<DisplayDescription>{{kDummy1, "DUMMY1", first, first, 1, 1024, 768, true},
                                                           {kDummy0, "DUMMY0", second, second, 1, 1280, 800, false}}));

    const auto window = x.createWindow({.rect = {1300, 100, 40, 30}, .wmClass = "w\0W\0"s});
    const auto list = windows();
    ASSERT_FALSE(list.empty());
    EXPECT_EQ(list.front().windowID, window);
    EXPECT_EQ(list.front().frame, (Rect{20, 100, 40, 30}));  // top-left points from DUMMY1's corner
    x.warpPointer(1300, 10);
    EXPECT_EQ(backend->pointerLocation(), (Point{20, 758}));
}

TEST_F(DualMonitors, AreasAreReadAtTheirMonitorsOffsetAndInsideIt) {
    x.setRootColour(0x202020);
    x.createWindow({.rect = {1280 + 10, 20, 100, 50}, .colour = 0xff8800});
    auto second = backend->captureDisplayArea(kDummy1, {10, 20, 100, 50});
    ASSERT_TRUE(second) << second.error().description();
    EXPECT_TRUE(isSolid(*second, 0xff8800));
    auto first = backend->captureDisplayArea(kDummy0, {10, 20, 100, 50});
    ASSERT_TRUE(first);
    EXPECT_TRUE(isSolid(*first, 0x202020));
    // The root is 800 pixels tall, DUMMY1 only 768.
    EXPECT_EQ(backend->captureDisplayArea(kDummy1, {0, 760, 10, 10}).error(),
              CaptureError::captureFailed("area 10x10 at (0, 760) is not inside display DUMMY1 (1024x768 pixels)"));
}

TEST_F(DualMonitors, WindowAcrossBothMonitorsIsCapturedWhole) {
    const auto window = x.createWindow({.rect = {1200, 300, 200, 100}, .colour = 0x00aa00});
    auto image = backend->captureWindow(window);
    ASSERT_TRUE(image) << image.error().description();
    EXPECT_EQ(image->width(), 200u);
    EXPECT_EQ(image->height(), 100u);
    EXPECT_TRUE(isSolid(*image, 0x00aa00));
}

}  // namespace
}  // namespace tessarin::x11::testing
