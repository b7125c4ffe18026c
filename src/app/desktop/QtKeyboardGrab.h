#pragma once
// What the overlays share: taking the keyboard without taking the focus,
// and a frozen display as an image Qt can paint.

#include <QImage>
#include <QPainter>
#include <QWindow>
#include <functional>

#include "core/capture/FrozenScreens.h"

namespace tessarin {

// Grabs the keyboard for `window` (on Qt's own connection, so the keys
// reach Qt), trying again from the event loop every 25 ms for up to half a
// second while another client holds it; then `failed` runs. On Wayland,
// which has no grabs, it asks the compositor for the focus instead.
void grabKeyboardWithRetry(QWindow& window, std::function<void()> failed);
void releaseKeyboard(QWindow& window);

// The frozen pixels themselves, not a copy: a converted copy per display
// would double the frozen screens' memory and cost a conversion before the
// first paint. The frame must outlive the image.
QImage backdropOf(const FrozenScreenFrame& frame);
// The part of `backdrop` (a display's device pixels) under `area` of a
// window of `windowSize` logical pixels.
void drawBackdrop(QPainter& painter, const QRect& area, const QImage& backdrop, QSize windowSize);

}  // namespace tessarin
