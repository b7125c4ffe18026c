#include "core/recording/VideoGeometry.h"

#include <algorithm>
#include <cmath>

namespace tessarin {

int64_t evenPixelLength(double points, double scale) {
    const double pixels = std::round(points * scale);
    if (!std::isfinite(pixels) || pixels < 3) return 2;
    if (pixels > static_cast<double>(kMaxVideoSide)) return kMaxVideoSide + 2;
    auto length = static_cast<int64_t>(pixels);
    return length % 2 == 0 ? length : length + 1;
}

VideoSize recordingVideoSize(double widthPoints, double heightPoints, double scale) {
    return {evenPixelLength(widthPoints, scale), evenPixelLength(heightPoints, scale)};
}

std::optional<RecordingError> checkVideoSize(VideoSize size) {
    const bool fits = size.width >= 2 && size.height >= 2 && size.width <= kMaxVideoSide &&
                      size.height <= kMaxVideoSide && size.width * size.height <= kMaxVideoPixels &&
                      size.width % 2 == 0 && size.height % 2 == 0;
    if (fits) return std::nullopt;
    return recording_failure::videoInputRefused();
}

double clampedRecordingFrameRate(double framesPerSecond) {
    if (!std::isfinite(framesPerSecond) || framesPerSecond <= 0) return kDefaultRecordingFrameRate;
    return std::clamp(std::round(framesPerSecond), 1.0, kMaxRecordingFrameRate);
}

int64_t recordingVideoBitRate(double framesPerSecond, int64_t width, int64_t height) {
    const double rate = std::isfinite(framesPerSecond) ? std::max(1.0, framesPerSecond) : 1.0;
    const double bits = std::trunc(rate * static_cast<double>(width) * static_cast<double>(height) * 0.1);
    return static_cast<int64_t>(std::clamp(bits, 4'000'000.0, 30'000'000.0));
}

}  // namespace tessarin
