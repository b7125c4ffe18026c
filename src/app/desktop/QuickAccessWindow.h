#pragma once
// One Quick Access thumbnail on the screen: a frameless tool window above
// the others, on every workspace, out of the taskbar, that never takes the
// focus. It is not managed by the window manager (override-redirect): a
// manager that focuses on click takes the click from a window that refuses
// the focus (openbox does), and an unmanaged window is on every workspace
// and in no taskbar by nature. It is raised by us instead: when shown, a
// turn of the loop later, and when it comes back after a capture; a window
// manager restacks its own windows among themselves, below it. The
// EWMH hints (above, sticky, skip taskbar and pager, every desktop) are set
// all the same, for pagers and compositors that read them. It paints the image and, under the pointer, the controls of
// core/quickaccess/ThumbnailControls; a click on one goes to the presenter,
// a drag elsewhere drags the image out (its file, written in the
// background as the drag starts, and its data).
//
// It paints straight into its window (DirectPaintWindow): no backing store
// of its own, so a window made ahead or kept for the next thumbnail costs
// next to nothing, and a capture never waits for a shared memory segment
// to be made and attached.
//
// A recording's thumbnail is titled with the movie's name and shows its
// poster with the duration and its buttons at all times.

#include <QElapsedTimer>
#include <QImage>
#include <QVariant>
#include <functional>
#include <memory>
#include <optional>

#include "app/desktop/DirectPaintWindow.h"
#include "core/quickaccess/ThumbnailPresenter.h"

namespace tessarin {

class QuickAccessWindow final : public DirectPaintWindow {
public:
    // `shownSince` starts when the image was handed over; the first paint
    // logs how long the thumbnail took to appear.
    QuickAccessWindow(const ThumbnailContent& content, ThumbnailPresenter& presenter, QElapsedTimer shownSince);
    // A window with its native side made and nothing to show yet: the next
    // thumbnail's, made in a quiet moment so a capture need not wait for it.
    explicit QuickAccessWindow(ThumbnailPresenter& presenter);
    // Maps a spare window far off every screen and paints it once, so its
    // native window and backing store exist before it is needed; captures
    // leave it alone (it is marked as staying on the screen).
    void prepareOffScreen();
    // Gives a spare window its thumbnail.
    void setContent(const ThumbnailContent& content, QElapsedTimer shownSince);
    // Where a window goes once it has faded out: kept as the next spare, or
    // deleted. Unset: deleted.
    void setRetire(std::function<void(QuickAccessWindow*)> retire) { retire_ = std::move(retire); }
    // A window done with its thumbnail becomes a spare again, off every
    // screen, its image dropped.
    void parkOffScreen();
    bool isSpare() const { return spare_; }

    bool placed() const { return placed_; }
    void place(QPoint origin);
    void orderFront();
    // Back on the screen after a capture took it off behind Qt's back.
    void reappear();
    // Fades to transparent, then closes and deletes itself; at once when
    // no compositor can show the fade.
    void fadeOutAndDelete(bool compositing);

protected:
    void showEvent(QShowEvent* event) override;
    void paintArea(QPainter& painter, const QRect& area) override;
    void hoverChanged(bool inside) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void setSpare(bool spare);
    bool spare_ = false;
    void setDesktopHints();
    void startDrag();
    void retire();
    void paintControls(QPainter& painter) const;
    void paintDuration(QPainter& painter) const;

    ThumbnailID id_;
    ThumbnailPresenter& presenter_;
    std::shared_ptr<ThumbnailDragFile> dragFile_;
    QImage image_;
    std::vector<ThumbnailControl> controls_;
    QString durationText_;  // a recording's; empty for an image
    bool recording_ = false;
    QElapsedTimer shownSince_;
    bool painted_ = false;
    bool placed_ = false;
    bool showPending_ = false;  // mapped on the next turn of the loop
    bool hovered_ = false;
    bool fading_ = false;
    bool dragging_ = false;
    std::optional<QPoint> pressedAt_;
    std::function<void(QuickAccessWindow*)> retire_;
};

// The presenter's handle on a window. It owns the window until fadeOut(),
// after which the window deletes itself once faded.
class QuickAccessWindowHandle final : public ThumbnailWindow {
public:
    QuickAccessWindowHandle(QuickAccessWindow* window, std::function<bool()> compositing)
        : window_(window), compositing_(std::move(compositing)) {}
    ~QuickAccessWindowHandle() override;
    std::optional<Rect> currentVisibleFrame() const override;
    void moveTo(Point origin) override;
    void orderFront() override;
    Rect frame() const override;
    void fadeOut() override;
    QuickAccessWindow* widget() const { return window_; }

private:
    QuickAccessWindow* window_;
    std::function<bool()> compositing_;
    bool fading_ = false;
};

}  // namespace tessarin
