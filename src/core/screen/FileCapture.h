#pragma once
// A capture on its way to a file. A platform that hands over a finished PNG
// of exactly what was asked for (the Wayland Screenshot portal, for a whole
// display that needs no cutting) gives that file's bytes, checked whole, and
// they are written as they are: decoding and encoding again would cost more
// than the capture itself and change no pixel. Anything else is pixels.

#include <cstdint>
#include <variant>
#include <vector>

#include "core/common/Image.h"

namespace tessarin {

struct EncodedPNG {
    std::vector<uint8_t> bytes;
    uint32_t width = 0;
    uint32_t height = 0;
};

using FileCapture = std::variant<Image, EncodedPNG>;

inline uint32_t widthOf(const FileCapture& capture) {
    if (const auto* png = std::get_if<EncodedPNG>(&capture)) return png->width;
    return std::get<Image>(capture).width();
}

inline uint32_t heightOf(const FileCapture& capture) {
    if (const auto* png = std::get_if<EncodedPNG>(&capture)) return png->height;
    return std::get<Image>(capture).height();
}

}  // namespace tessarin
