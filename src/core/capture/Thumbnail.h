#pragma once
// Downscaled copies of captures for the history's thumbnails.

#include <cstdint>
#include <optional>

#include "core/common/Image.h"

namespace tessarin {

struct ThumbnailSize {
    uint32_t width = 0;
    uint32_t height = 0;
    friend bool operator==(const ThumbnailSize&, const ThumbnailSize&) = default;
};

// The size that fits `bounds` keeping the aspect ratio, never enlarged:
// scale = min(bounds.w / w, bounds.h / h, 1), each side floor(side * scale)
// and at least 1.
ThumbnailSize thumbnailSize(ThumbnailSize image, ThumbnailSize bounds);

// The image scaled to thumbnailSize with area averaging (each output pixel
// is the coverage-weighted mean of the source pixels under it, in
// premultiplied alpha so transparent pixels do not darken edges).
std::optional<Image> makeThumbnail(const Image& image, ThumbnailSize bounds = {440, 330});

}  // namespace tessarin
