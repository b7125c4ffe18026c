#include "platform/x11/X11GlobalShortcutGrabber.h"

#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <span>
#include <utility>

// xkb.h names a field `explicit`, a C++ keyword.
#define explicit explicit_
#include <xcb/xkb.h>
#undef explicit
#include <xkbcommon/xkbcommon.h>

namespace tessarin::x11 {

namespace {

bool watch(int epoll, int fd) {
    epoll_event interest{};
    interest.events = EPOLLIN;
    interest.data.fd = fd;
    return ::epoll_ctl(epoll, EPOLL_CTL_ADD, fd, &interest) == 0;
}

KeyEventSummary summaryOf(const xcb_generic_event_t& event) {
    // Press and release events share one layout.
    const auto& key = reinterpret_cast<const xcb_key_press_event_t&>(event);
    return {(event.response_type & 0x7f) == XCB_KEY_PRESS, key.detail, key.time};
}

bool isKeyEvent(const xcb_generic_event_t& event) {
    const uint8_t type = event.response_type & 0x7f;
    return type == XCB_KEY_PRESS || type == XCB_KEY_RELEASE;
}

}  // namespace

Expected<std::unique_ptr<X11GlobalShortcutGrabber>, std::string> X11GlobalShortcutGrabber::open(
    const std::string& displayName, X11ShortcutOptions options) {
    auto connection = X11Connection::open(displayName);
    if (!connection) return unexpected(connection.error());
    UniqueFd epoll(::epoll_create1(EPOLL_CLOEXEC));
    UniqueFd wakeUp(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC));
    if (epoll.get() < 0 || wakeUp.get() < 0 || !watch(epoll.get(), xcb_get_file_descriptor(connection.value()->raw())) ||
        !watch(epoll.get(), wakeUp.get())) {
        return unexpected("cannot watch the X connection for key events: " + errnoText(errno));
    }
    std::unique_ptr<X11GlobalShortcutGrabber> grabber(
        new X11GlobalShortcutGrabber(std::move(connection.value()), std::move(epoll), std::move(wakeUp)));
    grabber->enableXkb(options);
    if (!grabber->readKeyboard()) {
        return unexpected("cannot read the keyboard map of X display \"" + displayName +
                          "\": " + grabber->connection_->brokenMessage());
    }
    return grabber;
}

X11GlobalShortcutGrabber::X11GlobalShortcutGrabber(std::unique_ptr<X11Connection> connection, UniqueFd epoll,
                                                   UniqueFd wakeUp)
    : connection_(std::move(connection)), epoll_(std::move(epoll)), wakeUp_(std::move(wakeUp)) {}

void X11GlobalShortcutGrabber::enableXkb(const X11ShortcutOptions& options) {
    xcb_connection_t* c = connection_->raw();
    // xcb_get_extension_data waits without limit; after a bounded round trip
    // the answer is already here.
    xcb_prefetch_extension_data(c, &xcb_xkb_id);
    syncWithin(c);
    const xcb_query_extension_reply_t* extension = xcb_get_extension_data(c, &xcb_xkb_id);
    if (extension == nullptr || extension->present == 0) return;
    const auto use = waitReply(xcb_xkb_use_extension_reply, c, xcb_xkb_use_extension(c, 1, 0));
    if (!use || use->supported == 0) return;
    xkbEventBase_ = extension->first_event;

    if (options.detectableAutoRepeat) {
        constexpr uint32_t flag = XCB_XKB_PER_CLIENT_FLAG_DETECTABLE_AUTO_REPEAT;
        const auto flags = waitReply(xcb_xkb_per_client_flags_reply, c,
                                     xcb_xkb_per_client_flags(c, XCB_XKB_ID_USE_CORE_KBD, flag, flag, 0, 0, 0));
        detectableAutoRepeat_ = flags && (flags->value & flag) != 0;
    }
    // A client that uses XKB hears of keyboard changes through XKB's events
    // instead of the core MappingNotify.
    constexpr uint16_t events = XCB_XKB_EVENT_TYPE_NEW_KEYBOARD_NOTIFY | XCB_XKB_EVENT_TYPE_MAP_NOTIFY;
    constexpr uint16_t mapParts = XCB_XKB_MAP_PART_KEY_SYMS | XCB_XKB_MAP_PART_MODIFIER_MAP;
    const xcb_xkb_select_events_details_t noDetails{};
    xcb_xkb_select_events(c, XCB_XKB_ID_USE_CORE_KBD, events, 0, events, mapParts, mapParts, &noDetails);
    keepQueuedEvents();
}

bool X11GlobalShortcutGrabber::readKeyboard() {
    xcb_connection_t* c = connection_->raw();
    const auto mappingCookie = requestKeyboardMap(c);
    const auto modifiersCookie = xcb_get_modifier_mapping(c);
    const auto mapping = waitReply(xcb_get_keyboard_mapping_reply, c, mappingCookie);
    const auto modifiers = waitReply(xcb_get_modifier_mapping_reply, c, modifiersCookie);
    keepQueuedEvents();
    if (!mapping || !modifiers) return false;

    keyboard_ = keyboardMapFrom(c, *mapping);
    const std::vector<xcb_keycode_t> numLockKeys = keyboard_.keycodesOf(XKB_KEY_Num_Lock);
    const std::span modifierMap(xcb_get_modifier_mapping_keycodes(modifiers.get()),
                                static_cast<size_t>(xcb_get_modifier_mapping_keycodes_length(modifiers.get())));
    numLockMask_ = numLockMaskFrom(modifierMap, modifiers->keycodes_per_modifier, numLockKeys);
    return true;
}

GrabResult X11GlobalShortcutGrabber::grab(int id, const KeyCombination& combination) {
    ungrab(id);
    assignments_[id] = combination;
    GrabResult result = grabVariants(id, combination);
    keepQueuedEvents();
    return result;
}

GrabResult X11GlobalShortcutGrabber::grabVariants(int id, const KeyCombination& combination) {
    if (connection_->isBroken()) return {GrabOutcome::failed, connection_->brokenMessage()};
    const xcb_keysym_t keysym = keysymFromName(combination.key);
    if (keysym == XKB_KEY_NoSymbol) {
        return {GrabOutcome::unknownKey, "\"" + combination.key + "\" is not the name of a key"};
    }
    const std::vector<xcb_keycode_t> keycodes = keyboard_.keycodesOf(keysym);
    if (keycodes.empty()) {
        return {GrabOutcome::unknownKey, "the keyboard has no key for \"" + combination.key + "\""};
    }

    xcb_connection_t* c = connection_->raw();
    struct Asked {
        GrabVariant variant;
        xcb_void_cookie_t cookie;
    };
    std::vector<Asked> asked;
    std::optional<GrabVariant> heldByAnotherId;
    for (const xcb_keycode_t keycode : keycodes) {
        for (const uint16_t modifiers : withLockVariants(grabModifierMask(combination.modifiers), numLockMask_)) {
            const GrabVariant variant{keycode, modifiers};
            // A second grab by this client would silently replace the first,
            // and releasing either id would then drop both.
            if (const auto owner = table_.owner(variant); owner && *owner != id) {
                if (!heldByAnotherId) heldByAnotherId = variant;
                continue;
            }
            asked.push_back({variant, xcb_grab_key_checked(c, 0, connection_->root(), modifiers, keycode,
                                                           XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC)});
        }
    }
    // One bounded round trip brings every error; the checks below then only
    // read what has arrived (and return at once on a broken connection).
    syncWithin(c);
    std::optional<GrabVariant> refused;
    uint8_t otherError = 0;
    for (const Asked& request : asked) {
        const XcbPtr<xcb_generic_error_t> error(xcb_request_check(c, request.cookie));
        if (connection_->isBroken()) break;
        if (!error) {
            table_.bind(id, request.variant);
        } else if (error->error_code == XCB_ACCESS) {
            if (!refused) refused = request.variant;
        } else if (otherError == 0) {
            otherError = error->error_code;
        }
    }

    const std::string text = combinationText(combination);
    if (connection_->isBroken()) return {GrabOutcome::failed, connection_->brokenMessage()};
    if (refused) {
        return {GrabOutcome::refused,
                "another program already uses " + text + lockText(refused->modifiers, numLockMask_)};
    }
    if (heldByAnotherId) {
        return {GrabOutcome::refused, text + lockText(heldByAnotherId->modifiers, numLockMask_) +
                                          " is already the key of another shortcut"};
    }
    if (otherError != 0) {
        return {GrabOutcome::failed,
                "the X server would not grab " + text + " (X error " + std::to_string(otherError) + ")"};
    }
    return {GrabOutcome::grabbed, {}};
}

std::string X11GlobalShortcutGrabber::unshiftedKeyName(uint32_t keycode) const {
    if (keycode > 255) return {};
    const xcb_keysym_t keysym = keyboard_.baseKeysym(static_cast<xcb_keycode_t>(keycode));
    if (keysym == XCB_NO_SYMBOL) return {};
    char name[64];
    if (xkb_keysym_get_name(keysym, name, sizeof name) <= 0) return {};
    return name;
}

void X11GlobalShortcutGrabber::release(int id) {
    ungrab(id);
    assignments_.erase(id);
}

void X11GlobalShortcutGrabber::ungrab(int id) {
    xcb_connection_t* c = connection_->raw();
    for (const GrabVariant& variant : table_.variantsOf(id)) {
        xcb_ungrab_key(c, variant.keycode, connection_->root(), variant.modifiers);
    }
    table_.unbind(id);
    xcb_flush(c);
}

std::vector<std::vector<xcb_keycode_t>> X11GlobalShortcutGrabber::keycodesOfAssignments() const {
    std::vector<std::vector<xcb_keycode_t>> keycodes;
    for (const auto& [id, combination] : assignments_) {
        keycodes.push_back(keyboard_.keycodesOf(keysymFromName(combination.key)));
    }
    return keycodes;
}

void X11GlobalShortcutGrabber::regrabAll() {
    const auto keycodesBefore = keycodesOfAssignments();
    const uint16_t numLockBefore = numLockMask_;
    readKeyboard();
    // The server announces a new keyboard each time another device types
    // (the first key of a second keyboard, or of XTEST): the map is usually
    // the same. Grabbing again then would forget the key that is down and
    // lose the release that completes its shortcut.
    if (keycodesOfAssignments() == keycodesBefore && numLockMask_ == numLockBefore) return;
    // Everything is released first, so that no id finds its key still held
    // under another id's old keycode.
    for (const auto& [id, combination] : assignments_) ungrab(id);
    std::vector<std::pair<int, GrabResult>> results;
    for (const auto& [id, combination] : assignments_) results.emplace_back(id, grabVariants(id, combination));
    keepQueuedEvents();
    // A connection that broke meanwhile is reported once, by connectionLost().
    if (connection_->isBroken()) return;
    // The listener may grab or release: it is told after the table is settled.
    for (const auto& [id, result] : results) {
        if (regrabListener_) regrabListener_(id, result);
    }
}

void X11GlobalShortcutGrabber::connectionLost() {
    // A closed socket stays readable for ever: stop watching it, or the
    // event loop would call us in a busy loop.
    ::epoll_ctl(epoll_.get(), EPOLL_CTL_DEL, xcb_get_file_descriptor(connection_->raw()), nullptr);
    socketWatched_ = false;
    const GrabResult lost{GrabOutcome::failed, connection_->brokenMessage()};
    std::vector<int> ids;
    for (const auto& [id, combination] : assignments_) {
        table_.unbind(id);
        ids.push_back(id);
    }
    for (const int id : ids) {
        if (regrabListener_) regrabListener_(id, lost);
    }
}

void X11GlobalShortcutGrabber::keepQueuedEvents() {
    bool kept = false;
    while (xcb_generic_event_t* event = xcb_poll_for_queued_event(connection_->raw())) {
        deferred_.emplace_back(event);
        kept = true;
    }
    if (!kept) return;
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = ::write(wakeUp_.get(), &one, sizeof one);
}

std::vector<XcbPtr<xcb_generic_event_t>> X11GlobalShortcutGrabber::takeEvents() {
    std::vector<XcbPtr<xcb_generic_event_t>> events = std::move(deferred_);
    deferred_.clear();
    while (xcb_generic_event_t* event = xcb_poll_for_event(connection_->raw())) events.emplace_back(event);
    return events;
}

void X11GlobalShortcutGrabber::processPendingEvents() {
    uint64_t wakeUps = 0;
    [[maybe_unused]] const ssize_t read = ::read(wakeUp_.get(), &wakeUps, sizeof wakeUps);
    const bool keyboardChanged = dispatch(takeEvents());
    if (keyboardChanged && !connection_->isBroken()) regrabAll();
    if (connection_->isBroken() && socketWatched_) connectionLost();
}

bool X11GlobalShortcutGrabber::isKeyDown(xcb_keycode_t keycode) {
    xcb_connection_t* c = connection_->raw();
    const auto keymap = waitReply(xcb_query_keymap_reply, c, xcb_query_keymap(c));
    keepQueuedEvents();
    return keymap && (keymap->keys[keycode / 8] & (1u << (keycode % 8))) != 0;
}

bool X11GlobalShortcutGrabber::dispatch(const std::vector<XcbPtr<xcb_generic_event_t>>& events) {
    bool keyboardChanged = false;
    for (size_t i = 0; i < events.size(); ++i) {
        const xcb_generic_event_t& event = *events[i];
        const uint8_t type = event.response_type & 0x7f;
        if (isKeyEvent(event)) {
            const KeyEventSummary summary = summaryOf(event);
            if (!detectableAutoRepeat_) {
                std::optional<KeyEventSummary> next;
                if (i + 1 < events.size() && isKeyEvent(*events[i + 1])) next = summaryOf(*events[i + 1]);
                if (isAutoRepeatRelease(summary, next)) continue;
                // The pair's press may still be on its way: a key the
                // server holds down was not released.
                if (!summary.press && !next && table_.isDown(summary.keycode) && isKeyDown(summary.keycode)) {
                    continue;
                }
            }
            const auto& key = reinterpret_cast<const xcb_key_press_event_t&>(event);
            const auto report = summary.press ? table_.press(key.detail, modifierBits(key.state))
                                              : table_.release(key.detail);
            if (report && keyListener_) keyListener_(report->id, report->transition);
        } else if (type == XCB_MAPPING_NOTIFY) {
            const auto& mapping = reinterpret_cast<const xcb_mapping_notify_event_t&>(event);
            keyboardChanged |= mapping.request != XCB_MAPPING_POINTER;
        } else if (xkbEventBase_ != 0 && type == xkbEventBase_) {
            // XKB's events share one code; the second byte names the kind.
            const auto& xkb = reinterpret_cast<const xcb_xkb_new_keyboard_notify_event_t&>(event);
            keyboardChanged |= xkb.xkbType == XCB_XKB_NEW_KEYBOARD_NOTIFY || xkb.xkbType == XCB_XKB_MAP_NOTIFY;
        }
    }
    return keyboardChanged;
}

}  // namespace tessarin::x11
