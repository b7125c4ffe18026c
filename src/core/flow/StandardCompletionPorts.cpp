#include "core/flow/StandardCompletionPorts.h"

namespace tessarin {

void ScreenTextExtractionPort::extract(SharedImage image, bool joinLines) {
    if (!image) return;
    ScreenTextExtraction::extractAndPresent(
        image->clone(), joinLines,
        [recognize = recognize_](Image picture, Completion<RecognizedText> done) {
            recognize(std::move(picture), std::move(done));
        },
        present_, failure_);
}

CaptureCompletionRouter::StoreCapture storingIn(CaptureHistoryAdmission& admission) {
    return [&admission](SharedImage image, const CaptureSession& session) {
        return admission.admit(std::move(image), session.info());
    };
}

CaptureCompletionRouter::StoreEdited mergingEditsInto(CaptureHistoryAdmission& admission) {
    return [&admission](const std::shared_ptr<CapturePersistenceTicket>& ticket, SharedImage edited) {
        admission.mergeEdited(ticket, std::move(edited), [](CaptureHistoryStore::Result) {});
    };
}

}  // namespace tessarin
