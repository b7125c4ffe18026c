#pragma once
// The thumbnail's annotate action once an annotation editor exists: the
// editor opens on the image, and the finished edit replaces the capture's
// history item (through the ticket the thumbnail held) and is shown in a
// thumbnail of its own. An abandoned edit changes nothing.

#include <functional>
#include <memory>
#include <optional>

#include "core/flow/CaptureCompletionRouter.h"
#include "core/flow/CaptureFlowPorts.h"

namespace tessarin {

using ThumbnailAnnotate =
    std::function<void(SharedImage, std::optional<CaptureSessionInfo>, std::shared_ptr<CapturePersistenceTicket>)>;

// `format` is read when the edited thumbnail is shown.
ThumbnailAnnotate annotateThroughEditor(AnnotationEditorOpener& editor,
                                        CaptureCompletionRouter::StoreEdited storeEdited,
                                        QuickAccessPresenter& thumbnails, std::function<ImageFormat()> format);

}  // namespace tessarin
