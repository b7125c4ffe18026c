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

// Before the application object exists: a session whose screen is read
// through the portals gets Qt's Wayland platform (X11 as a fallback), also
// where Xwayland's DISPLAY is set and Qt would otherwise choose X11, whose
// windows could not cover the Wayland outputs. QT_QPA_PLATFORM, when set,
// still decides.
void chooseQtPlatformForSession();

// True when Qt runs on its Wayland platform.
bool compositorPlacesWindows();

// Shows `window` covering `screen`: full screen on that output under
// Wayland, at the screen's exact geometry elsewhere (where the window asked
// the window manager to keep out of the way).
void showCovering(QWindow& window, QScreen* screen);

}  // namespace tessarin
