#pragma once
// A listening socket that libxcb takes for display :N (the abstract name it
// tries first), for tests that stand between a client and a server.

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstddef>
#include <cstring>
#include <string>

namespace tessarin::x11::testing {

// Binds the first free display number from `first` on; returns the
// listening socket and sets `number`.
inline int listenAsDisplay(int first, int& number, int backlog = 1) {
    const int listener = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    for (number = first; number < 60000; ++number) {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const std::string name = "/tmp/.X11-unix/X" + std::to_string(number);
        std::memcpy(address.sun_path + 1, name.data(), name.size());
        const auto length = socklen_t(offsetof(sockaddr_un, sun_path) + 1 + name.size());
        if (::bind(listener, reinterpret_cast<sockaddr*>(&address), length) == 0) break;
    }
    ::listen(listener, backlog);
    return listener;
}

}  // namespace tessarin::x11::testing
