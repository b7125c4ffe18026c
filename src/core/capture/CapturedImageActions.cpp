#include "core/capture/CapturedImageActions.h"

namespace tessarin::CapturedImageActions {

AnnotationRoute AnnotationRoute::mergingIntoCaptureHistory(std::optional<CaptureSessionInfo> session,
                                                           std::function<void(SharedImage, EditorFinished)> openEditor,
                                                           std::function<void(SharedImage)> store,
                                                           std::function<void(SharedImage)> presentThumbnail) {
    return {std::move(session), std::move(openEditor), std::move(store), std::move(presentThumbnail)};
}

void AnnotationRoute::annotate(SharedImage image) const {
    if (!openEditor) return;
    openEditor(std::move(image), [store = store, present = presentThumbnail](SharedImage edited) {
        if (store) store(edited);
        if (present) present(edited);
    });
}

ThumbnailActions thumbnailActions(SharedImage image, ImageFormat saveFormat, AnnotationRoute annotation,
                                  Services services) {
    auto shared = std::make_shared<Services>(std::move(services));
    ThumbnailActions actions;
    actions.copy = [image, shared](Completion<bool> done) {
        if (!shared->copyToClipboard) return done(false);
        shared->copyToClipboard(image, std::move(done));
    };
    actions.save = [image, saveFormat, shared] {
        if (!shared->saveToDefaultLocation) return;
        shared->saveToDefaultLocation(image, saveFormat, [shared](PathResult saved) {
            if (!saved && shared->presentSaveFailure) shared->presentSaveFailure(saved.error().description());
        });
    };
    actions.annotate = [image, annotation = std::move(annotation)] { annotation.annotate(image); };
    actions.extractText = [image, shared] {
        if (shared->extractText) shared->extractText(image);
    };
    return actions;
}

}  // namespace tessarin::CapturedImageActions
