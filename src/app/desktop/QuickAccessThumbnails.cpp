#include "app/desktop/QuickAccessThumbnails.h"

#include <QCursor>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QScreen>
#include <QTimer>

#include "app/desktop/QuickAccessWindow.h"
#include "core/common/Log.h"
#include "core/preferences/HistoryPreferences.h"

namespace tessarin {

QuickAccessThumbnails::QuickAccessThumbnails(Executor& main, CaptureHistoryStore& history,
                                             AppPreferences& preferences,
                                             std::function<bool()> compositing,
                                             ThumbnailServices services)
    : preferences_(preferences),
      compositing_(std::move(compositing)),
      history_(history,
               [&preferences] {
                   return std::pair{preferences.historyMaxCount(), preferences.historyMaxAgeDays()};
               }),
      presenter_(ThumbnailPresenter::Dependencies{
          .main = main,
          .desktop = *this,
          .history = history_,
          .settings = [&preferences] {
              return QuickAccessSettings{preferences.quickAccessPosition(), preferences.quickAccessMaxCount()};
          },
          .services = std::move(services)}),
      removals_(history.addObserver(*this)) {
    for (QScreen* screen : QGuiApplication::screens()) watchScreen(screen);
    QObject::connect(qGuiApp, &QGuiApplication::screenAdded, &screenWatch_, [this](QScreen* screen) {
        watchScreen(screen);
        presenter_.restackOverlays();
    });
    QObject::connect(qGuiApp, &QGuiApplication::screenRemoved, &screenWatch_,
                     [this](QScreen*) { presenter_.restackOverlays(); });
}

QuickAccessThumbnails::~QuickAccessThumbnails() {
    spares_->accepting = false;
    closeAll();
}

QuickAccessThumbnails::Spares::~Spares() {
    accepting = false;
    windows.clear();
}

void QuickAccessThumbnails::retire(const std::weak_ptr<Spares>& weak, QuickAccessWindow* window) {
    const auto spares = weak.lock();
    if (!spares || !spares->accepting || spares->windows.size() >= kKeptSpares) {
        window->hide();
        window->deleteLater();
        return;
    }
    window->parkOffScreen();
    spares->windows.emplace_back(window);
}

void QuickAccessThumbnails::prepareSpare() {
    if (!spares_->windows.empty() || sparePending_) return;
    sparePending_ = true;
    // Once the capture that used the last one is over, in three turns of
    // the loop (the window, its native window, its map off the screen),
    // each a millisecond or so.
    QTimer::singleShot(kSpareDelayMs, &screenWatch_, [this] {
        sparePending_ = false;
        if (!spares_->windows.empty()) return;
        auto* spare = new QuickAccessWindow(presenter_);
        spare->setRetire([weak = std::weak_ptr<Spares>(spares_)](QuickAccessWindow* w) { retire(weak, w); });
        spares_->windows.emplace_back(spare);
        QTimer::singleShot(0, &screenWatch_, [this, spare] {
            if (spares_->windows.empty() || spares_->windows.back().get() != spare) return;
            spare->winId();
            QTimer::singleShot(0, &screenWatch_, [this, spare] {
                if (spares_->windows.empty() || spares_->windows.back().get() != spare) return;
                spare->prepareOffScreen();
                logLine(LogLevel::info, LogCategory::capture, "quickaccess.spare_ready");
            });
        });
    });
}

void QuickAccessThumbnails::watchScreen(QScreen* screen) {
    QObject::connect(screen, &QScreen::availableGeometryChanged, &screenWatch_,
                     [this](const QRect&) { presenter_.restackOverlays(); });
}

void QuickAccessThumbnails::present(SharedImage image, std::shared_ptr<CapturePersistenceTicket> historyItem,
                                    ImageFormat dragExportFormat, const CaptureSessionInfo& session) {
    // Timed from here, the image in hand, to the window's first paint.
    presenting_.emplace();
    presenting_->start();
    presenter_.present(std::move(image), std::move(historyItem), dragExportFormat, session);
    presenting_.reset();
}

void QuickAccessThumbnails::restore() {
    presenter_.restore(imageFormat(preferences_.defaultImageFormat()));
    prepareSpare();
}

void QuickAccessThumbnails::reappear() {
    for (ThumbnailID id : presenter_.presented()) {
        if (auto* handle = dynamic_cast<QuickAccessWindowHandle*>(presenter_.window(id))) handle->widget()->reappear();
    }
    presenter_.restackOverlays();
}

void QuickAccessThumbnails::closeAll() { presenter_.closeAllForQuit(); }

std::unique_ptr<ThumbnailWindow> QuickAccessThumbnails::makeWindow(const ThumbnailContent& content,
                                                                   ThumbnailPresenter& presenter) {
    QElapsedTimer since;
    if (presenting_) {
        since = *presenting_;
    } else {
        since.start();
    }
    QuickAccessWindow* window = nullptr;
    if (!spares_->windows.empty()) {
        window = spares_->windows.back().release();
        spares_->windows.pop_back();
        window->setContent(content, since);
    } else {
        window = new QuickAccessWindow(content, presenter, since);
        window->setRetire([weak = std::weak_ptr<Spares>(spares_)](QuickAccessWindow* w) { retire(weak, w); });
    }
    prepareSpare();
    return std::make_unique<QuickAccessWindowHandle>(window, compositing_);
}

std::optional<Rect> QuickAccessThumbnails::visibleFrameUnderPointer() const {
    QScreen* screen = QGuiApplication::screenAt(QCursor::pos());
    if (!screen) screen = QGuiApplication::primaryScreen();
    if (!screen) return std::nullopt;
    const QRect frame = screen->availableGeometry();
    return Rect{double(frame.x()), double(frame.y()), double(frame.width()), double(frame.height())};
}

void QuickAccessThumbnails::captureHistoryItemsRemoved(const std::vector<std::string>& removedItemIDs) {
    presenter_.closeOverlays(removedItemIDs);
}

}  // namespace tessarin
