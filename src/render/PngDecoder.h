#pragma once
// The PNG half of decodeImage(); callers use ImageDecoder.h.

#include <cstdint>
#include <span>

#include "render/ImageDecoder.h"

namespace tessarin {

DecodeResult decodePng(std::span<const uint8_t> bytes);

}  // namespace tessarin
