#include "render/ByteSink.h"

#include <unistd.h>

#include <cerrno>
#include <new>

namespace tessarin {

bool MemorySink::write(std::span<const uint8_t> bytes) {
    // Encoders call this from code that cannot unwind (libjpeg callbacks), so
    // running out of memory is a refused write, not an exception.
    try {
        bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

FdSink::FdSink(int fd, WriteFunction writeFunction) : fd_(fd), write_(writeFunction ? writeFunction : ::write) {}

bool FdSink::write(std::span<const uint8_t> bytes) {
    if (error_ != 0) return false;
    const uint8_t* next = bytes.data();
    size_t left = bytes.size();
    while (left > 0) {
        const ssize_t written = write_(fd_, next, left);
        if (written < 0) {
            if (errno == EINTR) continue;
            error_ = errno != 0 ? errno : EIO;
            return false;
        }
        if (written == 0) {
            // write(2) returning 0 for a non-empty buffer means no progress is
            // possible; treat it as the disk being full rather than spinning.
            error_ = ENOSPC;
            return false;
        }
        next += written;
        left -= static_cast<size_t>(written);
        bytesWritten_ += static_cast<uint64_t>(written);
    }
    return true;
}

}  // namespace tessarin
