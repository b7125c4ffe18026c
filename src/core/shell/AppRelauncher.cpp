#include "core/shell/AppRelauncher.h"

#include <linux/close_range.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>

namespace tessarin {

AppRelauncher::AppRelauncher(std::string program, std::vector<std::string> arguments)
    : program_(std::move(program)), arguments_(std::move(arguments)) {}

std::string AppRelauncher::execNow() const {
    if (program_.empty() || program_.front() != '/') return "the program path is not absolute: " + program_;
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program_.c_str()));
    for (const auto& argument : arguments_) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    // Close-on-exec rather than closed: if exec fails, this process still
    // has its descriptors to report and quit with.
    if (::syscall(SYS_close_range, 3u, ~0u, CLOSE_RANGE_CLOEXEC) != 0) {
        for (int fd = 3; fd < 1024; ++fd) {
            const int flags = ::fcntl(fd, F_GETFD);
            if (flags >= 0) ::fcntl(fd, F_SETFD, flags | FD_CLOEXEC);
        }
    }
    ::execv(program_.c_str(), argv.data());
    return "exec of " + program_ + " failed: " + std::strerror(errno);
}

}  // namespace tessarin
