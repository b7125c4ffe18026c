#include "platform/x11/X11RawKeyWatcher.h"

#include <xcb/xcb.h>
#include <xcb/xinput.h>
#include <xkbcommon/xkbcommon.h>

#include <algorithm>
#include <cstdlib>

#include "platform/x11/KeyGrabs.h"
#include "platform/x11/XcbHandles.h"

namespace tessarin::x11 {
namespace {

Expected<std::vector<uint8_t>, std::string> keycodesOf(X11Connection& connection, const std::string& keyName) {
    const xcb_keysym_t keysym = keysymFromName(keyName);
    if (keysym == XKB_KEY_NoSymbol) return unexpected("\"" + keyName + "\" is not the name of a key");
    const auto map = readKeyboardMap(connection.raw());
    if (!map) return unexpected(std::string("the X server did not send its keyboard map"));
    const auto keycodes = map->keycodesOf(keysym);
    if (keycodes.empty()) return unexpected("the keyboard has no key for \"" + keyName + "\"");
    return std::vector<uint8_t>(keycodes.begin(), keycodes.end());
}

}  // namespace

Expected<std::unique_ptr<X11RawKeyWatcher>, std::string> X11RawKeyWatcher::open(const std::string& displayName,
                                                                              const std::string& keyName,
                                                                              std::function<void()> pressed) {
    auto connection = X11Connection::open(displayName);
    if (!connection) return unexpected(connection.error());
    xcb_connection_t* c = connection.value()->raw();
    const xcb_query_extension_reply_t* xinput = xcb_get_extension_data(c, &xcb_input_id);
    if (!xinput || !xinput->present) return unexpected(std::string("the X server has no XInput extension"));
    // From 2.1 on, raw events reach every client that selects them, whoever
    // holds a grab; a 2.0 client gets none while another client grabs.
    const auto version = waitReply(xcb_input_xi_query_version_reply, c, xcb_input_xi_query_version(c, 2, 2));
    if (!version || version->major_version < 2 || (version->major_version == 2 && version->minor_version < 1)) {
        return unexpected(std::string("the X server has no XInput 2.1"));
    }
    auto keycodes = keycodesOf(*connection.value(), keyName);
    if (!keycodes) return unexpected(keycodes.error());

    // Raw events are selected on the root window for all master devices.
    struct {
        xcb_input_event_mask_t head;
        uint32_t mask;
    } selection{{XCB_INPUT_DEVICE_ALL_MASTER, 1}, XCB_INPUT_XI_EVENT_MASK_RAW_KEY_PRESS};
    const auto cookie = xcb_input_xi_select_events_checked(c, connection.value()->root(), 1, &selection.head);
    if (XcbPtr<xcb_generic_error_t> error{xcb_request_check(c, cookie)}) {
        return unexpected("the X server refused raw key events (X error " + std::to_string(error->error_code) + ")");
    }
    return std::unique_ptr<X11RawKeyWatcher>(new X11RawKeyWatcher(std::move(connection.value()), std::move(*keycodes),
                                                                  xinput->major_opcode, std::move(pressed)));
}

X11RawKeyWatcher::X11RawKeyWatcher(std::unique_ptr<X11Connection> connection, std::vector<uint8_t> keycodes,
                                   uint8_t xinputOpcode, std::function<void()> pressed)
    : connection_(std::move(connection)), keycodes_(std::move(keycodes)), xinputOpcode_(xinputOpcode),
      pressed_(std::move(pressed)) {}

int X11RawKeyWatcher::eventDescriptor() const {
    return connection_->isBroken() ? -1 : xcb_get_file_descriptor(connection_->raw());
}

void X11RawKeyWatcher::processPendingEvents() {
    while (XcbPtr<xcb_generic_event_t> event{xcb_poll_for_event(connection_->raw())}) {
        if ((event->response_type & 0x7f) != XCB_GE_GENERIC) continue;
        const auto* generic = reinterpret_cast<const xcb_ge_generic_event_t*>(event.get());
        if (generic->extension != xinputOpcode_ || generic->event_type != XCB_INPUT_RAW_KEY_PRESS) continue;
        const auto* raw = reinterpret_cast<const xcb_input_raw_key_press_event_t*>(event.get());
        if (raw->flags & XCB_INPUT_KEY_EVENT_FLAGS_KEY_REPEAT) continue;
        const bool ours = std::find(keycodes_.begin(), keycodes_.end(), static_cast<uint8_t>(raw->detail)) !=
                          keycodes_.end();
        if (ours && pressed_) pressed_();
    }
}

std::unique_ptr<KeyPressWatcher> watchKeyPresses(const std::string& keyName, std::function<void()> pressed,
                                                 std::string* whyNot) {
    const char* display = std::getenv("DISPLAY");
    auto watcher = X11RawKeyWatcher::open(display ? display : "", keyName, std::move(pressed));
    if (watcher) return std::move(*watcher);
    if (whyNot) *whyNot = watcher.error();
    return nullptr;
}

}  // namespace tessarin::x11
