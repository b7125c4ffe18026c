#include "platform/x11/X11Displays.h"

#include <algorithm>

#include <xcb/randr.h>

#include "platform/x11/DisplayScale.h"
#include "platform/x11/PixelRects.h"
#include "platform/x11/X11Connection.h"

namespace tessarin::x11 {

namespace {

// Active RandR monitors in server order with their names; empty when the
// server lists none or the request failed.
std::vector<X11Monitor> takeRandrMonitors(const X11Connection& connection, xcb_randr_get_monitors_cookie_t cookie) {
    auto reply = waitReply(xcb_randr_get_monitors_reply, connection.raw(), cookie);
    if (!reply) return {};
    std::vector<X11Monitor> monitors;
    std::vector<xcb_atom_t> nameAtoms;
    for (auto it = xcb_randr_get_monitors_monitors_iterator(reply.get()); it.rem > 0;
         xcb_randr_monitor_info_next(&it)) {
        const xcb_randr_monitor_info_t& info = *it.data;
        monitors.push_back({{}, {info.x, info.y, info.width, info.height}, info.primary != 0});
        nameAtoms.push_back(info.name);
    }
    auto names = connection.atomNames(nameAtoms);
    for (size_t i = 0; i < monitors.size(); ++i) monitors[i].name = std::move(names[i]);
    return monitors;
}

std::optional<PixelRect> takeWorkArea(const X11Connection& connection, xcb_get_property_cookie_t areasCookie,
                                      xcb_get_property_cookie_t desktopCookie) {
    const auto areas = connection.takeCardinals(areasCookie, XCB_ATOM_CARDINAL);
    const auto desktop = connection.takeCardinals(desktopCookie, XCB_ATOM_CARDINAL);
    if (areas.size() < 4) return std::nullopt;
    size_t index = desktop.empty() ? 0 : desktop.front();
    if (index * 4 + 4 > areas.size()) index = 0;
    const PixelRect area{areas[index * 4], areas[index * 4 + 1], areas[index * 4 + 2], areas[index * 4 + 3]};
    if (area.isEmpty()) return std::nullopt;
    return area;
}

std::optional<std::string> takeResources(const X11Connection& connection, xcb_get_property_cookie_t cookie) {
    auto value = connection.takeProperty(cookie);
    if (!value || value->type != XCB_ATOM_STRING) return std::nullopt;
    return std::move(value->bytes);
}

}  // namespace

std::optional<uint32_t> displayIDForName(std::string_view name) {
    if (name.empty()) return std::nullopt;
    return fnv1a32(name);
}

std::vector<X11Monitor> orderMonitors(std::vector<X11Monitor> monitors) {
    std::erase_if(monitors, [](const X11Monitor& m) { return m.root.isEmpty(); });
    if (monitors.empty()) return monitors;
    auto primary = std::find_if(monitors.begin(), monitors.end(), [](const X11Monitor& m) { return m.primary; });
    if (primary == monitors.end()) primary = monitors.begin();
    std::rotate(monitors.begin(), primary, primary + 1);
    for (size_t i = 0; i < monitors.size(); ++i) monitors[i].primary = i == 0;
    return monitors;
}

const X11Monitor* DesktopLayout::monitorWithID(uint32_t displayID) const {
    for (const X11Monitor& monitor : monitors) {
        if (displayIDForName(monitor.name) == displayID) return &monitor;
    }
    return nullptr;
}

DesktopLayout makeDesktopLayout(std::vector<X11Monitor> monitors, double scale, std::optional<PixelRect> workArea) {
    const PixelRect primary = monitors.empty() ? PixelRect{} : monitors.front().root;
    return {std::move(monitors), RootCoordinates(primary, scale), workArea};
}

std::vector<DisplayDescription> describeDisplays(const DesktopLayout& layout) {
    const RootCoordinates& coordinates = layout.coordinates;
    std::vector<DisplayDescription> displays;
    displays.reserve(layout.monitors.size());
    for (const X11Monitor& monitor : layout.monitors) {
        DisplayDescription display;
        display.displayID = displayIDForName(monitor.name);
        display.name = monitor.name;
        display.frame = coordinates.toGlobalBottomLeft(monitor.root);
        display.visibleFrame = display.frame;
        if (layout.workArea) {
            // _NET_WORKAREA is one rectangle over the whole root; a monitor
            // it does not touch keeps its full frame.
            if (auto visible = intersect(monitor.root, *layout.workArea)) {
                display.visibleFrame = coordinates.toGlobalBottomLeft(*visible);
            }
        }
        display.scale = coordinates.scale();
        display.pixelWidth = monitor.root.width;
        display.pixelHeight = monitor.root.height;
        display.primary = monitor.primary;
        displays.push_back(std::move(display));
    }
    return displays;
}

Expected<DesktopLayout, CaptureError> readDesktopLayout(const X11Connection& connection,
                                                        std::optional<std::string_view> gdkScale) {
    // Every request goes out before the first reply is awaited, so the whole
    // layout costs one round trip to the server (two when a monitor's name is
    // new to this connection).
    xcb_connection_t* c = connection.raw();
    const xcb_window_t root = connection.root();
    std::optional<xcb_randr_get_monitors_cookie_t> monitorsCookie;
    if (connection.extensions().randrMonitors) monitorsCookie = xcb_randr_get_monitors(c, root, 1);
    const auto resourcesCookie = connection.requestProperty(root, XCB_ATOM_RESOURCE_MANAGER, XCB_ATOM_STRING);
    const auto workAreaCookie = connection.requestProperty(root, connection.atoms().netWorkarea, XCB_ATOM_CARDINAL);
    const auto desktopCookie =
        connection.requestProperty(root, connection.atoms().netCurrentDesktop, XCB_ATOM_CARDINAL);

    auto monitors = orderMonitors(monitorsCookie ? takeRandrMonitors(connection, *monitorsCookie)
                                                 : std::vector<X11Monitor>{});
    const auto resources = takeResources(connection, resourcesCookie);
    auto workArea = takeWorkArea(connection, workAreaCookie, desktopCookie);
    if (monitors.empty()) {
        // The size from the connection setup goes stale when RandR resizes
        // the screen, so ask for the root's current geometry.
        auto geometry = waitReply(xcb_get_geometry_reply, c, xcb_get_geometry(c, root));
        if (!geometry) {
            return unexpected(CaptureError::captureFailed(
                connection.isBroken() ? connection.brokenMessage() : "cannot read the size of the X root window"));
        }
        monitors = orderMonitors({{"screen", {0, 0, geometry->width, geometry->height}, true}});
    }
    if (connection.isBroken()) return unexpected(CaptureError::captureFailed(connection.brokenMessage()));
    const double scale = chooseScale(gdkScale, resources ? std::optional<std::string_view>(*resources) : std::nullopt);
    return makeDesktopLayout(std::move(monitors), scale, workArea);
}

}  // namespace tessarin::x11
