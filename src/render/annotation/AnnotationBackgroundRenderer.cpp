#include "render/annotation/AnnotationBackgroundRenderer.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "core/annotation/AnnotationCanvasFrame.h"
#include "core/annotation/AnnotationCrop.h"
#include "core/annotation/RectAnnotations.h"
#include "render/annotation/ImageCompositor.h"
#include "render/annotation/MosaicKernels.h"
#include "render/annotation/PixelBuffer.h"

namespace tessarin::AnnotationBackgroundRenderer {
namespace {

void roundedRectPath(cairo_t* cr, double x, double y, double w, double h, double radius) {
    if (!(radius > 0)) {
        cairo_rectangle(cr, x, y, w, h);
        return;
    }
    const double r = std::min({radius, w / 2, h / 2});
    constexpr double quarter = std::numbers::pi / 2;
    cairo_new_sub_path(cr);
    cairo_arc(cr, x + w - r, y + r, r, -quarter, 0);
    cairo_arc(cr, x + w - r, y + h - r, r, 0, quarter);
    cairo_arc(cr, x + r, y + h - r, r, quarter, 2 * quarter);
    cairo_arc(cr, x + r, y + r, r, 2 * quarter, 3 * quarter);
    cairo_close_path(cr);
}

// Paints `picture` over the whole target, scaled to cover it, centred.
void paintAspectFilled(cairo_t* cr, cairo_surface_t* picture, double targetWidth, double targetHeight) {
    const double w = cairo_image_surface_get_width(picture);
    const double h = cairo_image_surface_get_height(picture);
    const double scale = std::max(targetWidth / w, targetHeight / h);
    cairo_save(cr);
    cairo_translate(cr, (targetWidth - w * scale) / 2, (targetHeight - h * scale) / 2);
    cairo_scale(cr, scale, scale);
    cairo_set_source_surface(cr, picture, 0, 0);
    cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_GOOD);
    cairo_pattern_set_extend(cairo_get_source(cr), CAIRO_EXTEND_PAD);
    cairo_paint(cr);
    cairo_restore(cr);
}

void setColor(cairo_t* cr, const AnnotationBackgroundColor& c) { cairo_set_source_rgba(cr, c.red, c.green, c.blue, c.alpha); }

void paintFill(cairo_t* cr, const AnnotationBackgroundFill::Fill& fill, double width, double height,
               const Image* backdrop) {
    using namespace AnnotationBackgroundFill;
    if (const auto* solid = std::get_if<Solid>(&fill)) {
        setColor(cr, solid->color);
        cairo_paint(cr);
    } else if (const auto* gradient = std::get_if<Gradient>(&fill)) {
        cairo_pattern_t* pattern = cairo_pattern_create_linear(0, 0, width, height);
        if (cairo_pattern_status(pattern) == CAIRO_STATUS_SUCCESS) {
            cairo_pattern_add_color_stop_rgba(pattern, 0, gradient->start.red, gradient->start.green,
                                              gradient->start.blue, gradient->start.alpha);
            cairo_pattern_add_color_stop_rgba(pattern, 1, gradient->end.red, gradient->end.green, gradient->end.blue,
                                              gradient->end.alpha);
            cairo_pattern_set_extend(pattern, CAIRO_EXTEND_PAD);
            cairo_set_source(cr, pattern);
        } else {
            setColor(cr, gradient->start);
        }
        cairo_paint(cr);
        cairo_pattern_destroy(pattern);
    } else if (const auto* picture = std::get_if<Picture>(&fill)) {
        CairoSurfacePtr surface =
            picture->image.image && !picture->image.image->isEmpty() ? premultipliedSurface(*picture->image.image) : nullptr;
        if (surface) {
            paintAspectFilled(cr, surface.get(), width, height);
        } else {
            cairo_set_source_rgba(cr, AnnotationBackgroundDefaults::kMissingBackdropWhite,
                                  AnnotationBackgroundDefaults::kMissingBackdropWhite,
                                  AnnotationBackgroundDefaults::kMissingBackdropWhite, 1);
            cairo_paint(cr);
        }
    } else {
        CairoSurfacePtr surface = backdrop && !backdrop->isEmpty() ? premultipliedSurface(*backdrop) : nullptr;
        if (surface) {
            paintAspectFilled(cr, surface.get(), width, height);
        } else {
            const double grey = AnnotationBackgroundDefaults::kMissingBackdropWhite;
            cairo_set_source_rgba(cr, grey, grey, grey, 1);
            cairo_paint(cr);
        }
    }
}

// The size fitting `maxSide` on the longer side, never upscaled, at least 1.
std::pair<uint32_t, uint32_t> fittedSize(uint32_t width, uint32_t height, uint32_t maxSide) {
    const uint32_t longer = std::max(width, height);
    if (longer <= maxSide) return {width, height};
    const double scale = double(maxSide) / longer;
    return {std::max<uint32_t>(1, uint32_t(std::lround(width * scale))),
            std::max<uint32_t>(1, uint32_t(std::lround(height * scale)))};
}

}  // namespace

namespace {

// Fill and shadow of a frame around an image of the layout's place.
bool paintFrame(cairo_t* cr, const AnnotationBackgroundLayout& layout, const AnnotationBackgroundStyle& style, double p,
                const Image* backdrop, const AnnotationBackgroundShadow* shadow) {
    paintFill(cr, style.fill, layout.outputWidth, layout.outputHeight, backdrop);
    const PixelRect& place = layout.imagePlace;
    if (!shadow || shadow->image.isEmpty() || !(shadow->reach >= 0)) return true;
    CairoSurfacePtr shadowSurface = premultipliedSurface(shadow->image);
    if (!shadowSurface) return false;
    // The shadow raster spans the image grown by its reach; stretch it over that.
    const double reach = shadow->reach * p;
    const double spanWidth = double(place.width) + 2 * reach, spanHeight = double(place.height) + 2 * reach;
    cairo_save(cr);
    cairo_translate(cr, double(place.x) - reach, double(place.y) - reach);
    cairo_scale(cr, spanWidth / shadow->image.width(), spanHeight / shadow->image.height());
    cairo_set_source_surface(cr, shadowSurface.get(), 0, 0);
    cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_BILINEAR);
    cairo_paint(cr);
    cairo_restore(cr);
    return true;
}

}  // namespace

// The frame first, then the image blended in by blendIntoFrame: the canvas
// puts its tiles into the same frame the same way, so the two agree.
std::optional<Image> framed(const Image& image, const AnnotationBackgroundStyle& style, double p,
                            const Image* backdrop, const AnnotationBackgroundShadow* shadow) {
    const auto layout = AnnotationBackgroundLayout::of(image.width(), image.height(), style, p);
    if (!layout) return std::nullopt;
    std::optional<Image> out = framePreview(image.width(), image.height(), style, p, backdrop, shadow);
    if (!out) return std::nullopt;
    const PixelRect& place = layout->imagePlace;
    blendIntoFrame(image, {0, 0, image.width(), image.height()}, layout->cornerRadius, *out, uint32_t(place.x),
                   uint32_t(place.y));
    return out;
}

std::optional<Image> framePreview(uint32_t imageWidth, uint32_t imageHeight, const AnnotationBackgroundStyle& style,
                                  double p, const Image* backdrop, const AnnotationBackgroundShadow* shadow) {
    const auto layout = AnnotationBackgroundLayout::of(imageWidth, imageHeight, style, p);
    if (!layout) return std::nullopt;
    CairoSurfacePtr out = makeSurface(layout->outputWidth, layout->outputHeight);
    if (!out) return std::nullopt;
    CairoPtr cr(cairo_create(out.get()));
    if (!paintFrame(cr.get(), *layout, style, p, backdrop, shadow)) return std::nullopt;
    if (cairo_status(cr.get()) != CAIRO_STATUS_SUCCESS) return std::nullopt;
    cr.reset();
    return straightImage(out.get());
}

std::optional<Image> blurredBackdrop(const Image& source, const std::optional<Rect>& cropRect, const Rect& drawRect,
                                     double amount) {
    if (!(drawRect.width > 0) || source.isEmpty()) return std::nullopt;
    PixelRect area{0, 0, source.width(), source.height()};
    if (cropRect) {
        const auto cut = AnnotationCropGeometry::pixelRect(*cropRect, drawRect, source.width() / drawRect.width);
        if (!cut) return std::nullopt;
        area = *cut;
        area.width = std::min<int64_t>(area.width, source.width() - area.x);
        area.height = std::min<int64_t>(area.height, source.height() - area.y);
    }
    const auto [width, height] = fittedSize(uint32_t(area.width), uint32_t(area.height), kAnnotationBackdropMaxSide);
    std::optional<Image> small = downscaled(source, area, width, height);
    if (!small) return std::nullopt;
    CairoSurfacePtr surface = premultipliedSurface(*small);
    if (!surface) return std::nullopt;
    MosaicKernels::gaussianBlur(viewOf(surface.get()), annotationBackdropBlurRadius(amount));
    cairo_surface_mark_dirty(surface.get());
    return straightImage(surface.get());
}

std::optional<AnnotationBackgroundShadow> shadowImage(Size imageSize, const AnnotationBackgroundStyle& style) {
    const auto geometry = AnnotationShadowGeometry::of(style.shadow);
    if (!geometry || !(imageSize.width > 0) || !(imageSize.height > 0)) return std::nullopt;
    const double k = geometry->workingScale(imageSize);
    const double reach = geometry->reach;
    const double rasterWidth = std::ceil((imageSize.width + 2 * reach) * k);
    const double rasterHeight = std::ceil((imageSize.height + 2 * reach) * k);
    if (!(rasterWidth >= 1 && rasterWidth <= 4096 && rasterHeight >= 1 && rasterHeight <= 4096)) return std::nullopt;
    CairoSurfacePtr surface = makeSurface(uint32_t(rasterWidth), uint32_t(rasterHeight));
    if (!surface) return std::nullopt;
    {
        CairoPtr cr(cairo_create(surface.get()));
        // Stretched back over exactly the image grown by the reach.
        cairo_scale(cr.get(), rasterWidth / (imageSize.width + 2 * reach), rasterHeight / (imageSize.height + 2 * reach));
        roundedRectPath(cr.get(), reach, reach + geometry->offset, imageSize.width, imageSize.height,
                        std::max(0.0, style.cornerRadius));
        cairo_set_source_rgba(cr.get(), 0, 0, 0, 0.45 * std::min(style.shadow, 1.0));
        cairo_fill(cr.get());
        if (cairo_status(cr.get()) != CAIRO_STATUS_SUCCESS) return std::nullopt;
    }
    MosaicKernels::gaussianBlur(viewOf(surface.get()), geometry->blurRadius * k);
    cairo_surface_mark_dirty(surface.get());
    std::optional<Image> image = straightImage(surface.get());
    if (!image) return std::nullopt;
    return AnnotationBackgroundShadow{std::move(*image), reach};
}

std::optional<Image> blurPreview(const Image& source, uint32_t maxSide) {
    if (source.isEmpty() || maxSide == 0) return std::nullopt;
    const auto [width, height] = fittedSize(source.width(), source.height(), maxSide);
    return downscaled(source, width, height);
}

std::optional<Image> mosaicOnlyComposite(const Image& source, const std::vector<AnnotationPtr>& annotations,
                                         const Rect& imageDrawRect, const PangoTextEngine& text) {
    std::vector<AnnotationPtr> mosaics;
    for (const auto& a : annotations) {
        if (a && !a->isHidden() && dynamic_cast<const PixelateAnnotation*>(a.get())) mosaics.push_back(a);
    }
    return ImageCompositor::composite(source, mosaics, imageDrawRect, text);
}

std::optional<Image> downscaled(const Image& source, uint32_t width, uint32_t height) {
    return downscaled(source, {0, 0, source.width(), source.height()}, width, height);
}

std::optional<Image> downscaled(const Image& source, const PixelRect& area, uint32_t width, uint32_t height) {
    if (source.isEmpty() || area.isEmpty() || area.x < 0 || area.y < 0 || area.x + area.width > source.width() ||
        area.y + area.height > source.height() || width == 0 || height == 0 || width > area.width ||
        height > area.height) {
        return std::nullopt;
    }
    if (width == area.width && height == area.height) {
        return source.cropped(uint32_t(area.x), uint32_t(area.y), width, height);
    }
    const uint32_t areaWidth = uint32_t(area.width), areaHeight = uint32_t(area.height);
    const size_t left = size_t(area.x) * 4;
    auto out = Image::allocate(width, height);
    if (!out) return std::nullopt;
    // Each output pixel averages the source box it covers, weighted by
    // alpha so transparent pixels lend no colour.
    std::vector<uint64_t> sums(size_t{width} * 4);
    std::vector<uint64_t> counts(width);
    std::vector<uint32_t> firstColumn(width + 1);
    for (uint32_t x = 0; x <= width; ++x) firstColumn[x] = uint32_t(uint64_t{x} * areaWidth / width);
    for (uint32_t y = 0; y < height; ++y) {
        std::fill(sums.begin(), sums.end(), 0);
        std::fill(counts.begin(), counts.end(), 0);
        const uint32_t y0 = uint32_t(uint64_t{y} * areaHeight / height);
        const uint32_t y1 = uint32_t(uint64_t{y + 1} * areaHeight / height);
        for (uint32_t sy = y0; sy < y1; ++sy) {
            const uint8_t* row = source.row(uint32_t(area.y) + sy) + left;
            for (uint32_t x = 0; x < width; ++x) {
                uint64_t* sum = &sums[size_t{x} * 4];
                for (uint32_t sx = firstColumn[x]; sx < firstColumn[x + 1]; ++sx) {
                    const uint8_t* px = row + size_t{sx} * 4;
                    sum[0] += uint64_t{px[0]} * px[3];
                    sum[1] += uint64_t{px[1]} * px[3];
                    sum[2] += uint64_t{px[2]} * px[3];
                    sum[3] += px[3];
                }
                counts[x] += firstColumn[x + 1] - firstColumn[x];
            }
        }
        uint8_t* out_row = out->row(y);
        for (uint32_t x = 0; x < width; ++x) {
            const uint64_t* sum = &sums[size_t{x} * 4];
            uint8_t* px = out_row + size_t{x} * 4;
            for (int c = 0; c < 3; ++c) px[c] = sum[3] ? uint8_t((sum[c] + sum[3] / 2) / sum[3]) : 0;
            px[3] = counts[x] ? uint8_t((sum[3] + counts[x] / 2) / counts[x]) : 0;
        }
    }
    return out;
}

Expected<AnnotationBackgroundImage, DecodeError> loadPicture(const std::filesystem::path& path, uint32_t outputWidth,
                                                             uint32_t outputHeight) {
    DecodeResult decoded = decodeImageFile(path);
    if (!decoded) return unexpected(decoded.error());
    Image picture = std::move(decoded).value();
    if (outputWidth > 0 && outputHeight > 0) {
        // The smallest size that still covers the output when aspect-filled.
        const double scale = std::max(double(outputWidth) / picture.width(), double(outputHeight) / picture.height());
        if (scale < 1) {
            const auto width = std::clamp<uint32_t>(uint32_t(std::ceil(picture.width() * scale)), 1, picture.width());
            const auto height = std::clamp<uint32_t>(uint32_t(std::ceil(picture.height() * scale)), 1, picture.height());
            std::optional<Image> smaller = downscaled(picture, width, height);
            if (!smaller) return unexpected(DecodeError{DecodeError::Kind::tooLarge, "the picture could not be reduced"});
            picture = std::move(*smaller);
        }
    }
    return AnnotationBackgroundImage{std::make_shared<const Image>(std::move(picture)), path.filename().string()};
}

}  // namespace tessarin::AnnotationBackgroundRenderer

namespace tessarin {

const Image* AnnotationBackgroundBitmapCache::backdrop(uint64_t revision, const std::optional<Rect>& cropRect,
                                                       const Rect& drawRect, double amount,
                                                       const std::function<std::optional<Image>()>& makeSource) {
    const BackdropKey key{revision, cropRect, drawRect, amount};
    if (backdropKey_ != key) {
        const std::optional<Image> source = makeSource();
        backdrop_ = source ? AnnotationBackgroundRenderer::blurredBackdrop(*source, cropRect, drawRect, amount)
                           : std::nullopt;
        backdropKey_ = key;
        ++backdropsMade_;
    }
    return backdrop_ ? &*backdrop_ : nullptr;
}

const AnnotationBackgroundShadow* AnnotationBackgroundBitmapCache::shadow(Size imageSize,
                                                                          const AnnotationBackgroundStyle& style) {
    const ShadowKey key{imageSize, style.cornerRadius, style.shadow};
    if (shadowKey_ != key) {
        shadow_ = AnnotationBackgroundRenderer::shadowImage(imageSize, style);
        shadowKey_ = key;
        ++shadowsMade_;
    }
    return shadow_ ? &*shadow_ : nullptr;
}

}  // namespace tessarin
