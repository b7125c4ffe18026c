#pragma once
// Turning X image bytes into the program's RGBA images. Only the format
// every current X server uses for true-colour screens is read: ZPixmap with
// 32 bits per pixel, least significant byte first, red/green/blue in bits
// 16-23/8-15/0-7. In memory that is B, G, R, X per pixel.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace tessarin::x11 {

// What the server says about the pixels of one drawable.
struct PixelFormat {
    uint8_t depth = 0;
    uint8_t bitsPerPixel = 0;
    uint8_t scanlinePad = 0;
    bool leastSignificantByteFirst = true;
    uint32_t redMask = 0;
    uint32_t greenMask = 0;
    uint32_t blueMask = 0;
};

// Why bgrxRowToOpaqueRgba (core/common/PixelRows.h) cannot read this format, or nothing when it can.
std::optional<std::string> unsupportedFormatReason(const PixelFormat& format);

// Bytes per image row for `width` pixels, rounded up to the scanline pad.
uint64_t zpixmapStride(uint32_t width, const PixelFormat& format);

}  // namespace tessarin::x11
