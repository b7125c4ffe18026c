// The grabber when its X connection goes away: every id fails once, through
// the regrab listener, and the descriptor stops waking the event loop.

#include <gtest/gtest.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "AbstractDisplaySocket.h"
#include "TestDisplay.h"
#include "platform/x11/X11GlobalShortcutGrabber.h"

namespace tessarin::x11 {
namespace {

int connectTo(const std::string& path) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// Display :N on the abstract socket libxcb tries first, relaying one client
// to the test server (DISPLAY, ":<number>") until cut(), which closes both
// ends as a server that went away would.
class CuttableRelay {
public:
    explicit CuttableRelay(const std::string& upstreamDisplay) {
        listener_ = testing::listenAsDisplay(48000 + int(::getpid() % 1000), number_);
        if (::pipe2(stop_, O_CLOEXEC) != 0) return;
        const std::string upstream = "/tmp/.X11-unix/X" + upstreamDisplay.substr(upstreamDisplay.find(':') + 1);
        relay_ = std::thread([this, upstream] { run(upstream); });
    }
    ~CuttableRelay() {
        cut();
        ::close(listener_);
        ::close(stop_[0]);
        ::close(stop_[1]);
    }
    std::string display() const { return ":" + std::to_string(number_); }
    void cut() {
        if (!relay_.joinable()) return;
        (void)::write(stop_[1], "x", 1);
        relay_.join();
    }

private:
    void run(const std::string& upstream) {
        pollfd waiting[2] = {{listener_, POLLIN, 0}, {stop_[0], POLLIN, 0}};
        if (::poll(waiting, 2, -1) <= 0 || (waiting[1].revents & POLLIN)) return;
        const int client = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        const int server = connectTo(upstream);
        char buffer[65536];
        for (bool open = client >= 0 && server >= 0; open;) {
            pollfd ends[3] = {{client, POLLIN, 0}, {server, POLLIN, 0}, {stop_[0], POLLIN, 0}};
            if (::poll(ends, 3, -1) <= 0 || ends[2].revents != 0) break;
            for (int from = 0; from < 2 && open; ++from) {
                if (ends[from].revents == 0) continue;
                const ssize_t n = ::read(ends[from].fd, buffer, sizeof buffer);
                open = n > 0 && ::write(ends[1 - from].fd, buffer, size_t(n)) == n;
            }
        }
        if (client >= 0) ::close(client);
        if (server >= 0) ::close(server);
    }

    int listener_ = -1;
    int number_ = 0;
    int stop_[2] = {-1, -1};
    std::thread relay_;
};

TEST(ShortcutGrabConnection, ALostConnectionFailsEveryIdOnceAndGoesQuiet) {
    TESSARIN_REQUIRE_X_SERVER();
    CuttableRelay relay(std::getenv("DISPLAY"));
    auto opened = X11GlobalShortcutGrabber::open(relay.display());
    ASSERT_TRUE(opened) << opened.error();
    X11GlobalShortcutGrabber& grabber = *opened.value();
    std::vector<std::pair<int, GrabResult>> regrabs;
    grabber.setRegrabListener([&](int id, const GrabResult& result) { regrabs.emplace_back(id, result); });
    ASSERT_TRUE(grabber.grab(1, {KeyModifier::shift | KeyModifier::super, "F9"}).ok());
    ASSERT_EQ(grabber.grab(2, {0, "NoSuchKey"}).outcome, GrabOutcome::unknownKey);

    relay.cut();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (regrabs.size() < 2 && std::chrono::steady_clock::now() < deadline) {
        pollfd readable{grabber.eventDescriptor(), POLLIN, 0};
        if (::poll(&readable, 1, 100) > 0) grabber.processPendingEvents();
    }
    const std::string lost = "lost the connection to X display " + relay.display() +
                             " (no X server answered, or it refused the connection)";
    ASSERT_EQ(regrabs.size(), 2u);
    for (const auto& [id, result] : regrabs) {
        EXPECT_EQ(result.outcome, GrabOutcome::failed) << id;
        EXPECT_EQ(result.detail, lost);
    }

    // The closed socket no longer wakes the loop, and nothing more is reported.
    pollfd readable{grabber.eventDescriptor(), POLLIN, 0};
    EXPECT_EQ(::poll(&readable, 1, 0), 0);
    grabber.processPendingEvents();
    EXPECT_EQ(regrabs.size(), 2u);
    const GrabResult later = grabber.grab(3, {KeyModifier::shift, "F9"});
    EXPECT_EQ(later.outcome, GrabOutcome::failed);
    EXPECT_EQ(later.detail, lost);
    grabber.release(1);  // harmless on a dead connection
}

}  // namespace
}  // namespace tessarin::x11
