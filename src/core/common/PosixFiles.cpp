#include "core/common/PosixFiles.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <string>

namespace tessarin {

void UniqueFd::reset(int fd) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
}

namespace {

// strerror_r comes in two flavours: the GNU one returns the text (maybe a
// static string, maybe the buffer), the POSIX one fills the buffer.
[[maybe_unused]] const char* errorText(const char* result, const char*) { return result; }
[[maybe_unused]] const char* errorText(int result, const char* buffer) { return result == 0 ? buffer : nullptr; }

}  // namespace

std::string errnoText(int error) {
    char buffer[256] = {};
    const char* text = errorText(::strerror_r(error, buffer, sizeof buffer), buffer);
    return text ? text : "Unknown error " + std::to_string(error);
}

int openRetrying(const char* path, int flags, mode_t mode) {
    int fd;
    do fd = ::open(path, flags, mode);
    while (fd < 0 && errno == EINTR);
    return fd;
}

Expected<UniqueFd, std::string> lockExclusive(const std::filesystem::path& lockFile) {
    UniqueFd fd(openRetrying(lockFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
    if (fd.get() < 0) return unexpected("cannot open lock " + lockFile.string() + ": " + errnoText(errno));
    int result;
    do result = ::flock(fd.get(), LOCK_EX);
    while (result != 0 && errno == EINTR);
    if (result != 0) return unexpected("cannot lock " + lockFile.string() + ": " + errnoText(errno));
    return fd;
}

std::string utcTimestamp() {
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    char text[32] = "unknown-time";
    if (gmtime_r(&now, &utc)) std::strftime(text, sizeof text, "%Y%m%dT%H%M%SZ", &utc);
    return text;
}

}  // namespace tessarin
