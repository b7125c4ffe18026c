#pragma once
// Draws the decorative frame around a finished image: the fill (colour,
// gradient, picture or blurred backdrop), the soft shadow and the image
// with rounded corners. The export and the canvas preview share it; the
// canvas keeps the slow parts (backdrop, shadow) in a bitmap cache.
//
// Images in and out are the shared straight-alpha RGBA Image.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/annotation/Annotation.h"
#include "core/annotation/AnnotationBackground.h"
#include "core/common/Expected.h"
#include "core/common/Image.h"
#include "render/ImageDecoder.h"
#include "render/annotation/PangoTextEngine.h"

namespace tessarin {

struct AnnotationBackgroundShadow {
    Image image;       // drawn at a working scale, stretched back when framed
    double reach = 0;  // points beyond the image on every side
};

namespace AnnotationBackgroundRenderer {

// The framed image; nothing when the scale is not above 0, the output
// would be empty or larger than a drawing surface, or drawing fails. A blur
// fill without a backdrop is mid grey.
std::optional<Image> framed(const Image& image, const AnnotationBackgroundStyle& style, double pixelsPerPoint,
                            const Image* blurredBackdrop, const AnnotationBackgroundShadow* shadow);

// The frame alone (fill and shadow, no image) for an image of that many
// pixels: what the canvas shows around its tiles while the background is
// on. The tiles go at the layout's imagePlace, clipped to its corner radius
// (AnnotationBackgroundLayout::of gives both).
std::optional<Image> framePreview(uint32_t imageWidth, uint32_t imageHeight, const AnnotationBackgroundStyle& style,
                                  double pixelsPerPoint, const Image* blurredBackdrop,
                                  const AnnotationBackgroundShadow* shadow);

// `source` cut to the crop (when set), downscaled to at most 512 pixels on
// its longer side and blurred. Nothing when the draw rectangle has no width.
std::optional<Image> blurredBackdrop(const Image& source, const std::optional<Rect>& cropRect,
                                     const Rect& imageDrawRect, double amount);

// The shadow of an image of `imageSize` points with the style's corners;
// nothing when the style has no shadow.
std::optional<AnnotationBackgroundShadow> shadowImage(Size imageSize, const AnnotationBackgroundStyle& style);

// A small copy (at most `maxSide` pixels on its longer side) for a swatch.
std::optional<Image> blurPreview(const Image& source, uint32_t maxSide);

// The source with only its visible mosaic boxes applied: what a blurred
// backdrop is made from, so nothing blacked out or pixelated shows through
// the padding.
std::optional<Image> mosaicOnlyComposite(const Image& source, const std::vector<AnnotationPtr>& annotations,
                                         const Rect& imageDrawRect, const PangoTextEngine& text);

// Area-averaged downscale of `source` (or of its `area`, which must lie
// inside) to width x height (each at most the area's); works on images of
// any size.
std::optional<Image> downscaled(const Image& source, uint32_t width, uint32_t height);
std::optional<Image> downscaled(const Image& source, const PixelRect& area, uint32_t width, uint32_t height);

// A picture file chosen as the fill, decoded through the hardened decoder
// and reduced to the smallest size that still covers an output of
// outputWidth x outputHeight (a picture already that small is kept).
Expected<AnnotationBackgroundImage, DecodeError> loadPicture(const std::filesystem::path& path, uint32_t outputWidth,
                                                             uint32_t outputHeight);

}  // namespace AnnotationBackgroundRenderer

// The canvas's last backdrop and last shadow, each kept with what it was
// made from, so a slider drag that leaves them alone does not remake them.
class AnnotationBackgroundBitmapCache {
public:
    // `sourceRevision` names the backdrop source's content: the caller
    // changes it whenever those pixels (the mosaics over the image) change.
    // `makeSource` is called only when the backdrop has to be made.
    const Image* backdrop(uint64_t sourceRevision, const std::optional<Rect>& cropRect, const Rect& imageDrawRect,
                          double amount, const std::function<std::optional<Image>()>& makeSource);
    const AnnotationBackgroundShadow* shadow(Size imageSize, const AnnotationBackgroundStyle& style);

    int backdropsMade() const { return backdropsMade_; }
    int shadowsMade() const { return shadowsMade_; }

private:
    struct BackdropKey {
        uint64_t revision;
        std::optional<Rect> crop;
        Rect drawRect;
        double amount;
        friend bool operator==(const BackdropKey&, const BackdropKey&) = default;
    };
    struct ShadowKey {
        Size size;
        double cornerRadius;
        double strength;
        friend bool operator==(const ShadowKey&, const ShadowKey&) = default;
    };
    std::optional<BackdropKey> backdropKey_;
    std::optional<Image> backdrop_;
    std::optional<ShadowKey> shadowKey_;
    std::optional<AnnotationBackgroundShadow> shadow_;
    int backdropsMade_ = 0;
    int shadowsMade_ = 0;
};

}  // namespace tessarin
