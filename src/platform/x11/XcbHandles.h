#pragma once
// Ownership of what libxcb hands out. Replies and errors are malloc'ed by
// libxcb and must be free()d; a null reply means the request failed (the
// window went away, the server refused, the connection broke), and every
// caller turns that into its own message instead of dereferencing it.

#include <cstdint>
#include <cstdlib>
#include <memory>

#include <xcb/xcb.h>

#include "platform/x11/XcbDeadline.h"

namespace tessarin::x11 {

struct FreeDeleter {
    void operator()(void* pointer) const noexcept { std::free(pointer); }
};

template <class T>
using XcbPtr = std::unique_ptr<T, FreeDeleter>;

// Waits for the reply to `cookie`, at most replyTimeout() (XcbDeadline.h).
// When `errorCode` is given it receives the X error code of a failed request
// (0 when there was none, e.g. because the connection is gone or the server
// did not answer). The reply function names the reply type; libxcb's typed
// reply functions are all the untyped wait, cast, which would not time out.
template <class Reply, class Cookie>
XcbPtr<Reply> waitReply(Reply* (*)(xcb_connection_t*, Cookie, xcb_generic_error_t**), xcb_connection_t* connection,
                        Cookie cookie, uint8_t* errorCode = nullptr) {
    xcb_generic_error_t* error = nullptr;
    XcbPtr<Reply> reply(static_cast<Reply*>(waitForReplyWithin(connection, cookie.sequence, &error)));
    if (errorCode != nullptr) *errorCode = error != nullptr ? error->error_code : 0;
    std::free(error);
    return reply;
}

// The X error code of a checked void request, 0 on success.
inline uint8_t checkRequest(xcb_connection_t* connection, xcb_void_cookie_t cookie) {
    // xcb_request_check waits without limit; after a bounded round trip the
    // request's error, if any, has already arrived (or the connection is shut).
    syncWithin(connection);
    XcbPtr<xcb_generic_error_t> error(xcb_request_check(connection, cookie));
    return error != nullptr ? error->error_code : 0;
}

}  // namespace tessarin::x11
