#include "platform/x11/XcbDeadline.h"

#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <charconv>
#include <condition_variable>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <set>
#include <string_view>
#include <thread>

#include <xcb/xcbext.h>

namespace tessarin::x11 {
namespace {

using Clock = std::chrono::steady_clock;
constexpr std::chrono::milliseconds kDefaultTimeout{5000};
// The longest single sleep: another thread may read our reply off the
// socket, and then nothing wakes this one.
constexpr std::chrono::milliseconds kPollSlice{20};

std::mutex timedOutLock;
std::set<xcb_connection_t*> timedOutConnections;

void giveUp(xcb_connection_t* connection) {
    {
        std::lock_guard guard(timedOutLock);
        timedOutConnections.insert(connection);
    }
    // libxcb then sees the stream end and fails this and every later request.
    ::shutdown(xcb_get_file_descriptor(connection), SHUT_RDWR);
}

}  // namespace

std::chrono::milliseconds replyTimeout() {
    const char* text = std::getenv("TESSARIN_X_TIMEOUT_MS");
    if (!text) return kDefaultTimeout;
    const std::string_view view(text);
    long value = 0;
    const auto [end, error] = std::from_chars(view.data(), view.data() + view.size(), value);
    if (error != std::errc() || end != view.data() + view.size() || value <= 0) return kDefaultTimeout;
    return std::chrono::milliseconds(value);
}

xcb_connection_t* connectWithin(const std::string& displayName, int* screen) {
    struct Pending {
        std::mutex lock;
        std::condition_variable done;
        xcb_connection_t* connection = nullptr;
        int screen = 0;
        bool finished = false;
        bool abandoned = false;
    };
    auto pending = std::make_shared<Pending>();
    // xcb_connect cannot be interrupted, so it runs on a thread of its own
    // that is left behind when the server does not answer.
    std::thread([pending, displayName] {
        int number = 0;
        xcb_connection_t* connection = xcb_connect(displayName.c_str(), &number);
        std::lock_guard guard(pending->lock);
        if (pending->abandoned) {
            xcb_disconnect(connection);
            return;
        }
        pending->connection = connection;
        pending->screen = number;
        pending->finished = true;
        pending->done.notify_all();
    }).detach();
    std::unique_lock guard(pending->lock);
    if (!pending->done.wait_for(guard, replyTimeout(), [&] { return pending->finished; })) {
        pending->abandoned = true;
        return nullptr;
    }
    *screen = pending->screen;
    return pending->connection;
}

void* waitForReplyWithin(xcb_connection_t* connection, unsigned int sequence, xcb_generic_error_t** error) {
    *error = nullptr;
    if (xcb_connection_has_error(connection) != 0) return nullptr;
    xcb_flush(connection);
    const auto deadline = Clock::now() + replyTimeout();
    const int fd = xcb_get_file_descriptor(connection);
    for (;;) {
        void* reply = nullptr;
        // Reads what the socket holds without blocking.
        if (xcb_poll_for_reply(connection, sequence, &reply, error) != 0) return reply;
        if (xcb_connection_has_error(connection) != 0) return nullptr;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) {
            giveUp(connection);
            return nullptr;
        }
        pollfd readable{fd, POLLIN, 0};
        ::poll(&readable, 1, int(std::min(left, kPollSlice).count()) + 1);
    }
}

bool syncWithin(xcb_connection_t* connection) {
    xcb_generic_error_t* error = nullptr;
    void* reply = waitForReplyWithin(connection, xcb_get_input_focus(connection).sequence, &error);
    std::free(error);
    const bool answered = reply != nullptr;
    std::free(reply);
    return answered;
}

bool timedOut(xcb_connection_t* connection) {
    std::lock_guard guard(timedOutLock);
    return timedOutConnections.contains(connection);
}

void forgetConnection(xcb_connection_t* connection) {
    std::lock_guard guard(timedOutLock);
    timedOutConnections.erase(connection);
}

}  // namespace tessarin::x11
