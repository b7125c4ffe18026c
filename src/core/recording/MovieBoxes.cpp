#include "core/recording/MovieBoxes.h"

#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>

namespace tessarin {

namespace {

uint64_t bigEndian(const uint8_t* bytes, int count) {
    uint64_t value = 0;
    for (int i = 0; i < count; ++i) value = value << 8 | bytes[i];
    return value;
}

// Reads `count` bytes at `offset`; false when the file cannot be read. The
// callers only read what fstat says is there.
bool readAt(int fd, uint8_t* into, size_t count, uint64_t offset) {
    size_t done = 0;
    while (done < count) {
        const ssize_t n = ::pread(fd, into + done, count - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

}  // namespace

std::optional<uint64_t> wholeMovieBoxesLength(int fd) {
    struct stat info {};
    if (::fstat(fd, &info) != 0) return std::nullopt;
    if (info.st_size <= 0) return 0;
    const auto fileSize = static_cast<uint64_t>(info.st_size);
    uint64_t kept = 0;
    uint64_t at = 0;
    while (fileSize - at >= 8) {
        std::array<uint8_t, 16> header{};
        if (!readAt(fd, header.data(), 8, at)) return std::nullopt;
        uint64_t size = bigEndian(header.data(), 4);
        uint64_t headerSize = 8;
        if (size == 1) {
            // The 64-bit size follows the type.
            if (fileSize - at < 16) break;
            if (!readAt(fd, header.data() + 8, 8, at + 8)) return std::nullopt;
            size = bigEndian(header.data() + 8, 8);
            headerSize = 16;
        } else if (size == 0) {
            // The box runs to the end of the file, so it cannot be cut short.
            size = fileSize - at;
        }
        if (size < headerSize || size > fileSize - at) break;
        at += size;
        if (std::memcmp(header.data() + 4, "moof", 4) != 0) kept = at;
    }
    return kept;
}

bool trimMovieToWholeBoxes(int fd) {
    struct stat info {};
    if (::fstat(fd, &info) != 0) return false;
    const std::optional<uint64_t> whole = wholeMovieBoxesLength(fd);
    if (!whole) return false;
    if (*whole == static_cast<uint64_t>(info.st_size)) return true;
    while (::ftruncate(fd, static_cast<off_t>(*whole)) != 0) {
        if (errno != EINTR) return false;
    }
    return true;
}

}  // namespace tessarin
