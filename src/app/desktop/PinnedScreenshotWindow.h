#pragma once
// One pinned screenshot on the screen: a frameless window above others, on
// every workspace and out of the taskbar, showing the image scaled to the
// window, with copy, "Save" and close buttons while the pointer is over it.
// A press on the image hands the move to the window manager; a press on an
// edge, the resize. The window keeps the image's aspect ratio (the window
// manager's hints, and its own correction of any size that breaks it).
// What a point means and which size is allowed is decided in the core
// (PinWindowChrome, PinPlacement); this class paints and forwards.
//
// It paints straight into its window (DirectPaintWindow): besides the image
// it keeps one copy at the window's size, and no backing store of the same
// size again.

#include <QImage>
#include <QSize>
#include <functional>

#include "app/desktop/DirectPaintWindow.h"
#include "core/capture/BackgroundImageEncoder.h"
#include "core/common/Geometry.h"
#include "core/pins/PinWindowChrome.h"

namespace tessarin {

namespace x11 {
class X11FloatingWindowHints;
}

class PinnedScreenshotWindow final : public DirectPaintWindow {
public:
    struct Events {
        // The window's geometry (Qt's global logical pixels) after a move or resize.
        std::function<void(QRect geometry)> changed;
        // Closed by its button or the window manager.
        std::function<void(QRect geometry)> closed;
        std::function<void(SharedImage)> copy;
        std::function<void(SharedImage)> save;
        // Scales an image to a size off the main thread; `done` runs on the
        // main thread with the result (premultiplied, ready to paint).
        std::function<void(SharedImage image, QSize size, std::function<void(QImage scaled)> done)> scale;
    };

    // A window over a preview (`complete` false) offers copy and save only
    // once setImage has given it the full image.
    PinnedScreenshotWindow(const std::string& id, SharedImage image, bool complete, QSize minimum,
                           x11::X11FloatingWindowHints* hints, Events events);
    void setImage(SharedImage image);
    ~PinnedScreenshotWindow() override;

    // Closes without reporting it (unpinned, or its history item is gone).
    void dismiss();

protected:
    void paintArea(QPainter& painter, const QRect& area) override;
    void hoverChanged(bool inside) override;
    void resizeEvent(QResizeEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    Size sizeInPoints() const { return {static_cast<double>(width()), static_cast<double>(height())}; }
    void refreshScaled();
    void takeScaled(QSize target, const Image* from, QImage scaled);
    void paintButtons(QPainter& painter);
    void applyHints();
    void scheduleHints();

    SharedImage image_;
    QImage scaled_;  // the image at (about) the window's size, premultiplied for painting
    QSize scaling_;  // the size being made off the main thread
    const Image* scaledFrom_ = nullptr;
    bool complete_ = true;
    QSize minimum_;
    x11::X11FloatingWindowHints* hints_;
    Events events_;
    bool hovering_ = false;
    bool dismissed_ = false;
    bool correcting_ = false;
    bool hintsPending_ = false;
};

}  // namespace tessarin
