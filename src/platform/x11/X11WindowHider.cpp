#include "platform/x11/X11WindowHider.h"

#include <algorithm>
#include <set>
#include <thread>
#include <vector>

#include "platform/x11/X11ActiveWindow.h"
#include "platform/x11/XcbEvents.h"

namespace tessarin::x11 {

namespace {

// The child of the root that holds `window` (itself when not reparented).
xcb_window_t topLevelOf(xcb_connection_t* c, xcb_window_t root, xcb_window_t window) {
    for (int depth = 0; depth < 8; ++depth) {
        const auto tree = waitReply(xcb_query_tree_reply, c, xcb_query_tree(c, window));
        if (!tree || tree->parent == root || tree->parent == XCB_WINDOW_NONE) return window;
        window = tree->parent;
    }
    return window;
}

bool isViewable(xcb_connection_t* c, xcb_window_t window) {
    const auto attributes = waitReply(xcb_get_window_attributes_reply, c, xcb_get_window_attributes(c, window));
    return attributes && attributes->map_state == XCB_MAP_STATE_VIEWABLE;
}

}  // namespace

X11WindowHider::X11WindowHider(X11Connection& connection, std::chrono::milliseconds settle)
    : connection_(connection), settle_(settle) {}

Expected<WindowHiding, std::string> X11WindowHider::hide(std::span<const uint32_t> windows) {
    xcb_connection_t* c = connection_.raw();
    const xcb_window_t root = connection_.root();
    // Every window (and its frame) we wait to see unmapped.
    std::set<xcb_window_t> waitingFor;
    WindowHiding hiding;
    const uint32_t structure = XCB_EVENT_MASK_STRUCTURE_NOTIFY;
    for (const xcb_window_t window : windows) {
        if (!isViewable(c, window)) continue;
        const xcb_window_t topLevel = topLevelOf(c, root, window);
        // Our own interest in the windows' changes; the toolkit's stays as it is.
        xcb_change_window_attributes(c, window, XCB_CW_EVENT_MASK, &structure);
        if (topLevel != window) xcb_change_window_attributes(c, topLevel, XCB_CW_EVENT_MASK, &structure);
        xcb_unmap_window(c, window);
        // A withdrawn window's manager hears of it by a synthetic unmap notice.
        xcb_unmap_notify_event_t notice{};
        notice.response_type = XCB_UNMAP_NOTIFY;
        notice.event = root;
        notice.window = window;
        xcb_send_event(c, 0, root, XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                       reinterpret_cast<const char*>(&notice));
        waitingFor.insert(window);
        if (topLevel != window) waitingFor.insert(topLevel);
        ++hiding.withdrawn;
    }
    if (connection_.isBroken()) return unexpected(connection_.brokenMessage());

    const auto deadline = std::chrono::steady_clock::now() + replyTimeout();
    while (!waitingFor.empty()) {
        // A frame the window manager has already unmapped, or destroyed,
        // sends nothing more: check before each wait.
        std::erase_if(waitingFor, [&](xcb_window_t window) { return !isViewable(c, window); });
        if (waitingFor.empty()) break;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        const auto event = left.count() > 0 ? waitForEvent(
                                                  c,
                                                  [&](const xcb_generic_event_t& e) {
                                                      const uint8_t type = eventType(e);
                                                      return type == XCB_UNMAP_NOTIFY || type == XCB_DESTROY_NOTIFY;
                                                  },
                                                  left)
                                            : nullptr;
        if (connection_.isBroken()) return unexpected(connection_.brokenMessage());
        if (!event) {
            std::erase_if(waitingFor, [&](xcb_window_t window) { return !isViewable(c, window); });
            if (waitingFor.empty()) break;
            return unexpected("window " + std::to_string(*waitingFor.begin()) + " is still on screen");
        }
    }
    // Every unmap has been processed by the server when this returns; a
    // compositor shows it from its next frame on.
    connection_.sync();
    if (hiding.withdrawn > 0 && X11CompositorProbe(connection_).compositing()) std::this_thread::sleep_for(settle_);
    return hiding;
}

}  // namespace tessarin::x11
