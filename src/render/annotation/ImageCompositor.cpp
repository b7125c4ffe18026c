#include "render/annotation/ImageCompositor.h"

#include <algorithm>

#include "render/annotation/AnnotationRenderContext.h"
#include "render/annotation/CairoAnnotationPainter.h"
#include "render/annotation/PixelBuffer.h"

namespace tessarin::ImageCompositor {

namespace {

bool drawsSomething(const std::vector<AnnotationPtr>& annotations) {
    return std::any_of(annotations.begin(), annotations.end(), [](const auto& a) { return a && !a->isHidden(); });
}

// The source with the annotations drawn over it, premultiplied; nothing on failure.
CairoSurfacePtr drawn(const Image& source, const std::vector<AnnotationPtr>& annotations, const Rect& imageDrawRect,
                      const PangoTextEngine& text) {
    const double W = source.width();
    const double H = source.height();
    // The source is the bitmap's first layer.
    CairoSurfacePtr target = premultipliedSurface(source);
    if (!target) return nullptr;
    CairoPtr cr(cairo_create(target.get()));
    // Drawing space (y up, imageDrawRect onto the whole bitmap) to pixels (y down).
    cairo_translate(cr.get(), 0, H);
    cairo_scale(cr.get(), W / imageDrawRect.width, -H / imageDrawRect.height);
    cairo_translate(cr.get(), -imageDrawRect.x, -imageDrawRect.y);
    AnnotationRenderContext context(source, imageDrawRect);
    CairoAnnotationPainter painter(cr.get(), text, imageDrawRect);
    for (const auto& annotation : annotations) {
        if (!annotation || annotation->isHidden()) continue;
        cairo_save(cr.get());
        annotation->draw(painter, &context);
        cairo_restore(cr.get());
    }
    if (cairo_status(cr.get()) != CAIRO_STATUS_SUCCESS) return nullptr;
    cairo_surface_flush(target.get());
    return target;
}

bool usable(const Image& source, const Rect& imageDrawRect) {
    return !source.isEmpty() && imageDrawRect.width > 0 && imageDrawRect.height > 0 && imageDrawRect.isFinite();
}

}  // namespace

std::optional<Image> composite(const Image& source, const std::vector<AnnotationPtr>& annotations,
                               const Rect& imageDrawRect, const PangoTextEngine& text) {
    if (!usable(source, imageDrawRect)) return std::nullopt;
    // Nothing to draw leaves the pixels exactly as they are (the round trip
    // through premultiplied alpha would round translucent ones).
    if (!drawsSomething(annotations)) return source.clone();
    const CairoSurfacePtr target = drawn(source, annotations, imageDrawRect, text);
    if (!target) return std::nullopt;
    return straightImage(target.get());
}

bool compositeInPlace(Image& image, const std::vector<AnnotationPtr>& annotations, const Rect& imageDrawRect,
                      const PangoTextEngine& text) {
    if (!usable(image, imageDrawRect)) return false;
    if (!drawsSomething(annotations)) return true;
    const CairoSurfacePtr target = drawn(image, annotations, imageDrawRect, text);
    if (!target) return false;
    writeStraight(target.get(), image);
    return true;
}

}  // namespace tessarin::ImageCompositor
