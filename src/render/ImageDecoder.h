#pragma once
// Reads PNG and JPEG files into RGBA images. Every colour type, bit depth
// and interlacing of PNG, and greyscale, YCbCr, RGB and CMYK JPEG come out as
// 8-bit straight-alpha RGBA. Files are treated as hostile: sizes are checked
// before anything large is allocated, and damaged data is an error, never a
// partial image.

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

#include "core/common/Expected.h"
#include "core/common/Image.h"

namespace tessarin {

struct DecodeError {
    enum class Kind {
        unsupportedFormat,  // neither PNG nor JPEG
        tooLarge,           // more pixels than Image::kMaxPixels, or a file over the size cap
        corrupt,            // truncated or damaged data, or a size its data cannot hold
        fileSystem          // the file could not be opened or read
    };
    Kind kind;
    std::string message;
    // A decode cancelled or stopped by an internal failure.
    static DecodeError interrupted(std::string reason) { return {Kind::fileSystem, std::move(reason)}; }
};

using DecodeResult = Expected<Image, DecodeError>;

inline constexpr uint64_t kMaxImageFileBytes = uint64_t{512} << 20;

DecodeResult decodeImage(std::span<const uint8_t> bytes);

// Reads a regular file of at most maxBytes and decodes it. Devices, pipes and
// folders are refused without reading from them.
DecodeResult decodeImageFile(const std::filesystem::path& path, uint64_t maxBytes = kMaxImageFileBytes);
// The bytes of such a file, undecoded.
Expected<std::vector<uint8_t>, DecodeError> readImageFile(const std::filesystem::path& path,
                                                          uint64_t maxBytes = kMaxImageFileBytes);
// The same for a file already open for reading (at its start); `path` names
// it in messages. The descriptor stays open.
DecodeResult decodeOpenedImageFile(int fd, const std::filesystem::path& path, uint64_t maxBytes = kMaxImageFileBytes);

}  // namespace tessarin
