#pragma once
// The video editor's window over VideoEditorModel: the preview with play
// and pause, the trim strip, the size preset (or a custom size), quality,
// the audio treatment and volume, the size estimate, and the export with
// its progress and Cancel. Without a recording it shows the empty state.
//
// Frames come from the media module's frame reader: the preview's own
// reader on the main thread (a scrub decodes one frame), and a second one
// on a worker that fills the strip. The export runs on a worker too; the
// controls are locked while it runs.
//
// Playback plays the sound through the media module's audio player, on its
// own thread, and the picture follows the sound's clock; the audio mode
// and volume set what is heard ("Mute" plays silence). Without sound in the
// recording, or without a sound server, the picture keeps its own time.

#include <QWidget>
#include <atomic>
#include <filesystem>
#include <memory>
#include <optional>
#include <thread>

#include "core/recording/MediaEngine.h"
#include "core/recording/VideoEditorModel.h"

class QComboBox;
class QElapsedTimer;
class QLabel;
class QProgressBar;
class QPushButton;
class QSlider;
class QSpinBox;
class QTimer;

namespace tessarin {

class TrimStripWidget;
class FrameView;

class VideoEditorWindow final : public QWidget {
public:
    // `engine` may be null (`unavailable` says why) and `movie` empty: the
    // empty state, with the reason when there is one.
    VideoEditorWindow(MediaEngine* engine, const std::filesystem::path& movie, const std::string& unavailable = {});
    ~VideoEditorWindow() override;

    bool hasVideo() const { return model_ != nullptr; }
    // Shows the frame at `seconds` (the playhead, kept inside the trim range).
    void showFrameAt(double seconds);

protected:
    // Space plays and pauses.
    void keyPressEvent(QKeyEvent* event) override;

private:
    void buildEmpty(const QString& problem);
    void buildEditor();
    QWidget* buildSettings();
    void loadStrip();
    void togglePlayback();
    void playbackTick();
    void stopPlayback();
    double playbackPosition() const;
    void refreshTexts();
    void startExport();
    void exportFinished(Expected<VideoEditResult, RecordingError> result);
    void setControlsEnabled(bool enabled);

    MediaEngine* engine_;
    std::unique_ptr<VideoEditorModel> model_;
    std::unique_ptr<VideoFrameReader> reader_;
    FrameView* preview_ = nullptr;
    TrimStripWidget* strip_ = nullptr;
    QPushButton* play_ = nullptr;
    QLabel* time_ = nullptr;
    QLabel* range_ = nullptr;
    QComboBox* preset_ = nullptr;
    QSpinBox* width_ = nullptr;
    QSpinBox* height_ = nullptr;
    QSlider* quality_ = nullptr;
    QLabel* qualityLabel_ = nullptr;
    QComboBox* audio_ = nullptr;
    QSlider* volume_ = nullptr;
    QLabel* outputSize_ = nullptr;
    QLabel* estimate_ = nullptr;
    QPushButton* export_ = nullptr;
    QPushButton* cancel_ = nullptr;
    QProgressBar* progress_ = nullptr;
    QLabel* status_ = nullptr;
    QTimer* playback_ = nullptr;
    std::unique_ptr<QElapsedTimer> playClock_;
    double playFrom_ = 0;
    std::unique_ptr<VideoAudioPlayer> sound_;  // none: no sound track, or no media module
    bool soundPlaying_ = false;  // the picture follows the sound's clock
    bool updating_ = false;

    std::atomic<bool> stripCancel_{false};
    std::thread stripWorker_;
    std::atomic<bool> exportCancel_{false};
    std::thread exportWorker_;
};

}  // namespace tessarin
