#pragma once
// A top-level window painted without a full-size backing store: each area
// to repaint is composed a band of rows at a time into a small buffer and
// written straight into the window (X11WindowImageWriter). A full-screen
// window over a frozen screen then costs the frozen image and a megabyte of
// band buffers, not the image twice. A long repaint (the first one covers
// the whole screen) goes on from the event loop in slices of about 1.5 ms,
// so input and timers keep flowing while it is drawn.
//
// Where the writer cannot be had (no X11 connection of our own), Qt's own
// backing store paints the window instead: the same pictures, more memory.

#include <QRegion>
#include <QWindow>
#include <memory>

class QBackingStore;
class QPainter;

namespace tessarin {

namespace x11 {
class X11WindowImageWriter;
}

class DirectPaintWindow : public QWindow {
public:
    // An opaque window paints every pixel of each area; a translucent one
    // gets a clear area to paint over (it needs a compositor to show so).
    DirectPaintWindow(QScreen* screen, bool opaque);
    ~DirectPaintWindow() override;

    // Repaints `area` (logical pixels) from the event loop.
    void scheduleRepaint(const QRect& area);
    void scheduleFullRepaint();
    // Frees the band buffers; the next repaint takes them again.
    static void releaseBandBuffers();
    // Opens the writer's connection now, so the first overlay does not wait
    // for it.
    static void prepare();

protected:
    // Paints the part of the window within `area` (logical pixels; the
    // painter is clipped to it).
    virtual void paintArea(QPainter& painter, const QRect& area) = 0;
    // The whole window has been painted once.
    virtual void firstPaintFinished() {}
    // The pointer came into the window or left it.
    virtual void hoverChanged(bool /*inside*/) {}
    // The window's own area (logical pixels).
    QRect rect() const { return QRect(QPoint(0, 0), size()); }

    bool event(QEvent* event) override;
    void exposeEvent(QExposeEvent* event) override;

private:
    void schedule();
    void paintSlice();
    static void releaseBuffersWhenIdle();
    bool paintBandDirectly(const QRect& deviceBand);
    void paintThroughBackingStore(const QRegion& deviceRegion);
    QRect logicalOf(const QRect& deviceRect) const;

    static constexpr int kIdleReleaseMs = 1000;

    bool opaque_;
    QRegion pending_;  // device pixels
    bool scheduled_ = false;
    bool firstPaintDone_ = false;
    bool everExposed_ = false;
    std::unique_ptr<QBackingStore> backingStore_;  // only without the writer
};

}  // namespace tessarin
