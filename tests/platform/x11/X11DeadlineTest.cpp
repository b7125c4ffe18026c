// A wedged X server: one that never answers the connection set-up, and one
// that answers it and then nothing more. Opening a connection to either
// ends with a clear error instead of waiting for ever.

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "AbstractDisplaySocket.h"
#include "platform/x11/X11Connection.h"

namespace tessarin::x11 {
namespace {

void put16(std::vector<uint8_t>& bytes, uint16_t value) {
    bytes.push_back(uint8_t(value));
    bytes.push_back(uint8_t(value >> 8));
}
void put32(std::vector<uint8_t>& bytes, uint32_t value) {
    put16(bytes, uint16_t(value));
    put16(bytes, uint16_t(value >> 16));
}

bool readExactly(int fd, uint8_t* buffer, size_t size) {
    while (size > 0) {
        const ssize_t n = ::read(fd, buffer, size);
        if (n <= 0) return false;
        buffer += n;
        size -= size_t(n);
    }
    return true;
}

// The smallest successful set-up reply a client accepts, little-endian: one
// 640x480 screen and nothing else.
std::vector<uint8_t> setupReply() {
    std::vector<uint8_t> body;
    put32(body, 1);           // release
    put32(body, 0x00400000);  // resource id base
    put32(body, 0x001FFFFF);  // resource id mask
    put32(body, 0);           // motion buffer size
    put16(body, 0);           // vendor length
    put16(body, 0xFFFF);      // maximum request length
    body.insert(body.end(), {1, 0, 0, 0, 32, 32, 8, 255, 0, 0, 0, 0});  // 1 screen, 0 formats, ..., pad
    put32(body, 0x100);       // root
    put32(body, 0x20);        // colormap
    put32(body, 0xFFFFFF);    // white
    put32(body, 0);           // black
    put32(body, 0);           // input masks
    put16(body, 640), put16(body, 480), put16(body, 170), put16(body, 127), put16(body, 1), put16(body, 1);
    put32(body, 0x21);                    // root visual
    body.insert(body.end(), {0, 0, 24, 0});  // backing stores, save unders, depth 24, no depth list
    std::vector<uint8_t> reply = {1, 0};
    put16(reply, 11), put16(reply, 0), put16(reply, uint16_t(body.size() / 4));
    reply.insert(reply.end(), body.begin(), body.end());
    return reply;
}

// Listens as display :N on the abstract socket libxcb tries first.
class WedgedServer {
public:
    explicit WedgedServer(bool answersSetup) {
        listener_ = testing::listenAsDisplay(47000 + int(::getpid() % 1000), number_, 4);
        if (!answersSetup) return;  // connections wait in the backlog, unanswered
        server_ = std::thread([this] {
            client_ = ::accept(listener_, nullptr, nullptr);
            uint8_t request[12];
            if (client_ < 0 || !readExactly(client_, request, sizeof request)) return;
            const auto padded = [](size_t n) { return (n + 3) & ~size_t(3); };
            std::vector<uint8_t> authorization(padded(request[6] | request[7] << 8) + padded(request[8] | request[9] << 8));
            if (!readExactly(client_, authorization.data(), authorization.size())) return;
            const auto reply = setupReply();
            (void)::write(client_, reply.data(), reply.size());
            // Then reads nothing and answers nothing, like a stopped server.
        });
    }
    ~WedgedServer() {
        if (server_.joinable()) server_.join();
        if (client_ >= 0) ::close(client_);
        ::close(listener_);
    }
    std::string display() const { return ":" + std::to_string(number_); }

private:
    int listener_ = -1;
    int client_ = -1;
    int number_ = 0;
    std::thread server_;
};

TEST(X11Deadline, AServerThatNeverAnswersIsAClearErrorNotAHang) {
    ::setenv("TESSARIN_X_TIMEOUT_MS", "300", 1);
    {
        WedgedServer silent(false);
        const auto connection = X11Connection::open(silent.display());
        ASSERT_FALSE(connection);
        EXPECT_EQ(connection.error(), "cannot open X display \"" + silent.display() +
                                          "\": the X server did not answer within 300 ms");
    }
    {
        WedgedServer stuck(true);
        const auto connection = X11Connection::open(stuck.display());
        ASSERT_FALSE(connection);
        EXPECT_EQ(connection.error(), "cannot open X display \"" + stuck.display() + "\": X display " +
                                          stuck.display() + " did not answer within 300 ms");
    }
    ::unsetenv("TESSARIN_X_TIMEOUT_MS");
}

}  // namespace
}  // namespace tessarin::x11
