#pragma once
// Where encoders put their bytes. Encoders stream: they hand over output in
// pieces as it is produced, so a PNG of a 4K screen never needs to exist
// twice in memory. A sink that refuses a write makes the encoder stop and
// report EncodeError::Kind::sinkFailed; the sink's owner knows the reason.

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace tessarin {

class ByteSink {
public:
    virtual ~ByteSink() = default;
    // Takes all of `bytes` or returns false. Called from one thread at a time.
    virtual bool write(std::span<const uint8_t> bytes) = 0;
};

// Collects everything in memory (clipboard data, tests).
class MemorySink final : public ByteSink {
public:
    bool write(std::span<const uint8_t> bytes) override;
    const std::vector<uint8_t>& bytes() const { return bytes_; }
    std::vector<uint8_t> take() { return std::move(bytes_); }

private:
    std::vector<uint8_t> bytes_;
};

// Writes to a file descriptor it does not own, retrying interrupted and short
// writes. The write function is injectable so tests can make the disk fill up
// or the call fail halfway.
class FdSink final : public ByteSink {
public:
    using WriteFunction = ssize_t (*)(int fd, const void* buffer, size_t count);

    explicit FdSink(int fd, WriteFunction writeFunction = nullptr);
    bool write(std::span<const uint8_t> bytes) override;

    // The errno of the failed write, 0 while every write has succeeded.
    int error() const { return error_; }
    uint64_t bytesWritten() const { return bytesWritten_; }

private:
    int fd_;
    WriteFunction write_;
    int error_ = 0;
    uint64_t bytesWritten_ = 0;
};

}  // namespace tessarin
