#include "platform/portal/CastFrames.h"

#include <spa/param/video/raw.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace tessarin::portal {

namespace {

PixelRect intersection(PixelRect a, PixelRect b) {
    const int64_t left = std::max(a.x, b.x);
    const int64_t top = std::max(a.y, b.y);
    const int64_t right = std::min(a.x + a.width, b.x + b.width);
    const int64_t bottom = std::min(a.y + a.height, b.y + b.height);
    if (right <= left || bottom <= top) return {};
    return {left, top, right - left, bottom - top};
}

void fillOpaqueBlack(RegionFrame& frame) {
    for (int64_t y = 0; y < frame.height; ++y) {
        uint8_t* row = frame.bytes.data() + frame.bytesPerRow * static_cast<size_t>(y);
        std::memset(row, 0, static_cast<size_t>(frame.width) * 4);
        for (int64_t x = 0; x < frame.width; ++x) row[x * 4 + 3] = 0xff;
    }
}

void copyRow(const uint8_t* from, uint8_t* to, int64_t pixels, CastPixelOrder order) {
    if (order == CastPixelOrder::bgra) {
        std::memcpy(to, from, static_cast<size_t>(pixels) * 4);
        return;
    }
    for (int64_t x = 0; x < pixels; ++x, from += 4, to += 4) {
        to[0] = from[2];
        to[1] = from[1];
        to[2] = from[0];
        to[3] = from[3];
    }
}

uint8_t over(uint8_t top, uint8_t bottom, uint32_t alpha) {
    return static_cast<uint8_t>((top * alpha + bottom * (255 - alpha) + 127) / 255);
}

}  // namespace

std::optional<CastPixelOrder> castPixelOrderOf(uint32_t spaVideoFormat) {
    switch (spaVideoFormat) {
        case SPA_VIDEO_FORMAT_BGRx:
        case SPA_VIDEO_FORMAT_BGRA: return CastPixelOrder::bgra;
        case SPA_VIDEO_FORMAT_RGBx:
        case SPA_VIDEO_FORMAT_RGBA: return CastPixelOrder::rgba;
        default: return std::nullopt;
    }
}

std::vector<uint32_t> offeredCastFormats() {
    // Ours first: B, G, R order is copied row by row without touching a pixel.
    return {SPA_VIDEO_FORMAT_BGRx, SPA_VIDEO_FORMAT_BGRA, SPA_VIDEO_FORMAT_RGBx, SPA_VIDEO_FORMAT_RGBA};
}

PixelRect castPictureRect(const CastBuffer& buffer) {
    const PixelRect whole{0, 0, buffer.width, buffer.height};
    if (!buffer.videoCrop || buffer.videoCrop->isEmpty()) return whole;
    const PixelRect crop = intersection(*buffer.videoCrop, whole);
    return crop.isEmpty() ? whole : crop;
}

PixelRect castSourceRect(const CastBuffer& buffer, PixelRect area) {
    const PixelRect picture = castPictureRect(buffer);
    const PixelRect inBuffer{picture.x + area.x, picture.y + area.y, area.width, area.height};
    return intersection(inBuffer, picture);
}

bool copyCastArea(const CastBuffer& buffer, PixelRect area, RegionFrame& frame) {
    if (!frame.isWellFormed() || frame.width != area.width || frame.height != area.height) return false;
    if (buffer.width <= 0 || buffer.height <= 0 || buffer.stride < buffer.width * 4 || !buffer.bytes) return false;
    // Checked in 64 bits: the last row needs only its own pixels, not a whole stride.
    const uint64_t needed = static_cast<uint64_t>(buffer.stride) * static_cast<uint64_t>(buffer.height - 1) +
                            static_cast<uint64_t>(buffer.width) * 4;
    if (needed > buffer.size) return false;
    const PixelRect source = castSourceRect(buffer, area);
    const PixelRect picture = castPictureRect(buffer);
    if (source.width != area.width || source.height != area.height) fillOpaqueBlack(frame);
    if (source.isEmpty()) return true;
    // Where the source's first pixel lands in the frame.
    const int64_t left = source.x - (picture.x + area.x);
    const int64_t top = source.y - (picture.y + area.y);
    for (int64_t row = 0; row < source.height; ++row) {
        const uint8_t* from = buffer.bytes + static_cast<size_t>(buffer.stride) * static_cast<size_t>(source.y + row) +
                              static_cast<size_t>(source.x) * 4;
        uint8_t* to = frame.bytes.data() + frame.bytesPerRow * static_cast<size_t>(top + row) + static_cast<size_t>(left) * 4;
        copyRow(from, to, source.width, buffer.order);
    }
    return true;
}

std::optional<CastCursorImage> castCursorImage(const uint8_t* bytes, size_t size, int64_t width, int64_t height,
                                               int64_t stride, CastPixelOrder order, int64_t hotspotX,
                                               int64_t hotspotY) {
    // Pointer images are small; anything bigger than a screen is a broken header.
    constexpr int64_t kLargest = 4096;
    if (!bytes || width <= 0 || height <= 0 || width > kLargest || height > kLargest || stride < width * 4) {
        return std::nullopt;
    }
    if (static_cast<uint64_t>(stride) * static_cast<uint64_t>(height - 1) + static_cast<uint64_t>(width) * 4 > size) {
        return std::nullopt;
    }
    CastCursorImage image;
    image.width = width;
    image.height = height;
    image.hotspotX = hotspotX;
    image.hotspotY = hotspotY;
    image.bgra.resize(static_cast<size_t>(width * height * 4));
    for (int64_t y = 0; y < height; ++y) {
        copyRow(bytes + static_cast<size_t>(stride * y), image.bgra.data() + static_cast<size_t>(width * 4 * y), width,
                order);
    }
    return image;
}

void drawCastCursor(const CastCursorImage& cursor, Point position, PixelRect area, RegionFrame& frame) {
    if (!frame.isWellFormed() || cursor.bgra.size() < static_cast<size_t>(cursor.width * cursor.height * 4)) return;
    const int64_t left = std::llround(position.x) - cursor.hotspotX - area.x;
    const int64_t top = std::llround(position.y) - cursor.hotspotY - area.y;
    for (int64_t row = std::max<int64_t>(0, -top); row < cursor.height && top + row < frame.height; ++row) {
        uint8_t* out = frame.bytes.data() + frame.bytesPerRow * static_cast<size_t>(top + row);
        for (int64_t column = std::max<int64_t>(0, -left); column < cursor.width && left + column < frame.width;
             ++column) {
            const uint8_t* in = cursor.bgra.data() + static_cast<size_t>((row * cursor.width + column) * 4);
            const uint32_t alpha = in[3];
            if (alpha == 0) continue;
            uint8_t* pixel = out + static_cast<size_t>(left + column) * 4;
            for (int channel = 0; channel < 3; ++channel) pixel[channel] = over(in[channel], pixel[channel], alpha);
        }
    }
}

CastCursorChoice chooseCastCursorMode(uint32_t availableModes, bool showsCursor) {
    if (showsCursor) {
        if (availableModes & kCastCursorEmbedded) return {kCastCursorEmbedded, false};
        if (availableModes & kCastCursorMetadata) return {kCastCursorMetadata, true};
        return {};
    }
    if (availableModes & kCastCursorHidden) return {kCastCursorHidden, false};
    // Metadata keeps the pointer out of the pixels; we just do not draw it.
    if (availableModes & kCastCursorMetadata) return {kCastCursorMetadata, false};
    return {};
}

}  // namespace tessarin::portal
