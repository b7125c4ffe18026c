#pragma once
// The JPEG half of decodeImage(); callers use ImageDecoder.h.

#include <cstdint>
#include <span>

#include "render/ImageDecoder.h"

namespace tessarin {

DecodeResult decodeJpeg(std::span<const uint8_t> bytes);

}  // namespace tessarin
