#include "render/annotation/AnnotationExportPipeline.h"

#include "core/annotation/AnnotationCrop.h"
#include "render/annotation/AnnotationBackgroundRenderer.h"
#include "render/annotation/ImageCompositor.h"

namespace tessarin::AnnotationExportPipeline {
namespace {

AnnotationExportError failure(AnnotationExportError::Step step, std::string message) { return {step, std::move(message)}; }

}  // namespace

Expected<Image, AnnotationExportError> render(const AnnotationExportInputs& in, const PangoTextEngine& text,
                                              AnnotationBackgroundBitmapCache* cache, uint64_t backdropRevision) {
    using Step = AnnotationExportError::Step;
    if (!in.source || in.source->isEmpty()) return unexpected(failure(Step::composite, "There is no image to export."));
    std::optional<Image> image = ImageCompositor::composite(*in.source, in.annotations, in.imageDrawRect, text);
    if (!image) return unexpected(failure(Step::composite, "The annotations could not be drawn onto the image."));
    return finish(std::move(*image), in, text, cache, backdropRevision);
}

Expected<Image, AnnotationExportError> finish(Image composited, const AnnotationExportInputs& in,
                                              const PangoTextEngine& text, AnnotationBackgroundBitmapCache* cache,
                                              uint64_t backdropRevision) {
    using Step = AnnotationExportError::Step;
    if (!in.source || composited.width() != in.source->width() || composited.height() != in.source->height()) {
        return unexpected(failure(Step::composite, "The composited image does not match its source."));
    }
    std::optional<Image> image(std::move(composited));

    const double p = in.imageDrawRect.width > 0 ? in.source->width() / in.imageDrawRect.width : 0;
    if (in.cropRect && in.imageDrawRect.width > 0) {
        const auto cut = AnnotationCropGeometry::pixelRect(*in.cropRect, in.imageDrawRect, p);
        std::optional<Image> cropped =
            cut ? image->cropped(uint32_t(cut->x), uint32_t(cut->y), uint32_t(cut->width), uint32_t(cut->height))
                : std::nullopt;
        if (!cropped) return unexpected(failure(Step::crop, "The image could not be cropped."));
        image = std::move(cropped);
    }
    if (!in.background) return std::move(*image);

    const AnnotationBackgroundStyle& style = *in.background;
    const Image* backdrop = nullptr;
    std::optional<Image> ownBackdrop;
    if (const auto* blur = std::get_if<AnnotationBackgroundFill::Blur>(&style.fill)) {
        // Made from the image with its mosaics applied: what the user hid
        // must not show, blurred and enlarged, in the padding.
        const auto mosaicSource = [&] {
            return AnnotationBackgroundRenderer::mosaicOnlyComposite(*in.source, in.annotations, in.imageDrawRect, text);
        };
        if (cache) {
            backdrop = cache->backdrop(backdropRevision, in.cropRect, in.imageDrawRect, blur->amount, mosaicSource);
        } else if (const std::optional<Image> source = mosaicSource()) {
            ownBackdrop =
                AnnotationBackgroundRenderer::blurredBackdrop(*source, in.cropRect, in.imageDrawRect, blur->amount);
            backdrop = ownBackdrop ? &*ownBackdrop : nullptr;
        }
        if (!backdrop) return unexpected(failure(Step::frame, "The blurred background could not be made."));
    }
    const Size pointSize{p > 0 ? image->width() / p : 0, p > 0 ? image->height() / p : 0};
    const AnnotationBackgroundShadow* shadow = nullptr;
    std::optional<AnnotationBackgroundShadow> ownShadow;
    if (cache) {
        shadow = cache->shadow(pointSize, style);
    } else {
        ownShadow = AnnotationBackgroundRenderer::shadowImage(pointSize, style);
        shadow = ownShadow ? &*ownShadow : nullptr;
    }
    std::optional<Image> framed = AnnotationBackgroundRenderer::framed(*image, style, p, backdrop, shadow);
    if (!framed) return unexpected(failure(Step::frame, "The background could not be drawn around the image."));
    return std::move(*framed);
}

}  // namespace tessarin::AnnotationExportPipeline
