#include "core/annotation/AnnotationCropTool.h"

namespace tessarin {

AnnotationCropKeyResult AnnotationCropTool::handleKey(const AnnotationKey& key) {
    std::optional<AnnotationCropKey> cropKey;
    if (key.kind == AnnotationKey::Kind::returnKey) cropKey = AnnotationCropKey::returnKey;
    if (key.kind == AnnotationKey::Kind::escape) cropKey = AnnotationCropKey::escape;
    if (!cropKey) return AnnotationCropKeyResult::ignored;
    // A key while the button is still held ends the drag where it is first,
    // as on the canvas.
    if (state_.drag()) state_.endDrag();
    switch (state_.handleKey(*cropKey, key.modifiers.shift)) {
        case AnnotationCropKeyOutcome::apply: return AnnotationCropKeyResult::apply;
        case AnnotationCropKeyOutcome::cancel: return AnnotationCropKeyResult::cancel;
        case AnnotationCropKeyOutcome::moved: return AnnotationCropKeyResult::handled;
        case AnnotationCropKeyOutcome::ignored: return AnnotationCropKeyResult::ignored;
    }
    return AnnotationCropKeyResult::ignored;
}

AnnotationCropSessionFactory AnnotationCropTool::factory(double pixelsPerPoint) {
    return [pixelsPerPoint](std::optional<Rect> currentCrop, const Rect& imageRect) {
        return std::make_unique<AnnotationCropTool>(imageRect, pixelsPerPoint, currentCrop);
    };
}

}  // namespace tessarin
