#include "core/annotation/AnnotationEditorSession.h"

namespace tessarin {

AnnotationEditorSession::AnnotationEditorSession(std::shared_ptr<const Image> image, Completion completion)
    : image_(std::move(image)), completion_(std::move(completion)) {}

void AnnotationEditorSession::complete(std::shared_ptr<const Image> image, AnnotationDeliveryCallback finished) {
    if (completed_ || delivering_) {
        if (finished) finished(AnnotationDeliveryResult::failed("This edit was already delivered."));
        return;
    }
    if (!completion_) {
        // Reporting success here would drop the edit silently: every opener gives a route.
        if (finished) finished(AnnotationDeliveryResult::failed(std::string(kNoRouteMessage)));
        return;
    }
    delivering_ = true;
    completion_(std::move(image), [this, finished = std::move(finished)](AnnotationDeliveryResult result) {
        delivering_ = false;
        if (result.kind == AnnotationDeliveryResult::Kind::delivered) completed_ = true;
        if (finished) finished(std::move(result));
    });
}

}  // namespace tessarin
