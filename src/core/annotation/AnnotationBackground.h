#pragma once
// The background panel's choices and the geometry of a framed image: how
// large the output is, where the image sits in it, how round its corners
// are and how far its shadow reaches. The pixels are drawn by the renderer
// (render/annotation/AnnotationBackgroundRenderer); everything here is
// plain arithmetic the editor and the tests share.

#include <cstdint>
#include <optional>
#include <vector>

#include "core/annotation/AnnotationBackgroundStyle.h"
#include "core/common/Geometry.h"

namespace tessarin {

namespace AnnotationBackgroundDefaults {
inline constexpr double kPadding = 48;
inline constexpr double kCornerRadius = 12;
inline constexpr double kShadow = 0.5;
inline constexpr double kBlurAmount = 0.5;
// Mid grey behind a blurred fill that has no backdrop yet.
inline constexpr double kMissingBackdropWhite = 0.45;
AnnotationBackgroundStyle style();
}  // namespace AnnotationBackgroundDefaults

// The panel's swatches, in the order shown.
const std::vector<AnnotationBackgroundFill::Gradient>& annotationBackgroundGradients();
const std::vector<AnnotationBackgroundColor>& annotationBackgroundSolids();

// `current` with its fill replaced; without a current style, the default
// padding, corners and shadow around the new fill.
AnnotationBackgroundStyle annotationBackgroundWithFill(const std::optional<AnnotationBackgroundStyle>& current,
                                                       AnnotationBackgroundFill::Fill fill);

// The frame of one image in whole pixels. Output pixels have their origin
// top-left.
struct AnnotationBackgroundLayout {
    uint32_t padding = 0;  // on every side
    uint32_t outputWidth = 0;
    uint32_t outputHeight = 0;
    PixelRect imagePlace;     // where the image goes
    double cornerRadius = 0;  // pixels, at most half the image's shorter side

    // Nothing when the scale is not above 0, the output would be empty, or
    // a side would exceed `maxSide`.
    static std::optional<AnnotationBackgroundLayout> of(uint32_t imageWidth, uint32_t imageHeight,
                                                        const AnnotationBackgroundStyle& style, double pixelsPerPoint,
                                                        uint32_t maxSide = 32767);
    friend bool operator==(const AnnotationBackgroundLayout&, const AnnotationBackgroundLayout&) = default;
};

// The soft shadow under the image, in points.
struct AnnotationShadowGeometry {
    double blurRadius = 0;  // 40 × strength
    double offset = 0;      // 12 × strength, downward
    double reach = 0;       // 3 × blur + offset, beyond the image on every side
    // Nothing for a strength of 0 (or less, or not a number).
    static std::optional<AnnotationShadowGeometry> of(double strength);
    // The raster scale the shadow is drawn at for an image of this size in
    // points: min(1024 / longer side of the shadow raster, 2).
    double workingScale(Size imageSize) const;
};

// The Gaussian radius of a blurred backdrop, in backdrop pixels.
double annotationBackdropBlurRadius(double amount);
// The longer side a backdrop is downscaled to (at most).
inline constexpr uint32_t kAnnotationBackdropMaxSide = 512;

}  // namespace tessarin
