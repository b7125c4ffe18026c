// tray-icons: how many icons are docked in the system tray.
//
//   tray-icons [--list] [--wait SECONDS [--at-least N] [--since EPOCH]]
//
// Prints the number of docked icons. --list prints one line per icon
// instead: "WINDOW X Y WIDTH HEIGHT" (hex window id, root coordinates),
// which is where a click opens the icon's menu. --wait waits until at least
// N (default 1) icons are docked and visible; --since adds the time from
// EPOCH (seconds since 1970 with a fraction, such as bash's $EPOCHREALTIME
// taken just before starting a program) to the moment of docking:
// "docked N after MS ms". Exit status 1 when there is no tray or the wait
// timed out, 2 for a bad argument.
//
// A docked icon is a viewable window of another client whose parent belongs
// to the client that owns the tray selection _NET_SYSTEM_TRAY_Sn: trays
// embed icons in windows of their own (trayer in a GtkSocket of its panel,
// other trays in the selection window itself), and windows of one client
// share the resource id base the server gave that client.

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include <xcb/xcb.h>

#include "platform/x11/XcbHandles.h"

using tessarin::x11::XcbPtr;

namespace {

struct Icon {
    xcb_window_t window = 0;
    int x = 0, y = 0, width = 0, height = 0;
};

struct Options {
    bool list = false;
    double waitSeconds = -1;
    int atLeast = 1;
    double since = -1;
};

int usage() {
    std::fprintf(stderr, "usage: tray-icons [--list] [--wait SECONDS [--at-least N] [--since EPOCH]]\n");
    return 2;
}

bool parseNumber(const char* text, double& out) {
    std::string copy(text);
    for (char& c : copy) {
        if (c == ',') c = '.';  // $EPOCHREALTIME follows the locale's decimal point
    }
    char* end = nullptr;
    errno = 0;
    out = std::strtod(copy.c_str(), &end);
    return errno == 0 && end != copy.c_str() && *end == '\0' && out >= 0;
}

double monotonicSeconds(clockid_t clock) {
    timespec now{};
    clock_gettime(clock, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

xcb_window_t trayOwner(xcb_connection_t* connection, int screen) {
    const std::string name = "_NET_SYSTEM_TRAY_S" + std::to_string(screen);
    XcbPtr<xcb_intern_atom_reply_t> atom(xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 0, static_cast<uint16_t>(name.size()), name.c_str()), nullptr));
    if (!atom) return XCB_NONE;
    XcbPtr<xcb_get_selection_owner_reply_t> owner(
        xcb_get_selection_owner_reply(connection, xcb_get_selection_owner(connection, atom->atom), nullptr));
    return owner ? owner->owner : XCB_NONE;
}

// Children of every window in `parents`, each with its parent, one round trip per tree level.
struct Edge {
    xcb_window_t parent, child;
};
std::vector<Edge> allEdges(xcb_connection_t* connection, xcb_window_t root) {
    std::vector<Edge> edges;
    std::vector<xcb_window_t> level{root};
    while (!level.empty()) {
        std::vector<xcb_query_tree_cookie_t> cookies;
        for (xcb_window_t window : level) cookies.push_back(xcb_query_tree(connection, window));
        std::vector<xcb_window_t> next;
        for (size_t i = 0; i < level.size(); ++i) {
            XcbPtr<xcb_query_tree_reply_t> tree(xcb_query_tree_reply(connection, cookies[i], nullptr));
            if (!tree) continue;  // the window went away meanwhile
            const xcb_window_t* children = xcb_query_tree_children(tree.get());
            for (int c = 0; c < xcb_query_tree_children_length(tree.get()); ++c) {
                edges.push_back({level[i], children[c]});
                next.push_back(children[c]);
            }
        }
        level = std::move(next);
    }
    return edges;
}

std::vector<Icon> dockedIcons(xcb_connection_t* connection, xcb_window_t root, xcb_window_t owner) {
    const uint32_t idMask = xcb_get_setup(connection)->resource_id_mask;
    const auto clientOf = [idMask](xcb_window_t window) { return window & ~idMask; };
    std::vector<xcb_window_t> candidates;
    for (const Edge& edge : allEdges(connection, root)) {
        if (edge.parent != root && clientOf(edge.parent) == clientOf(owner) && clientOf(edge.child) != clientOf(owner)) {
            candidates.push_back(edge.child);
        }
    }
    std::vector<Icon> icons;
    for (xcb_window_t window : candidates) {
        XcbPtr<xcb_get_window_attributes_reply_t> attributes(
            xcb_get_window_attributes_reply(connection, xcb_get_window_attributes(connection, window), nullptr));
        if (!attributes || attributes->map_state != XCB_MAP_STATE_VIEWABLE) continue;
        XcbPtr<xcb_get_geometry_reply_t> geometry(
            xcb_get_geometry_reply(connection, xcb_get_geometry(connection, window), nullptr));
        XcbPtr<xcb_translate_coordinates_reply_t> position(xcb_translate_coordinates_reply(
            connection, xcb_translate_coordinates(connection, window, root, 0, 0), nullptr));
        if (!geometry || !position) continue;
        icons.push_back({window, position->dst_x, position->dst_y, geometry->width, geometry->height});
    }
    return icons;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        double value = 0;
        if (arg == "--list") {
            options.list = true;
        } else if (arg == "--wait" && hasValue && parseNumber(argv[++i], value)) {
            options.waitSeconds = value;
        } else if (arg == "--at-least" && hasValue && parseNumber(argv[++i], value) && value >= 1) {
            options.atLeast = static_cast<int>(value);
        } else if (arg == "--since" && hasValue && parseNumber(argv[++i], value)) {
            options.since = value;
        } else {
            return usage();
        }
    }
    if (options.since >= 0 && options.waitSeconds < 0) return usage();

    int screenNumber = 0;
    xcb_connection_t* connection = xcb_connect(nullptr, &screenNumber);
    if (xcb_connection_has_error(connection)) {
        xcb_disconnect(connection);
        std::fprintf(stderr, "tray-icons: cannot open the X display (is DISPLAY set?)\n");
        return 1;
    }
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection));
    for (int s = 0; s < screenNumber; ++s) xcb_screen_next(&screens);
    const xcb_window_t root = screens.data->root;

    const double deadline = monotonicSeconds(CLOCK_MONOTONIC) + std::max(0.0, options.waitSeconds);
    std::vector<Icon> icons;
    xcb_window_t owner = XCB_NONE;
    while (true) {
        owner = trayOwner(connection, screenNumber);
        icons = owner != XCB_NONE ? dockedIcons(connection, root, owner) : std::vector<Icon>{};
        const bool enough = static_cast<int>(icons.size()) >= options.atLeast;
        if (options.waitSeconds < 0 || enough) break;
        if (xcb_connection_has_error(connection) || monotonicSeconds(CLOCK_MONOTONIC) >= deadline) {
            std::fprintf(stderr, "tray-icons: %zu icon(s) docked after waiting %.1f s for %d\n", icons.size(),
                         options.waitSeconds, options.atLeast);
            xcb_disconnect(connection);
            return 1;
        }
        const timespec pause{0, 5'000'000};
        nanosleep(&pause, nullptr);
    }
    const double dockedAt = monotonicSeconds(CLOCK_REALTIME);
    xcb_disconnect(connection);
    if (owner == XCB_NONE) {
        std::fprintf(stderr, "tray-icons: no system tray (nothing owns _NET_SYSTEM_TRAY_S%d)\n", screenNumber);
        return 1;
    }
    if (options.list) {
        for (const Icon& icon : icons) {
            std::printf("0x%x %d %d %d %d\n", icon.window, icon.x, icon.y, icon.width, icon.height);
        }
    } else if (options.since >= 0) {
        std::printf("docked %zu after %.1f ms\n", icons.size(), (dockedAt - options.since) * 1000.0);
    } else {
        std::printf("%zu\n", icons.size());
    }
    return 0;
}
