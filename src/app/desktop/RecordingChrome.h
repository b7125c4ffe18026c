#pragma once
// The recording's chrome on screen: the frame ring just outside the
// recorded rectangle (one window shaped to the ring, so no compositor is
// needed and nothing of it is grabbed), and the control panel with the
// clock, the microphone state, Stop and Discard. With a compositor the rest
// of the display is dimmed around the ring. Where they go is decided by
// layoutRecordingChrome; these windows only place and paint.
//
// The panel can be dragged away or closed by the window manager; the
// recording goes on, and the tray row or the shortcut stops it.

#include <QPointer>
#include <functional>

#include "core/recordingflow/RecordingChromeLayout.h"
#include "core/recordingflow/RecordingFlowController.h"

class QLabel;
class QWidget;

namespace tessarin {

class RecordingPanel;

class RecordingChrome final : public RecordingChromeView {
public:
    // `compositing` says whether a compositor can show a translucent dim.
    RecordingChrome(RecordingConfiguration configuration, std::function<void()> stop, std::function<void()> discard,
                    std::function<bool()> compositing = {});
    ~RecordingChrome() override;

    void showFrame(const CaptureSelection& selection) override;
    void showPanel(const CaptureSelection& selection, bool microphoneEnabled) override;
    void setClockText(const std::string& text) override;
    void close() override;

private:
    RecordingChromeLayout layoutFor(const CaptureSelection& selection) const;

    RecordingConfiguration configuration_;
    std::function<void()> stop_;
    std::function<void()> discard_;
    std::function<bool()> compositing_;
    QPointer<QWidget> frame_;
    QPointer<QWidget> dim_;
    QPointer<RecordingPanel> panel_;
};

}  // namespace tessarin
