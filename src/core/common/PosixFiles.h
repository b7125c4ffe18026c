#pragma once
// Small POSIX file helpers shared by the stores that keep files under the
// user's folders: an owning descriptor, EINTR-safe open, an exclusive
// advisory lock, and the UTC stamp that names files set aside.

#include <sys/types.h>

#include <filesystem>
#include <string>
#include <utility>

#include "core/common/Expected.h"

namespace tessarin {

class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : fd_(fd) {}
    UniqueFd(UniqueFd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept {
        if (this != &other) reset(std::exchange(other.fd_, -1));
        return *this;
    }
    ~UniqueFd() { reset(); }

    int get() const { return fd_; }
    int release() { return std::exchange(fd_, -1); }
    void reset(int fd = -1);

private:
    int fd_ = -1;
};

// The sentence for an errno ("No space left on device"). Safe on any
// thread, unlike strerror(3) (and std::generic_category().message(), which
// calls it): file work runs on the background executor.
std::string errnoText(int error);

// open(2), retried when a signal interrupts it.
int openRetrying(const char* path, int flags, mode_t mode = 0);

// Opens (creating, mode 0600, never through a link) and flock()s `lockFile`
// exclusively; the lock lasts as long as the descriptor.
Expected<UniqueFd, std::string> lockExclusive(const std::filesystem::path& lockFile);

// Now in UTC as 20261206T121500Z, for names such as "index.json.corrupt-<stamp>".
std::string utcTimestamp();

}  // namespace tessarin
