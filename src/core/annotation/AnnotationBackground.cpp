#include "core/annotation/AnnotationBackground.h"

#include <algorithm>
#include <cmath>

namespace tessarin {

AnnotationBackgroundStyle AnnotationBackgroundDefaults::style() {
    return {annotationBackgroundGradients().front(), kPadding, kCornerRadius, kShadow};
}

const std::vector<AnnotationBackgroundFill::Gradient>& annotationBackgroundGradients() {
    static const std::vector<AnnotationBackgroundFill::Gradient> gradients = {
        {{0.55, 0.36, 0.96, 1}, {0.2, 0.6, 0.95, 1}},   {{0.98, 0.45, 0.42, 1}, {0.99, 0.72, 0.36, 1}},
        {{0.2, 0.7, 0.6, 1}, {0.35, 0.85, 0.45, 1}},    {{0.3, 0.65, 0.98, 1}, {0.45, 0.92, 0.8, 1}},
        {{0.95, 0.6, 0.8, 1}, {0.6, 0.65, 0.98, 1}},    {{0.99, 0.8, 0.4, 1}, {0.98, 0.55, 0.6, 1}},
        {{0.95, 0.35, 0.55, 1}, {0.45, 0.25, 0.75, 1}}, {{0.16, 0.2, 0.35, 1}, {0.35, 0.25, 0.55, 1}},
        {{0.13, 0.15, 0.2, 1}, {0.3, 0.33, 0.4, 1}},    {{0.9, 0.92, 0.96, 1}, {0.78, 0.82, 0.9, 1}}};
    return gradients;
}

const std::vector<AnnotationBackgroundColor>& annotationBackgroundSolids() {
    static const std::vector<AnnotationBackgroundColor> solids = {
        {1, 1, 1, 1},          {0.96, 0.92, 0.85, 1}, {0.85, 0.94, 0.9, 1}, {0.84, 0.9, 0.97, 1},
        {0.9, 0.87, 0.97, 1},  {0.97, 0.87, 0.9, 1},  {0.3, 0.32, 0.38, 1}, {0.16, 0.17, 0.2, 1},
        {0.05, 0.05, 0.06, 1}};
    return solids;
}

AnnotationBackgroundStyle annotationBackgroundWithFill(const std::optional<AnnotationBackgroundStyle>& current,
                                                       AnnotationBackgroundFill::Fill fill) {
    AnnotationBackgroundStyle style = current.value_or(AnnotationBackgroundDefaults::style());
    style.fill = std::move(fill);
    return style;
}

std::optional<AnnotationBackgroundLayout> AnnotationBackgroundLayout::of(uint32_t imageWidth, uint32_t imageHeight,
                                                                         const AnnotationBackgroundStyle& style,
                                                                         double p, uint32_t maxSide) {
    if (!(p > 0) || !std::isfinite(p) || imageWidth == 0 || imageHeight == 0) return std::nullopt;
    const double padding = std::round(std::max(0.0, style.padding) * p);  // a negative padding frames nothing
    if (!std::isfinite(padding) || padding > maxSide) return std::nullopt;
    const uint64_t P = uint64_t(padding);
    const uint64_t width = imageWidth + 2 * P;
    const uint64_t height = imageHeight + 2 * P;
    if (width > maxSide || height > maxSide) return std::nullopt;
    AnnotationBackgroundLayout layout;
    layout.padding = uint32_t(P);
    layout.outputWidth = uint32_t(width);
    layout.outputHeight = uint32_t(height);
    layout.imagePlace = {int64_t(P), int64_t(P), imageWidth, imageHeight};
    const double radius = style.cornerRadius * p;
    layout.cornerRadius = std::isfinite(radius) ? std::clamp(radius, 0.0, std::min(imageWidth, imageHeight) / 2.0) : 0;
    return layout;
}

std::optional<AnnotationShadowGeometry> AnnotationShadowGeometry::of(double strength) {
    if (!(strength > 0) || !std::isfinite(strength)) return std::nullopt;
    const double s = std::min(strength, 1.0);
    AnnotationShadowGeometry g;
    g.blurRadius = 40 * s;
    g.offset = 12 * s;
    g.reach = 3 * g.blurRadius + g.offset;
    return g;
}

double AnnotationShadowGeometry::workingScale(Size imageSize) const {
    const double longer = std::max(imageSize.width, imageSize.height) + 2 * reach;
    if (!(longer > 0) || !std::isfinite(longer)) return 1;
    return std::min(1024 / longer, 2.0);
}

double annotationBackdropBlurRadius(double amount) {
    if (!(amount > 0)) return 4;  // also for an amount that is not a number
    return std::min(amount, 1.0) * 40 + 4;
}

}  // namespace tessarin
