#pragma once
// The capture flow in the desktop application: the flow controller and its
// completion over the application's stores, with the desktop's views (the
// selection overlay, the window pick, the self-timer badge), the clipboard,
// the capture sound and the focus restore. The tray rows and shortcuts run
// its entry points through the application state.
//
// Pinned screenshots are DesktopPins, the annotation editor
// DesktopAnnotationEditor. What later features provide (scrolling and
// recording chrome) is a stand-in here that logs what it was given; the
// All-in-One toolbar leaves their buttons out.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/common/Executor.h"
#include "core/recording/TextRecognition.h"
#include "core/shell/AppState.h"
#include "core/shell/TessarinApp.h"

namespace tessarin {

class DesktopLinks;

class DesktopCapture {
public:
    // `recognizer` reads text on `background` and must outlive it.
    DesktopCapture(TessarinApp& app, Executor& main, Executor& background, AlertPresenter& alerts,
                   TextRecognizer& recognizer);
    ~DesktopCapture();
    DesktopCapture(const DesktopCapture&) = delete;
    DesktopCapture& operator=(const DesktopCapture&) = delete;

    // An action another program asked for on the session bus
    // (org.freedesktop.Application.ActivateAction): a tray row by its action
    // name ("captureFullScreen", "restoreRecentlyClosed"); a capture row may
    // name what to do with the image instead of the usual completion, as
    // its one parameter ("pin", "copy", "save", "annotate", "ocr"). Unknown
    // names are logged and ignored.
    void activateAction(const std::string& name, const std::vector<std::string>& parameters);

    // Quitting asks first about unsaved edits in the annotation editor:
    // `decided` hears whether the application may go on quitting.
    void requestQuit(std::function<void(bool mayQuit)> decided);

    // Before the background executor stops: work in flight completes as
    // cancelled and nothing reaches the user any more.
    void shutdown();

private:
    struct Parts;
    std::unique_ptr<Parts> parts_;
    std::unique_ptr<DesktopLinks> links_;  // before the parts it uses go
};

}  // namespace tessarin
