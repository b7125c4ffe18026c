#pragma once
// The interactive scrolling capture in the desktop application: the region
// is picked on the selection overlay (unless the flow brings one), then
// streamed and stitched by ScrollingCaptureSession while its chrome is on
// screen: a ring just outside the region, the control panel (Auto Scroll
// where synthetic scrolling is possible, Cancel, Done and the session's
// hint) and the live preview beside it. Nothing of the chrome lies inside
// the region, which is read from the screen; where the compositor places
// windows (Wayland) only the panel is shown. The session decides; these
// windows place, paint and forward clicks.

#include <QPointer>
#include <QTimer>
#include <memory>

#include "core/capture/ScreenCaptureService.h"
#include "core/common/Executor.h"
#include "core/common/Lifetime.h"
#include "core/flow/CaptureFlowPorts.h"
#include "core/scrolling/ScrollingCaptureSession.h"

class QWidget;

namespace tessarin {

class ScrollingPanel;
class ScrollingPreview;

class DesktopScrolling final : public ScrollingCaptureHandOff {
public:
    // The region stream is opened on `background` (a portal may show its
    // screen chooser first); everything else happens on `main`.
    DesktopScrolling(ScreenCaptureService& screen, CaptureSelectionPresenter& selection, Executor& main,
                     Executor& background);
    ~DesktopScrolling() override;

    void run(ScrollingCaptureRequest request, Completion<PickedImage> done) override;
    // Quitting: a running capture ends as if cancelled, and a stream still
    // being opened is dropped when it comes.
    void cancel();

private:
    using OpenedStream = Expected<std::unique_ptr<RegionFrameStream>, CaptureError>;
    void begin(const std::string& captureID, const CaptureSelection& selection, bool autoScroll);
    void started(OpenedStream opened, ScrollingCaptureSession::Hooks hooks, bool autoScroll, const AccessStatus& input);
    void finishWith(PickedImage result);
    void showChrome(const CaptureSelection& selection);
    void showPreview(const std::shared_ptr<const Image>& image);
    void poll();
    void end(bool accepted);
    void closeChrome();

    ScreenCaptureService& screen_;
    CaptureSelectionPresenter& selection_;
    Executor& main_;
    Executor& background_;
    LifetimeToken lifetime_;
    ScrollingCaptureConfiguration configuration_;
    std::unique_ptr<ScrollingCaptureSession> session_;
    Completion<PickedImage> done_;
    bool opening_ = false;  // the chrome is up, the stream not yet
    uint64_t attempt_ = 0;  // which begin() a stream that comes belongs to
    QTimer poll_;
    Rect region_;  // Qt's desktop coordinates
    Rect frame_;   // the region with the ring around it
    Rect chromeBounds_;  // the ring and the panel
    bool placesChrome_ = true;  // false where the compositor places windows
    QPointer<QWidget> ring_;
    QPointer<ScrollingPanel> panel_;
    QPointer<ScrollingPreview> preview_;
};

}  // namespace tessarin
