#include "app/desktop/VideoEditorWindow.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QTimer>
#include <QVBoxLayout>

#include "app/desktop/TrimStripWidget.h"
#include "core/common/Localization.h"
#include "core/common/Log.h"

namespace tessarin {

namespace {

constexpr size_t kStripFrames = 10;

QString qs(const std::string& text) { return QString::fromStdString(text); }
QString uiText(const char* text) { return qs(localized(text)); }

QImage qimageOf(const Image& image) {
    return QImage(image.data(), int(image.width()), int(image.height()), int(image.stride()), QImage::Format_RGBA8888)
        .copy();
}

}  // namespace

// The preview: the current frame, letterboxed.
class FrameView final : public QWidget {
public:
    explicit FrameView(QWidget* parent) : QWidget(parent) {
        setObjectName("preview");
        setMinimumSize(480, 270);
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    }
    void setFrame(QImage frame) {
        frame_ = std::move(frame);
        repaint();  // a scrub shows its frame before the next event
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.fillRect(rect(), Qt::black);
        if (frame_.isNull()) return;
        const QSize size = frame_.size().scaled(this->size(), Qt::KeepAspectRatio);
        const QRect target(QPoint((width() - size.width()) / 2, (height() - size.height()) / 2), size);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(target, frame_);
    }

private:
    QImage frame_;
};

VideoEditorWindow::VideoEditorWindow(MediaEngine* engine, const std::filesystem::path& movie,
                                     const std::string& unavailable)
    : engine_(engine) {
    setObjectName("tessarinVideoEditor");
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(uiText("Edit Video"));
    QString problem = qs(unavailable);
    if (engine_ && !movie.empty()) {
        auto source = engine_->openVideo(movie);
        auto reader = source ? engine_->openFrameReader(movie) : unexpected(source.error());
        if (source && reader) {
            model_ = std::make_unique<VideoEditorModel>(std::move(*source));
            reader_ = std::move(*reader);
        } else {
            problem = qs((source ? reader.error() : source.error()).description());
        }
    }
    if (!model_) {
        buildEmpty(problem);
        return;
    }
    setWindowTitle(uiText("Edit Video") + " — " + qs(movie.filename().string()));
    if (model_->source().hasAudio) {
        auto sound = engine_->openAudioPlayer(movie);
        if (sound) {
            sound_ = std::move(*sound);
        } else {
            logLine(LogLevel::info, LogCategory::capture, "video_editor.sound unavailable " + sound.error().description());
        }
    }
    buildEditor();
    // The poster frame at once; the decoder's first frame replaces it.
    if (model_->source().posterFrame.width() > 0) preview_->setFrame(qimageOf(model_->source().posterFrame));
    QTimer::singleShot(0, this, [this] { showFrameAt(0); });
    loadStrip();
}

VideoEditorWindow::~VideoEditorWindow() {
    sound_.reset();  // stops its thread
    stripCancel_ = true;
    exportCancel_ = true;
    if (stripWorker_.joinable()) stripWorker_.join();
    if (exportWorker_.joinable()) exportWorker_.join();
}

void VideoEditorWindow::buildEmpty(const QString& problem) {
    auto* column = new QVBoxLayout(this);
    auto* title = new QLabel(qs(VideoEditorModel::emptyTitle()), this);
    title->setObjectName("emptyTitle");
    QFont big = title->font();
    big.setPointSizeF(big.pointSizeF() * 1.4);
    big.setBold(true);
    title->setFont(big);
    auto* message = new QLabel(qs(VideoEditorModel::emptyMessage()), this);
    column->addStretch();
    for (auto* label : {title, message}) {
        label->setAlignment(Qt::AlignCenter);
        column->addWidget(label);
    }
    if (!problem.isEmpty()) {
        auto* detail = new QLabel(problem, this);
        detail->setObjectName("problem");
        detail->setAlignment(Qt::AlignCenter);
        column->addWidget(detail);
    }
    column->addStretch();
    resize(520, 320);
}

void VideoEditorWindow::buildEditor() {
    auto* column = new QVBoxLayout(this);
    preview_ = new FrameView(this);
    column->addWidget(preview_, 1);

    auto* transport = new QHBoxLayout();
    play_ = new QPushButton(uiText("Play"), this);
    play_->setFocusPolicy(Qt::NoFocus);
    play_->setObjectName("play");
    time_ = new QLabel(this);
    time_->setObjectName("time");
    range_ = new QLabel(this);
    range_->setObjectName("range");
    transport->addWidget(play_);
    transport->addWidget(time_);
    transport->addStretch();
    transport->addWidget(new QLabel(uiText("Trim:"), this));
    transport->addWidget(range_);
    column->addLayout(transport);

    strip_ = new TrimStripWidget(model_->source().duration, [this](TrimRangeControl::Part part) {
        if (part == TrimRangeControl::Part::startHandle || part == TrimRangeControl::Part::endHandle) {
            model_->editState().selectedTimeRange = strip_->control().range();
            refreshTexts();
        }
        stopPlayback();
        showFrameAt(strip_->control().playhead());
    }, this);
    strip_->control().setRange(model_->editState().selectedTimeRange);
    column->addWidget(strip_);
    column->addWidget(buildSettings());

    auto* actions = new QHBoxLayout();
    status_ = new QLabel(this);
    status_->setObjectName("status");
    progress_ = new QProgressBar(this);
    progress_->setRange(0, 1000);
    progress_->setVisible(false);
    cancel_ = new QPushButton(uiText("Cancel"), this);
    cancel_->setObjectName("cancel");
    cancel_->setVisible(false);
    export_ = new QPushButton(uiText("&Export"), this);
    export_->setObjectName("export");
    export_->setDefault(true);
    actions->addWidget(status_, 1);
    actions->addWidget(progress_, 1);
    actions->addWidget(cancel_);
    actions->addWidget(export_);
    column->addLayout(actions);
    auto* help = new QLabel(qs(VideoEditorModel::helpText()), this);
    help->setObjectName("help");
    help->setEnabled(false);
    column->addWidget(help);

    playback_ = new QTimer(this);
    playClock_ = std::make_unique<QElapsedTimer>();
    const double rate = model_->source().nominalFrameRate > 0 ? model_->source().nominalFrameRate : 30;
    playback_->setInterval(std::max(10, static_cast<int>(1000 / rate)));
    QObject::connect(playback_, &QTimer::timeout, this, [this] { playbackTick(); });
    QObject::connect(play_, &QPushButton::clicked, this, [this] { togglePlayback(); });
    QObject::connect(export_, &QPushButton::clicked, this, [this] { startExport(); });
    QObject::connect(cancel_, &QPushButton::clicked, this, [this] { exportCancel_ = true; });
    refreshTexts();
    resize(760, 640);
    strip_->setFocus(Qt::OtherFocusReason);
}

QWidget* VideoEditorWindow::buildSettings() {
    auto* settings = new QWidget(this);
    auto* form = new QFormLayout(settings);
    const VideoEditSource& source = model_->source();

    preset_ = new QComboBox(settings);
    preset_->setObjectName("preset");
    for (auto preset : kVideoDimensionPresets) preset_->addItem(qs(presetTitle(preset)));
    auto* size = new QHBoxLayout();
    width_ = new QSpinBox(settings);
    width_->setObjectName("width");
    height_ = new QSpinBox(settings);
    height_->setObjectName("height");
    for (auto* box : {width_, height_}) {
        box->setRange(2, int(kMaxVideoSide));
        box->setKeyboardTracking(false);
        box->setFixedWidth(90);
    }
    size->addWidget(preset_);
    size->addWidget(width_);
    size->addWidget(new QLabel(QString::fromUtf8("×"), settings));
    size->addWidget(height_);
    outputSize_ = new QLabel(settings);
    outputSize_->setObjectName("outputSize");
    size->addWidget(outputSize_);
    size->addStretch();
    auto* sizeLabel = new QLabel(uiText("&Size:"), settings);
    sizeLabel->setBuddy(preset_);
    form->addRow(sizeLabel, size);

    auto* quality = new QHBoxLayout();
    quality_ = new QSlider(Qt::Horizontal, settings);
    quality_->setObjectName("quality");
    quality_->setRange(0, 100);
    quality_->setValue(static_cast<int>(model_->editState().quality * 100 + 0.5));
    qualityLabel_ = new QLabel(settings);
    quality->addWidget(quality_);
    quality->addWidget(qualityLabel_);
    form->addRow(uiText("Quality:"), quality);

    auto* audio = new QHBoxLayout();
    audio_ = new QComboBox(settings);
    audio_->setObjectName("audio");
    for (auto mode : kVideoAudioModes) audio_->addItem(qs(audioModeTitle(mode)));
    volume_ = new QSlider(Qt::Horizontal, settings);
    volume_->setObjectName("volume");
    volume_->setRange(0, 200);
    volume_->setValue(100);
    audio->addWidget(audio_);
    audio->addWidget(volume_);
    form->addRow(uiText("Audio:"), audio);
    if (!source.hasAudio) {
        audio_->setEnabled(false);
        audio_->setToolTip(uiText("This recording has no sound."));
    }
    estimate_ = new QLabel(settings);
    estimate_->setObjectName("estimate");
    form->addRow(estimate_);

    QObject::connect(preset_, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (updating_ || index < 0) return;
        model_->editState().dimensionPreset = kVideoDimensionPresets[static_cast<size_t>(index)];
        if (model_->editState().dimensionPreset == VideoDimensionPreset::custom &&
            model_->editState().customSize.width <= 0) {
            model_->editState().customSize = model_->editState().resolvedOutputSize(model_->source().sourceSize);
        }
        refreshTexts();
    });
    QObject::connect(width_, &QSpinBox::valueChanged, this, [this](int value) {
        if (updating_) return;
        model_->editState().updateCustomWidth(value, model_->source().sourceSize);
        refreshTexts();
    });
    QObject::connect(height_, &QSpinBox::valueChanged, this, [this](int value) {
        if (updating_) return;
        model_->editState().updateCustomHeight(value, model_->source().sourceSize);
        refreshTexts();
    });
    QObject::connect(quality_, &QSlider::valueChanged, this, [this](int value) {
        model_->editState().quality = value / 100.0;
        refreshTexts();
    });
    QObject::connect(audio_, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (updating_ || index < 0) return;
        model_->editState().audioMode = kVideoAudioModes[static_cast<size_t>(index)];
        if (sound_) sound_->setGain(model_->editState().exportVolume());
        refreshTexts();
    });
    QObject::connect(volume_, &QSlider::valueChanged, this, [this](int value) {
        model_->editState().volumeMultiplier = value / 100.0;
        if (sound_) sound_->setGain(model_->editState().exportVolume());
        refreshTexts();
    });
    return settings;
}

void VideoEditorWindow::refreshTexts() {
    updating_ = true;
    const VideoEditState& state = model_->editState();
    const VideoSize size = state.resolvedOutputSize(model_->source().sourceSize);
    for (size_t i = 0; i < kVideoDimensionPresets.size(); ++i) {
        if (kVideoDimensionPresets[i] == state.dimensionPreset) preset_->setCurrentIndex(static_cast<int>(i));
    }
    for (size_t i = 0; i < kVideoAudioModes.size(); ++i) {
        if (kVideoAudioModes[i] == state.audioMode) audio_->setCurrentIndex(static_cast<int>(i));
    }
    width_->setValue(static_cast<int>(size.width));
    height_->setValue(static_cast<int>(size.height));
    volume_->setEnabled(model_->source().hasAudio && state.audioMode == VideoAudioMode::customVolume);
    volume_->setToolTip(QString::number(state.volumeMultiplier * 100, 'f', 0) + " %");
    updating_ = false;
    outputSize_->setText(qs(model_->outputSizeText()));
    qualityLabel_->setText(qs(model_->qualityLabel()));
    estimate_->setText(qs(model_->estimatedSizeText()));
    range_->setText(qs(model_->selectedRangeText()));
    time_->setText(qs(strip_->control().playheadText()));
}

void VideoEditorWindow::showFrameAt(double seconds) {
    if (!model_ || !reader_) return;
    strip_->control().setPlayhead(seconds);
    const qreal ratio = preview_->devicePixelRatioF();
    const auto frame = reader_->frameAt(strip_->control().playhead(), static_cast<int64_t>(preview_->width() * ratio),
                                        static_cast<int64_t>(preview_->height() * ratio));
    if (frame) preview_->setFrame(qimageOf(*frame));
    time_->setText(qs(strip_->control().playheadText()));
    strip_->update();
}

void VideoEditorWindow::loadStrip() {
    const std::filesystem::path movie = model_->source().originalURL;
    const double duration = model_->source().duration;
    MediaEngine* engine = engine_;
    QPointer<VideoEditorWindow> self(this);
    stripWorker_ = std::thread([this, self, engine, movie, duration] {
        auto reader = engine->openFrameReader(movie);
        if (!reader) return;
        for (size_t i = 0; i < kStripFrames && !stripCancel_; ++i) {
            const double at = duration * (static_cast<double>(i) + 0.5) / static_cast<double>(kStripFrames);
            auto frame = (*reader)->frameAt(at, 160, 90);
            if (!frame) continue;
            QImage image = qimageOf(*frame);
            // Queued to this window; dropped by Qt if it is gone by then.
            QMetaObject::invokeMethod(this, [self, i, image] {
                if (self) self->strip_->setFrame(i, kStripFrames, image);
            }, Qt::QueuedConnection);
        }
    });
}

void VideoEditorWindow::keyPressEvent(QKeyEvent* event) {
    if (event->key() != Qt::Key_Space || !model_ || model_->isExporting()) return QWidget::keyPressEvent(event);
    togglePlayback();
}

void VideoEditorWindow::togglePlayback() {
    if (playback_->isActive()) return stopPlayback();
    const MediaTimeRange range = strip_->control().range();
    // Outside the range, or at its end, play from its start.
    const double at = strip_->control().playhead();
    if (at < range.start || at >= range.end() - 1e-3) strip_->control().setPlayhead(range.start);
    playFrom_ = strip_->control().playhead();
    soundPlaying_ = sound_ && sound_->play(playFrom_, model_->editState().exportVolume());
    logLine(LogLevel::info, LogCategory::capture,
            "video_editor.play from=" + std::to_string(playFrom_) + " sound=" + (soundPlaying_ ? "1" : "0"));
    playClock_->start();
    playback_->start();
    play_->setText(uiText("Pause"));
}

// The sound's clock when it plays: the picture then waits for the sound
// to start and never drifts from it.
double VideoEditorWindow::playbackPosition() const {
    if (soundPlaying_) return sound_->clock();
    return playFrom_ + static_cast<double>(playClock_->elapsed()) / 1000.0;
}

void VideoEditorWindow::playbackTick() {
    const double at = playbackPosition();
    const double end = strip_->control().range().end();
    showFrameAt(std::min(at, end));
    if (at >= end) stopPlayback();
}

void VideoEditorWindow::stopPlayback() {
    if (!playback_ || !playback_->isActive()) return;
    playback_->stop();
    if (sound_) sound_->pause();
    soundPlaying_ = false;
    logLine(LogLevel::info, LogCategory::capture, "video_editor.pause at=" + std::to_string(strip_->control().playhead()));
    play_->setText(uiText("Play"));
}

void VideoEditorWindow::setControlsEnabled(bool enabled) {
    for (QWidget* control : std::initializer_list<QWidget*>{strip_, preset_, width_, height_, quality_, export_}) {
        control->setEnabled(enabled);
    }
    audio_->setEnabled(enabled && model_->source().hasAudio);
    volume_->setEnabled(enabled && model_->source().hasAudio &&
                        model_->editState().audioMode == VideoAudioMode::customVolume);
}

void VideoEditorWindow::startExport() {
    if (!engine_ || model_->isExporting()) return;
    if (exportWorker_.joinable()) exportWorker_.join();
    stopPlayback();
    exportCancel_ = false;
    setControlsEnabled(false);
    progress_->setValue(0);
    progress_->setVisible(true);
    cancel_->setVisible(true);
    status_->setText(uiText("Exporting…"));
    MediaEngine& engine = *engine_;
    exportWorker_ = std::thread([this, &engine] {
        auto result = model_->exportEdits(engine, exportCancel_, [this](double done) {
            QMetaObject::invokeMethod(this, [this, done] { progress_->setValue(static_cast<int>(done * 1000)); },
                                      Qt::QueuedConnection);
        });
        QMetaObject::invokeMethod(this, [this, result = std::move(result)]() mutable { exportFinished(std::move(result)); },
                                  Qt::QueuedConnection);
    });
}

void VideoEditorWindow::exportFinished(Expected<VideoEditResult, RecordingError> result) {
    progress_->setVisible(false);
    cancel_->setVisible(false);
    setControlsEnabled(true);
    if (!result) {
        status_->setText(qs(result.error().description()));
        logLine(LogLevel::info, LogCategory::capture, "video_editor.export failed " + result.error().description());
        return;
    }
    status_->setText(uiText("Exported") + " " + qs(result->exportedURL.filename().string()));
    status_->setToolTip(qs(result->exportedURL.string()));
    logLine(LogLevel::info, LogCategory::capture, "video_editor.export file=" + result->exportedURL.string());
}

}  // namespace tessarin
