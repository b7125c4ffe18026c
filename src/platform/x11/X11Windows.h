#pragma once
// Which application windows are on an X screen, front to back, and where a
// given window is.
//
// With a window manager, its EWMH client lists name the application
// ("client") windows. Without one, the root's children are the windows: a
// child with WM_CLASS is a client; a child without it may be a frame whose
// client sits further down.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include <xcb/xcb.h>

#include "core/common/Expected.h"
#include "core/common/Geometry.h"
#include "core/screen/CaptureError.h"
#include "platform/ScreenBackend.h"
#include "platform/x11/RootCoordinates.h"

namespace tessarin::x11 {

class X11Connection;

// The command name of a local process; empty when unknown.
using ProcessNameLookup = std::function<std::string(int32_t processID)>;
std::string readProcessName(int32_t processID);  // from /proc/<pid>/comm

class X11WindowLister {
public:
    // `localHostName` tells which windows' process ids are ours to look up
    // (a remote client's pid names a process on another machine).
    X11WindowLister(const X11Connection& connection, ProcessNameLookup processName, std::string localHostName);

    // Client windows, topmost first, before checking that they are on screen.
    std::vector<xcb_window_t> clientsFrontToBack() const;

    // The viewable clients of positive size, topmost first.
    Expected<std::vector<WindowDescription>, CaptureError> list(const RootCoordinates& coordinates) const;

private:
    std::vector<xcb_window_t> clientsFromTree() const;
    std::optional<xcb_window_t> findClientBelow(xcb_window_t window, int levelsLeft) const;

    const X11Connection& connection_;
    ProcessNameLookup processName_;
    std::string localHostName_;
};

// Where a window is and how to read it.
struct WindowPlacement {
    PixelRect root;             // the window's inside, in root pixels
    xcb_window_t topLevel = 0;  // the child of the root holding it (itself when unframed)
    PixelRect topLevelOuter;    // the top-level including its border, in root pixels
    uint8_t topLevelDepth = 0;
    xcb_visualid_t topLevelVisual = 0;
};

// Fails with a clear reason when the window does not exist or is not viewable.
Expected<WindowPlacement, CaptureError> locateWindow(const X11Connection& connection, xcb_window_t window);

}  // namespace tessarin::x11
