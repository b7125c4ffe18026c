#pragma once
// Where the scrolling capture's live preview goes, and how large the
// stitcher renders it. Rectangles are in the desktop's top-left coordinates
// (y down), the way windows are placed.
//
// The region is read from the screen while the preview changes beside it,
// so the preview never covers the region (X11 cannot leave our own windows
// out of a grab): it goes `previewGap` right of the region's frame, else
// left of it, and when neither side of the display has room it is not shown.

#include <optional>

#include "core/common/Geometry.h"
#include "core/scrolling/ScrollingCaptureConfiguration.h"
#include "core/scrolling/ScrollingCaptureStitcher.h"

namespace tessarin {

// The preview's size limits in pixels: `previewWidth` wide, at most
// `previewMaxHeightRatio` of the display's visible height tall.
ScrollingCapturePreviewRequest scrollingPreviewRequest(double backingScale, double visibleHeight,
                                                       const ScrollingCaptureConfiguration& configuration);

// A box of `size` beside `frame` on `display`: `gap` right of it, else
// left of it, its top level with the frame's (moved up to stay on the
// display); none when neither side has room.
std::optional<Rect> placeBesideFrame(Size size, const Rect& frame, const Rect& display, double gap);

// The preview window for a stitched image of `stitched` pixels: as wide as
// `previewWidth`, as tall as the image at that width but between
// `previewMinHeight` and the ratio of the display's height, beside `frame`
// (the region with its chrome around it) as placeBesideFrame puts it.
std::optional<Rect> placeScrollingPreview(Size stitched, const Rect& frame, const Rect& display,
                                          const ScrollingCaptureConfiguration& configuration);

}  // namespace tessarin
