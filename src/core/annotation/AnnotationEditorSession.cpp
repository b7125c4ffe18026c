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
    // The completion may answer later (a history write), when the editor
    // may have let go of the session.
    completion_(std::move(image), [self = weak_from_this(), finished = std::move(finished)](AnnotationDeliveryResult result) {
        if (auto session = self.lock()) {
            session->delivering_ = false;
            if (result.kind == AnnotationDeliveryResult::Kind::delivered) session->completed_ = true;
        }
        if (finished) finished(std::move(result));
    });
}

}  // namespace tessarin
