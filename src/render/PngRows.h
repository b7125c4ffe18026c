#pragma once
// Row-level work of the PNG writer: packing RGBA into RGB, checking alpha,
// and choosing and applying a filter per row. Split out of PngEncoder.cpp so
// the arithmetic can be tested and measured on its own.

#include <cstddef>
#include <cstdint>

namespace tessarin::pngrows {

enum class Filter : uint8_t { none = 0, sub = 1, up = 2, average = 3, paeth = 4 };

// True when every pixel of the RGBA row has alpha 255.
bool isOpaque(const uint8_t* rgba, size_t pixels);

// Drops the alpha byte: `pixels` RGBA pixels become 3 * pixels bytes.
void packRgb(const uint8_t* rgba, size_t pixels, uint8_t* rgb);

// Writes one filtered row into out[0 .. rowBytes]: the filter type byte, then
// the filtered bytes. `prev` is the unfiltered row above, or nullptr for the
// first row. The filter is the one whose output has the smallest sum of
// magnitudes among None, Sub, Up and Paeth (the rule PNG's authors recommend);
// Average is left out because it almost never wins on screen content and
// costs as much as Paeth. Returns the filter used.
Filter filterRow(const uint8_t* cur, const uint8_t* prev, size_t rowBytes, unsigned bytesPerPixel, uint8_t* out);

// Applies one given filter (the reference the adaptive version is tested against).
void applyFilter(Filter filter, const uint8_t* cur, const uint8_t* prev, size_t rowBytes, unsigned bytesPerPixel,
                 uint8_t* out);

}  // namespace tessarin::pngrows
