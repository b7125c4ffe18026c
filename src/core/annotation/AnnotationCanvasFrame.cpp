#include "core/annotation/AnnotationCanvasFrame.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "core/annotation/AnnotationCrop.h"

namespace tessarin {

AnnotationCanvasFrame AnnotationCanvasFrame::of(uint32_t imageWidth, uint32_t imageHeight, const Rect& imageDrawRect,
                                                const std::optional<Rect>& crop,
                                                const std::optional<AnnotationBackgroundStyle>& background) {
    AnnotationCanvasFrame frame;
    frame.content = {0, 0, imageWidth, imageHeight};
    const double p = imageDrawRect.width > 0 ? imageWidth / imageDrawRect.width : 0;
    if (crop && p > 0) {
        if (const auto cut = AnnotationCropGeometry::pixelRect(*crop, imageDrawRect, p)) {
            PixelRect kept = *cut;
            kept.width = std::min<int64_t>(kept.width, int64_t{imageWidth} - kept.x);
            kept.height = std::min<int64_t>(kept.height, int64_t{imageHeight} - kept.y);
            if (!kept.isEmpty()) {
                frame.content = kept;
                frame.crop = crop;
            }
        }
    }
    if (background && !frame.content.isEmpty()) {
        frame.layout = AnnotationBackgroundLayout::of(uint32_t(frame.content.width), uint32_t(frame.content.height),
                                                      *background, p);
    }
    const int64_t placeX = frame.layout ? frame.layout->imagePlace.x : 0;
    const int64_t placeY = frame.layout ? frame.layout->imagePlace.y : 0;
    frame.width = frame.layout ? frame.layout->outputWidth : uint32_t(frame.content.width);
    frame.height = frame.layout ? frame.layout->outputHeight : uint32_t(frame.content.height);
    frame.offsetX = placeX - frame.content.x;
    frame.offsetY = placeY - frame.content.y;
    return frame;
}

namespace {

// Samples per pixel side: 8 x 8 gives 65 levels of coverage.
constexpr int kSamples = 8;

// Samples inside the rounded rectangle: a sample is inside when it lies
// within the radius of the nearest point of the rectangle shrunk by the radius.
uint8_t sampledCoverage(uint32_t x, uint32_t y, double width, double height, double r) {
    int inside = 0;
    const double r2 = r * r;
    for (int sy = 0; sy < kSamples; ++sy) {
        const double py = y + (sy + 0.5) / kSamples;
        const double dy = py - std::clamp(py, r, height - r);
        for (int sx = 0; sx < kSamples; ++sx) {
            const double px = x + (sx + 0.5) / kSamples;
            const double dx = px - std::clamp(px, r, width - r);
            inside += dx * dx + dy * dy <= r2;
        }
    }
    return uint8_t((inside * 255 + kSamples * kSamples / 2) / (kSamples * kSamples));
}

uint8_t div255(uint32_t v) { return uint8_t((v + 128 + ((v + 128) >> 8)) >> 8); }

// `src` over `beneath` (straight alpha) into `dst` (which may be
// `beneath`), `src`'s alpha scaled by `coverage`.
void over(const uint8_t* src, uint8_t coverage, const uint8_t* beneath, uint8_t* dst) {
    const uint32_t sa = div255(uint32_t(src[3]) * coverage);
    if (sa == 255) {
        dst[0] = src[0], dst[1] = src[1], dst[2] = src[2], dst[3] = 255;
        return;
    }
    if (sa == 0) {
        if (dst != beneath) std::memcpy(dst, beneath, 4);
        return;
    }
    const uint32_t da = div255(uint32_t(beneath[3]) * (255 - sa));  // what shows of the frame
    const uint32_t oa = sa + da;
    for (int c = 0; c < 3; ++c) {
        dst[c] = uint8_t((uint32_t(src[c]) * sa + uint32_t(beneath[c]) * da + oa / 2) / oa);
    }
    dst[3] = uint8_t(oa);
}

}  // namespace

uint8_t roundedCornerCoverage(uint32_t x, uint32_t y, uint32_t width, uint32_t height, double radius) {
    const double r = std::min({radius, width / 2.0, height / 2.0});
    if (!(r > 0)) return 255;
    const bool middleColumn = x >= r && x + 1 <= width - r;
    const bool middleRow = y >= r && y + 1 <= height - r;
    if (middleColumn || middleRow) return 255;
    return sampledCoverage(x, y, width, height, r);
}

namespace {

// Pixels away from the corners: opaque runs are copied whole (a screenshot
// is nearly all opaque), the rest blended.
void blendSpan(const uint8_t* source, uint32_t count, const uint8_t* beneath, uint8_t* out) {
    uint32_t i = 0;
    while (i < count) {
        uint32_t end = i;
        while (end < count && source[size_t{end} * 4 + 3] == 255) ++end;
        if (end > i) {
            std::memcpy(out + size_t{i} * 4, source + size_t{i} * 4, size_t{end - i} * 4);
            i = end;
            continue;
        }
        over(source + size_t{i} * 4, 255, beneath + size_t{i} * 4, out + size_t{i} * 4);
        ++i;
    }
}

}  // namespace

void blendRowOverFrame(const uint8_t* source, uint32_t count, uint32_t imageX, uint32_t imageY, uint32_t imageWidth,
                       uint32_t imageHeight, double cornerRadius, const uint8_t* frameRow, uint8_t* out) {
    const double r = std::min({cornerRadius, imageWidth / 2.0, imageHeight / 2.0});
    const bool rowInCorner = r > 0 && (imageY < r || imageY + 1 > imageHeight - r);
    if (!rowInCorner) return blendSpan(source, count, frameRow, out);
    // This row's pixels that meet a corner square: the first `left` and those from `right` on.
    const auto left = uint32_t(std::min(double(imageWidth), std::ceil(r)));
    const auto right = uint32_t(std::max(0.0, std::floor(imageWidth - r)));
    for (uint32_t i = 0; i < count;) {
        const uint32_t x = imageX + i;
        if (x >= left && x < right) {
            const uint32_t run = std::min(count - i, right - x);
            blendSpan(source + size_t{i} * 4, run, frameRow + size_t{i} * 4, out + size_t{i} * 4);
            i += run;
            continue;
        }
        over(source + size_t{i} * 4, roundedCornerCoverage(x, imageY, imageWidth, imageHeight, r),
             frameRow + size_t{i} * 4, out + size_t{i} * 4);
        ++i;
    }
}

void blendRowIntoFrame(const uint8_t* source, uint32_t count, uint32_t imageX, uint32_t imageY, uint32_t imageWidth,
                       uint32_t imageHeight, double cornerRadius, uint8_t* frameRow) {
    blendRowOverFrame(source, count, imageX, imageY, imageWidth, imageHeight, cornerRadius, frameRow, frameRow);
}

void blendIntoFrame(const Image& image, const PixelRect& part, double cornerRadius, Image& frame, uint32_t frameX,
                    uint32_t frameY) {
    for (int64_t row = 0; row < part.height; ++row) {
        const uint32_t y = uint32_t(part.y + row);
        blendRowIntoFrame(image.row(y) + size_t(part.x) * 4, uint32_t(part.width), uint32_t(part.x), y, image.width(),
                          image.height(), cornerRadius, frame.row(frameY + uint32_t(row)) + size_t{frameX} * 4);
    }
}

}  // namespace tessarin
