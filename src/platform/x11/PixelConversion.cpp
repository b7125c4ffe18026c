#include "platform/x11/PixelConversion.h"

namespace tessarin::x11 {

std::optional<std::string> unsupportedFormatReason(const PixelFormat& format) {
    const std::string what = "unsupported X pixel format (depth " + std::to_string(format.depth) + ", " +
                             std::to_string(format.bitsPerPixel) + " bits per pixel";
    if (format.depth != 24 && format.depth != 32) return what + "): only depth 24 and 32 are read";
    if (format.bitsPerPixel != 32) return what + "): only 32 bits per pixel are read";
    if (!format.leastSignificantByteFirst) return what + ", most significant byte first): only LSBFirst is read";
    if (format.redMask != 0xff0000 || format.greenMask != 0xff00 || format.blueMask != 0xff) {
        return what + "): only 8-bit red, green and blue channels in that order are read";
    }
    return std::nullopt;
}

uint64_t zpixmapStride(uint32_t width, const PixelFormat& format) {
    const uint64_t pad = format.scanlinePad == 0 ? 8 : format.scanlinePad;
    const uint64_t bits = uint64_t{width} * format.bitsPerPixel;
    return (bits + pad - 1) / pad * pad / 8;
}

}  // namespace tessarin::x11
