#pragma once
// Pinned screenshots in the desktop application: the pin store in the
// application's data folder, the pin windows, and the presenter over them
// (core/pins), with the history's removals, the displays' changes, the tray's
// "Restore Recently Closed" row and the quit wired to it.

#include <memory>

#include "core/capture/ScreenCaptureService.h"
#include "core/common/Executor.h"
#include "core/flow/CaptureFlowPorts.h"
#include "core/pins/PinnedScreenshotPresenter.h"
#include "core/shell/TessarinApp.h"

namespace tessarin {

class DesktopPins {
public:
    DesktopPins(TessarinApp& app, ScreenCaptureService& screen, Executor& main, Executor& background,
                FlowAlerts& alerts, ClipboardWriter& clipboard, ImageSaver& saver);
    ~DesktopPins();
    DesktopPins(const DesktopPins&) = delete;
    DesktopPins& operator=(const DesktopPins&) = delete;

    // The capture flow's port, and what the history window and Quick Access
    // need besides (pin under a history item's id, unpin).
    PinnedScreenshotPresenter& presenter();
    // Brings back the pins of the last run, from the event loop.
    void restoreAtLaunch();
    // After the event loop: closes the windows and writes what is pending.
    void shutdown();

private:
    struct Parts;
    std::unique_ptr<Parts> parts_;
};

}  // namespace tessarin
