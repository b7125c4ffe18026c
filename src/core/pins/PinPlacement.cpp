#include "core/pins/PinPlacement.h"

#include <algorithm>
#include <cmath>

namespace tessarin::PinPlacement {
namespace {

constexpr double kScreenShare = 0.62;
constexpr double kMinimumWidth = 160;
constexpr double kMinimumHeight = 90;
constexpr double kMinimumSide = 120;

double positive(double value, double fallback) { return value > 0 && std::isfinite(value) ? value : fallback; }

}  // namespace

Size windowSize(Size image, Size visible) {
    const double imageWidth = positive(image.width, 1);
    const double imageHeight = positive(image.height, 1);
    const double maxWidth = kScreenShare * positive(visible.width, 1);
    const double maxHeight = kScreenShare * positive(visible.height, 1);
    double scale = std::numeric_limits<double>::infinity();
    if (imageWidth > 1) scale = std::min(scale, maxWidth / imageWidth);
    if (imageHeight > 1) scale = std::min(scale, maxHeight / imageHeight);
    if (scale <= 1) return {std::max(imageWidth * scale, kMinimumWidth), std::max(imageHeight * scale, kMinimumHeight)};
    return {std::max(imageWidth, kMinimumWidth), std::max(imageHeight, kMinimumHeight)};
}

Rect centred(Size size, const Rect& bounds) {
    return {bounds.midX() - size.width / 2, bounds.midY() - size.height / 2, size.width, size.height};
}

Size minimumSize(Size image, Size initial) {
    const double width = positive(image.width, 1);
    const double height = positive(image.height, 1);
    const double k = kMinimumSide / std::max(1.0, std::min(width, height));
    Size minimum{width * k, height * k};
    const double fit = std::min({1.0, positive(initial.width, minimum.width) / minimum.width,
                                 positive(initial.height, minimum.height) / minimum.height});
    return {minimum.width * fit, minimum.height * fit};
}

Rect clamp(const Rect& frame, const Rect& bounds, bool keepAspect) {
    Rect result = frame.standardized();
    if (keepAspect) {
        const double fit = std::min({1.0, bounds.width / result.width, bounds.height / result.height});
        if (fit < 1) {
            result.width *= fit;
            result.height *= fit;
        }
    } else {
        result.width = std::min(result.width, bounds.width);
        result.height = std::min(result.height, bounds.height);
    }
    result.x = std::clamp(result.x, bounds.minX(), std::max(bounds.minX(), bounds.maxX() - result.width));
    result.y = std::clamp(result.y, bounds.minY(), std::max(bounds.minY(), bounds.maxY() - result.height));
    return result;
}

Size constrainedResize(Size proposed, Size current, Size image, Size minimum, Size maximum) {
    const double aspect = positive(image.width, 1) / positive(image.height, 1);
    const bool widthLeads =
        std::abs(proposed.width - current.width) / std::max(1.0, current.width) >=
        std::abs(proposed.height - current.height) / std::max(1.0, current.height);
    double width = widthLeads ? proposed.width : proposed.height * aspect;
    // Limits in width terms, each side's limit translated through the aspect.
    const double lowest = std::max(minimum.width, minimum.height * aspect);
    const double highest = std::max(lowest, std::min(maximum.width, maximum.height * aspect));
    width = std::clamp(positive(width, lowest), lowest, highest);
    return {width, width / aspect};
}

const Screen* screenWithID(uint32_t displayID, const std::vector<Screen>& screens) {
    const auto it = std::find_if(screens.begin(), screens.end(),
                                 [displayID](const Screen& screen) { return screen.displayID == displayID; });
    return it == screens.end() ? nullptr : &*it;
}

std::optional<Screen> screenOf(const Rect& frame, const std::vector<Screen>& screens) {
    const Point centre{frame.midX(), frame.midY()};
    for (const auto& screen : screens) {
        if (screen.visibleFrame.containsInclusive(centre)) return screen;
    }
    std::optional<Screen> best;
    double bestArea = 0;
    for (const auto& screen : screens) {
        const Rect overlap = screen.visibleFrame.intersection(frame);
        const double area = overlap.width * overlap.height;
        if (area > bestArea) {
            bestArea = area;
            best = screen;
        }
    }
    return best;
}

Rect restoredFrame(const StoredPin& pin, Size image, const std::vector<Screen>& screens, const Screen& main) {
    const Screen* home = screenWithID(pin.screenID, screens);
    if (!pin.frame) {
        const Screen& on = home ? *home : main;
        return centred(windowSize(image, {on.visibleFrame.width, on.visibleFrame.height}), on.visibleFrame);
    }
    if (home) return clamp(*pin.frame, home->visibleFrame, true);
    return clamp(centred({pin.frame->width, pin.frame->height}, main.visibleFrame), main.visibleFrame, true);
}

std::vector<StoredPin> appendBounded(std::vector<StoredPin>& queue, StoredPin pin, size_t cap) {
    queue.push_back(std::move(pin));
    std::vector<StoredPin> evicted;
    if (queue.size() <= cap) return evicted;
    const auto excess = static_cast<std::ptrdiff_t>(queue.size() - cap);
    std::vector<StoredPin> kept(std::make_move_iterator(queue.begin() + excess), std::make_move_iterator(queue.end()));
    queue.resize(static_cast<size_t>(excess));
    evicted.swap(queue);
    queue.swap(kept);
    return evicted;
}

}  // namespace tessarin::PinPlacement
