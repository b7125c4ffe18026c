#include "render/PngCheck.h"

#include <libdeflate.h>

#include <array>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "core/common/Image.h"

namespace tessarin {
namespace {

constexpr std::array<uint8_t, 8> kSignature = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
// A chunk's length may not exceed 2^31 - 1 bytes.
constexpr uint32_t kMaxChunkLength = 0x7fffffffu;

uint32_t bigEndian32(const uint8_t* p) {
    return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | uint32_t{p[3]};
}

bool isType(const uint8_t* type, const char (&name)[5]) { return std::memcmp(type, name, 4) == 0; }

// Bytes per pixel of the 8-bit colour types we pass on; 0 for any other.
size_t channelsOf(uint8_t colorType) {
    switch (colorType) {
        case 0: return 1;  // greyscale
        case 2: return 3;  // RGB
        case 4: return 2;  // greyscale with alpha
        case 6: return 4;  // RGBA
        default: return 0;
    }
}

struct Decompressor {
    void operator()(libdeflate_decompressor* d) const { libdeflate_free_decompressor(d); }
};

// The filtered rows must come out of the data exactly, each starting with a
// known filter type.
std::optional<std::string> imageDataProblem(const std::vector<uint8_t>& compressed, const PngHeader& header) {
    const size_t rowBytes = 1 + size_t{header.width} * channelsOf(header.colorType);
    const size_t expected = rowBytes * header.height;
    std::unique_ptr<uint8_t[]> rows(new (std::nothrow) uint8_t[expected]);
    std::unique_ptr<libdeflate_decompressor, Decompressor> inflater(libdeflate_alloc_decompressor());
    if (!rows || !inflater) return "out of memory";
    const libdeflate_result result = libdeflate_zlib_decompress(inflater.get(), compressed.data(), compressed.size(),
                                                                rows.get(), expected, nullptr);
    if (result == LIBDEFLATE_SHORT_OUTPUT) return "image data is shorter than the image";
    if (result == LIBDEFLATE_INSUFFICIENT_SPACE) return "image data is longer than the image";
    if (result != LIBDEFLATE_SUCCESS) return "image data is damaged";
    for (size_t row = 0; row < header.height; ++row) {
        if (rows[row * rowBytes] > 4) return "row " + std::to_string(row) + " has an unknown filter";
    }
    return std::nullopt;
}

}  // namespace

Expected<PngHeader, std::string> checkIntactPng(std::span<const uint8_t> bytes) {
    if (bytes.size() < kSignature.size() || std::memcmp(bytes.data(), kSignature.data(), kSignature.size()) != 0) {
        return unexpected(std::string("not a PNG file"));
    }
    PngHeader header;
    bool sawHeader = false;
    bool sawEnd = false;
    bool dataEnded = false;  // image data chunks must follow one another
    std::vector<uint8_t> compressed;
    size_t at = kSignature.size();
    while (at < bytes.size()) {
        if (sawEnd) return unexpected(std::string("data follows the end chunk"));
        if (bytes.size() - at < 12) return unexpected(std::string("a chunk is cut off"));
        const uint32_t length = bigEndian32(bytes.data() + at);
        if (length > kMaxChunkLength || length > bytes.size() - at - 12) {
            return unexpected(std::string("a chunk is cut off"));
        }
        const uint8_t* type = bytes.data() + at + 4;
        const uint8_t* data = type + 4;
        const uint32_t crc = libdeflate_crc32(libdeflate_crc32(0, type, 4), data, length);
        if (crc != bigEndian32(data + length)) return unexpected(std::string("a chunk's checksum is wrong"));
        at += size_t{12} + length;

        if (!sawHeader) {
            if (!isType(type, "IHDR") || length != 13) return unexpected(std::string("the file does not start with a header"));
            header.width = bigEndian32(data);
            header.height = bigEndian32(data + 4);
            header.bitDepth = data[8];
            header.colorType = data[9];
            if (header.width == 0 || header.height == 0 || header.width > kMaxChunkLength ||
                header.height > kMaxChunkLength ||
                uint64_t{header.width} * header.height > Image::kMaxPixels) {
                return unexpected(std::string("the image size is out of range"));
            }
            if (header.bitDepth != 8 || channelsOf(header.colorType) == 0) {
                return unexpected(std::string("not an 8-bit grey, RGB or RGBA image"));
            }
            // Compression and filter method 0; no interlacing.
            if (data[10] != 0 || data[11] != 0 || data[12] != 0) {
                return unexpected(std::string("interlaced or of an unknown method"));
            }
            sawHeader = true;
        } else if (isType(type, "IDAT")) {
            if (dataEnded) return unexpected(std::string("the image data is split by other chunks"));
            compressed.insert(compressed.end(), data, data + length);
            continue;
        } else if (isType(type, "IEND")) {
            if (length != 0) return unexpected(std::string("the end chunk is not empty"));
            sawEnd = true;
        } else if ((type[0] & 0x20) == 0) {
            // A critical chunk we do not know (or a second header, or a
            // palette, which an image of these colour types does not need)
            // may change what the pixels mean.
            return unexpected("an unexpected critical chunk " + std::string(reinterpret_cast<const char*>(type), 4));
        }
        if (!compressed.empty()) dataEnded = true;
    }
    if (!sawHeader) return unexpected(std::string("the file has no header"));
    if (!sawEnd) return unexpected(std::string("the file has no end chunk"));
    if (compressed.empty()) return unexpected(std::string("the file has no image data"));
    if (auto problem = imageDataProblem(compressed, header)) return unexpected(std::move(*problem));
    return header;
}

}  // namespace tessarin
