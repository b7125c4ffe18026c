#include "core/capture/ExportManager.h"

#include <fcntl.h>
#include <sys/random.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>

#include "core/common/Log.h"
#include "render/ByteSink.h"
#include "render/JpegEncoder.h"
#include "render/PngEncoder.h"

namespace tessarin {
namespace {

namespace fs = std::filesystem;

constexpr int kNameAttempts = 64;
constexpr size_t kSuffixLength = 6;

ExportError writeFailure(const fs::path& target, int error) {
    return ExportError::fileSystem("Cannot write " + target.string() + ": " + std::strerror(error), error);
}

std::string randomSuffix() {
    static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    unsigned char noise[kSuffixLength];
    if (getrandom(noise, sizeof noise, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof noise)) {
        // No entropy yet (very early boot): uniqueness, not secrecy, is what
        // matters, and O_EXCL catches any collision.
        static std::atomic<uint64_t> counter{0};
        uint64_t mix = static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()) ^
                       (uint64_t(::getpid()) << 32) ^ counter.fetch_add(0x9E3779B97F4A7C15u);
        for (auto& byte : noise) {
            byte = static_cast<unsigned char>(mix);
            mix = mix * 6364136223846793005u + 1442695040888963407u;
        }
    }
    std::string suffix;
    for (unsigned char byte : noise) suffix += kAlphabet[byte % (sizeof kAlphabet - 1)];
    return suffix;
}

// ".<name>.tmp-XXXXXX" in the target's folder, so the final rename never
// crosses file systems. Long names are shortened to keep within NAME_MAX.
std::string temporaryName(const std::string& targetName) {
    const size_t extra = 1 + 5 + kSuffixLength;  // ".", ".tmp-", suffix
    std::string base = targetName.substr(0, NAME_MAX - extra);
    return "." + base + ".tmp-" + randomSuffix();
}

// The file being written. Until commit() its destructor closes and deletes
// it, so every early exit (an exception included) cleans up.
class TemporaryFile {
public:
    // `target` has a parent folder; `shown` is the path as the caller gave it.
    TemporaryFile(const FileSystemCalls& calls, const fs::path& target, const fs::path& shown) : calls_(calls) {
        int error = EEXIST;
        for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
            path_ = target.parent_path() / temporaryName(target.filename().string());
            fd_ = calls_.open(path_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
            if (fd_ >= 0) return;
            error = errno;
            if (error != EEXIST && error != EINTR) break;
        }
        path_.clear();
        throw writeFailure(shown, error);
    }
    ~TemporaryFile() {
        if (fd_ >= 0) calls_.close(fd_);
        if (!committed_ && !path_.empty()) ::unlink(path_.c_str());
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    int fd() const { return fd_; }
    const fs::path& path() const { return path_; }

    // Flushes the data to disk and closes; returns 0 or the errno.
    int syncAndClose() {
        while (calls_.fsync(fd_) != 0) {
            if (errno != EINTR) return errno;
        }
        const int fd = fd_;
        fd_ = -1;  // closed whatever close() says: retrying could close someone else's descriptor
        return calls_.close(fd) == 0 ? 0 : errno;
    }
    void commit() { committed_ = true; }

private:
    const FileSystemCalls& calls_;
    fs::path path_;
    int fd_ = -1;
    bool committed_ = false;
};

void encodeInto(const Image& image, ImageFormat format, TemporaryFile& file, const FileSystemCalls& calls,
                const fs::path& target) {
    FdSink sink(file.fd(), calls.write);
    const EncodeResult result =
        format.kind == ImageFormat::Kind::png ? encodePng(image, sink) : encodeJpeg(image, format.quality, sink);
    if (result) return;
    switch (result.error().kind) {
        case EncodeError::Kind::sinkFailed: throw writeFailure(target, sink.error() != 0 ? sink.error() : EIO);
        case EncodeError::Kind::invalidImage: throw ExportError::cannotCreateImageFile();
        case EncodeError::Kind::encoderFailed: break;
    }
    logLine(LogLevel::error, LogCategory::storage, "encoding " + target.string() + " failed: " + result.error().message);
    throw ExportError::failedToWriteImage();
}

}  // namespace

const FileSystemCalls& FileSystemCalls::system() {
    static const FileSystemCalls calls{
        [](const char* path, int flags, mode_t mode) { return ::open(path, flags, mode); },
        ::write,
        ::fsync,
        ::close,
        ::rename,
    };
    return calls;
}

namespace ExportManager {

void writeImage(const Image& image, const fs::path& path, ImageFormat format) {
    writeImage(image, path, format, FileSystemCalls::system());
}

void writeImage(const Image& image, const fs::path& path, ImageFormat format, const FileSystemCalls& calls) {
    if (image.isEmpty()) throw ExportError::cannotCreateImageFile();
    if (!path.has_filename()) throw writeFailure(path, EISDIR);
    const fs::path target = path.has_parent_path() ? path : fs::path(".") / path;
    const fs::path folder = target.parent_path();

    std::error_code error;
    fs::create_directories(folder, error);
    if (error) {
        throw ExportError::fileSystem("Cannot create folder " + folder.string() + ": " + error.message(),
                                      error.value());
    }

    TemporaryFile file(calls, target, path);
    encodeInto(image, format, file, calls, path);
    if (const int closeError = file.syncAndClose(); closeError != 0) throw writeFailure(path, closeError);
    // rename() replaces the directory entry: if the target is a symbolic
    // link, the link itself is replaced and whatever it pointed at is left
    // alone, so a planted link cannot redirect the write.
    if (calls.rename(file.path().c_str(), target.c_str()) != 0) {
        const int renameError = errno;
        throw writeFailure(path, renameError);
    }
    file.commit();
    // The folder is not synced: the rename is atomic, so after a crash the
    // folder holds the old file or the new one, each whole. Syncing it would
    // add a journal commit to every capture for no protection against loss.
}

}  // namespace ExportManager

}  // namespace tessarin
