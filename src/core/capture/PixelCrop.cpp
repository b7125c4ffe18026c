#include "core/capture/PixelCrop.h"

#include <cmath>
#include <sstream>

#include "core/common/Log.h"

namespace tessarin {
namespace {

std::string describe(const Rect& r) {
    std::ostringstream out;
    out << "(" << r.x << ", " << r.y << ", " << r.width << ", " << r.height << ")";
    return out.str();
}

int64_t sanitized(double value) {
    if (!std::isfinite(value)) return 1;
    const double rounded = std::round(value);  // half away from zero
    if (rounded < 1) return 1;
    if (rounded > 1e12) return int64_t(1e12);
    return int64_t(rounded);
}

bool usable(const Rect& rect, const Rect& frame, double scale, Size imageSize) {
    return rect.isFinite() && frame.isFinite() && rect.width > 0 && rect.height > 0 && std::isfinite(imageSize.width) &&
           std::isfinite(imageSize.height) && imageSize.width > 0 && imageSize.height > 0 && std::isnormal(scale) &&
           scale > 0;
}

}  // namespace

PixelSize sanitizedPixelSize(Size size, std::string_view context) {
    const PixelSize result{sanitized(size.width), sanitized(size.height)};
    const bool invalid = !std::isfinite(size.width) || !std::isfinite(size.height) || size.width < 1.0 ||
                         size.height < 1.0;
    if (invalid) {
        std::ostringstream line;
        line << context << " got invalid size (" << size.width << ", " << size.height << "); clamped to "
             << result.width << "x" << result.height;
        logLine(LogLevel::error, LogCategory::capture, line.str());
    }
    return result;
}

std::optional<PixelRect> pixelAlignedCropRect(const Rect& rect, const Rect& screenFrame, double s, Size imageSize) {
    if (!usable(rect, screenFrame, s, imageSize)) {
        std::ostringstream line;
        line << "pixelAlignedCropRect got non-finite input rect=" << describe(rect)
             << " screenFrame=" << describe(screenFrame) << " scale=" << s << " imageSize=(" << imageSize.width << ", "
             << imageSize.height << "); refusing the crop";
        logLine(LogLevel::error, LogCategory::capture, line.str());
        return std::nullopt;
    }
    const Rect local = rect.standardized().offsetBy(-screenFrame.minX(), -screenFrame.minY());
    const double top = screenFrame.height - local.maxY();
    const double x0 = std::floor(local.minX() * s);
    const double y0 = std::floor(top * s);
    const double x1 = std::ceil(local.maxX() * s);
    const double y1 = std::ceil((top + local.height) * s);
    const Rect crop = Rect{x0, y0, x1 - x0, y1 - y0}.intersection({0, 0, imageSize.width, imageSize.height});
    if (crop.isEmpty()) return std::nullopt;
    return PixelRect{int64_t(crop.x), int64_t(crop.y), int64_t(crop.width), int64_t(crop.height)};
}


}  // namespace tessarin
