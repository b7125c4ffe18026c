#include "core/annotation/AnnotationTextLines.h"

#include <cmath>

namespace tessarin {

std::optional<Rect> AnnotationTextLines::lineAt(Point point) const {
    std::optional<Rect> best;
    double bestDistance = 0;
    for (const Rect& line : lines_) {
        const double grow = line.height / 4;
        const bool inside = point.x >= line.minX() && point.x <= line.maxX() && point.y >= line.minY() - grow &&
                            point.y <= line.maxY() + grow;
        if (!inside) continue;
        const double distance = std::fabs(point.y - line.midY());
        if (!best || distance < bestDistance) {
            best = line;
            bestDistance = distance;
        }
    }
    return best;
}

std::vector<Rect> AnnotationTextLines::fromNormalized(const std::vector<Rect>& boxes, const Rect& imageDrawRect) {
    std::vector<Rect> lines;
    const Rect draw = imageDrawRect.standardized();
    for (const Rect& box : boxes) {
        const Rect line{draw.minX() + box.x * draw.width, draw.minY() + box.y * draw.height, box.width * draw.width,
                        box.height * draw.height};
        if (!(line.width > 0) || !(line.height > 0) || !std::isfinite(line.x) || !std::isfinite(line.y)) continue;
        lines.push_back(line);
    }
    return lines;
}

}  // namespace tessarin
