#include "core/history/WindowFrameAutosave.h"

#include <algorithm>
#include <cmath>

namespace tessarin {
namespace {

std::optional<int> coordinate(const nlohmann::json& object, const char* name) {
    const auto found = object.find(name);
    if (found == object.end() || !found->is_number()) return std::nullopt;
    const double value = found->get<double>();
    if (!std::isfinite(value) || std::fabs(value) > 1e6) return std::nullopt;
    return static_cast<int>(std::lround(value));
}

int overlap(int a, int aLength, int b, int bLength) {
    return std::max(0, std::min(a + aLength, b + bLength) - std::max(a, b));
}

}  // namespace

std::optional<GridRect> WindowFrameAutosave::stored(const std::vector<GridRect>& screens, int minWidth,
                                                    int minHeight) const {
    const auto value = store_.object(key_);
    if (!value || !value->is_object()) return std::nullopt;
    const auto x = coordinate(*value, "x");
    const auto y = coordinate(*value, "y");
    const auto width = coordinate(*value, "width");
    const auto height = coordinate(*value, "height");
    if (!x || !y || !width || !height) return std::nullopt;
    if (*width < minWidth || *height < minHeight || *width > maxSide || *height > maxSide) return std::nullopt;
    const GridRect frame{*x, *y, *width, *height};
    for (const auto& screen : screens) {
        if (overlap(frame.x, frame.width, screen.x, screen.width) >= minVisible &&
            overlap(frame.y, frame.height, screen.y, screen.height) >= minVisible) {
            return frame;
        }
    }
    return std::nullopt;
}

GridRect WindowFrameAutosave::frame(const std::vector<GridRect>& screens, GridRect preferred, int minWidth,
                                    int minHeight) const {
    if (auto saved = stored(screens, minWidth, minHeight)) return *saved;
    return defaultFrame(screens, preferred);
}

GridRect WindowFrameAutosave::defaultFrame(const std::vector<GridRect>& screens, GridRect preferred) {
    if (screens.empty()) return preferred;
    const GridRect& screen = screens.front();
    GridRect frame = preferred;
    frame.width = std::min(preferred.width, screen.width);
    frame.height = std::min(preferred.height, screen.height);
    frame.x = screen.x + (screen.width - frame.width) / 2;
    frame.y = screen.y + (screen.height - frame.height) / 2;
    return frame;
}

void WindowFrameAutosave::save(const GridRect& frame) {
    store_.set(key_, nlohmann::json{{"x", frame.x}, {"y", frame.y}, {"width", frame.width}, {"height", frame.height}});
}

}  // namespace tessarin
