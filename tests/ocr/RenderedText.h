#pragma once
// Text drawn the way desktop toolkits draw it (Pango on Cairo, grey
// anti-aliasing), for tests that read it back, and how well it was read.

#include <cstdint>
#include <string>

#include "core/common/Image.h"

namespace tessarin::testing {

// `font` is a Pango description such as "DejaVu Sans 13px"; colours are
// 0xRRGGBB. The text sits inside a 10-pixel margin.
Image renderedText(const std::string& text, const std::string& font, uint32_t foreground, uint32_t background);

// 1 - word edit distance / words expected, floored at 0. Each Han character
// counts as a word; other words are separated by white space.
double wordAccuracy(const std::string& expected, const std::string& actual);

}  // namespace tessarin::testing
