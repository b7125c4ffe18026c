#include "platform/x11/FloatingWindowHints.h"

#include <xcb/xcb.h>

#include <array>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>

namespace tessarin::x11 {
namespace {

// Interned once per connection and name: the hints are set at every show.
xcb_atom_t atom(xcb_connection_t* connection, const char* name) {
    static std::map<std::pair<xcb_connection_t*, std::string>, xcb_atom_t> known;
    const auto key = std::pair{connection, std::string(name)};
    if (auto it = known.find(key); it != known.end()) return it->second;
    auto cookie = xcb_intern_atom(connection, 0, static_cast<uint16_t>(std::strlen(name)), name);
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(connection, cookie, nullptr);
    if (!reply) return XCB_ATOM_NONE;
    const xcb_atom_t value = reply->atom;
    std::free(reply);
    known.emplace(key, value);
    return value;
}

}  // namespace

void setFloatingPanelHints(xcb_connection_t* connection, uint32_t window) {
    if (!connection || window == 0) return;
    const std::array<xcb_atom_t, 4> states{
        atom(connection, "_NET_WM_STATE_ABOVE"), atom(connection, "_NET_WM_STATE_STICKY"),
        atom(connection, "_NET_WM_STATE_SKIP_TASKBAR"), atom(connection, "_NET_WM_STATE_SKIP_PAGER")};
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, window, atom(connection, "_NET_WM_STATE"), XCB_ATOM_ATOM,
                        32, static_cast<uint32_t>(states.size()), states.data());
    const uint32_t allDesktops = 0xFFFFFFFF;
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, window, atom(connection, "_NET_WM_DESKTOP"),
                        XCB_ATOM_CARDINAL, 32, 1, &allDesktops);
    xcb_flush(connection);
}

void remapAbove(xcb_connection_t* connection, uint32_t window) {
    if (!connection || window == 0) return;
    setFloatingPanelHints(connection, window);
    xcb_map_window(connection, window);
    const uint32_t above = XCB_STACK_MODE_ABOVE;
    xcb_configure_window(connection, window, XCB_CONFIG_WINDOW_STACK_MODE, &above);
    xcb_flush(connection);
}

}  // namespace tessarin::x11
