#pragma once
// Writes finished images to disk. A write either replaces the target whole or
// leaves it exactly as it was: the image is encoded into a temporary file
// next to the target, flushed to disk, and renamed over it.

#include <sys/types.h>

#include <exception>
#include <filesystem>
#include <string>

#include "core/common/Image.h"
#include "core/common/ImageFormat.h"

namespace tessarin {

class ExportError : public std::exception {
public:
    enum class Kind { cannotCreateImageFile, failedToWriteImage, cannotLocateDesktop, fileSystem };

    static ExportError cannotCreateImageFile() { return {Kind::cannotCreateImageFile, "Cannot create image file", 0}; }
    static ExportError failedToWriteImage() { return {Kind::failedToWriteImage, "Failed to write image", 0}; }
    static ExportError cannotLocateDesktop() { return {Kind::cannotLocateDesktop, "Cannot locate Desktop directory", 0}; }
    // `description` is the whole sentence, e.g. "Cannot write /x/y.png: No
    // space left on device"; `errorNumber` is the errno behind it.
    static ExportError fileSystem(std::string description, int errorNumber) {
        return {Kind::fileSystem, std::move(description), errorNumber};
    }

    Kind kind() const { return kind_; }
    const std::string& description() const { return description_; }
    int errorNumber() const { return errorNumber_; }
    const char* what() const noexcept override { return description_.c_str(); }

private:
    ExportError(Kind kind, std::string description, int errorNumber)
        : kind_(kind), description_(std::move(description)), errorNumber_(errorNumber) {}
    Kind kind_;
    std::string description_;
    int errorNumber_;
};

// The system calls a write goes through. Tests substitute functions that fail
// the way disks fail (full, interrupted, short writes, a refused rename).
struct FileSystemCalls {
    int (*open)(const char* path, int flags, mode_t mode);
    ssize_t (*write)(int fd, const void* buffer, size_t count);
    int (*fsync)(int fd);
    int (*close)(int fd);
    int (*rename)(const char* from, const char* to);

    static const FileSystemCalls& system();
};

namespace ExportManager {

// Encodes `image` in `format` and puts it at `path`, creating missing parent
// folders. Throws ExportError; on any failure an existing file at `path` is
// left untouched and no temporary file remains. A replaced file is a new
// file: mode 0644 less the umask, not the old file's mode or owner.
void writeImage(const Image& image, const std::filesystem::path& path, ImageFormat format);
void writeImage(const Image& image, const std::filesystem::path& path, ImageFormat format,
                const FileSystemCalls& calls);

}  // namespace ExportManager

}  // namespace tessarin
