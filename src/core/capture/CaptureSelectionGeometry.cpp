#include "core/capture/CaptureSelectionGeometry.h"

#include <algorithm>
#include <cmath>

namespace tessarin::CaptureSelectionGeometry {

Rect translatedToFit(const Rect& rect, const Rect& bounds) {
    const Rect r = rect.standardized();
    const Rect b = bounds.standardized();
    const double x = std::max(b.minX(), std::min(r.minX(), std::max(b.minX(), b.maxX() - r.width)));
    const double y = std::max(b.minY(), std::min(r.minY(), std::max(b.minY(), b.maxY() - r.height)));
    return {x, y, r.width, r.height};
}

Rect move(const Rect& rect, Point by, const Rect& bounds) {
    const Rect r = rect.standardized();
    const double w = std::min(std::max(1.0, r.width), bounds.width);
    const double h = std::min(std::max(1.0, r.height), bounds.height);
    const double x = std::max(bounds.minX(), std::min(r.minX() + by.x, bounds.maxX() - w));
    const double y = std::max(bounds.minY(), std::min(r.minY() + by.y, bounds.maxY() - h));
    return {x, y, w, h};
}

Rect selectionRect(Point start, Point end, const Rect& bounds, std::optional<double> aspectRatio,
                   double minimumDimension) {
    const auto clamp = [&bounds](Point p) {
        return Point{std::max(bounds.minX(), std::min(p.x, bounds.maxX())),
                     std::max(bounds.minY(), std::min(p.y, bounds.maxY()))};
    };
    start = clamp(start);
    end = clamp(end);
    const double dx = std::abs(end.x - start.x);
    const double dy = std::abs(end.y - start.y);
    double w = dx > minimumDimension ? dx : minimumDimension;
    double h = dy > minimumDimension ? dy : minimumDimension;
    if (aspectRatio && *aspectRatio > 0) {
        const double r = *aspectRatio;
        if (r < w / h) {
            h = w / r;
        } else {
            w = h * r;
        }
    }
    const double x = start.x <= end.x ? start.x : start.x - w;
    const double y = start.y <= end.y ? start.y : start.y - h;
    return move({x, y, w, h}, {0, 0}, bounds);
}

Rect applyingPreset(const CapturePreset& preset, const Rect& current, const Rect& bounds, double minimumDimension) {
    double w = 0;
    double h = 0;
    switch (preset.kind) {
        case CapturePreset::Kind::freeform: return current;
        case CapturePreset::Kind::aspectRatio: {
            if (preset.height < 1) return current;
            const double r = double(preset.width) / double(preset.height);
            w = std::max(current.standardized().width, minimumDimension);
            h = std::max(current.standardized().height, minimumDimension);
            if (r < w / h) {
                h = w / r;
            } else {
                w = r * h;
            }
            if (w > bounds.width) {
                w = bounds.width;
                h = w / r;
            }
            if (h > bounds.height) {
                h = bounds.height;
                w = r * h;
            }
            break;
        }
        case CapturePreset::Kind::fixedSize:
            w = std::max(1, preset.width);
            h = std::max(1, preset.height);
            break;
    }
    w = std::min(std::max(w, 1.0), std::max(bounds.width, 1.0));
    h = std::min(std::max(h, 1.0), std::max(bounds.height, 1.0));
    const Rect centred{current.midX() - w / 2, current.midY() - h / 2, w, h};
    return move(centred, {0, 0}, bounds).integral();
}

size_t cycledPresetIndex(const std::vector<CapturePreset>& presets, const CapturePreset& active, bool forward) {
    const size_t n = presets.size();
    if (n == 0) return 0;
    const auto it = std::find(presets.begin(), presets.end(), active);
    const size_t i = it == presets.end() ? 0 : size_t(it - presets.begin());
    return forward ? (i + 1) % n : (i + n - 1) % n;
}

}  // namespace tessarin::CaptureSelectionGeometry
