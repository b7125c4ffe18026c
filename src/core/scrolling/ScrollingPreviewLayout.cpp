#include "core/scrolling/ScrollingPreviewLayout.h"

#include <algorithm>
#include <cmath>

namespace tessarin {

ScrollingCapturePreviewRequest scrollingPreviewRequest(double backingScale, double visibleHeight,
                                                       const ScrollingCaptureConfiguration& configuration) {
    const double scale = std::isfinite(backingScale) && backingScale > 0 ? backingScale : 1;
    const double height = std::isfinite(visibleHeight) && visibleHeight > 0 ? visibleHeight : 0;
    return {static_cast<int64_t>(std::ceil(configuration.previewWidth * scale)),
            std::max<int64_t>(1, static_cast<int64_t>(std::ceil(scale * height * configuration.previewMaxHeightRatio)))};
}

std::optional<Rect> placeBesideFrame(Size size, const Rect& frameRect, const Rect& displayRect, double gap) {
    const Rect frame = frameRect.standardized();
    const Rect display = displayRect.standardized();
    double x = 0;
    if (frame.maxX() + gap + size.width <= display.maxX()) {
        x = frame.maxX() + gap;
    } else if (frame.minX() - gap - size.width >= display.minX()) {
        x = frame.minX() - gap - size.width;
    } else {
        return std::nullopt;
    }
    const double y = std::max(display.minY(), std::min(frame.minY(), display.maxY() - size.height));
    return Rect{x, y, size.width, size.height};
}

std::optional<Rect> placeScrollingPreview(Size stitched, const Rect& frame, const Rect& displayRect,
                                          const ScrollingCaptureConfiguration& configuration) {
    const Rect display = displayRect.standardized();
    const double width = configuration.previewWidth;
    const double maxHeight = std::max(configuration.previewMinHeight, display.height * configuration.previewMaxHeightRatio);
    const double natural = stitched.width > 0 && stitched.height > 0 ? width * stitched.height / stitched.width : 0;
    const double height = std::clamp(std::isfinite(natural) ? natural : 0, configuration.previewMinHeight, maxHeight);
    return placeBesideFrame({width, height}, frame, display, configuration.previewGap);
}

}  // namespace tessarin
