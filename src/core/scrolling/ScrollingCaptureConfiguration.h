#pragma once
// The fixed settings of a scrolling capture.

#include <chrono>
#include <cstdint>

namespace tessarin {

struct ScrollingCaptureConfiguration {
    double minimumSelectionDimension = 120.0;  // points
    int64_t minimumAppendedRows = 12;
    std::chrono::nanoseconds pollingInterval = std::chrono::milliseconds(16);
    double previewWidth = 190;  // points
    double previewMinHeight = 72;
    double previewMaxHeightRatio = 0.72;
    double previewGap = 8;
    double chromePadding = 14;
    double selectionStrokeWidth = 2;
    double framesPerSecond = 30;
};

}  // namespace tessarin
