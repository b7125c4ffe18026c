#include "render/ImageDecoder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "core/common/PosixFiles.h"
#include "render/JpegDecoder.h"
#include "render/PngDecoder.h"

namespace tessarin {
namespace {

constexpr uint8_t kPngSignature[8] = {137, 80, 78, 71, 13, 10, 26, 10};

class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

Unexpected<DecodeError> fail(DecodeError::Kind kind, const std::filesystem::path& path, const std::string& reason) {
    return unexpected(DecodeError{kind, "Cannot read " + path.string() + ": " + reason});
}

}  // namespace

DecodeResult decodeImage(std::span<const uint8_t> bytes) {
    if (bytes.size() >= sizeof kPngSignature && std::memcmp(bytes.data(), kPngSignature, sizeof kPngSignature) == 0) {
        return decodePng(bytes);
    }
    if (bytes.size() >= 3 && bytes[0] == 0xFF && bytes[1] == 0xD8 && bytes[2] == 0xFF) return decodeJpeg(bytes);
    return unexpected(DecodeError{DecodeError::Kind::unsupportedFormat, "Not a PNG or JPEG image"});
}

DecodeResult decodeImageFile(const std::filesystem::path& path, uint64_t maxBytes) {
    auto bytes = readImageFile(path, maxBytes);
    if (!bytes) return unexpected(std::move(bytes.error()));
    return decodeImage(*bytes);
}

namespace {

Expected<std::vector<uint8_t>, DecodeError> readOpenedImageFile(int fd, const std::filesystem::path& path,
                                                                uint64_t maxBytes) {
    struct stat info {};
    if (::fstat(fd, &info) != 0) return fail(DecodeError::Kind::fileSystem, path, errnoText(errno));
    if (!S_ISREG(info.st_mode)) return fail(DecodeError::Kind::fileSystem, path, "not a regular file");
    const auto size = static_cast<uint64_t>(info.st_size);
    if (size > maxBytes) {
        const std::string limit = maxBytes % (1 << 20) == 0 ? std::to_string(maxBytes >> 20) + " MiB"
                                                              : std::to_string(maxBytes) + " bytes";
        return fail(DecodeError::Kind::tooLarge, path, "file is larger than " + limit);
    }
    std::vector<uint8_t> bytes;
    try {
        bytes.resize(static_cast<size_t>(size));
    } catch (const std::bad_alloc&) {
        return fail(DecodeError::Kind::tooLarge, path, "out of memory");
    }
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t got = ::read(fd, bytes.data() + done, bytes.size() - done);
        if (got < 0) {
            if (errno == EINTR) continue;
            return fail(DecodeError::Kind::fileSystem, path, errnoText(errno));
        }
        if (got == 0) break;  // the file shrank; decoding what is there reports the truncation
        done += static_cast<size_t>(got);
    }
    bytes.resize(done);
    return bytes;
}

}  // namespace

DecodeResult decodeOpenedImageFile(int fd, const std::filesystem::path& path, uint64_t maxBytes) {
    auto bytes = readOpenedImageFile(fd, path, maxBytes);
    if (!bytes) return unexpected(std::move(bytes.error()));
    return decodeImage(*bytes);
}

Expected<std::vector<uint8_t>, DecodeError> readImageFile(const std::filesystem::path& path, uint64_t maxBytes) {
    // O_NONBLOCK keeps open() from waiting on a FIFO nobody writes to; the
    // file type is checked on the descriptor so nothing can swap it after.
    FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (file.get() < 0) return fail(DecodeError::Kind::fileSystem, path, errnoText(errno));
    return readOpenedImageFile(file.get(), path, maxBytes);
}

}  // namespace tessarin
