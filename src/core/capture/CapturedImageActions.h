#pragma once
// What can be done with one finished image from its Quick Access thumbnail
// (or a history cell): copy, save, annotate, extract text. The side effects
// are injected services, so the actions run against substitutes in tests
// and against the desktop's clipboard, editor and text recogniser in the
// application.

#include <functional>
#include <optional>
#include <string>

#include "core/capture/BackgroundImageWriter.h"
#include "core/capture/CaptureHistoryStore.h"

namespace tessarin::CapturedImageActions {

struct Services {
    std::function<void(SharedImage, Completion<bool>)> copyToClipboard;
    // Completes with the saved file or the error that stopped it.
    std::function<void(SharedImage, ImageFormat, Completion<PathResult>)> saveToDefaultLocation;
    std::function<void(const std::string& message)> presentSaveFailure;
    std::function<void(SharedImage)> extractText;
};

// How an image reaches the annotation editor and where the edited result goes.
struct AnnotationRoute {
    using EditorFinished = std::function<void(SharedImage edited)>;

    std::optional<CaptureSessionInfo> session;
    // Opens the editor with an image; calls the second argument with the
    // result when the user finishes (not at all when the edit is abandoned).
    std::function<void(SharedImage, EditorFinished)> openEditor;
    // Writes the edited result back (into the capture's history item).
    std::function<void(SharedImage edited)> store;
    std::function<void(SharedImage edited)> presentThumbnail;

    // The route used after captures: the edited image replaces the
    // capture's history entry (through `store`) rather than adding one.
    static AnnotationRoute mergingIntoCaptureHistory(std::optional<CaptureSessionInfo> session,
                                                     std::function<void(SharedImage, EditorFinished)> openEditor,
                                                     std::function<void(SharedImage)> store,
                                                     std::function<void(SharedImage)> presentThumbnail);

    // Opens the editor with `image`; the finished result is stored, then shown.
    void annotate(SharedImage image) const;
};

struct ThumbnailActions {
    std::function<void(Completion<bool>)> copy;
    std::function<void()> save;
    std::function<void()> annotate;
    std::function<void()> extractText;
};

// Save failures reach the user through services.presentSaveFailure with the
// error's description; nothing is retried.
ThumbnailActions thumbnailActions(SharedImage image, ImageFormat saveFormat, AnnotationRoute annotation,
                                  Services services);

}  // namespace tessarin::CapturedImageActions
