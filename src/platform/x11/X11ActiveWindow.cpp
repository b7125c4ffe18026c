#include "platform/x11/X11ActiveWindow.h"

#include <algorithm>
#include <string_view>

#include "core/common/Log.h"
#include "platform/x11/XcbEvents.h"

namespace tessarin::x11 {

namespace {

// _NET_ACTIVE_WINDOW's source indication for pagers and other tools that
// act for the user.
constexpr uint32_t kSourcePager = 2;
// What GetInputFocus reports when no window has the focus.
constexpr xcb_window_t kPointerRoot = 1;

std::string windowName(xcb_window_t window) { return "window " + std::to_string(window); }

}  // namespace

Expected<std::unique_ptr<X11ActiveWindowTracker>, std::string> X11ActiveWindowTracker::open(
    const std::string& displayName) {
    auto connection = X11Connection::open(displayName);
    if (!connection) return unexpected(connection.error());
    std::unique_ptr<X11ActiveWindowTracker> tracker(new X11ActiveWindowTracker(std::move(connection.value())));
    if (tracker->connection_->isBroken()) return unexpected(tracker->connection_->brokenMessage());
    return tracker;
}

X11ActiveWindowTracker::X11ActiveWindowTracker(std::unique_ptr<X11Connection> connection)
    : connection_(std::move(connection)) {
    xcb_connection_t* c = connection_->raw();
    netActiveWindow_ = internAtom(c, "_NET_ACTIVE_WINDOW");
    netSupported_ = internAtom(c, "_NET_SUPPORTED");
    netSupportingWmCheck_ = internAtom(c, "_NET_SUPPORTING_WM_CHECK");
    clockProperty_ = internAtom(c, "_TESSARIN_SERVER_TIME");
    // An input-only window that is never mapped: its property changes
    // carry the server's time.
    clockWindow_ = xcb_generate_id(c);
    const uint32_t events = XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_create_window(c, 0, clockWindow_, connection_->root(), -1, -1, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_ONLY,
                      XCB_COPY_FROM_PARENT, XCB_CW_EVENT_MASK, &events);
    xcb_flush(c);
}

X11ActiveWindowTracker::~X11ActiveWindowTracker() {
    if (!connection_->isBroken()) xcb_destroy_window(connection_->raw(), clockWindow_);
}

xcb_timestamp_t X11ActiveWindowTracker::serverTime() {
    xcb_connection_t* c = connection_->raw();
    // Appending nothing changes nothing but still reports the change, with
    // the time the server made it.
    xcb_change_property(c, XCB_PROP_MODE_APPEND, clockWindow_, clockProperty_, XCB_ATOM_STRING, 8, 0, nullptr);
    const auto event = waitForEvent(
        c,
        [this](const xcb_generic_event_t& e) {
            if (eventType(e) != XCB_PROPERTY_NOTIFY) return false;
            const auto& notice = reinterpret_cast<const xcb_property_notify_event_t&>(e);
            return notice.window == clockWindow_ && notice.atom == clockProperty_;
        },
        replyTimeout());
    if (!event) return XCB_CURRENT_TIME;
    return reinterpret_cast<const xcb_property_notify_event_t*>(event.get())->time;
}

bool X11ActiveWindowTracker::windowManagerActivates() {
    const X11Connection& x = *connection_;
    const auto check = x.readCardinals(x.root(), netSupportingWmCheck_, XCB_ATOM_WINDOW);
    if (check.empty() || check.front() == XCB_WINDOW_NONE) return false;
    // A window manager that died leaves the root's property behind; its
    // check window is gone then, or no longer names itself.
    const auto self = x.readCardinals(check.front(), netSupportingWmCheck_, XCB_ATOM_WINDOW);
    if (self.empty() || self.front() != check.front()) return false;
    const auto supported = x.readCardinals(x.root(), netSupported_, XCB_ATOM_ATOM);
    return std::find(supported.begin(), supported.end(), netActiveWindow_) != supported.end();
}

std::optional<uint32_t> X11ActiveWindowTracker::activeWindow() {
    const X11Connection& x = *connection_;
    if (windowManagerActivates()) {
        const auto active = x.readCardinals(x.root(), netActiveWindow_, XCB_ATOM_WINDOW);
        if (active.empty() || active.front() == XCB_WINDOW_NONE) return std::nullopt;
        return active.front();
    }
    xcb_connection_t* c = x.raw();
    const auto focus = waitReply(xcb_get_input_focus_reply, c, xcb_get_input_focus(c));
    if (!focus) return std::nullopt;
    const xcb_window_t window = focus->focus;
    if (window == XCB_WINDOW_NONE || window == kPointerRoot || window == x.root()) return std::nullopt;
    return window;
}

bool X11ActiveWindowTracker::isActive(uint32_t window) {
    const auto active = activeWindow();
    return active && *active == window;
}

ActivationResult X11ActiveWindowTracker::activate(uint32_t window) {
    xcb_connection_t* c = connection_->raw();
    if (connection_->isBroken()) return {ActivationOutcome::failed, connection_->brokenMessage()};
    const auto attributes = waitReply(xcb_get_window_attributes_reply, c, xcb_get_window_attributes(c, window));
    if (!attributes) {
        if (connection_->isBroken()) return {ActivationOutcome::failed, connection_->brokenMessage()};
        return {ActivationOutcome::failed, windowName(window) + " does not exist (closed?)"};
    }
    const ActivationResult result = windowManagerActivates() ? askWindowManager(window) : focusDirectly(window);
    logLine(result.ok() ? LogLevel::debug : LogLevel::error, LogCategory::capture,
            "focus.activate window=" + std::to_string(window) +
                (result.outcome == ActivationOutcome::requested ? " via=window_manager"
                 : result.outcome == ActivationOutcome::focused ? " via=set_input_focus"
                                                                 : " failed=\"" + result.detail + "\""));
    return result;
}

ActivationResult X11ActiveWindowTracker::askWindowManager(xcb_window_t window) {
    xcb_connection_t* c = connection_->raw();
    const xcb_timestamp_t time = serverTime();
    const auto current = connection_->readCardinals(connection_->root(), netActiveWindow_, XCB_ATOM_WINDOW);
    xcb_client_message_event_t message{};
    message.response_type = XCB_CLIENT_MESSAGE;
    message.format = 32;
    message.window = window;
    message.type = netActiveWindow_;
    message.data.data32[0] = kSourcePager;
    message.data.data32[1] = time;
    message.data.data32[2] = current.empty() ? uint32_t{XCB_WINDOW_NONE} : current.front();
    const auto cookie = xcb_send_event_checked(
        c, 0, connection_->root(), XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
        reinterpret_cast<const char*>(&message));
    if (const uint8_t error = checkRequest(c, cookie); error != 0 || connection_->isBroken()) {
        return {ActivationOutcome::failed, connection_->isBroken()
                                               ? connection_->brokenMessage()
                                               : "the X server refused the activation (error " +
                                                     std::to_string(error) + ")"};
    }
    return {ActivationOutcome::requested, {}};
}

ActivationResult X11ActiveWindowTracker::focusDirectly(xcb_window_t window) {
    xcb_connection_t* c = connection_->raw();
    const uint32_t above = XCB_STACK_MODE_ABOVE;
    xcb_configure_window(c, window, XCB_CONFIG_WINDOW_STACK_MODE, &above);
    const auto cookie = xcb_set_input_focus_checked(c, XCB_INPUT_FOCUS_PARENT, window, serverTime());
    const uint8_t error = checkRequest(c, cookie);
    if (connection_->isBroken()) return {ActivationOutcome::failed, connection_->brokenMessage()};
    if (error == XCB_MATCH) return {ActivationOutcome::failed, windowName(window) + " is not on screen"};
    if (error != 0) return {ActivationOutcome::failed, windowName(window) + " cannot take the focus (error " +
                                                           std::to_string(error) + ")"};
    return {ActivationOutcome::focused, {}};
}

int screenNumberOf(const X11Connection& connection) {
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(connection.raw()));
    for (int number = 0; it.rem > 0; xcb_screen_next(&it), ++number) {
        if (it.data->root == connection.root()) return number;
    }
    return 0;
}

X11CompositorProbe::X11CompositorProbe(const X11Connection& connection)
    : connection_(connection),
      selection_(internAtom(connection.raw(), "_NET_WM_CM_S" + std::to_string(screenNumberOf(connection)))) {}

bool X11CompositorProbe::compositing() {
    if (selection_ == XCB_ATOM_NONE) return false;
    xcb_connection_t* c = connection_.raw();
    const auto owner = waitReply(xcb_get_selection_owner_reply, c, xcb_get_selection_owner(c, selection_));
    return owner && owner->owner != XCB_WINDOW_NONE;
}

}  // namespace tessarin::x11
