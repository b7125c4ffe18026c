#pragma once
// The crop tool as the editor model sees it: an AnnotationCropSession over
// the crop's own state (AnnotationCropSessionState), which the canvas also
// drives directly for drags, presets, arrow nudges and the overlay.

#include <memory>

#include "core/annotation/AnnotationCrop.h"
#include "core/annotation/AnnotationEditorPorts.h"

namespace tessarin {

class AnnotationCropTool final : public AnnotationCropSession {
public:
    AnnotationCropTool(const Rect& imageRect, double pixelsPerPoint, std::optional<Rect> currentCrop)
        : state_(imageRect, pixelsPerPoint, currentCrop) {}

    std::optional<Rect> rectToApply() const override { return state_.rectToApply(); }
    // Return and Enter apply, Escape cancels (ending a drag still under way
    // first); the rest is the canvas's.
    AnnotationCropKeyResult handleKey(const AnnotationKey& key) override;

    AnnotationCropSessionState& state() { return state_; }
    const AnnotationCropSessionState& state() const { return state_; }

    // Sessions for an image whose pixels are `pixelsPerPoint` to a point.
    static AnnotationCropSessionFactory factory(double pixelsPerPoint);

private:
    AnnotationCropSessionState state_;
};

}  // namespace tessarin
