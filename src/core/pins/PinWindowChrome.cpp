#include "core/pins/PinWindowChrome.h"

#include "core/common/Localization.h"

namespace tessarin::PinWindowChrome {
namespace {

constexpr double kMargin = 8;
constexpr double kGap = 6;
constexpr double kHeight = 24;
constexpr double kIconWidth = 24;
constexpr double kSaveWidth = 56;
constexpr double kEdge = 6;

}  // namespace

std::vector<ButtonFrame> buttons(Size size) {
    std::vector<ButtonFrame> frames;
    double right = size.width - kMargin;
    auto place = [&](Button button, double width, std::string title) {
        frames.push_back({button, Rect{right - width, kMargin, width, kHeight}, std::move(title)});
        right -= width + kGap;
    };
    place(Button::close, kIconWidth, "");
    place(Button::save, kSaveWidth, localized("Save"));
    place(Button::copy, kIconWidth, "");
    return frames;
}

Hit hitTest(Size size, Point point, bool buttonsShown) {
    Hit hit;
    if (buttonsShown) {
        for (const auto& frame : buttons(size)) {
            if (frame.frame.containsInclusive(point)) {
                hit.button = frame.button;
                return hit;
            }
        }
    }
    if (point.x < kEdge) hit.edges |= left;
    if (point.x > size.width - kEdge) hit.edges |= right;
    if (point.y < kEdge) hit.edges |= top;
    if (point.y > size.height - kEdge) hit.edges |= bottom;
    return hit;
}

}  // namespace tessarin::PinWindowChrome
