// Window enumeration on Xvfb, where no window manager runs: windows are the
// root's children, or EWMH lists a test publishes itself. Real clients
// (xterm) are listed and captured in tests/integration/AgentXvfbTest.cpp.

#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <sstream>

#include "TestDisplay.h"

namespace tessarin::x11::testing {
namespace {

using namespace std::string_literals;

// The window's place in `windows`, -1 when absent.
long indexOf(const std::vector<WindowDescription>& windows, uint32_t id) {
    auto it = std::find_if(windows.begin(), windows.end(), [id](const auto& w) { return w.windowID == id; });
    return it == windows.end() ? -1 : it - windows.begin();
}

// What the list says about one window: "app|title|pid|x,y wxh|layer|on screen".
std::string summary(const std::vector<WindowDescription>& windows, uint32_t id) {
    const long index = indexOf(windows, id);
    if (index < 0) return "absent";
    const WindowDescription& w = windows[static_cast<size_t>(index)];
    std::ostringstream text;
    text << w.app << "|" << w.title << "|" << w.processID << "|" << w.frame.x << "," << w.frame.y << " "
         << w.frame.width << "x" << w.frame.height << "|" << w.layer << "|" << w.onScreen;
    return text.str();
}

using XvfbWindows = XServerTest;

TEST_F(XvfbWindows, TopmostComesFirst) {
    const auto lower = x.createWindow({.rect = {0, 0, 50, 50}, .wmClass = "lower\0Test\0"s});
    const auto upper = x.createWindow({.rect = {20, 20, 50, 50}, .wmClass = "upper\0Test\0"s});
    auto list = windows();
    ASSERT_GE(indexOf(list, lower), 0);
    EXPECT_LT(indexOf(list, upper), indexOf(list, lower));

    const uint32_t above = XCB_STACK_MODE_ABOVE;
    xcb_configure_window(x.connection(), lower, XCB_CONFIG_WINDOW_STACK_MODE, &above);
    x.sync();
    list = windows();
    EXPECT_LT(indexOf(list, lower), indexOf(list, upper));
}

TEST_F(XvfbWindows, OnlyViewableApplicationWindowsAreListed) {
    const auto shown = x.createWindow({.rect = {0, 0, 40, 40}, .wmClass = "shown\0Test\0"s});
    const auto hidden = x.createWindow({.rect = {0, 0, 40, 40}, .wmClass = "hidden\0Test\0"s, .mapped = false});
    const auto bare = x.createWindow({.rect = {0, 0, 40, 40}});  // no WM_CLASS, no client inside
    const auto menu = x.createWindow({.rect = {0, 0, 40, 40}, .overrideRedirect = true});
    const auto popup = x.createWindow({.rect = {0, 0, 40, 40}, .wmClass = "popup\0Test\0"s, .overrideRedirect = true});
    const auto unmappedParent = x.createWindow({.rect = {0, 0, 40, 40}, .mapped = false});
    const auto orphan = x.createWindow({.rect = {0, 0, 40, 40}, .wmClass = "orphan\0Test\0"s, .parent = unmappedParent});

    const auto list = windows();
    EXPECT_GE(indexOf(list, shown), 0);
    EXPECT_GE(indexOf(list, popup), 0);
    for (const auto absent : {hidden, bare, menu, orphan}) EXPECT_EQ(indexOf(list, absent), -1) << absent;

    xcb_unmap_window(x.connection(), shown);
    x.sync();
    EXPECT_EQ(indexOf(windows(), shown), -1);
}

TEST_F(XvfbWindows, ClientInsideAFrameIsListedWithItsOwnGeometryAndNames) {
    // What a reparenting window manager builds: a frame without WM_CLASS,
    // a wrapper, and the client below a title bar.
    const auto frame = x.createWindow({.rect = {100, 150, 300, 230}, .colour = 0x888888});
    const auto wrapper = x.createWindow({.rect = {0, 0, 300, 230}, .parent = frame});
    const auto client = x.createWindow({.rect = {5, 25, 290, 200}, .wmClass = "framed\0Framed\0"s,
                                        .wmName = "old title"s, .netWmName = "Framed \u7a97"s, .parent = wrapper});
    // With an empty class the app is the process name; WM_NAME is Latin-1.
    const auto self = static_cast<uint32_t>(getpid());
    const auto nameless =
        x.createWindow({.rect = {0, 0, 40, 40}, .wmClass = "instance\0\0"s, .wmName = "Gr\xfc\xdf" "e"s, .pid = self});
    std::string processName;
    std::getline(std::ifstream("/proc/self/comm"), processName);

    const auto list = windows();
    EXPECT_EQ(indexOf(list, frame), -1);
    EXPECT_EQ(indexOf(list, wrapper), -1);
    EXPECT_EQ(summary(list, client), "Framed|Framed \u7a97|0|105,175 290x200|0|1");  // _NET_WM_NAME wins
    EXPECT_EQ(summary(list, nameless), processName + "|Gr\u00fc\u00df" "e|" + std::to_string(self) + "|0,0 40x40|0|1");
}

TEST_F(XvfbWindows, WindowManagerListsDecideMembershipAndOrder) {
    const auto a = x.createWindow({.rect = {0, 0, 40, 40}, .wmClass = "a\0A\0"s});
    const auto b = x.createWindow({.rect = {0, 0, 40, 40}, .wmClass = "b\0B\0"s});
    x.createWindow({.rect = {0, 0, 40, 40}, .wmClass = "unlisted\0C\0"s});
    const auto ids = [this] {
        std::vector<uint32_t> found;
        for (const auto& w : windows()) found.push_back(w.windowID);
        return found;
    };
    // Mapping order: b is the newest; without stacking it comes first.
    const uint32_t mapped[] = {a, b};
    x.setRootProperty("_NET_CLIENT_LIST", "WINDOW", 32, mapped, 2);
    EXPECT_EQ(ids(), (std::vector<uint32_t>{b, a}));
    // Stacking, bottom to top, wins; a stale entry for a closed window is
    // skipped.
    const uint32_t stacking[] = {b, 0x3fffff, a};
    x.setRootProperty("_NET_CLIENT_LIST_STACKING", "WINDOW", 32, stacking, 3);
    EXPECT_EQ(ids(), (std::vector<uint32_t>{a, b}));
}

}  // namespace
}  // namespace tessarin::x11::testing
