#pragma once
// The one place where X root-window pixels become the desktop's point spaces.
//
// X has a single root window per screen, origin at its top-left, in device
// pixels; monitors are rectangles inside it. The rest of the program works in
// points with the primary monitor as the origin: display frames with a
// bottom-left origin (y up), window frames with a top-left origin (y down).
// X has no per-monitor scale, so one scale applies to the whole root.

#include <cstdint>

#include "core/common/Geometry.h"

namespace tessarin::x11 {

class RootCoordinates {
public:
    // `primaryMonitor` in root pixels; `scale` device pixels per point,
    // taken as 1 when below 1 or not a number.
    RootCoordinates(PixelRect primaryMonitor, double scale);

    double scale() const { return scale_; }
    const PixelRect& primaryMonitor() const { return primary_; }

    // A root rectangle as global points, bottom-left origin (display frames).
    Rect toGlobalBottomLeft(PixelRect root) const;
    // A root rectangle as global points, top-left origin (window frames).
    Rect toGlobalTopLeft(PixelRect root) const;
    // A root pixel position as a global point, bottom-left origin (the
    // pointer): the top edge of the primary monitor is y = height / scale.
    Point pointToGlobalBottomLeft(int64_t rootX, int64_t rootY) const;
    // The other way: the root pixel under a global point (bottom-left origin).
    PixelRect rootPixelAt(Point global) const;

private:
    PixelRect primary_;
    double scale_;
};

}  // namespace tessarin::x11
