#pragma once
// Synthetic desktops for timing the PNG writer: what a screenshot of a
// working screen holds, made in code so the benchmark needs no fixtures.
// Terminal and editor windows full of anti-aliased text, a title bar with a
// gradient, flat panels, and either a patterned or a photographic wallpaper.

#include <cstdint>

#include "core/common/Image.h"

namespace tessarin::bench {

enum class Wallpaper { pattern, photo };

// `scale` is the HiDPI factor: 2 draws everything twice as large, as a 4K
// screen at 200% does. Deterministic for given arguments.
Image makeDesktop(uint32_t width, uint32_t height, uint32_t scale, Wallpaper wallpaper);

}  // namespace tessarin::bench
