#pragma once
// Between the core's displays (global points, bottom-left origin, the
// desktop scale) and Qt's screens (logical pixels, top-left origin, Qt's
// own device pixel ratio). Screens are matched by output name, else by size
// in device pixels; conversions go through device pixels, so the two
// scales need not agree.

#include <QRectF>

#include "core/common/Geometry.h"
#include "core/screen/ScreenDescriptions.h"

class QScreen;

namespace tessarin {

QScreen* screenFor(const DisplayDescription& display);

// Points per Qt logical pixel on `display`: device pixels per logical pixel
// over device pixels per point.
double pointsPerLogicalPixel(const DisplayDescription& display, QScreen* screen);

// A rectangle in global points on `display`, in Qt's global logical pixels.
QRectF qtRectOf(const DisplayDescription& display, QScreen* screen, const Rect& global);

}  // namespace tessarin
