#include "platform/x11/X11WindowPick.h"

#include <algorithm>
#include <array>
#include <string_view>
#include <utility>

#include "platform/x11/X11Connection.h"
#include "platform/x11/XcbEvents.h"

namespace tessarin::x11 {

namespace {

constexpr std::string_view kTypePrefix = "_NET_WM_WINDOW_TYPE_";
constexpr std::array<std::pair<std::string_view, WindowKind>, 14> kKinds{{
    {"NORMAL", WindowKind::normal},
    {"DIALOG", WindowKind::dialog},
    {"UTILITY", WindowKind::utility},
    {"TOOLBAR", WindowKind::utility},
    {"SPLASH", WindowKind::utility},
    {"MENU", WindowKind::utility},  // a menu torn off into a window of its own
    {"DOCK", WindowKind::dock},
    {"DESKTOP", WindowKind::desktop},
    {"DROPDOWN_MENU", WindowKind::popup},
    {"POPUP_MENU", WindowKind::popup},
    {"TOOLTIP", WindowKind::popup},
    {"NOTIFICATION", WindowKind::popup},
    {"COMBO", WindowKind::popup},
    {"DND", WindowKind::popup},
}};

std::vector<xcb_atom_t> atomsOf(const std::optional<X11Connection::Property>& property) {
    if (!property || property->type != XCB_ATOM_ATOM || property->format != 32) return {};
    return cardinalsFromBytes(property->bytes);
}

}  // namespace

WindowKind windowKindFromTypeNames(const std::vector<std::string>& typeNames) {
    for (const std::string& name : typeNames) {
        if (!std::string_view(name).starts_with(kTypePrefix)) continue;
        const std::string_view kind = std::string_view(name).substr(kTypePrefix.size());
        const auto known = std::find_if(kKinds.begin(), kKinds.end(), [&](const auto& entry) { return entry.first == kind; });
        if (known != kKinds.end()) return known->second;
    }
    return WindowKind::normal;
}

bool isHiddenFromStateNames(const std::vector<std::string>& stateNames) {
    return std::find(stateNames.begin(), stateNames.end(), "_NET_WM_STATE_HIDDEN") != stateNames.end();
}

X11PickableWindows::X11PickableWindows(X11ScreenBackend& backend)
    : backend_(backend),
      windowType_(internAtom(backend.connection().raw(), "_NET_WM_WINDOW_TYPE")),
      windowState_(internAtom(backend.connection().raw(), "_NET_WM_STATE")) {}

Expected<std::vector<PickableWindow>, CaptureError> X11PickableWindows::pickableWindows() {
    auto windows = backend_.windows();
    if (!windows) return unexpected(windows.error());
    const X11Connection& connection = backend_.connection();
    // Every request first, then every reply: one round trip for the list.
    std::vector<std::pair<xcb_get_property_cookie_t, xcb_get_property_cookie_t>> cookies;
    for (const WindowDescription& window : windows.value()) {
        cookies.emplace_back(connection.requestProperty(window.windowID, windowType_, XCB_ATOM_ATOM),
                             connection.requestProperty(window.windowID, windowState_, XCB_ATOM_ATOM));
    }
    std::vector<PickableWindow> result;
    result.reserve(cookies.size());
    for (size_t i = 0; i < cookies.size(); ++i) {
        const auto types = atomsOf(connection.takeProperty(cookies[i].first));
        const auto states = atomsOf(connection.takeProperty(cookies[i].second));
        PickableWindow window;
        window.description = std::move(windows.value()[i]);
        window.kind = windowKindFromTypeNames(connection.atomNames(types));
        window.hidden = isHiddenFromStateNames(connection.atomNames(states));
        result.push_back(std::move(window));
    }
    if (connection.isBroken()) return unexpected(CaptureError::captureFailed(connection.brokenMessage()));
    return result;
}

}  // namespace tessarin::x11
