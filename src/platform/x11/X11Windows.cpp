#include "platform/x11/X11Windows.h"

#include <algorithm>
#include <fstream>
#include <optional>
#include <sstream>

#include "platform/x11/WindowProperties.h"
#include "platform/x11/X11Connection.h"

namespace tessarin::x11 {

namespace {

// Frames of reparenting window managers hold their client one or two
// levels down; deeper searches would only crawl through widget trees.
constexpr int kClientSearchDepth = 4;

std::vector<xcb_window_t> childrenBottomToTop(xcb_connection_t* c, xcb_window_t window) {
    auto tree = waitReply(xcb_query_tree_reply, c, xcb_query_tree(c, window));
    if (!tree) return {};
    const xcb_window_t* children = xcb_query_tree_children(tree.get());
    return {children, children + xcb_query_tree_children_length(tree.get())};
}

bool hasPositiveSize(const PixelRect& r) { return r.width > 0 && r.height > 0; }

// Every request for one client, sent before any reply is awaited so a whole
// window list costs one round trip.
struct ClientRequests {
    xcb_get_window_attributes_cookie_t attributes;
    xcb_get_geometry_cookie_t geometry;
    xcb_translate_coordinates_cookie_t position;
    xcb_get_property_cookie_t netWmName;
    xcb_get_property_cookie_t wmName;
    xcb_get_property_cookie_t wmClass;
    xcb_get_property_cookie_t pid;
    xcb_get_property_cookie_t machine;
};

}  // namespace

std::string readProcessName(int32_t processID) {
    if (processID <= 0) return {};
    std::ifstream file("/proc/" + std::to_string(processID) + "/comm");
    if (!file) return {};
    std::ostringstream text;
    text << file.rdbuf();
    return trimProcessName(text.str());
}

X11WindowLister::X11WindowLister(const X11Connection& connection, ProcessNameLookup processName,
                                 std::string localHostName)
    : connection_(connection), processName_(std::move(processName)), localHostName_(std::move(localHostName)) {}

std::vector<xcb_window_t> X11WindowLister::clientsFrontToBack() const {
    const Atoms& atoms = connection_.atoms();
    // Stacking order is bottom to top; _NET_CLIENT_LIST is mapping order,
    // which puts the newest window first when reversed, the best guess
    // without stacking.
    auto clients = connection_.readCardinals(connection_.root(), atoms.netClientListStacking, XCB_ATOM_WINDOW);
    if (clients.empty()) clients = connection_.readCardinals(connection_.root(), atoms.netClientList, XCB_ATOM_WINDOW);
    if (clients.empty()) return clientsFromTree();
    std::reverse(clients.begin(), clients.end());
    return clients;
}

std::vector<xcb_window_t> X11WindowLister::clientsFromTree() const {
    xcb_connection_t* c = connection_.raw();
    std::vector<xcb_window_t> children = childrenBottomToTop(c, connection_.root());
    std::reverse(children.begin(), children.end());

    std::vector<xcb_get_window_attributes_cookie_t> attributeCookies;
    std::vector<xcb_get_property_cookie_t> classCookies;
    for (const xcb_window_t child : children) {
        attributeCookies.push_back(xcb_get_window_attributes(c, child));
        classCookies.push_back(connection_.requestProperty(child, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING));
    }
    std::vector<xcb_window_t> clients;
    for (size_t i = 0; i < children.size(); ++i) {
        auto attributes = waitReply(xcb_get_window_attributes_reply, c, attributeCookies[i]);
        const auto wmClass = connection_.takeProperty(classCookies[i]);
        if (!attributes || attributes->map_state != XCB_MAP_STATE_VIEWABLE) continue;
        if (wmClass) {
            clients.push_back(children[i]);
        } else if (attributes->override_redirect == 0) {
            // Menus and tooltips are override-redirect and have no client
            // inside; anything else without WM_CLASS may be a frame.
            if (auto client = findClientBelow(children[i], kClientSearchDepth)) clients.push_back(*client);
        }
    }
    return clients;
}

std::optional<xcb_window_t> X11WindowLister::findClientBelow(xcb_window_t window, int levelsLeft) const {
    if (levelsLeft == 0) return std::nullopt;
    std::vector<xcb_window_t> children = childrenBottomToTop(connection_.raw(), window);
    std::reverse(children.begin(), children.end());
    for (const xcb_window_t child : children) {
        if (connection_.readProperty(child, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING)) return child;
        if (auto client = findClientBelow(child, levelsLeft - 1)) return client;
    }
    return std::nullopt;
}

Expected<std::vector<WindowDescription>, CaptureError> X11WindowLister::list(
    const RootCoordinates& coordinates) const {
    const std::vector<xcb_window_t> clients = clientsFrontToBack();
    xcb_connection_t* c = connection_.raw();
    const Atoms& atoms = connection_.atoms();
    const xcb_window_t root = connection_.root();

    std::vector<ClientRequests> requests;
    requests.reserve(clients.size());
    for (const xcb_window_t window : clients) {
        requests.push_back({
            xcb_get_window_attributes(c, window),
            xcb_get_geometry(c, window),
            xcb_translate_coordinates(c, window, root, 0, 0),
            connection_.requestProperty(window, atoms.netWmName, atoms.utf8String),
            connection_.requestProperty(window, XCB_ATOM_WM_NAME, XCB_GET_PROPERTY_TYPE_ANY),
            connection_.requestProperty(window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING),
            connection_.requestProperty(window, atoms.netWmPid, XCB_ATOM_CARDINAL),
            connection_.requestProperty(window, XCB_ATOM_WM_CLIENT_MACHINE, XCB_ATOM_STRING),
        });
    }

    std::vector<WindowDescription> windows;
    for (size_t i = 0; i < clients.size(); ++i) {
        const ClientRequests& r = requests[i];
        // Take every reply, even of windows that are skipped, so none is
        // left queued in libxcb.
        auto attributes = waitReply(xcb_get_window_attributes_reply, c, r.attributes);
        auto geometry = waitReply(xcb_get_geometry_reply, c, r.geometry);
        auto position = waitReply(xcb_translate_coordinates_reply, c, r.position);
        const auto netWmName = connection_.takeProperty(r.netWmName);
        const auto wmName = connection_.takeProperty(r.wmName);
        const auto wmClassBytes = connection_.takeProperty(r.wmClass);
        const auto pidBytes = connection_.takeProperty(r.pid);
        const auto machine = connection_.takeProperty(r.machine);

        if (!attributes || !geometry || !position) continue;  // closed meanwhile
        if (attributes->map_state != XCB_MAP_STATE_VIEWABLE) continue;
        const auto wmClass = wmClassBytes && wmClassBytes->type == XCB_ATOM_STRING
                                 ? parseWmClass(wmClassBytes->bytes)
                                 : std::nullopt;
        if (attributes->override_redirect != 0 && !wmClass) continue;
        const PixelRect rootRect{position->dst_x, position->dst_y, geometry->width, geometry->height};
        if (!hasPositiveSize(rootRect)) continue;

        WindowDescription window;
        window.windowID = clients[i];
        if (pidBytes && pidBytes->type == XCB_ATOM_CARDINAL && pidBytes->format == 32) {
            const auto values = cardinalsFromBytes(pidBytes->bytes);
            if (!values.empty()) window.processID = static_cast<int32_t>(values.front());
        }
        if (wmClass) window.app = wmClass->className;
        const bool local = !machine || decodeTextProperty(machine->bytes, false) == localHostName_;
        if (window.app.empty() && window.processID > 0 && local && processName_) {
            window.app = processName_(window.processID);
        }
        if (netWmName && netWmName->type == atoms.utf8String) {
            window.title = decodeTextProperty(netWmName->bytes, true);
        } else if (wmName && wmName->format == 8) {
            window.title = decodeTextProperty(wmName->bytes, wmName->type == atoms.utf8String);
        }
        window.frame = coordinates.toGlobalTopLeft(rootRect);
        window.layer = 0;
        window.onScreen = true;
        windows.push_back(std::move(window));
    }
    if (connection_.isBroken()) return unexpected(CaptureError::captureFailed(connection_.brokenMessage()));
    return windows;
}

Expected<WindowPlacement, CaptureError> locateWindow(const X11Connection& connection, xcb_window_t window) {
    xcb_connection_t* c = connection.raw();
    const xcb_window_t root = connection.root();
    auto attributesCookie = xcb_get_window_attributes(c, window);
    auto geometryCookie = xcb_get_geometry(c, window);
    auto positionCookie = xcb_translate_coordinates(c, window, root, 0, 0);
    auto attributes = waitReply(xcb_get_window_attributes_reply, c, attributesCookie);
    auto geometry = waitReply(xcb_get_geometry_reply, c, geometryCookie);
    auto position = waitReply(xcb_translate_coordinates_reply, c, positionCookie);
    if (connection.isBroken()) return unexpected(CaptureError::captureFailed(connection.brokenMessage()));
    const std::string name = "window " + std::to_string(window);
    if (!attributes || !geometry || !position) {
        return unexpected(CaptureError::captureFailed(name + " does not exist (closed?)"));
    }
    if (attributes->map_state != XCB_MAP_STATE_VIEWABLE) {
        return unexpected(CaptureError::captureFailed(name + " is not on screen (unmapped, minimised or on another desktop)"));
    }

    WindowPlacement placement;
    placement.root = {position->dst_x, position->dst_y, geometry->width, geometry->height};
    placement.topLevel = window;
    placement.topLevelDepth = geometry->depth;
    placement.topLevelVisual = attributes->visual;
    if (window == root) {
        placement.topLevelOuter = placement.root;
        return placement;
    }
    // Walk up to the root's child: the window a compositor redirects.
    for (;;) {
        auto tree = waitReply(xcb_query_tree_reply, c, xcb_query_tree(c, placement.topLevel));
        if (!tree) return unexpected(CaptureError::captureFailed(name + " disappeared while being captured"));
        if (tree->parent == root || tree->parent == XCB_WINDOW_NONE) break;
        placement.topLevel = tree->parent;
    }
    if (placement.topLevel == window) {
        placement.topLevelOuter = {geometry->x, geometry->y, geometry->width + 2 * int64_t{geometry->border_width},
                                   geometry->height + 2 * int64_t{geometry->border_width}};
        return placement;
    }
    auto topAttributesCookie = xcb_get_window_attributes(c, placement.topLevel);
    auto topGeometry = waitReply(xcb_get_geometry_reply, c, xcb_get_geometry(c, placement.topLevel));
    auto topAttributes = waitReply(xcb_get_window_attributes_reply, c, topAttributesCookie);
    if (!topGeometry || !topAttributes) {
        return unexpected(CaptureError::captureFailed(name + " disappeared while being captured"));
    }
    placement.topLevelDepth = topGeometry->depth;
    placement.topLevelVisual = topAttributes->visual;
    // A root child's geometry is already in root coordinates; x and y are
    // the outer corner, its border lies inside width + 2 * border.
    const int64_t border = topGeometry->border_width;
    placement.topLevelOuter = {topGeometry->x, topGeometry->y, topGeometry->width + 2 * border,
                               topGeometry->height + 2 * border};
    return placement;
}

}  // namespace tessarin::x11
