#pragma once
// Finished images on disk and on the clipboard: writing (a write either
// replaces the target whole or leaves it exactly as it was: the image is
// encoded into a temporary file next to the target, flushed to disk, and
// renamed over it), file names, the Desktop folder, temporary drag files and
// the encoded data the clipboard offers.

#include <sys/types.h>

#include <ctime>
#include <string_view>

#include <chrono>
#include <cstdint>
#include <exception>
#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "core/common/DatePattern.h"
#include "core/common/DurableFile.h"
#include "core/common/Image.h"
#include "core/common/ImageFormat.h"
#include "core/common/XdgBaseFolders.h"

namespace tessarin {

class ExportError : public std::exception {
public:
    enum class Kind { cannotCreateImageFile, failedToWriteImage, cannotLocateDesktop, fileSystem };

    static ExportError cannotCreateImageFile() { return {Kind::cannotCreateImageFile, "Cannot create image file", 0}; }
    static ExportError failedToWriteImage() { return {Kind::failedToWriteImage, "Failed to write image", 0}; }
    static ExportError cannotLocateDesktop() { return {Kind::cannotLocateDesktop, "Cannot locate Desktop directory", 0}; }
    static ExportError interrupted(std::string reason) { return {Kind::failedToWriteImage, "Failed to write image: " + reason, 0}; }
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

namespace ExportManager {

// Encodes `image` in `format` and puts it at `path`, creating missing parent
// folders. The path is resolved first (resolvePath): a link at `path` is
// written through, "new/../x.png" writes x.png without making "new", and a
// name ending in a slash is refused. Throws ExportError; on any failure an
// existing file at `path` is left untouched and no temporary file remains.
// A new file gets mode 0644 less the umask; a replaced file keeps its mode
// and, where allowed, its owner. A pipe, device or folder at `path` is
// refused, never replaced.
void writeImage(const Image& image, const std::filesystem::path& path, ImageFormat format);
void writeImage(const Image& image, const std::filesystem::path& path, ImageFormat format,
                const FileSystemCalls& calls);

// The same for a path resolvePath() already returned and a caller judged
// (the agent's sandbox): it is opened following no link at all, so a folder
// swapped for a link since the judging fails the write instead of carrying
// it elsewhere. `shown` is the path as the user gave it, for messages.
void writeResolvedImage(const Image& image, const std::filesystem::path& resolved, ImageFormat format,
                        const std::filesystem::path& shown, const FileSystemCalls& calls = FileSystemCalls::system());

// The same for bytes already encoded (a platform's own PNG, FileCapture.h),
// written as they are.
void writeResolvedEncoded(std::span<const uint8_t> encoded, const std::filesystem::path& resolved,
                          const std::filesystem::path& shown, const FileSystemCalls& calls = FileSystemCalls::system());

// "Screenshot 2025-03-07 at 14.05.09.png": the localised word "Screenshot",
// a space, the local time in the localised date pattern
// "yyyy-MM-dd 'at' HH.mm.ss", a dot and the format's extension.
std::string generateFilename(ImageFormat format,
                             std::chrono::system_clock::time_point now = std::chrono::system_clock::now());

// Formats a local time with a date pattern (core/common/DatePattern.h).
using tessarin::formatDate;

// Claims a name in `directory` that nothing else has: `filename` when free,
// else "base (2).ext", "base (3).ext", ... The name is claimed by creating an
// empty file exclusively (O_CREAT|O_EXCL), so two saves racing for the same
// name, in this process or another, each get their own; the caller writes
// the image over the claimed file with writeImage and removes it on failure.
// Throws ExportError.
std::filesystem::path uniqueURL(const std::string& filename, const std::filesystem::path& directory);

using tessarin::EnvironmentLookup;
using tessarin::processEnvironment;

// The XDG desktop folder: XDG_DESKTOP_DIR from
// $XDG_CONFIG_HOME/user-dirs.dirs (default ~/.config/user-dirs.dirs), else
// ~/Desktop. Created when missing. Throws cannotLocateDesktop only when there
// is no absolute HOME; an uncreatable folder is a file-system error.
std::filesystem::path desktopDirectory(const EnvironmentLookup& environment = processEnvironment());

// What the clipboard carries: PNG and an uncompressed TIFF.
enum class ClipboardImageType { png, tiff };
// The MIME type the clipboard offers each representation under.
std::string_view mimeType(ClipboardImageType type);
// The encoded image, or nothing when it cannot be encoded.
std::optional<std::vector<uint8_t>> imageData(const Image& image, ClipboardImageType type);

// The folder for files dragged out of thumbnails: "tessarin-drags-<uid>"
// under the temporary folder, private to this user (mode 0700, refused when
// it is a link or someone else's).
std::filesystem::path temporaryDragDirectory(const std::filesystem::path& temporaryRoot);

// Prepares the folder (deleting files in it last modified more than 24
// hours before `now`, best effort) and returns a fresh path in it: the
// generated file name's base, a space, 8 characters of a new UUID and the
// extension. Throws ExportError when the folder cannot be made.
std::filesystem::path prepareTemporaryDragImageURL(
    ImageFormat format, const std::filesystem::path& temporaryRoot = std::filesystem::temp_directory_path(),
    std::chrono::system_clock::time_point now = std::chrono::system_clock::now());

}  // namespace ExportManager

}  // namespace tessarin
