#pragma once
// What the editor canvas shows of a document, in whole pixels: the part of
// the image the crop keeps (all of it while the crop is being edited) and,
// with a background on, the frame around it. The canvas and the export both
// put the image into its frame with blendIntoFrame(), so they agree byte
// for byte at the rounded corners too.

#include <cstdint>
#include <optional>

#include "core/annotation/AnnotationBackground.h"
#include "core/common/Geometry.h"
#include "core/common/Image.h"

namespace tessarin {

struct AnnotationCanvasFrame {
    PixelRect content;  // the image pixels shown (the crop, or the whole image)
    std::optional<Rect> crop;  // the drawing-space crop they come from
    std::optional<AnnotationBackgroundLayout> layout;  // with a background on
    uint32_t width = 0;   // what is shown, in pixels
    uint32_t height = 0;
    // Where image pixel (0, 0) lands in what is shown (may lie outside).
    int64_t offsetX = 0;
    int64_t offsetY = 0;

    // The image of imageWidth x imageHeight pixels drawn over `imageDrawRect`
    // (drawing space), with the document's crop and background. A crop that
    // converts to no pixels shows the whole image; a frame too large for a
    // drawing surface shows none.
    static AnnotationCanvasFrame of(uint32_t imageWidth, uint32_t imageHeight, const Rect& imageDrawRect,
                                    const std::optional<Rect>& crop,
                                    const std::optional<AnnotationBackgroundStyle>& background);
    friend bool operator==(const AnnotationCanvasFrame&, const AnnotationCanvasFrame&) = default;
};

// How much of pixel (x, y) of a width x height image lies inside its
// rounded corners of `radius` pixels: 0...255, 255 away from the corners.
uint8_t roundedCornerCoverage(uint32_t x, uint32_t y, uint32_t width, uint32_t height, double radius);

// Puts `image` pixels over the frame's: row `rows` of `part` (a rectangle
// of the image, in its own pixels) goes over `frame` at (frameX, frameY),
// clipped to the image's rounded corners. Straight alpha in and out; the
// part must lie inside both.
void blendIntoFrame(const Image& image, const PixelRect& part, double cornerRadius, Image& frame, uint32_t frameX,
                    uint32_t frameY);
// The same with the image's pixels read from `source` at `sourceRow`: the
// canvas blends from its tiles, which hold rows of the image elsewhere.
// `imageX`, `imageY`: the first pixel's place in the image (for the corners).
void blendRowIntoFrame(const uint8_t* source, uint32_t count, uint32_t imageX, uint32_t imageY, uint32_t imageWidth,
                       uint32_t imageHeight, double cornerRadius, uint8_t* frameRow);
// The same with the result written to `out` instead of over `frameRow`.
void blendRowOverFrame(const uint8_t* source, uint32_t count, uint32_t imageX, uint32_t imageY, uint32_t imageWidth,
                       uint32_t imageHeight, double cornerRadius, const uint8_t* frameRow, uint8_t* out);

}  // namespace tessarin
