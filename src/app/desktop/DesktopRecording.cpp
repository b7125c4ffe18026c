#include "app/desktop/DesktopRecording.h"

#include <QFileDialog>
#include <QMessageBox>
#include <QPointer>
#include <QScreen>
#include <QTimer>

#include "app/desktop/QtAlertPresenter.h"
#include "app/desktop/QtDisplayMapping.h"
#include "app/desktop/QtFileManager.h"
#include "app/desktop/RecordingChrome.h"
#include "app/desktop/VideoEditorWindow.h"
#include "app/desktop/QuickAccessThumbnails.h"
#include "app/desktop/QuickAccessWindow.h"
#include "core/capture/ExportManager.h"
#include "core/capture/PixelCrop.h"
#include "core/common/Localization.h"
#include "core/common/Log.h"
#include "core/history/FileManagerReveal.h"
#include "core/recording/MediaEngine.h"
#include "core/recording/VideoEditModel.h"
#include "core/recordingflow/RecordingChromeLayout.h"
#include "core/recordingflow/RecordingFlowController.h"
#include "core/recordingflow/RecordingRouting.h"
#include "core/recordingflow/RegionStreamRecordingSource.h"
#include "platform/portal/PortalScreenBackend.h"
#include "platform/x11/X11ScreenBackend.h"

namespace tessarin {

namespace {

void note(const std::string& line) { logLine(LogLevel::info, LogCategory::capture, "recording_flow." + line); }

// The recording's screen: its size in pixels and how to open its source.
struct ScreenPlan {
    PixelRect area;
    double frameRate = 0;
    std::function<Expected<std::unique_ptr<ScreenRecordingSource>, RecordingError>(MediaEngine&)> open;
};

// The selection in the display's device pixels.
Expected<PixelRect, RecordingError> selectionPixels(const CaptureSelection& selection) {
    const DisplayDescription& display = selection.screen;
    const PixelSize pixels = displayPixelSize(display);
    const auto crop = pixelAlignedCropRect(selection.rect, display.frame, std::max(1.0, display.scale),
                                           {double(pixels.width), double(pixels.height)});
    if (!crop) return unexpected(RecordingError::noDisplay());
    return *crop;
}

// X11: the media module grabs the area in root pixels. Wayland: the
// ScreenCast portal's stream of the display, sampled at the frame rate.
Expected<ScreenPlan, RecordingError> screenPlan(ScreenBackend& backend, const CaptureSelection& selection,
                                                double frameRate, bool showsCursor) {
    const DisplayDescription& display = selection.screen;
    if (!display.displayID) return unexpected(RecordingError::noDisplay());
    auto crop = selectionPixels(selection);
    if (!crop) return unexpected(crop.error());
    if (auto* portal = dynamic_cast<portal::PortalScreenBackend*>(&backend)) {
        const uint32_t displayID = *display.displayID;
        return ScreenPlan{*crop, frameRate,
                          [portal, displayID, area = *crop, frameRate, showsCursor](MediaEngine&)
                              -> Expected<std::unique_ptr<ScreenRecordingSource>, RecordingError> {
                              auto stream = portal->openCastStream(displayID, area, frameRate, showsCursor);
                              if (!stream) return unexpected(recordingErrorOf(stream.error()));
                              return std::unique_ptr<ScreenRecordingSource>(
                                  std::make_unique<RegionStreamRecordingSource>(std::move(stream.value()), frameRate));
                          }};
    }
    auto* x11 = dynamic_cast<x11::X11ScreenBackend*>(&backend);
    if (!x11) return unexpected(RecordingError::noDisplay());
    auto root = x11->rootAreaOf(*display.displayID, *crop);
    if (!root) return unexpected(RecordingError::recordingFailed(root.error().description()));
    ScreenSourceSettings settings;
    settings.displayName = x11->connection().displayName();
    settings.area = *root;
    settings.frameRate = frameRate;
    settings.showsCursor = showsCursor;
    return ScreenPlan{*root, frameRate, [settings](MediaEngine& media)
                          -> Expected<std::unique_ptr<ScreenRecordingSource>, RecordingError> {
                          return media.makeScreenSource(settings);
                      }};
}

// A RecordingSession as the flow's run.
class SessionRun final : public RecordingRun {
public:
    SessionRun(RecordingConfiguration configuration, bool microphone, RecordingSession::Ports ports)
        : session_(std::move(configuration), microphone, std::move(ports)) {}
    void setOnPipelineError(std::function<void(const RecordingError&)> handler) override {
        session_.setOnPipelineError(std::move(handler));
    }
    std::optional<RecordingError> start() override { return session_.start(); }
    RecordingSessionOutcome finish(bool discard) override { return session_.finish(discard); }
    std::string clockText() const override { return session_.clockText(); }

private:
    RecordingSession session_;
};

}  // namespace

struct DesktopRecording::Parts {
    explicit Parts(Ports p)
        : ports(p),
          reveal(fileManager, ports.flowAlerts),
          chrome(configuration(), [this] { flow->stop(); }, [this] { flow->discard(); }, ports.compositing) {
        flow = std::make_unique<RecordingFlowController>(RecordingFlowPorts{
            .main = ports.main,
            .background = ports.background,
            .configuration = configuration(),
            .isOtherCaptureBusy = [this] { return ports.app.appState().isCapturing(); },
            .screenPermission = [this](Completion<bool> done) { done(ports.backend.screenCaptureAccess().granted); },
            .selectArea = [this](const CaptureSelectionRequest& request,
                                 Completion<std::optional<RecordingRequest>> done) { select(request, std::move(done)); },
            .microphoneAvailable = [this] { return microphoneAvailable(); },
            .warn = [this](const std::string& title, const std::string& message) {
                warnOutsideRecording(title, message);
            },
            .presentError = [this](const std::string& message) { ports.alerts.showWarning("Tessarin", message); },
            .makeRun = [this](const RecordingRequest& request) { return makeRun(request); },
            .chrome = chrome,
            .repeat = [](std::chrono::milliseconds interval, std::function<void()> tick) -> std::function<void()> {
                QPointer<QTimer> timer = new QTimer();
                timer->setInterval(static_cast<int>(interval.count()));
                QObject::connect(timer, &QTimer::timeout, timer, [tick] { tick(); });
                timer->start();
                return [timer] {
                    if (timer) timer->deleteLater();
                };
            },
            .route = [this](const RecordingResult& result) { route(result); },
            .onRecordingChanged = [this](bool recording) { ports.app.appState().setRecording(recording); }});
    }

    static RecordingConfiguration configuration() {
        RecordingConfiguration configuration;
        configuration.recordingDirectoryProvider = []() -> std::filesystem::path {
            try {
                return ExportManager::desktopDirectory();
            } catch (const std::exception& error) {
                note(std::string("desktop_folder ") + error.what());
                return {};
            }
        };
        return configuration;
    }

    MediaEngine* engine() {
        if (engine_) return engine_;
        auto loaded = loadMediaEngine();
        if (!loaded) {
            engineError_ = loaded.error();
            note("media_engine unavailable " + engineError_);
            return nullptr;
        }
        return engine_ = *loaded;
    }

    void select(const CaptureSelectionRequest& request, Completion<std::optional<RecordingRequest>> done) {
        auto answer = std::make_shared<Completion<std::optional<RecordingRequest>>>(std::move(done));
        ports.selection.selectArea("recording", request, nullptr,
                                   [this, answer](std::optional<AreaSelectionResult> result) {
            if (!result || result->action == CaptureSelectionAction::cancel) return (*answer)(std::nullopt);
            lastSelection = result->selection;
            (*answer)(RecordingRequest{result->selection, result->microphoneEnabled});
        });
    }

    // A warning about the recording about to start (the microphone) goes
    // beside it, never into the movie, and leaves the focus where it is.
    void warnOutsideRecording(const std::string& title, const std::string& message) {
        if (!lastSelection) return ports.alerts.showWarning(title, message);
        QMessageBox* box = makeWarningBox(title, message);
        box->setAttribute(Qt::WA_ShowWithoutActivating);
        box->adjustSize();
        QScreen* home = screenFor(lastSelection->screen);
        const QRectF area = qtRectOf(lastSelection->screen, home, lastSelection->rect);
        const QRect display = home ? home->geometry() : QRect(area.toAlignedRect());
        const QSize size = box->frameGeometry().size();
        const Point at = placeOutsideRecording(
            {double(size.width()), double(size.height())}, {area.x(), area.y(), area.width(), area.height()},
            {double(display.x()), double(display.y()), double(display.width()), double(display.height())});
        box->move(qRound(at.x), qRound(at.y));
        box->show();
    }

    // Linux has no per-application grant: the microphone is there when a
    // capture stream on the sound server can be opened.
    bool microphoneAvailable() {
        MediaEngine* media = engine();
        if (!media) return false;
        auto microphone = media->makeMicrophone({});
        if (!microphone) return false;
        microphone->setHandlers([](AudioChunk) {}, [](const RecordingError&) {});
        if (auto error = microphone->start()) {
            note("microphone unavailable " + error->description());
            return false;
        }
        microphone->stop();
        return true;
    }

    Expected<std::unique_ptr<RecordingRun>, RecordingError> makeRun(const RecordingRequest& request) {
        MediaEngine* media = engine();
        if (!media) return unexpected(RecordingError::recordingFailed(engineError_));
        const RecordingConfiguration settings = configuration();
        auto screen = screenPlan(ports.backend, request.selection, settings.frameRate, settings.showsCursor);
        if (!screen) return unexpected(screen.error());
        RecordingSession::Ports sessionPorts;
        sessionPorts.makeCoordinator = [media, screen = *screen](const std::filesystem::path& file, bool microphone)
            -> Expected<std::unique_ptr<RecordingCaptureCoordinator>, RecordingError> {
            auto source = screen.open(*media);
            if (!source) return unexpected(source.error());
            const VideoSize size = recordingVideoSize(double(screen.area.width), double(screen.area.height), 1.0);
            auto writer = RecordingFileWriter::create(file, size, screen.frameRate, microphone, movieEncoderFactory(*media));
            if (!writer) return unexpected(writer.error());
            auto coordinator = std::make_unique<RecordingCaptureCoordinator>(
                std::move(source.value()), microphone ? media->makeMicrophone({}) : nullptr, std::move(*writer));
            coordinator->setPosterFromFile([media](const std::filesystem::path& movie) { return media->posterFrame(movie); });
            return coordinator;
        };
        note("start area=" + std::to_string(screen->area.width) + "x" + std::to_string(screen->area.height) +
             " microphone=" + (request.microphoneEnabled ? "1" : "0"));
        return std::unique_ptr<RecordingRun>(std::make_unique<SessionRun>(settings, request.microphoneEnabled, sessionPorts));
    }

    void route(const RecordingResult& result) {
        note("recorded file=" + result.fileURL.string());
        routeSuccessfulRecording(result, {[this] { return ports.app.preferences().playSound(); },
                                          [this] { ports.sound.play(); },
                                          [this](const RecordingResult& kept) { showThumbnail(kept); }});
    }

    void showThumbnail(const RecordingResult& result) {
        ports.quickAccess.presentVideo(result.posterFrame, ThumbnailVideo{result.fileURL, videoTimeText(result.duration)},
                                       [this, result](ThumbnailAction action) { act(action, result); });
    }

    // The column has already dismissed the thumbnail for edit and close.
    void act(ThumbnailAction action, const RecordingResult& result) {
        switch (action) {
            case ThumbnailAction::edit:
                note("thumbnail action=edit");
                return openEditor(result.fileURL);
            case ThumbnailAction::reveal:
                note("thumbnail action=reveal");
                return reveal.reveal(result.fileURL, [](RevealOutcome) {});
            case ThumbnailAction::saveAs:
                note("thumbnail action=save_as");
                return saveAs(result.fileURL);
            default: return;
        }
    }

    void saveAs(const std::filesystem::path& source) {
        auto* dialog = new QFileDialog(nullptr, QString::fromStdString(localized("Save As")),
                                       QString::fromStdString(source.string()),
                                       QString::fromStdString(localized("QuickTime movie")) + " (*.mov)");
        dialog->setAcceptMode(QFileDialog::AcceptSave);
        dialog->setAttribute(Qt::WA_DeleteOnClose);
        QObject::connect(dialog, &QFileDialog::fileSelected, dialog, [this, source](const QString& chosen) {
            const auto destination = saveAsDestination(chosen.toStdString());
            saveRecordingCopy(ports.background, ports.main, source, destination,
                              [this, destination](std::optional<std::string> failure) {
                                  if (!failure) return note("saved_copy file=" + destination.string());
                                  ports.alerts.showWarning(localized("Save As"), *failure);
                              });
        });
        dialog->open();
    }

    void openEditor(const std::filesystem::path& movie) {
        if (editor) editor->close();
        MediaEngine* media = engine();
        auto* window = new VideoEditorWindow(media, movie, media ? std::string() : engineError_);
        editor = window;
        window->show();
        window->raise();
        window->activateWindow();
    }

    void closeWindows() {
        if (editor) editor->close();
    }

    Ports ports;
    MediaEngine* engine_ = nullptr;
    std::string engineError_;  // why the media module could not be loaded
    QtFileManager fileManager;
    FileManagerReveal reveal;
    std::optional<CaptureSelection> lastSelection;  // of the recording being started
    RecordingChrome chrome;  // before the flow, which closes it when it goes
    std::unique_ptr<RecordingFlowController> flow;
    QPointer<VideoEditorWindow> editor;
};

DesktopRecording::DesktopRecording(Ports ports) : parts_(std::make_unique<Parts>(ports)) {}

DesktopRecording::~DesktopRecording() { shutdown(); }

void DesktopRecording::toggle() { parts_->flow->toggle(); }

bool DesktopRecording::isBusy() const { return parts_->flow->state() != RecordingFlowController::State::idle; }

void DesktopRecording::openEditor(const std::filesystem::path& movie) { parts_->openEditor(movie); }

void DesktopRecording::shutdown() {
    parts_->flow->finishForQuit();
    parts_->closeWindows();
}

}  // namespace tessarin
