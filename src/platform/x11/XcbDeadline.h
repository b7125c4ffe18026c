#pragma once
// Bounded waits on an X server. libxcb waits for a reply, or for the
// connection set-up, as long as it takes; a wedged server (stopped, or
// stuck behind a grab) would hang every command for ever. Every wait of the
// back end goes through here instead: it gives up after a few seconds,
// shuts the connection down so every later request fails at once, and
// remembers why, so the error can say so.

#include <chrono>
#include <string>

#include <xcb/xcb.h>

namespace tessarin::x11 {

// How long one reply, or the connection set-up, may take: 5 seconds, or
// TESSARIN_X_TIMEOUT_MS when set to a positive number of milliseconds.
std::chrono::milliseconds replyTimeout();

// xcb_connect within replyTimeout(). Null on time-out (a connection that
// still completes later is closed by itself); otherwise the connection as
// xcb_connect returns it, failed ones included.
xcb_connection_t* connectWithin(const std::string& displayName, int* screen);

// The reply (or error, in `error`) of request `sequence`; null with no
// error when the connection broke or the server did not answer in time.
void* waitForReplyWithin(xcb_connection_t* connection, unsigned int sequence, xcb_generic_error_t** error);

// A round trip within the deadline: afterwards every reply and error of an
// earlier request has arrived. False when it timed out or the connection broke.
bool syncWithin(xcb_connection_t* connection);

// True once a wait on `connection` gave up.
bool timedOut(xcb_connection_t* connection);
// Forgets `connection` (call before disconnecting it).
void forgetConnection(xcb_connection_t* connection);

}  // namespace tessarin::x11
