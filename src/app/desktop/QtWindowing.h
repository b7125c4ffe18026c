#pragma once
// What the windowing system lets our windows do. On X11 a window may sit at
// any global position, bypass the window manager and grab the keyboard. On
// Wayland the compositor places every window: a client cannot position one,
// grab the keyboard or list other clients' windows. What it can have is a
// full-screen window on a chosen output and the keyboard focus the
// compositor gives a window it maps.

#include <QScreen>
#include <QWindow>

namespace tessarin {

// True when Qt runs on its Wayland platform.
bool compositorPlacesWindows();

// Shows `window` covering `screen`: full screen on that output under
// Wayland, at the screen's exact geometry elsewhere (where the window asked
// the window manager to keep out of the way).
void showCovering(QWindow& window, QScreen* screen);

}  // namespace tessarin
