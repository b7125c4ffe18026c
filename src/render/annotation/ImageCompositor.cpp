#include "render/annotation/ImageCompositor.h"

#include <algorithm>

#include "render/annotation/AnnotationRenderContext.h"
#include "render/annotation/CairoAnnotationPainter.h"
#include "render/annotation/PixelBuffer.h"

namespace tessarin::ImageCompositor {

std::optional<Image> composite(const Image& source, const std::vector<AnnotationPtr>& annotations,
                               const Rect& imageDrawRect, const PangoTextEngine& text) {
    if (!(imageDrawRect.width > 0) || !(imageDrawRect.height > 0) || !imageDrawRect.isFinite()) return std::nullopt;
    if (source.isEmpty()) return std::nullopt;
    // Nothing to draw leaves the pixels exactly as they are (the round trip
    // through premultiplied alpha would round translucent ones).
    if (std::none_of(annotations.begin(), annotations.end(), [](const auto& a) { return a && !a->isHidden(); })) {
        return source.clone();
    }
    const double W = source.width();
    const double H = source.height();
    // The source is the bitmap's first layer.
    CairoSurfacePtr target = premultipliedSurface(source);
    if (!target) return std::nullopt;
    {
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
        if (cairo_status(cr.get()) != CAIRO_STATUS_SUCCESS) return std::nullopt;
    }
    cairo_surface_flush(target.get());
    return straightImage(target.get());
}

}  // namespace tessarin::ImageCompositor
