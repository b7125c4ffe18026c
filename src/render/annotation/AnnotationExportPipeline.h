#pragma once
// The finished image of an editing session: the annotations composited
// onto the source, cut to the crop, and framed by the background. Done,
// Save As and Copy all take their pixels from here, and the canvas at 100%
// shows the same.

#include <optional>
#include <string>
#include <vector>

#include "core/annotation/Annotation.h"
#include "core/annotation/AnnotationBackgroundStyle.h"
#include "core/common/Expected.h"
#include "core/common/Image.h"
#include "render/annotation/PangoTextEngine.h"

namespace tessarin {

class AnnotationBackgroundBitmapCache;

struct AnnotationExportInputs {
    const Image* source = nullptr;
    std::vector<AnnotationPtr> annotations;
    Rect imageDrawRect;
    std::optional<Rect> cropRect;
    std::optional<AnnotationBackgroundStyle> background;
};

struct AnnotationExportError {
    enum class Step { composite, crop, frame };
    Step step;
    std::string message;
};

namespace AnnotationExportPipeline {

// A `cache` (optional) keeps the backdrop and shadow between calls; its
// backdrop key uses `backdropRevision`, which must change whenever the
// mosaic boxes do.
Expected<Image, AnnotationExportError> render(const AnnotationExportInputs& inputs, const PangoTextEngine& text,
                                              AnnotationBackgroundBitmapCache* cache = nullptr,
                                              uint64_t backdropRevision = 0);
// The same from the annotations already composited onto the source (an
// open canvas's pixels, which equal the composite): crop and frame only.
Expected<Image, AnnotationExportError> finish(Image composited, const AnnotationExportInputs& inputs,
                                              const PangoTextEngine& text,
                                              AnnotationBackgroundBitmapCache* cache = nullptr,
                                              uint64_t backdropRevision = 0);

}  // namespace AnnotationExportPipeline
}  // namespace tessarin
