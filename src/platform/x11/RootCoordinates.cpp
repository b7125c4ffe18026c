#include "platform/x11/RootCoordinates.h"

#include <cmath>

namespace tessarin::x11 {

RootCoordinates::RootCoordinates(PixelRect primaryMonitor, double scale)
    : primary_(primaryMonitor), scale_(scale >= 1 ? scale : 1) {}

Rect RootCoordinates::toGlobalBottomLeft(PixelRect root) const {
    const double flippedY = static_cast<double>(primary_.y + primary_.height - (root.y + root.height));
    return {static_cast<double>(root.x - primary_.x) / scale_, flippedY / scale_,
            static_cast<double>(root.width) / scale_, static_cast<double>(root.height) / scale_};
}

Rect RootCoordinates::toGlobalTopLeft(PixelRect root) const {
    return {static_cast<double>(root.x - primary_.x) / scale_, static_cast<double>(root.y - primary_.y) / scale_,
            static_cast<double>(root.width) / scale_, static_cast<double>(root.height) / scale_};
}

Point RootCoordinates::pointToGlobalBottomLeft(int64_t rootX, int64_t rootY) const {
    return {static_cast<double>(rootX - primary_.x) / scale_,
            static_cast<double>(primary_.y + primary_.height - rootY) / scale_};
}

PixelRect RootCoordinates::rootPixelAt(Point global) const {
    const auto x = static_cast<int64_t>(std::floor(global.x * scale_));
    const auto y = static_cast<int64_t>(std::floor(global.y * scale_));
    return {primary_.x + x, primary_.y + primary_.height - y, 1, 1};
}

}  // namespace tessarin::x11
