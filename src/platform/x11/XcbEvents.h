#pragma once
// Bounded waits for events, and atoms interned on demand, for the parts of
// the back end that run on a connection of their own.

#include <chrono>
#include <functional>
#include <string_view>

#include <xcb/xcb.h>

#include "platform/x11/XcbHandles.h"

namespace tessarin::x11 {

using EventFilter = std::function<bool(const xcb_generic_event_t&)>;

// The first event `wanted` accepts, within `timeout`; events it does not
// accept are dropped. Null when the time ran out or the connection broke.
XcbPtr<xcb_generic_event_t> waitForEvent(xcb_connection_t* connection, const EventFilter& wanted,
                                         std::chrono::milliseconds timeout);

// XCB_ATOM_NONE when the server did not answer.
xcb_atom_t internAtom(xcb_connection_t* connection, std::string_view name);

// The response type of an event without the bit that marks a sent one.
inline uint8_t eventType(const xcb_generic_event_t& event) { return event.response_type & 0x7f; }

}  // namespace tessarin::x11
