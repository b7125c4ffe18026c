#include "core/quickaccess/ThumbnailAnnotation.h"

#include "core/capture/CapturedImageActions.h"

namespace tessarin {

ThumbnailAnnotate annotateThroughEditor(AnnotationEditorOpener& editor,
                                        CaptureCompletionRouter::StoreEdited storeEdited,
                                        QuickAccessPresenter& thumbnails, std::function<ImageFormat()> format) {
    return [&editor, storeEdited = std::move(storeEdited), &thumbnails, format = std::move(format)](
               SharedImage image, std::optional<CaptureSessionInfo> session,
               std::shared_ptr<CapturePersistenceTicket> ticket) {
        // A thumbnail restored without its capture session still opens.
        const CaptureSessionInfo info = session.value_or(CaptureSessionInfo{});
        auto open = [&editor, info](SharedImage picture, CapturedImageActions::AnnotationRoute::EditorFinished done) {
            editor.open(std::move(picture), info, std::move(done));
        };
        auto store = [storeEdited, ticket](SharedImage edited) {
            if (storeEdited) storeEdited(ticket, std::move(edited));
        };
        auto present = [&thumbnails, ticket, info, format](SharedImage edited) {
            thumbnails.present(std::move(edited), ticket, format ? format() : ImageFormat::png(), info);
        };
        CapturedImageActions::AnnotationRoute::mergingIntoCaptureHistory(session, std::move(open), std::move(store),
                                                                          std::move(present))
            .annotate(std::move(image));
    };
}

}  // namespace tessarin
