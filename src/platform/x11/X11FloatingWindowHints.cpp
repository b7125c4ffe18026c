#include "platform/x11/X11FloatingWindowHints.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/x11/X11Connection.h"
#include "platform/x11/XcbHandles.h"

namespace tessarin::x11 {
namespace {

// ICCCM WM_SIZE_HINTS flags and layout (18 CARDINALs).
constexpr uint32_t kProgramMinSize = 1u << 4;
constexpr uint32_t kProgramAspect = 1u << 7;
constexpr uint32_t kAllDesktops = 0xFFFFFFFFu;

// Aspect ratios are integer fractions: keep the terms within 31 bits.
std::pair<int32_t, int32_t> ratio(Size aspect) {
    double width = std::max(1.0, std::round(aspect.width));
    double height = std::max(1.0, std::round(aspect.height));
    while (width > 65535 || height > 65535) {
        width = std::max(1.0, std::round(width / 2));
        height = std::max(1.0, std::round(height / 2));
    }
    return {static_cast<int32_t>(width), static_cast<int32_t>(height)};
}

}  // namespace

Expected<std::unique_ptr<X11FloatingWindowHints>, std::string> X11FloatingWindowHints::open() {
    const char* display = std::getenv("DISPLAY");
    auto connection = X11Connection::open(display ? display : "");
    if (!connection) return unexpected(connection.error());
    return std::unique_ptr<X11FloatingWindowHints>(new X11FloatingWindowHints(std::move(*connection)));
}

X11FloatingWindowHints::X11FloatingWindowHints(std::unique_ptr<X11Connection> connection)
    : connection_(std::move(connection)) {}

X11FloatingWindowHints::~X11FloatingWindowHints() = default;

uint32_t X11FloatingWindowHints::atom(const char* name) {
    xcb_connection_t* c = connection_->raw();
    auto reply = waitReply(xcb_intern_atom_reply, c, xcb_intern_atom(c, 0, static_cast<uint16_t>(std::strlen(name)), name));
    return reply ? reply->atom : static_cast<uint32_t>(XCB_ATOM_NONE);
}

bool X11FloatingWindowHints::markFloating(uint32_t window) {
    if (connection_->isBroken()) return false;
    xcb_connection_t* c = connection_->raw();
    const std::vector<uint32_t> states{atom("_NET_WM_STATE_STICKY"), atom("_NET_WM_STATE_SKIP_TASKBAR"),
                                       atom("_NET_WM_STATE_SKIP_PAGER"), atom("_NET_WM_STATE_ABOVE")};
    const uint32_t netWmState = atom("_NET_WM_STATE");
    const uint32_t netWmDesktop = atom("_NET_WM_DESKTOP");
    if (netWmState == XCB_ATOM_NONE || netWmDesktop == XCB_ATOM_NONE) return false;
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, netWmState, XCB_ATOM_ATOM, 32,
                        static_cast<uint32_t>(states.size()), states.data());
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, netWmDesktop, XCB_ATOM_CARDINAL, 32, 1, &kAllDesktops);
    connection_->sync();
    return !connection_->isBroken();
}

bool X11FloatingWindowHints::keepAspect(uint32_t window, Size aspect, Size minimum) {
    if (connection_->isBroken()) return false;
    xcb_connection_t* c = connection_->raw();
    uint32_t hints[18] = {};
    // Keep what the toolkit set (position, size, maximum), add ours.
    const auto current = connection_->readCardinals(window, XCB_ATOM_WM_NORMAL_HINTS, XCB_ATOM_WM_SIZE_HINTS);
    for (size_t i = 0; i < current.size() && i < 18; ++i) hints[i] = current[i];
    const auto [width, height] = ratio(aspect);
    hints[0] |= kProgramMinSize | kProgramAspect;
    hints[5] = static_cast<uint32_t>(std::max(1.0, std::ceil(minimum.width)));
    hints[6] = static_cast<uint32_t>(std::max(1.0, std::ceil(minimum.height)));
    hints[11] = static_cast<uint32_t>(width);   // min_aspect
    hints[12] = static_cast<uint32_t>(height);
    hints[13] = static_cast<uint32_t>(width);   // max_aspect
    hints[14] = static_cast<uint32_t>(height);
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_NORMAL_HINTS, XCB_ATOM_WM_SIZE_HINTS, 32, 18, hints);
    connection_->sync();
    return !connection_->isBroken();
}

}  // namespace tessarin::x11
