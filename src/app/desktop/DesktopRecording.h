#pragma once
// "Record Video" in the desktop application: the recording flow over the
// media module, with the selection overlay, the chrome and panel, the
// video thumbnail (in the Quick Access column) and the video editor as its
// views.

#include <functional>
#include <memory>

#include "core/capture/ScreenCaptureService.h"
#include "core/common/Executor.h"
#include "core/flow/CaptureFlowPorts.h"
#include "core/shell/TessarinApp.h"
#include "platform/CaptureSoundPlayer.h"
#include "platform/ScreenBackend.h"

namespace tessarin {

class QuickAccessThumbnails;

class DesktopRecording {
public:
    struct Ports {
        TessarinApp& app;
        Executor& main;
        Executor& background;
        ScreenBackend& backend;
        CaptureSelectionPresenter& selection;
        CaptureSoundPlayer& sound;
        AlertPresenter& alerts;
        FlowAlerts& flowAlerts;
        // Where a kept recording's thumbnail joins the captures' column.
        QuickAccessThumbnails& quickAccess;
        // Whether a compositor runs (the outside of the recording is dimmed then).
        std::function<bool()> compositing = {};
    };
    explicit DesktopRecording(Ports ports);
    ~DesktopRecording();

    // "Record Video": starts, or stops the running recording.
    void toggle();
    // From the press until the movie is finished (its overlay included).
    bool isBusy() const;
    // Opens the editor on a movie (empty: the empty state).
    void openEditor(const std::filesystem::path& movie);
    // Quitting: finishes a running recording, keeping the file, and closes our windows.
    void shutdown();

private:
    struct Parts;
    std::unique_ptr<Parts> parts_;
};

}  // namespace tessarin
