// What a window pick reads on a real server: the back end's window list
// with each window's kind and hidden state, and the pick over it. The test
// publishes the stacking list itself, as a window manager would. (Frames
// around clients: X11DesktopTest under openbox.)

#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <initializer_list>
#include <string>
#include <tuple>

#include "InteractionTestSupport.h"
#include "TestDisplay.h"
#include "platform/x11/X11WindowPick.h"

namespace tessarin::x11::testing {
namespace {

using namespace std::string_literals;

// One type per kind (the rest of the name table is the code's), then
// lists: vendor types first with a standard one after them.
TEST(WindowKindNames, FirstKnownTypeWins) {
    const std::pair<std::vector<std::string>, WindowKind> lists[] = {
        {{"_NET_WM_WINDOW_TYPE_NORMAL"}, WindowKind::normal},
        {{"_NET_WM_WINDOW_TYPE_DIALOG"}, WindowKind::dialog},
        {{"_NET_WM_WINDOW_TYPE_SPLASH"}, WindowKind::utility},
        {{"_NET_WM_WINDOW_TYPE_DOCK"}, WindowKind::dock},
        {{"_NET_WM_WINDOW_TYPE_DESKTOP"}, WindowKind::desktop},
        {{"_NET_WM_WINDOW_TYPE_TOOLTIP"}, WindowKind::popup},
        {{}, WindowKind::normal},
        {{"_KDE_NET_WM_WINDOW_TYPE_OVERRIDE", "_NET_WM_WINDOW_TYPE_NORMAL"}, WindowKind::normal},
        {{"_NET_WM_WINDOW_TYPE_SOMETHING_NEW", "_NET_WM_WINDOW_TYPE_DOCK"}, WindowKind::dock},
        {{"_NET_WM_WINDOW_TYPE_DIALOG", "_NET_WM_WINDOW_TYPE_NORMAL"}, WindowKind::dialog},
        {{"", "UTF8_STRING"}, WindowKind::normal},
    };
    for (const auto& [types, kind] : lists) {
        EXPECT_EQ(windowKindFromTypeNames(types), kind) << (types.empty() ? "(none)" : types.front());
    }
    EXPECT_FALSE(isHiddenFromStateNames({}));
    EXPECT_FALSE(isHiddenFromStateNames({"_NET_WM_STATE_MAXIMIZED_VERT", "_NET_WM_STATE_ABOVE"}));
    EXPECT_TRUE(isHiddenFromStateNames({"_NET_WM_STATE_MAXIMIZED_VERT", "_NET_WM_STATE_HIDDEN"}));
}

class WindowPickQuery : public XServerTest {
protected:
    xcb_window_t client(PixelRect rect, const std::string& name, std::initializer_list<std::string> types,
                        std::initializer_list<std::string> states = {}, uint32_t pid = 4242) {
        const auto window =
            x.createWindow({.rect = rect, .wmClass = name + "\0Pick\0"s, .netWmName = name, .pid = pid});
        setAtoms(window, "_NET_WM_WINDOW_TYPE", types);
        setAtoms(window, "_NET_WM_STATE", states);
        return window;
    }
    void setAtoms(xcb_window_t window, const std::string& property, std::initializer_list<std::string> names) {
        if (names.size() == 0) return;
        std::vector<xcb_atom_t> atoms;
        for (const std::string& name : names) atoms.push_back(atomNamed(x.connection(), name));
        xcb_change_property(x.connection(), XCB_PROP_MODE_REPLACE, window, atomNamed(x.connection(), property),
                            XCB_ATOM_ATOM, 32, static_cast<uint32_t>(atoms.size()), atoms.data());
        x.sync();
    }
    void publishStacking(std::vector<xcb_window_t> bottomToTop) {
        x.setRootProperty("_NET_CLIENT_LIST_STACKING", "WINDOW", 32, bottomToTop.data(),
                          static_cast<uint32_t>(bottomToTop.size()));
    }
    static const PickableWindow* find(const std::vector<PickableWindow>& windows, xcb_window_t id) {
        const auto it = std::find_if(windows.begin(), windows.end(),
                                     [id](const PickableWindow& w) { return w.description.windowID == id; });
        return it == windows.end() ? nullptr : &*it;
    }
};

TEST_F(WindowPickQuery, KindsAndHiddenStatesComeWithTheList) {
    const auto desktop = client({0, 0, 1920, 1080}, "desktop", {"_NET_WM_WINDOW_TYPE_DESKTOP"});
    const auto editor = client({100, 100, 600, 400}, "editor", {});
    const auto dialog = client({200, 150, 200, 100}, "dialog", {"_NET_WM_WINDOW_TYPE_DIALOG"});
    const auto minimised = client({150, 120, 300, 300}, "minimised", {"_NET_WM_WINDOW_TYPE_NORMAL"},
                                  {"_NET_WM_STATE_HIDDEN"});
    const auto panel = client({0, 0, 1920, 30}, "panel", {"_NET_WM_WINDOW_TYPE_DOCK"}, {"_NET_WM_STATE_STICKY"});
    publishStacking({desktop, editor, dialog, minimised, panel});

    X11PickableWindows source(*backend);
    const auto listed = source.pickableWindows();
    ASSERT_TRUE(listed) << listed.error().description();
    const auto& windows = listed.value();
    ASSERT_EQ(windows.size(), 5u);
    // Topmost first, as the stacking list says.
    EXPECT_EQ(windows.front().description.windowID, panel);
    EXPECT_EQ(windows.back().description.windowID, desktop);
    for (const auto& [id, kind, hidden] : {std::tuple{desktop, WindowKind::desktop, false},
                                           {editor, WindowKind::normal, false}, {dialog, WindowKind::dialog, false},
                                           {minimised, WindowKind::normal, true}, {panel, WindowKind::dock, false}}) {
        const PickableWindow* window = find(windows, id);
        ASSERT_NE(window, nullptr) << id;
        EXPECT_EQ(std::pair(window->kind, window->hidden), std::pair(kind, hidden)) << window->description.title;
    }

    const auto pickedAt = [&](Point p) {
        const auto picked = topmostPickableWindowAt(windows, p, {});
        return picked ? picked->windowID : 0;
    };
    EXPECT_EQ(pickedAt({250, 160}), dialog);  // which lies under the hidden window's area
    EXPECT_EQ(pickedAt({110, 110}), editor);  // under the panel
    // The desktop alone: nothing to pick.
    EXPECT_FALSE(topmostPickableWindowAt(windows, {1500, 900}, {}));
    // Our own windows by process: the editor's 4242 rules out every one.
    EXPECT_FALSE(topmostPickableWindowAt(windows, {250, 160}, {.processID = 4242, .windowIDs = {}}));
}

TEST_F(WindowPickQuery, ALostConnectionIsAnError) {
    X11PickableWindows source(*backend);
    ::shutdown(xcb_get_file_descriptor(backend->connection().raw()), SHUT_RDWR);
    const auto windows = source.pickableWindows();
    ASSERT_FALSE(windows);
    EXPECT_NE(windows.error().description().find("lost the connection"), std::string::npos)
        << windows.error().description();
}

}  // namespace
}  // namespace tessarin::x11::testing
