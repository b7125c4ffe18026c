#pragma once
// The capture flow in the desktop application: the flow controller and its
// completion over the application's stores, with the desktop's views (the
// selection overlay, the window pick, the self-timer badge), the clipboard,
// the capture sound and the focus restore. The tray rows and shortcuts run
// its entry points through the application state.
//
// What later features provide (the Quick Access thumbnail, pins, the
// editor, scrolling and recording chrome, the text result window) is a
// stand-in here that logs what it was given; the All-in-One toolbar leaves
// their buttons out.

#include <memory>

#include "core/common/Executor.h"
#include "core/shell/AppState.h"
#include "core/shell/TessarinApp.h"

namespace tessarin {

class DesktopLinks;

class DesktopCapture {
public:
    DesktopCapture(TessarinApp& app, Executor& main, Executor& background, AlertPresenter& alerts);
    ~DesktopCapture();
    DesktopCapture(const DesktopCapture&) = delete;
    DesktopCapture& operator=(const DesktopCapture&) = delete;

    // Before the background executor stops: work in flight completes as
    // cancelled and nothing reaches the user any more.
    void shutdown();

private:
    struct Parts;
    std::unique_ptr<Parts> parts_;
    std::unique_ptr<DesktopLinks> links_;  // before the parts it uses go
};

}  // namespace tessarin
