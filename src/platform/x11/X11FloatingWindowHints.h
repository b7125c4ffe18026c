#pragma once
// Window manager hints for our floating windows (pinned screenshots): on
// every workspace (sticky, desktop 0xFFFFFFFF), above others, out of the
// taskbar and pager, and, for a window that keeps its shape, the aspect
// ratio and minimum size in WM_NORMAL_HINTS, so the window manager's own
// resize keeps the image's proportions too.
//
// One connection of its own; requests are flushed and synced before each
// call returns, so a window mapped afterwards through another connection
// (the toolkit's) is mapped with them.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "core/common/Expected.h"
#include "core/common/Geometry.h"

namespace tessarin::x11 {

class X11Connection;

class X11FloatingWindowHints {
public:
    static Expected<std::unique_ptr<X11FloatingWindowHints>, std::string> open();
    ~X11FloatingWindowHints();

    // Before the window is first mapped: the workspace, stacking and taskbar states.
    bool markFloating(uint32_t window);
    // The aspect ratio of `aspect` and the minimum size, in device pixels;
    // again after the toolkit rewrote WM_NORMAL_HINTS (it does on resizes).
    bool keepAspect(uint32_t window, Size aspect, Size minimum);

private:
    explicit X11FloatingWindowHints(std::unique_ptr<X11Connection> connection);
    uint32_t atom(const char* name);
    std::unique_ptr<X11Connection> connection_;
};

}  // namespace tessarin::x11
