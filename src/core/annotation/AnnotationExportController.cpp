#include "core/annotation/AnnotationExportController.h"

namespace tessarin {

bool AnnotationExportController::start(AnnotationExportAction action, AnnotationEditorSessionPtr session,
                                       AnnotationCompositeInputs inputs,
                                       std::function<void(AnnotationExportOutcome)> finished) {
    if (isExporting_ || !session) return false;
    isExporting_ = true;
    const AnnotationID sessionID = session->id();
    std::weak_ptr<bool> alive = alive_;
    // Whatever path the export takes, this runs once and last.
    auto report = [this, alive, action, sessionID, finished](AnnotationDeliveryResult result) {
        if (alive.expired()) return;
        isExporting_ = false;
        if (finished) finished({action, std::move(result), sessionID});
    };
    renderer_.render(std::move(inputs), [this, alive, action, session, report](std::optional<Image> image) {
        if (alive.expired()) return;
        if (!image) return report(AnnotationDeliveryResult::failed(std::string(kRenderFailedMessage)));
        deliver(action, session, std::make_shared<const Image>(std::move(*image)), report);
    });
    return true;
}

void AnnotationExportController::deliver(AnnotationExportAction action, const AnnotationEditorSessionPtr& session,
                                         std::shared_ptr<const Image> image, AnnotationDeliveryCallback finished) {
    switch (action) {
        case AnnotationExportAction::done: return session->complete(std::move(image), std::move(finished));
        case AnnotationExportAction::saveAs:
            if (!delivery_) return finished(AnnotationDeliveryResult::failed("Saving is not available."));
            return delivery_->saveAs(std::move(image), std::move(finished));
        case AnnotationExportAction::copy:
            if (!delivery_) return finished(AnnotationDeliveryResult::failed("Copying is not available."));
            return delivery_->copy(std::move(image), std::move(finished));
    }
}

}  // namespace tessarin
