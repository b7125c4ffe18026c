#include "app/desktop/QuickAccessThumbnails.h"

#include <QCursor>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QScreen>
#include <QTimer>

#include "app/desktop/QuickAccessWindow.h"
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

QuickAccessThumbnails::~QuickAccessThumbnails() { closeAll(); }

void QuickAccessThumbnails::prepareSpare() {
    // Once the capture that used the last one is over, in three turns of
    // the loop (the widget, its native window, its map and first paint off
    // the screen), each a few milliseconds at most.
    QTimer::singleShot(kSpareDelayMs, &screenWatch_, [this] {
        if (spare_) return;
        spare_.reset(new QuickAccessWindow(presenter_));
        QTimer::singleShot(0, &screenWatch_, [this, spare = spare_.get()] {
            if (spare_.get() != spare) return;
            spare->winId();
            QTimer::singleShot(0, &screenWatch_, [this, spare] {
                if (spare_.get() == spare) spare->prepareOffScreen();
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
    QuickAccessWindow* window = spare_.release();
    if (window) {
        window->setContent(content, since);
    } else {
        window = new QuickAccessWindow(content, presenter, since);
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
