#pragma once
// The area-selection overlay on screen: one frameless, always-on-top window
// per display at the display's exact geometry, over a frozen image of it
// (or, with a compositor and no frozen image, a translucent dim over the
// live screen). Each window forwards its events to the OverlaySession and
// paints the OverlayDrawing it describes; every decision lives there.
//
// The overlay takes the keyboard by a grab, so the window that had the
// focus keeps it. On Wayland, where a client can neither place a window nor
// grab the keyboard, each window is full screen on its output and the
// compositor gives the focus to the one that takes the keys. It ends on the session's first confirmation or
// cancellation, or when a display is added, removed or changed.

#include <QObject>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "core/capture/FrozenScreens.h"
#include "core/capture/OverlaySession.h"

class QScreen;

namespace tessarin {

class OverlayWindow;

class SelectionOverlay final : public QObject {
public:
    using Done = std::function<void(std::optional<OverlayOutcome>)>;

    // `frozen` may be null (the live screen shows through). `done` runs
    // once, from the event loop, after every window is hidden.
    SelectionOverlay(std::vector<DisplayDescription> displays, const CaptureSelectionRequest& request,
                     size_t startingDisplay, std::shared_ptr<const FrozenScreens> frozen,
                     OverlayEnvironment environment, Done done);
    ~SelectionOverlay() override;

    // Readies what every overlay needs (the window writer, fonts), so the
    // first one opens as fast as the others. For after start-up.
    static void prepare();

    void show();
    // Ends it without a selection (the flow was aborted).
    void cancel();
    // The window ids of the overlay, which captures must never contain.
    std::vector<uint32_t> windowIds() const;

    // Called by the windows.
    OverlaySession& session() { return session_; }
    void apply(size_t display, const OverlaySessionResponse& response);
    void keyboardUnavailable();
    void windowPainted();

private:
    void finish();
    void displaysChanged();

    OverlaySession session_;
    std::vector<DisplayDescription> displays_;
    std::shared_ptr<const FrozenScreens> frozen_;
    std::vector<std::unique_ptr<OverlayWindow>> windows_;
    Done done_;
    bool finishing_ = false;
    size_t paintedWindows_ = 0;
};

}  // namespace tessarin
