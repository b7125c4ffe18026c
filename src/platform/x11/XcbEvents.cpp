#include "platform/x11/XcbEvents.h"

#include <poll.h>

#include <algorithm>

namespace tessarin::x11 {

XcbPtr<xcb_generic_event_t> waitForEvent(xcb_connection_t* connection, const EventFilter& wanted,
                                         std::chrono::milliseconds timeout) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + timeout;
    xcb_flush(connection);
    for (;;) {
        while (XcbPtr<xcb_generic_event_t> event{xcb_poll_for_event(connection)}) {
            if (wanted(*event)) return event;
        }
        if (xcb_connection_has_error(connection) != 0) return nullptr;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) return nullptr;
        pollfd readable{xcb_get_file_descriptor(connection), POLLIN, 0};
        // Sliced: another thread reading the socket would leave this one asleep.
        ::poll(&readable, 1, static_cast<int>(std::min<int64_t>(left.count(), 20)) + 1);
    }
}

xcb_atom_t internAtom(xcb_connection_t* connection, std::string_view name) {
    const auto reply = waitReply(xcb_intern_atom_reply, connection,
                                 xcb_intern_atom(connection, 0, static_cast<uint16_t>(name.size()), name.data()));
    return reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
}

}  // namespace tessarin::x11
