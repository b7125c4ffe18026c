#include "app/desktop/DesktopCapture.h"

#include <QApplication>
#include <QCursor>
#include <QScreen>
#include <QTimer>
#include <QWidget>

#include "app/desktop/DesktopAnnotationEditor.h"
#include "app/desktop/DesktopLinks.h"
#include "app/desktop/HistoryWindow.h"
#include "app/desktop/OwnWindows.h"
#include "app/desktop/DesktopPins.h"
#include "app/desktop/DesktopTextRecognition.h"
#include "app/desktop/DesktopRecording.h"
#include "app/desktop/DesktopScrolling.h"
#include "app/desktop/QtDisplayMapping.h"
#include "app/desktop/PortalWindowSources.h"
#include "app/desktop/QuickAccessWindow.h"
#include "app/desktop/QtPasteboard.h"
#include "app/desktop/QtWindowing.h"
#include "app/desktop/QuickAccessThumbnails.h"
#include "app/desktop/SelectionOverlay.h"
#include "app/desktop/SelfTimerHud.h"
#include "app/desktop/WindowPickOverlay.h"
#include "core/capture/BackgroundImageEncoder.h"
#include "core/capture/CaptureHistoryAdmission.h"
#include "core/capture/ScreenCaptureService.h"
#include "core/common/Log.h"
#include "core/flow/CaptureCompletionRouter.h"
#include "core/flow/CaptureFlowController.h"
#include "core/flow/InteractiveCapturePresentationRestorer.h"
#include "core/flow/ScreenRecordingPermission.h"
#include "core/flow/StandardCompletionPorts.h"
#include "core/preferences/HistoryPreferences.h"
#include "core/quickaccess/ThumbnailAnnotation.h"
#include "platform/InteractionFactory.h"
#include "platform/PlatformFactory.h"
#include "platform/portal/PortalWindowPick.h"
#include "platform/sound/CanberraSoundPlayer.h"
#include "platform/x11/X11RawKeyWatcher.h"
#include "platform/x11/X11ScreenBackend.h"
#include "platform/x11/X11WindowPick.h"

namespace tessarin {
namespace {

// Takes our windows off the screen before it is read; `what` names them in
// the log when one stays.
void takeOffScreen(OwnWindowHider& hider, const std::vector<uint32_t>& windows, std::string_view what) {
    if (const auto hidden = hider.hide(windows); !hidden) {
        logLine(LogLevel::error, LogCategory::capture, std::string(what) + ".hide " + hidden.error());
    }
}

size_t displayUnderPointer(const std::vector<DisplayDescription>& displays) {
    QScreen* screen = QGuiApplication::screenAt(QCursor::pos());
    for (size_t i = 0; i < displays.size(); ++i) {
        if (screen && screenFor(displays[i]) == screen) return i;
    }
    return 0;
}

template <class T>
std::shared_ptr<Completion<T>> shared(Completion<T> done) {
    return std::make_shared<Completion<T>>(std::move(done));
}

class Alerts final : public FlowAlerts {
public:
    explicit Alerts(AlertPresenter& alerts) : alerts_(alerts) {}
    void showWarning(const std::string& title, const std::string& message) override {
        alerts_.showWarning(title, message);
    }

private:
    AlertPresenter& alerts_;
};

class SelectionPresenter final : public CaptureSelectionPresenter {
public:
    SelectionPresenter(ScreenCaptureService& screen, DesktopInteraction& interaction, AppPreferences& preferences)
        : screen_(screen), interaction_(interaction), preferences_(preferences) {}

    void selectArea(const std::string&, const CaptureSelectionRequest& request,
                    std::shared_ptr<const FrozenScreens> freezing,
                    Completion<std::optional<AreaSelectionResult>> done) override {
        auto answer = shared(std::move(done));
        // Without a compositor a window cannot let the live screen show
        // through: the overlay always stands on a frozen image then, and
        // the capture after it reads the live screen once it has gone.
        if (freezing || interaction_.compositor().compositing()) return present(request, freezing, false, answer);
        screen_.freezeScreens([this, request, answer](Expected<FrozenScreens, CaptureError> frozen) {
            if (!frozen) return (*answer)(std::nullopt);
            present(request, std::make_shared<const FrozenScreens>(std::move(*frozen)), true, answer);
        });
    }

    void cancel() {
        if (overlay_) overlay_->cancel();
    }

private:
    void present(const CaptureSelectionRequest& request, std::shared_ptr<const FrozenScreens> frozen,
                 bool backdropOnly, std::shared_ptr<Completion<std::optional<AreaSelectionResult>>> answer) {
        const auto displays = screen_.displays();
        if (!displays || displays->empty()) return (*answer)(std::nullopt);
        OverlayEnvironment environment;
        environment.hapticFeedbackEnabled = preferences_.hapticFeedbackEnabled();
        overlay_ = std::make_unique<SelectionOverlay>(
            *displays, request, displayUnderPointer(*displays), frozen, environment,
            [this, backdropOnly, answer](std::optional<OverlayOutcome> outcome) {
                if (backdropOnly && overlay_) takeOffScreen(interaction_.ownWindows(), overlay_->windowIds(), "overlay");
                retire();
                if (!outcome) return (*answer)(std::nullopt);
                (*answer)(AreaSelectionResult{outcome->selection, outcome->action, outcome->microphoneEnabled});
            });
        overlay_->show();
    }

    // The overlay's own callback is running: destroy it from the loop.
    void retire() {
        if (!overlay_) return;
        SelectionOverlay* done = overlay_.release();
        done->deleteLater();
    }

    ScreenCaptureService& screen_;
    DesktopInteraction& interaction_;
    AppPreferences& preferences_;
    std::unique_ptr<SelectionOverlay> overlay_;
};

class Picker final : public WindowPicker {
public:
    Picker(ScreenCaptureService& screen, ScreenBackend& backend, DesktopInteraction& interaction, Executor& main,
           Executor& background)
        : screen_(screen), backend_(backend), interaction_(interaction), main_(main), background_(background) {}

    void pick(const std::string&, Completion<PickedImage> done) override {
        auto answer = shared(std::move(done));
        auto* x11 = dynamic_cast<x11::X11ScreenBackend*>(&backend_);
        if (!x11) {
            // No window list without X11: only the screen-sharing portal's chooser can give a window.
            if (compositorPlacesWindows()) return pickThroughPortal(answer);
            const std::string reason = "no window list on this desktop";
            logLine(LogLevel::info, LogCategory::capture, "window.pick unavailable: " + reason);
            return (*answer)(PickedImage(unexpected(CaptureError::captureFailed(reason))));
        }
        auto windows = x11::X11PickableWindows(*x11).pickableWindows();
        if (!windows) return (*answer)(PickedImage(unexpected(windows.error())));
        screen_.freezeScreens([this, answer, windows = std::move(*windows)](Expected<FrozenScreens, CaptureError> frozen) mutable {
            // A freeze cut short (the application is quitting) ends the pick.
            if (!frozen) return (*answer)(PickedImage(unexpected(frozen.error())));
            const auto displays = screen_.displays();
            if (!displays) return (*answer)(PickedImage(unexpected(displays.error())));
            WindowPickExclusions exclusions;
            exclusions.processID = static_cast<int32_t>(QCoreApplication::applicationPid());
            auto still = std::make_shared<const FrozenScreens>(std::move(*frozen));
            overlay_ = std::make_unique<WindowPickOverlay>(
                *displays, still, std::move(windows), exclusions,
                [this, answer](std::optional<WindowDescription> picked) { finish(picked, answer); });
            overlay_->show();
        });
    }

    // Quitting: a pick waiting in the portal's chooser ends as no pick, so
    // the background threads can be joined without waiting for the person.
    void abandon() {
        if (portalPick_) portalPick_->abandon();
    }

private:
    // The portal shows its own chooser and casts the window picked there;
    // the first picture of that cast is the capture. Everything the portal
    // is asked, its source kinds too, is asked off the interface thread.
    void pickThroughPortal(std::shared_ptr<Completion<PickedImage>> answer) {
        auto abandonment = std::make_shared<portal::WindowPickAbandonment>();
        portalPick_ = abandonment;
        runInBackground<PickedImage>(
            background_, main_,
            [abandonment] { return PickedImage(pickWindowInPortalChooser(abandonment)); },
            [answer](PickedImage result) { (*answer)(std::move(result)); });
    }

    void finish(std::optional<WindowDescription> picked, std::shared_ptr<Completion<PickedImage>> answer) {
        if (overlay_) {
            takeOffScreen(interaction_.ownWindows(), overlay_->windowIds(), "window_pick");
            overlay_.release()->deleteLater();
        }
        if (!picked) return (*answer)(PickedImage(std::optional<Image>()));
        const uint32_t id = picked->windowID;
        ScreenBackend& backend = backend_;
        runInBackground<PickedImage>(
            background_, main_,
            [&backend, id]() -> PickedImage {
                auto image = backend.captureWindow(id);
                if (!image) return unexpected(image.error());
                return std::optional<Image>(std::move(*image));
            },
            [answer](PickedImage result) { (*answer)(std::move(result)); });
    }

    ScreenCaptureService& screen_;
    ScreenBackend& backend_;
    DesktopInteraction& interaction_;
    Executor& main_;
    Executor& background_;
    std::unique_ptr<WindowPickOverlay> overlay_;
    std::shared_ptr<portal::WindowPickAbandonment> portalPick_;
};

class Timer final : public SelfTimerHUD {
public:
    explicit Timer(OwnWindowHider& hider)
        : hider_(hider), hud_([](std::function<void()> pressed) {
              std::string why;
              std::unique_ptr<KeyPressWatcher> watcher;
              if (compositorPlacesWindows()) {
                  why = "Wayland lets no program watch keys typed into other windows";
              } else {
                  watcher = x11::watchKeyPresses("Escape", std::move(pressed), &why);
              }
              if (!watcher) logLine(LogLevel::info, LogCategory::capture, "self_timer.escape unavailable: " + why);
              return watcher;
          }) {}
    void run(int seconds, const CaptureSelection& selection, Completion<bool> done) override {
        auto answer = shared(std::move(done));
        const QRectF area = qtRectOf(selection.screen, screenFor(selection.screen), selection.rect);
        hud_.run(seconds, area, [this, answer](bool completed) {
            // The region is read right after: the badge must be off the screen.
            takeOffScreen(hider_, {static_cast<uint32_t>(hud_.winId())}, "self_timer");
            (*answer)(completed);
        });
    }
    void cancel() { hud_.cancel(); }

private:
    OwnWindowHider& hider_;
    SelfTimerHud hud_;
};

class Activation final : public WindowActivation {
public:
    explicit Activation(ActiveWindowTracker& tracker) : tracker_(tracker) {}
    void activate(WindowHandle window) override { tracker_.activate(static_cast<uint32_t>(window)); }
    bool isActive(WindowHandle window) override { return tracker_.isActive(static_cast<uint32_t>(window)); }

private:
    ActiveWindowTracker& tracker_;
};

}  // namespace

struct DesktopCapture::Parts {
    Parts(TessarinApp& app, Executor& main, Executor& background, AlertPresenter& alertPresenter,
          TextRecognizer& recognizer)
        : backend(makeScreenBackend()),
          screen(*backend, main, background),
          interaction(DesktopInteraction::open()),
          alerts(alertPresenter),
          selection(screen, interaction, app.preferences()),
          picker(screen, *backend, interaction, main, background),
          timer(interaction.ownWindows()),
          scrolling(screen, selection, main, background),
          quickAccess(main, app.history(), app.preferences(), [this] { return interaction.compositor().compositing(); },
                      quickAccessServices(app, alertPresenter)),
          pins(app, screen, main, background, alerts, clipboard, saver),
          editor(DesktopAnnotationEditor::Dependencies{
              app.preferences(), {},
              [this](const std::shared_ptr<const Image>& image, std::function<void(std::vector<Rect>)> done) {
                  text.findLines(image, std::move(done));
              }}),
          text(recognizer, background, main, alertPresenter),
          encoder(background, main),
          clipboard(pasteboard, encoder),
          saver(app.imageWriter()),
          admission(app.history(), main, [&app] { return historySettings(app.preferences()); }),
          activation(interaction.activeWindow()),
          restorer(activation,
                   [&main](std::chrono::milliseconds delay, Task task) {
                       QTimer::singleShot(delay, [&main, task = std::make_shared<Task>(std::move(task))]() mutable {
                           main.post(std::move(*task));
                       });
                   }),
          router(CaptureCompletionRouter::Dependencies{
              .main = main,
              .snapshot = [&app] { return app.preferences().snapshot(); },
              .onCaptureStored = storingIn(admission),
              .onEditedStored = mergingEditsInto(admission),
              .restoreFocus = [this](const CaptureSession& session,
                                     Completion<bool> done) { restorer.restoreAppFocus(session, std::move(done)); },
              .ports = CaptureCompletionPorts{quickAccess, pins.presenter(), editor, sound, clipboard, saver, text},
              .presentError = [&alertPresenter](const std::string& message) {
                  alertPresenter.showWarning("Tessarin", message);
              }}),
          flow(CaptureFlowDependencies{
              .main = main,
              .screen = screen,
              .preferences = app.preferences(),
              .selectionPresenter = selection,
              .windowPicker = picker,
              .selfTimer = timer,
              .scrolling = scrolling,
              .modeSwitch = modeSwitch,
              .alerts = alerts,
              .completion = router,
              .screenRecordingPermission = askingOnlyOnce(
                  [this] { return backend->screenCaptureAccess().granted; },
                  [this](Completion<bool> done) { done(backend->screenCaptureAccess().granted); }),
              // The recording's overlay counts too: the two flows share the selection overlay.
              .isExternallyBusy = [this, &app] { return app.appState().isRecording() || recording.isBusy(); },
              .onCaptureStateChanged = [this, &app](bool capturing) {
                  app.appState().setCapturing(capturing);
                  if (!capturing) quickAccess.reappear();
              },
              .presentError = {},
              .frontmostWindow = [this]() -> std::optional<WindowHandle> {
                  if (auto active = interaction.activeWindow().activeWindow()) return WindowHandle{*active};
                  return std::nullopt;
              }}),
          recording(DesktopRecording::Ports{app, main, background, *backend, selection, sound, alertPresenter, alerts,
                                            quickAccess, [this] { return interaction.compositor().compositing(); }}) {
        // An image from a file or the clipboard is recorded as a capture of
        // its own once edited, and shows its thumbnail.
        editor.setStandaloneRoute([this, &app](SharedImage edited) {
            auto ticket = admission.admit(edited, std::nullopt);
            quickAccess.present(std::move(edited), std::move(ticket), imageFormat(app.preferences().defaultImageFormat()),
                                CaptureSessionInfo{});
        });
    }

    // What a thumbnail's buttons and drags reach.
    ThumbnailServices quickAccessServices(TessarinApp& app, AlertPresenter& alertPresenter) {
        ThumbnailServices services;
        // The edit goes back into the capture's history item and gets a thumbnail of its own.
        services.annotate = [this, &app](SharedImage image, std::optional<CaptureSessionInfo> session,
                                         std::shared_ptr<CapturePersistenceTicket> ticket) {
            annotateThroughEditor(editor, mergingEditsInto(admission), quickAccess,
                                  [&app] { return imageFormat(app.preferences().defaultImageFormat()); })(
                std::move(image), std::move(session), std::move(ticket));
        };
        services.copy = [this](SharedImage image, Completion<bool> done) { clipboard.copy(std::move(image), std::move(done)); };
        services.save = [this](SharedImage image, ImageFormat format, Completion<PathResult> done) {
            saver.save(std::move(image), format, std::move(done));
        };
        services.pin = [this](SharedImage image, std::shared_ptr<CapturePersistenceTicket> ticket) {
            pins.presenter().pin(std::move(image), std::move(ticket));
        };
        services.presentError = [&alertPresenter](const std::string& message) {
            alertPresenter.showWarning("Tessarin", message);
        };
        services.writeDragFile = [&app](SharedImage image, ImageFormat format, Completion<PathResult> done) {
            app.imageWriter().writeTemporaryDragImageFile(std::move(image), format, std::move(done));
        };
        return services;
    }

    // A mode chosen on the All-in-One toolbar.
    class ModeSwitch final : public ModeSwitchHandOff {
    public:
        void switchMode(const AllInOneModeSwitch& change) override {
            if (!flow) return;
            switch (change.kind) {
                case AllInOneModeSwitch::Kind::fullScreen: flow->startFullScreen(change.selection.screen.displayID); break;
                case AllInOneModeSwitch::Kind::window: flow->start(CaptureMode::window); break;
                case AllInOneModeSwitch::Kind::record:
                    if (record) record();
                    break;
            }
        }
        CaptureFlowController* flow = nullptr;
        std::function<void()> record;
    };

    std::unique_ptr<ScreenBackend> backend;
    ScreenCaptureService screen;
    DesktopInteraction interaction;
    Alerts alerts;
    SelectionPresenter selection;
    Picker picker;
    Timer timer;
    DesktopScrolling scrolling;
    ModeSwitch modeSwitch;
    QuickAccessThumbnails quickAccess;
    DesktopPins pins;
    DesktopAnnotationEditor editor;
    DesktopTextRecognition text;
    CanberraSoundPlayer sound;
    QtPasteboard pasteboard;
    BackgroundImageEncoder encoder;
    PasteboardClipboardWriter clipboard;
    DesktopImageSaver saver;
    CaptureHistoryAdmission admission;
    Activation activation;
    InteractiveCapturePresentationRestorer restorer;
    CaptureCompletionRouter router;
    CaptureFlowController flow;
    DesktopRecording recording;
    std::unique_ptr<HistoryWindowHost> history;
    Executor* mainExecutor = nullptr;
    AppState* appState = nullptr;
};

DesktopCapture::DesktopCapture(TessarinApp& app, Executor& main, Executor& background, AlertPresenter& alerts,
                               TextRecognizer& recognizer)
    : parts_(std::make_unique<Parts>(app, main, background, alerts, recognizer)) {
    if (!parts_->interaction.unavailableReason().empty()) {
        logLine(LogLevel::info, LogCategory::capture,
                "capture.desktop_services unavailable: " + parts_->interaction.unavailableReason());
    }
    parts_->modeSwitch.flow = &parts_->flow;
    parts_->mainExecutor = &main;
    parts_->appState = &app.appState();
    CaptureFlowController& flow = parts_->flow;
    OwnWindowHider& hider = parts_->interaction.ownWindows();
    // Each trigger runs from the loop, once the menu it came from is off the
    // screen, and takes our other windows off it before anything is read.
    AppState& state = app.appState();
    QuickAccessThumbnails& quickAccess = parts_->quickAccess;
    auto entry = [&main, &hider, &state, &quickAccess](std::function<void()> start) {
        return [&main, &hider, &state, &quickAccess, start] {
            main.post([&hider, &state, &quickAccess, start] {
                takeOffScreen(hider, ownWindowsToHide(), "capture.own_windows");
                start();
                // A trigger that started nothing leaves the thumbnails it hid.
                if (!state.isCapturing()) quickAccess.reappear();
            });
        };
    };
    state.setHandler(MenuAction::captureArea, entry([&flow] { flow.start(CaptureMode::area); }));
    state.setHandler(MenuAction::captureFullScreen, entry([&flow] { flow.start(CaptureMode::fullScreen); }));
    state.setHandler(MenuAction::captureWindow, entry([&flow] { flow.start(CaptureMode::window); }));
    state.setHandler(MenuAction::captureScrolling, entry([&flow] { flow.start(CaptureMode::scrolling); }));
    state.setHandler(MenuAction::captureAllInOne, entry([&flow] { flow.startAllInOne(); }));
    state.setHandler(MenuAction::capturePreviousArea, entry([&flow] { flow.replayLast(); }));
    // A second press stops the recording: no windows to take off the screen first.
    DesktopRecording& recording = parts_->recording;
    state.setHandler(MenuAction::recordVideo, [&main, &recording] { main.post([&recording] { recording.toggle(); }); });
    parts_->modeSwitch.record = [&main, &recording] { main.post([&recording] { recording.toggle(); }); };

    links_ = std::make_unique<DesktopLinks>(DesktopLinks::Targets{
        .app = app,
        .flow = flow,
        .admission = parts_->admission,
        .quickAccess = parts_->quickAccess,
        .pins = parts_->pins.presenter(),
        .text = parts_->text,
        .backend = *parts_->backend,
        .hider = hider,
        .main = main,
        .background = background,
        .alerts = alerts,
        .startCapture = [entry](std::function<void()> start) { entry(std::move(start))(); },
        .openEditor = [&editor = parts_->editor](SharedImage image) { editor.openStandalone(std::move(image)); }});
    state.setLinkHandler([links = links_.get()](const std::string& url) { links->handle(url); });
    parts_->history = std::make_unique<HistoryWindowHost>(DesktopHistoryPorts{
        app.history(), app.preferences(), parts_->clipboard, parts_->saver, parts_->alerts, parts_->pins.presenter(),
        app.preferencesStore(), main, background, &parts_->editor});
    HistoryWindowHost& history = *parts_->history;
    state.setHandler(MenuAction::openHistory, [&history] { history.open(); });
    // The thumbnails shown when the application last quit.
    parts_->quickAccess.restore();
    parts_->pins.restoreAtLaunch();
}

DesktopCapture::~DesktopCapture() {
    shutdown();
    links_.reset();
}

void DesktopCapture::activateAction(const std::string& name, const std::vector<std::string>& parameters) {
    std::optional<MenuAction> action;
    for (int i = 0; i <= static_cast<int>(MenuAction::quit); ++i) {
        if (rawValue(static_cast<MenuAction>(i)) == name) action = static_cast<MenuAction>(i);
    }
    if (!action || !parts_) {
        logLine(LogLevel::info, LogCategory::app, "bus.action ignored name=" + name);
        return;
    }
    std::optional<CaptureOutputAction> output;
    if (!parameters.empty()) output = CaptureOutputAction::parse(parameters.front(), std::nullopt);
    std::function<void(CaptureFlowController&)> start;
    switch (*action) {
        case MenuAction::captureArea: start = [output](auto& flow) { flow.start(CaptureMode::area, output); }; break;
        case MenuAction::captureFullScreen: start = [output](auto& flow) { flow.start(CaptureMode::fullScreen, output); }; break;
        case MenuAction::captureWindow: start = [output](auto& flow) { flow.start(CaptureMode::window, output); }; break;
        case MenuAction::capturePreviousArea: start = [output](auto& flow) { flow.replayLast(output); }; break;
        default: break;
    }
    if (!output || !start) {
        parts_->appState->perform(*action, ActionSource::link);
        return;
    }
    logLine(LogLevel::info, LogCategory::capture,
            "action.dispatch action=" + name + " source=bus output=" + std::string(rawValue(output->kind)));
    Parts& parts = *parts_;
    parts.mainExecutor->post([&parts, start] {
        takeOffScreen(parts.interaction.ownWindows(), ownWindowsToHide(), "capture.own_windows");
        start(parts.flow);
    });
}

void DesktopCapture::requestQuit(std::function<void(bool mayQuit)> decided) {
    if (!parts_) return decided(true);
    parts_->editor.requestQuit(std::move(decided));
}

void DesktopCapture::shutdown() {
    if (!parts_) return;
    if (parts_->history) parts_->history->close();
    // A running recording is finished and kept before anything else goes.
    parts_->recording.shutdown();
    parts_->selection.cancel();
    parts_->picker.abandon();
    parts_->timer.cancel();
    parts_->scrolling.cancel();
    parts_->quickAccess.closeAll();
    parts_->flow.shutdown();
    parts_->router.shutdown();
    parts_->screen.shutdown();
    parts_->pins.shutdown();
}

}  // namespace tessarin
