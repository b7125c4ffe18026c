#include "app/desktop/DesktopPins.h"

#include <QCursor>
#include <QGuiApplication>
#include <QScreen>
#include <QTimer>
#include <malloc.h>
#include <map>

#include "app/desktop/PinnedScreenshotWindow.h"
#include "app/desktop/QtDisplayMapping.h"
#include "app/desktop/QtWindowing.h"
#include "core/common/Log.h"
#include "core/pins/PinnedScreenshotPresenter.h"
#include "core/preferences/HistoryPreferences.h"
#include "platform/x11/X11FloatingWindowHints.h"

namespace tessarin {
namespace {

void logPins(LogLevel level, const std::string& message) { logLine(level, LogCategory::capture, message); }

// The pin windows over Qt, with frames converted between the core's global
// points (bottom-left origin) and Qt's global logical pixels through the
// display each frame lies on.
class QtPinWindows final : public PinWindowHost {
public:
    struct Actions {
        std::function<void(SharedImage)> copy;
        std::function<void(SharedImage)> save;
    };

    QtPinWindows(ScreenCaptureService& screen, Executor& main, Executor& background, x11::X11FloatingWindowHints* hints,
                 Actions actions)
        : screen_(screen), main_(main), background_(background), hints_(hints), actions_(std::move(actions)) {
        refreshDisplays();
    }
    ~QtPinWindows() override { closeAll(); }

    void setPresenter(PinnedScreenshotPresenter& presenter) { presenter_ = &presenter; }

    void refreshDisplays() {
        auto displays = screen_.displays();
        displays_ = displays ? std::move(*displays) : std::vector<DisplayDescription>{};
        // The main display first.
        std::stable_partition(displays_.begin(), displays_.end(), [](const auto& display) { return display.primary; });
    }

    void closeAll() {
        auto windows = std::move(windows_);
        windows_.clear();
        for (auto& [id, window] : windows) {
            window->dismiss();
            delete window;  // also after the event loop, where deleteLater would not run
        }
    }

    std::vector<PinPlacement::Screen> liveScreens() override {
        std::vector<PinPlacement::Screen> screens;
        for (const auto& display : displays_) {
            if (display.displayID) screens.push_back({*display.displayID, display.visibleFrame});
        }
        return screens;
    }

    std::optional<uint32_t> screenUnderPointer() override {
        QScreen* under = QGuiApplication::screenAt(QCursor::pos());
        for (const auto& display : displays_) {
            if (under && screenFor(display) == under) return display.displayID;
        }
        return std::nullopt;
    }

    void open(const std::string& id, SharedImage image, Rect frame, Size minimum, bool complete) override {
        PinnedScreenshotWindow::Events events;
        events.changed = [this, id](QRect geometry) {
            if (presenter_ && windows_.contains(id)) presenter_->windowMoved(id, toGlobal(geometry));
        };
        events.closed = [this, id](QRect geometry) {
            const auto it = windows_.find(id);
            if (it == windows_.end()) return;
            it->second->deleteLater();
            windows_.erase(it);
            if (presenter_) presenter_->windowClosed(id, toGlobal(geometry));
        };
        events.copy = [this](SharedImage shown) {
            if (actions_.copy) actions_.copy(std::move(shown));
        };
        events.save = [this](SharedImage shown) {
            if (actions_.save) actions_.save(std::move(shown));
        };
        events.scale = [this](SharedImage source, QSize size, std::function<void(QImage)> done) {
            background_.post([&main = main_, source = std::move(source), size, done = std::move(done)]() mutable {
                const QImage view(source->data(), static_cast<int>(source->width()), static_cast<int>(source->height()),
                                  static_cast<qsizetype>(source->stride()), QImage::Format_RGBA8888);
                QImage scaled = view.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                                    .convertToFormat(QImage::Format_ARGB32_Premultiplied);
                // The full-size temporaries of the scaling go back to the system now.
                ::malloc_trim(0);
                main.post([scaled = std::move(scaled), done = std::move(done)]() mutable { done(std::move(scaled)); });
            });
        };
        const QSize smallest(qCeil(minimum.width), qCeil(minimum.height));
        auto* window = new PinnedScreenshotWindow(id, std::move(image), complete, smallest, hints_, std::move(events));
        windows_[id] = window;
        window->setGeometry(toQt(frame));
        window->show();
        logPins(LogLevel::info, "pin.shown id=" + id);
    }

    void setImage(const std::string& id, SharedImage image) override {
        const auto it = windows_.find(id);
        if (it != windows_.end()) it->second->setImage(std::move(image));
    }

    void close(const std::string& id) override {
        const auto it = windows_.find(id);
        if (it == windows_.end()) return;
        PinnedScreenshotWindow* window = it->second;
        windows_.erase(it);
        window->dismiss();
        window->deleteLater();
    }

    void raise(const std::string& id) override {
        const auto it = windows_.find(id);
        if (it == windows_.end()) return;
        it->second->show();
        it->second->raise();
    }

    void setFrame(const std::string& id, Rect frame) override {
        const auto it = windows_.find(id);
        if (it != windows_.end()) it->second->setGeometry(toQt(frame));
    }

private:
    const DisplayDescription* displayAt(Point global) const {
        for (const auto& display : displays_) {
            if (display.frame.containsInclusive(global)) return &display;
        }
        return displays_.empty() ? nullptr : &displays_.front();
    }

    QRect toQt(const Rect& frame) const {
        const DisplayDescription* display = displayAt({frame.midX(), frame.midY()});
        if (!display) return QRect(qRound(frame.x), qRound(frame.y), qRound(frame.width), qRound(frame.height));
        return qtRectOf(*display, screenFor(*display), frame).toRect();
    }

    Rect toGlobal(const QRect& geometry) const {
        QScreen* screen = QGuiApplication::screenAt(geometry.center());
        if (!screen) screen = QGuiApplication::primaryScreen();
        const DisplayDescription* display = nullptr;
        for (const auto& candidate : displays_) {
            if (screenFor(candidate) == screen) display = &candidate;
        }
        if (!display && !displays_.empty()) display = &displays_.front();
        if (!display) return {double(geometry.x()), double(geometry.y()), double(geometry.width()), double(geometry.height())};
        const double points = pointsPerLogicalPixel(*display, screen);
        const QPoint origin = screen ? screen->geometry().topLeft() : QPoint();
        const double top = display->frame.y + display->frame.height;
        const double width = geometry.width() * points;
        const double height = geometry.height() * points;
        const double maxY = top - (geometry.y() - origin.y()) * points;
        return {display->frame.x + (geometry.x() - origin.x()) * points, maxY - height, width, height};
    }

    ScreenCaptureService& screen_;
    Executor& main_;
    Executor& background_;
    x11::X11FloatingWindowHints* hints_;
    Actions actions_;
    PinnedScreenshotPresenter* presenter_ = nullptr;
    std::vector<DisplayDescription> displays_;
    std::map<std::string, PinnedScreenshotWindow*, std::less<>> windows_;
};

class HistoryRemovals final : public CaptureHistoryObserver {
public:
    explicit HistoryRemovals(PinnedScreenshotPresenter& presenter) : presenter_(presenter) {}
    void captureHistoryItemsRemoved(const std::vector<std::string>& ids) override { presenter_.closeOverlays(ids); }

private:
    PinnedScreenshotPresenter& presenter_;
};

std::unique_ptr<x11::X11FloatingWindowHints> openHints() {
    if (compositorPlacesWindows()) {
        logPins(LogLevel::info, "pin.window_hints none on Wayland: staying on top is a request the compositor may ignore");
        return nullptr;
    }
    auto hints = x11::X11FloatingWindowHints::open();
    if (hints) return std::move(*hints);
    logPins(LogLevel::info, "pin.window_hints unavailable: " + hints.error());
    return nullptr;
}

PinStore::DelayOnMain qtDelay() {
    return [](std::chrono::milliseconds delay, Task task) {
        auto shared = std::make_shared<Task>(std::move(task));
        QTimer::singleShot(delay, qApp, [shared] { (*shared)(); });
    };
}

}  // namespace

struct DesktopPins::Parts {
    Parts(TessarinApp& app, ScreenCaptureService& screen, Executor& main, Executor& background, FlowAlerts& alerts,
          ClipboardWriter& clipboard, ImageSaver& saver)
        : store(PinStore::defaultDirectory(app.history().folder().root().parent_path() / "Pins"), main, background,
                app.imageWriter(), PinStore::Options{.delay = qtDelay()}),
          hints(openHints()),
          windows(screen, main, background, hints.get(),
                  QtPinWindows::Actions{
                      .copy = [&clipboard](SharedImage image) {
                          clipboard.copy(std::move(image), [](bool copied) {
                              logPins(LogLevel::info, std::string("pin.copy copied=") + (copied ? "true" : "false"));
                          });
                      },
                      .save = [&app, &saver, &alerts](SharedImage image) {
                          saver.save(std::move(image), imageFormat(app.preferences().defaultImageFormat()),
                                     [&alerts](PathResult saved) {
                                         if (!saved) alerts.showWarning("Tessarin", saved.error().description());
                                     });
                      }}),
          history(app.history()),
          presenter(store, windows, history, alerts),
          removals(presenter),
          mainExecutor(main) {
        windows.setPresenter(presenter);
        removalsSubscription = app.history().addObserver(removals);
    }

    // Coalesces a burst of screen changes into one restack.
    void screensChanged() {
        if (restackPending) return;
        restackPending = true;
        QTimer::singleShot(0, qApp, [this] {
            restackPending = false;
            windows.refreshDisplays();
            presenter.restackOverlays();
        });
    }
    void watchScreen(QScreen* screen) {
        QObject::connect(screen, &QScreen::availableGeometryChanged, &context, [this] { screensChanged(); });
        QObject::connect(screen, &QScreen::geometryChanged, &context, [this] { screensChanged(); });
    }

    PinStore store;
    std::unique_ptr<x11::X11FloatingWindowHints> hints;
    QtPinWindows windows;
    CaptureHistoryPinLink history;
    PinnedScreenshotPresenter presenter;
    HistoryRemovals removals;
    Subscription removalsSubscription;
    Executor& mainExecutor;
    QObject context;  // disconnects the screen signals with the parts
    bool restackPending = false;
};

DesktopPins::DesktopPins(TessarinApp& app, ScreenCaptureService& screen, Executor& main, Executor& background,
                         FlowAlerts& alerts, ClipboardWriter& clipboard, ImageSaver& saver)
    : parts_(std::make_unique<Parts>(app, screen, main, background, alerts, clipboard, saver)) {
    Parts& parts = *parts_;
    app.appState().setHandler(MenuAction::restoreRecentlyClosed, [&parts] {
        parts.windows.refreshDisplays();
        parts.presenter.restoreMostRecentlyClosed();
    });
    auto* gui = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
    if (!gui) return;
    for (QScreen* each : QGuiApplication::screens()) parts.watchScreen(each);
    QObject::connect(gui, &QGuiApplication::screenAdded, &parts.context, [&parts](QScreen* added) {
        parts.watchScreen(added);
        parts.screensChanged();
    });
    QObject::connect(gui, &QGuiApplication::screenRemoved, &parts.context, [&parts] { parts.screensChanged(); });
    QObject::connect(gui, &QGuiApplication::primaryScreenChanged, &parts.context, [&parts] { parts.screensChanged(); });
}

DesktopPins::~DesktopPins() { shutdown(); }

PinnedScreenshotPresenter& DesktopPins::presenter() { return parts_->presenter; }

void DesktopPins::restoreAtLaunch() {
    Parts& parts = *parts_;
    parts.mainExecutor.post([&parts] {
        const auto start = std::chrono::steady_clock::now();
        parts.windows.refreshDisplays();
        const size_t stored = parts.store.index().pins.size();
        parts.presenter.restorePersistedPins([start, stored](size_t shown) {
            ::malloc_trim(0);  // the decoders' full-size buffers, freed but kept by the allocator
            const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
            logPins(LogLevel::info, "pins.restored stored=" + std::to_string(stored) + " shown=" + std::to_string(shown) +
                                        " duration_ms=" + std::to_string(elapsed.count()));
        });
    });
}

void DesktopPins::shutdown() {
    if (!parts_) return;
    parts_->removalsSubscription.reset();
    parts_->windows.closeAll();
    const bool written = parts_->store.writePendingNow();
    logPins(written ? LogLevel::info : LogLevel::error,
            std::string("pins.quit_write written=") + (written ? "true" : "false"));
    parts_->store.shutdown();
    parts_.reset();
}

}  // namespace tessarin
