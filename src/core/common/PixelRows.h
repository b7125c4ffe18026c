#pragma once
// The one conversion from the screen's pixel layout to the program's: every
// X server and the scrolling stream hand over B, G, R, X bytes per pixel.

#include <cstddef>
#include <cstdint>

namespace tessarin {

// One row: `pixels` B,G,R,X pixels to R,G,B,A with alpha 255 (the fourth
// screen byte is not alpha). The rows must not overlap.
void bgrxRowToOpaqueRgba(const uint8_t* source, uint8_t* target, size_t pixels);

}  // namespace tessarin
