#pragma once
// Checks a PNG someone else wrote before it is stored as it is, without
// decoding it to pixels: a platform that hands over a finished PNG (the
// Wayland Screenshot portal) saves us a decode and an encode, but only a
// file that is whole and says what it holds may go out under our name.

#include <cstdint>
#include <span>
#include <string>

#include "core/common/Expected.h"

namespace tessarin {

struct PngHeader {
    uint32_t width = 0;
    uint32_t height = 0;
    uint8_t bitDepth = 0;
    uint8_t colorType = 0;
};

// The header of an intact PNG: the signature, every chunk's length and CRC,
// an 8-bit greyscale, RGB, grey-alpha or RGBA image without interlacing, no
// critical chunk other than IHDR, IDAT and IEND, nothing after IEND, and image
// data that inflates to exactly one filter byte (0 to 4) and the pixels of
// each row. Otherwise what is wrong, in a few words.
Expected<PngHeader, std::string> checkIntactPng(std::span<const uint8_t> bytes);

}  // namespace tessarin
