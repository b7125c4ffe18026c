// Window enumeration on Xvfb, where no window manager runs: windows are the
// root's children, or EWMH lists a test publishes itself.

#include <unistd.h>

#include <algorithm>
#include <fstream>

#include "TestDisplay.h"

namespace tessarin::x11::testing {
namespace {

using namespace std::string_literals;

class XvfbWindows : public XServerTest {
protected:
    std::vector<WindowDescription> list() {
        auto windows = backend->windows();
        EXPECT_TRUE(windows) << windows.error().description();
        return windows ? std::move(windows.value()) : std::vector<WindowDescription>{};
    }
    // The window's place in `windows`, -1 when absent.
    static long indexOf(const std::vector<WindowDescription>& windows, uint32_t id) {
        auto it = std::find_if(windows.begin(), windows.end(), [id](const auto& w) { return w.windowID == id; });
        return it == windows.end() ? -1 : it - windows.begin();
    }
};

TEST_F(XvfbWindows, XtermIsFoundByTitleWithItsClassPidAndGeometry) {
    const pid_t term = x.spawn({"xterm", "-T", "tessarin list test", "-geometry", "80x24+50+60"});
    ASSERT_GT(term, 0);
    const auto window = x.waitForTopLevel("tessarin list test");
    ASSERT_TRUE(window);

    const auto windows = list();
    const long index = indexOf(windows, *window);
    ASSERT_GE(index, 0);
    const WindowDescription& found = windows[static_cast<size_t>(index)];
    EXPECT_EQ(found.title, "tessarin list test");
    EXPECT_EQ(found.app, "XTerm");
    EXPECT_EQ(found.processID, term);
    EXPECT_EQ(found.layer, 0);
    EXPECT_TRUE(found.onScreen);
    // -geometry places the outer corner; the frame is the inside, one
    // border pixel further in.
    const auto geometry = x.rootGeometry(*window);
    ASSERT_TRUE(geometry);
    EXPECT_EQ(found.frame, (Rect{51, 61, static_cast<double>(geometry->width), static_cast<double>(geometry->height)}));
}

TEST_F(XvfbWindows, TopmostComesFirst) {
    const auto lower = x.createWindow({.rect = {0, 0, 50, 50}, .wmClass = "lower\0Test\0"s});
    const auto upper = x.createWindow({.rect = {20, 20, 50, 50}, .wmClass = "upper\0Test\0"s});
    auto windows = list();
    ASSERT_GE(indexOf(windows, lower), 0);
    EXPECT_LT(indexOf(windows, upper), indexOf(windows, lower));

    x.configure(lower, XCB_CONFIG_WINDOW_STACK_MODE, XCB_STACK_MODE_ABOVE);
    windows = list();
    EXPECT_LT(indexOf(windows, lower), indexOf(windows, upper));
}

TEST_F(XvfbWindows, OnlyViewableApplicationWindowsAreListed) {
    const auto shown = x.createWindow({.rect = {0, 0, 40, 40}, .wmClass = "shown\0Test\0"s});
    const auto hidden = x.createWindow({.rect = {0, 0, 40, 40}, .wmClass = "hidden\0Test\0"s, .mapped = false});
    const auto bare = x.createWindow({.rect = {0, 0, 40, 40}});  // no WM_CLASS, no client inside
    const auto menu = x.createWindow({.rect = {0, 0, 40, 40}, .overrideRedirect = true});
    const auto popup = x.createWindow({.rect = {0, 0, 40, 40}, .wmClass = "popup\0Test\0"s, .overrideRedirect = true});
    const auto unmappedParent = x.createWindow({.rect = {0, 0, 40, 40}, .mapped = false});
    const auto orphan = x.createWindow({.rect = {0, 0, 40, 40}, .wmClass = "orphan\0Test\0"s, .parent = unmappedParent});

    const auto windows = list();
    EXPECT_GE(indexOf(windows, shown), 0);
    EXPECT_GE(indexOf(windows, popup), 0);
    for (const auto absent : {hidden, bare, menu, orphan}) EXPECT_EQ(indexOf(windows, absent), -1) << absent;

    x.unmap(shown);
    EXPECT_EQ(indexOf(list(), shown), -1);
}

TEST_F(XvfbWindows, ClientInsideAFrameIsListedWithItsOwnGeometry) {
    // What a reparenting window manager builds: a frame without WM_CLASS,
    // a wrapper, and the client below a title bar.
    const auto frame = x.createWindow({.rect = {100, 150, 300, 230}, .colour = 0x888888});
    const auto wrapper = x.createWindow({.rect = {0, 0, 300, 230}, .parent = frame});
    const auto client = x.createWindow({.rect = {5, 25, 290, 200},
                                        .wmClass = "framed\0Framed\0"s,
                                        .wmName = "old title"s,
                                        .netWmName = "Framed \u7a97"s,
                                        .parent = wrapper});
    const auto windows = list();
    EXPECT_EQ(indexOf(windows, frame), -1);
    EXPECT_EQ(indexOf(windows, wrapper), -1);
    const long index = indexOf(windows, client);
    ASSERT_GE(index, 0);
    EXPECT_EQ(windows[static_cast<size_t>(index)].app, "Framed");
    EXPECT_EQ(windows[static_cast<size_t>(index)].title, "Framed \u7a97");  // _NET_WM_NAME wins over WM_NAME
    EXPECT_EQ(windows[static_cast<size_t>(index)].frame, (Rect{105, 175, 290, 200}));
}

TEST_F(XvfbWindows, AppFallsBackToTheProcessNameWhenTheClassIsEmpty) {
    const auto self = static_cast<uint32_t>(getpid());
    const auto window = x.createWindow({.rect = {0, 0, 40, 40}, .wmClass = "instance\0\0"s, .wmName = "Gr\xfc\xdf" "e"s, .pid = self});
    std::ifstream comm("/proc/self/comm");
    std::string expected;
    std::getline(comm, expected);

    const auto windows = list();
    const long index = indexOf(windows, window);
    ASSERT_GE(index, 0);
    EXPECT_EQ(windows[static_cast<size_t>(index)].app, expected);
    EXPECT_EQ(windows[static_cast<size_t>(index)].processID, static_cast<int32_t>(self));
    EXPECT_EQ(windows[static_cast<size_t>(index)].title, "Gr\u00fc\u00df" "e");  // WM_NAME is Latin-1
}

TEST_F(XvfbWindows, WindowManagerListsDecideMembershipAndOrder) {
    const auto a = x.createWindow({.rect = {0, 0, 40, 40}, .wmClass = "a\0A\0"s});
    const auto b = x.createWindow({.rect = {0, 0, 40, 40}, .wmClass = "b\0B\0"s});
    x.createWindow({.rect = {0, 0, 40, 40}, .wmClass = "unlisted\0C\0"s});
    // Mapping order: b is the newest; without stacking it comes first.
    const uint32_t mapped[] = {a, b};
    x.setRootProperty("_NET_CLIENT_LIST", "WINDOW", 32, mapped, 2);
    auto windows = list();
    ASSERT_EQ(windows.size(), 2u);
    EXPECT_EQ(windows[0].windowID, b);
    EXPECT_EQ(windows[1].windowID, a);

    // Stacking, bottom to top, wins; a stale entry for a closed window is
    // skipped.
    const uint32_t stacking[] = {b, 0x3fffff, a};
    x.setRootProperty("_NET_CLIENT_LIST_STACKING", "WINDOW", 32, stacking, 3);
    windows = list();
    ASSERT_EQ(windows.size(), 2u);
    EXPECT_EQ(windows[0].windowID, a);
    EXPECT_EQ(windows[1].windowID, b);
}

}  // namespace
}  // namespace tessarin::x11::testing
