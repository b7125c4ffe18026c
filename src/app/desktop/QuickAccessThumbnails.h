#pragma once
// The Quick Access thumbnails in the desktop application: the capture
// flow's QuickAccessPresenter, over core/quickaccess/ThumbnailPresenter
// with Qt windows (QuickAccessWindow) on the display under the pointer.
// Thumbnails close with their history items, lay themselves out again when
// screens come, go or change their work area, and come back at launch.

#include <QElapsedTimer>
#include <QObject>
#include <functional>
#include <memory>
#include <vector>

#include "core/capture/CaptureHistoryStore.h"
#include "core/preferences/AppPreferences.h"
#include "core/quickaccess/ThumbnailPresenter.h"

class QScreen;

namespace tessarin {

class QuickAccessWindow;

class QuickAccessThumbnails final : public QuickAccessPresenter,
                                    private ThumbnailDesktop,
                                    private CaptureHistoryObserver {
public:
    QuickAccessThumbnails(Executor& main, CaptureHistoryStore& history, AppPreferences& preferences,
                          std::function<bool()> compositing, ThumbnailServices services);
    ~QuickAccessThumbnails() override;

    void present(SharedImage image, std::shared_ptr<CapturePersistenceTicket> historyItem,
                 ImageFormat dragExportFormat, const CaptureSessionInfo& session) override;
    // A finished recording's thumbnail, in the same column.
    void presentVideo(SharedImage poster, ThumbnailVideo video, std::function<void(ThumbnailAction)> act) {
        presenter_.presentVideo(std::move(poster), std::move(video), std::move(act));
    }
    // The thumbnails of the last run, from the history's flags.
    void restore();
    // After a capture, which takes our windows off the screen while it
    // reads it: the thumbnails come back where they were.
    void reappear();
    // Quit: the windows close, the flags stay for the next launch.
    void closeAll();

private:
    std::unique_ptr<ThumbnailWindow> makeWindow(const ThumbnailContent& content,
                                                ThumbnailPresenter& presenter) override;
    std::optional<Rect> visibleFrameUnderPointer() const override;
    void captureHistoryItemsRemoved(const std::vector<std::string>& removedItemIDs) override;
    void watchScreen(QScreen* screen);
    void prepareSpare();

    // Windows made ahead, or kept from thumbnails that went, for the next
    // thumbnails: a capture then only moves a window that already exists.
    struct Spares {
        std::vector<std::unique_ptr<QuickAccessWindow>> windows;
        bool accepting = true;  // off while closing for good
        ~Spares();
    };
    static void retire(const std::weak_ptr<Spares>& spares, QuickAccessWindow* window);

    static constexpr int kSpareDelayMs = 400;
    // As many as a column replaced at once needs, at next to no cost each.
    static constexpr size_t kKeptSpares = 3;

    AppPreferences& preferences_;
    std::function<bool()> compositing_;  // asked at each fade: a compositor may come and go
    QuickAccessHistoryStore history_;
    ThumbnailPresenter presenter_;
    Subscription removals_;
    QObject screenWatch_;
    std::optional<QElapsedTimer> presenting_;  // while a capture's thumbnail is being made
    std::shared_ptr<Spares> spares_ = std::make_shared<Spares>();
    bool sparePending_ = false;
};

}  // namespace tessarin
