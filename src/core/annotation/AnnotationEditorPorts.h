#pragma once
// What the editor model needs from the parts around it, as small
// interfaces: the crop tool, the export renderer, the places a finished
// image goes, and the remembered tool. The desktop layer and the crop and
// background code implement them; tests substitute their own.

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/annotation/Annotation.h"
#include "core/annotation/AnnotationBackgroundStyle.h"
#include "core/annotation/AnnotationInteractionTypes.h"
#include "core/common/Image.h"

namespace tessarin {

// ---- crop -------------------------------------------------------------------

enum class AnnotationCropKeyResult { ignored, handled, apply, cancel };

// An open crop, as the crop tool keeps it while the crop panel is open.
class AnnotationCropSession {
public:
    virtual ~AnnotationCropSession() = default;
    // The crop (drawing space) that applying the session sets; nothing
    // removes the crop.
    virtual std::optional<Rect> rectToApply() const = 0;
    // Keys go here while a crop is open.
    virtual AnnotationCropKeyResult handleKey(const AnnotationKey& key) = 0;
};

// Starts a crop session over the image (drawing space) from the current crop.
using AnnotationCropSessionFactory =
    std::function<std::unique_ptr<AnnotationCropSession>(std::optional<Rect> currentCrop, const Rect& imageRect)>;

// ---- background panel ---------------------------------------------------------

// The background panel's memory beside the document's current background.
struct AnnotationBackgroundPanelState {
    std::optional<AnnotationBackgroundStyle> lastBackgroundStyle;  // restored when re-enabled
    std::optional<AnnotationBackgroundImage> backgroundImage;
    std::optional<AnnotationBackgroundColor> customBackgroundColor;
    double lastBlurAmount = 0.5;
    bool isAdjustingBackground = false;  // a slider is being dragged
};

// ---- export -----------------------------------------------------------------

// Everything the finished image is made from, copied at the start of an
// export so later edits cannot reach it.
struct AnnotationCompositeInputs {
    std::shared_ptr<const Image> source;
    std::vector<AnnotationPtr> annotations;
    Rect imageDrawRect;
    std::optional<Rect> cropRect;
    std::optional<AnnotationBackgroundStyle> background;
};

struct AnnotationDeliveryResult {
    enum class Kind { delivered, cancelled, failed } kind = Kind::delivered;
    std::string error;  // failed only: what the user is told

    static AnnotationDeliveryResult delivered() { return {Kind::delivered, {}}; }
    static AnnotationDeliveryResult cancelled() { return {Kind::cancelled, {}}; }
    static AnnotationDeliveryResult failed(std::string message) { return {Kind::failed, std::move(message)}; }
};
using AnnotationDeliveryCallback = std::function<void(AnnotationDeliveryResult)>;

// Composites, crops and frames the image; may finish later on the main
// thread. Nothing means it failed.
class AnnotationExportRenderer {
public:
    virtual ~AnnotationExportRenderer() = default;
    virtual void render(AnnotationCompositeInputs inputs, std::function<void(std::optional<Image>)> finished) = 0;
};

// Save As (the desktop's file dialog, then the encoder) and Copy (the clipboard).
class AnnotationExportDelivery {
public:
    virtual ~AnnotationExportDelivery() = default;
    virtual void saveAs(std::shared_ptr<const Image> image, AnnotationDeliveryCallback finished) = 0;
    virtual void copy(std::shared_ptr<const Image> image, AnnotationDeliveryCallback finished) = 0;
};

// ---- preferences -------------------------------------------------------------

// The remembered editor tool ("lastAnnotationTool").
class AnnotationToolMemory {
public:
    virtual ~AnnotationToolMemory() = default;
    virtual std::optional<AnnotationToolType> lastTool() const = 0;
    virtual void rememberTool(AnnotationToolType tool) = 0;
};

}  // namespace tessarin
