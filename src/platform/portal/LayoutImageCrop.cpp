#include "platform/portal/LayoutImageCrop.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace tessarin::portal {
namespace {

std::string describe(PixelRect r) {
    return std::to_string(r.width) + "x" + std::to_string(r.height) + "+" + std::to_string(r.x) + "+" +
           std::to_string(r.y);
}

bool inside(PixelRect area, int64_t width, int64_t height) {
    return !area.isEmpty() && area.x >= 0 && area.y >= 0 && area.width <= width && area.height <= height &&
           area.x <= width - area.width && area.y <= height - area.height;
}

}  // namespace

PixelRect layoutBounds(const std::vector<OutputPlacement>& outputs) {
    if (outputs.empty()) return {};
    int64_t x0 = outputs.front().logical.x, y0 = outputs.front().logical.y;
    int64_t x1 = x0 + outputs.front().logical.width, y1 = y0 + outputs.front().logical.height;
    for (const OutputPlacement& o : outputs) {
        x0 = std::min(x0, o.logical.x);
        y0 = std::min(y0, o.logical.y);
        x1 = std::max(x1, o.logical.x + o.logical.width);
        y1 = std::max(y1, o.logical.y + o.logical.height);
    }
    return {x0, y0, x1 - x0, y1 - y0};
}

Expected<Image, std::string> cropOutputArea(const Image& layoutImage, PixelRect bounds, const OutputPlacement& output,
                                            PixelRect area) {
    if (bounds.isEmpty() || output.logical.isEmpty() || output.pixelWidth <= 0 || output.pixelHeight <= 0) {
        return unexpected(std::string("the output has no size"));
    }
    if (!inside(area, output.pixelWidth, output.pixelHeight)) {
        return unexpected("area " + describe(area) + " is not inside the output (" + std::to_string(output.pixelWidth) +
                          "x" + std::to_string(output.pixelHeight) + " pixels)");
    }
    // Image pixels per logical unit, the same both ways unless the outputs
    // changed since the layout was read.
    const double scaleX = static_cast<double>(layoutImage.width()) / static_cast<double>(bounds.width);
    const double scaleY = static_cast<double>(layoutImage.height()) / static_cast<double>(bounds.height);
    if (layoutImage.isEmpty() || std::abs(scaleX - scaleY) > 0.01 * std::max(scaleX, scaleY)) {
        return unexpected("the screenshot (" + std::to_string(layoutImage.width()) + "x" +
                          std::to_string(layoutImage.height()) + " pixels) does not match the layout of the outputs (" +
                          std::to_string(bounds.width) + "x" + std::to_string(bounds.height) +
                          "); did a display change?");
    }
    // Where the output starts in the image, and image pixels per output pixel.
    const double originX = static_cast<double>(output.logical.x - bounds.x) * scaleX;
    const double originY = static_cast<double>(output.logical.y - bounds.y) * scaleY;
    const double stepX = scaleX * static_cast<double>(output.logical.width) / static_cast<double>(output.pixelWidth);
    const double stepY = scaleY * static_cast<double>(output.logical.height) / static_cast<double>(output.pixelHeight);

    auto image = Image::allocate(static_cast<uint32_t>(area.width), static_cast<uint32_t>(area.height));
    if (!image) return unexpected(std::string("not enough memory for a ") + describe(area) + " image");
    const int64_t lastX = layoutImage.width() - 1, lastY = layoutImage.height() - 1;
    const bool sameScale = std::abs(stepX - 1) < 1e-9 && std::abs(stepY - 1) < 1e-9;
    for (int64_t row = 0; row < area.height; ++row) {
        uint8_t* target = image->row(static_cast<uint32_t>(row));
        if (sameScale) {
            const int64_t sourceX = std::clamp<int64_t>(std::llround(originX) + area.x, 0, lastX);
            const int64_t sourceY = std::clamp<int64_t>(std::llround(originY) + area.y + row, 0, lastY);
            if (layoutImage.width() - sourceX >= area.width) {
                std::memcpy(target, layoutImage.row(static_cast<uint32_t>(sourceY)) + sourceX * 4,
                            static_cast<size_t>(area.width) * 4);
                continue;
            }
        }
        // The image pixel under the centre of each output pixel.
        const auto sourceY = std::clamp<int64_t>(
            static_cast<int64_t>(std::floor(originY + (static_cast<double>(area.y + row) + 0.5) * stepY)), 0, lastY);
        const uint8_t* source = layoutImage.row(static_cast<uint32_t>(sourceY));
        for (int64_t column = 0; column < area.width; ++column) {
            const auto sourceX = std::clamp<int64_t>(
                static_cast<int64_t>(std::floor(originX + (static_cast<double>(area.x + column) + 0.5) * stepX)), 0,
                lastX);
            std::memcpy(target + column * 4, source + sourceX * 4, 4);
        }
    }
    return std::move(*image);
}

}  // namespace tessarin::portal
