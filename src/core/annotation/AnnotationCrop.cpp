#include "core/annotation/AnnotationCrop.h"

#include <algorithm>
#include <cmath>

namespace tessarin {

std::string AnnotationCropPreset::title() const {
    switch (kind) {
        case Kind::free: return "Free";
        case Kind::original: return "Original Ratio";
        case Kind::ratio: return std::to_string(width) + ":" + std::to_string(height);
        case Kind::pixels: return std::to_string(width) + " \u00d7 " + std::to_string(height);
    }
    return {};
}

std::optional<double> AnnotationCropPreset::aspectRatio(Size imageSize) const {
    switch (kind) {
        case Kind::free: return std::nullopt;
        case Kind::ratio:
        case Kind::pixels:
            if (height < 1 || width < 1) return std::nullopt;
            return double(width) / height;
        case Kind::original:
            if (!(imageSize.width > 0) || !(imageSize.height > 0) || !std::isfinite(imageSize.width) ||
                !std::isfinite(imageSize.height)) {
                return std::nullopt;
            }
            return imageSize.width / imageSize.height;
    }
    return std::nullopt;
}

const std::vector<AnnotationCropPreset>& annotationCropRatioPresets() {
    static const std::vector<AnnotationCropPreset> presets = {
        AnnotationCropPreset::freeform(), AnnotationCropPreset::originalRatio(), AnnotationCropPreset::ratio(1, 1),
        AnnotationCropPreset::ratio(4, 3),  AnnotationCropPreset::ratio(3, 2),     AnnotationCropPreset::ratio(16, 9),
        AnnotationCropPreset::ratio(9, 16), AnnotationCropPreset::ratio(4, 5)};
    return presets;
}

const std::vector<AnnotationCropPreset>& annotationCropSizePresets() {
    static const std::vector<AnnotationCropPreset> presets = {
        AnnotationCropPreset::pixels(1920, 1080), AnnotationCropPreset::pixels(1280, 720),
        AnnotationCropPreset::pixels(1080, 1080), AnnotationCropPreset::pixels(1080, 1920),
        AnnotationCropPreset::pixels(1200, 630)};
    return presets;
}

bool isCornerHandle(AnnotationCropHandle handle) {
    return handle == AnnotationCropHandle::topLeft || handle == AnnotationCropHandle::topRight ||
           handle == AnnotationCropHandle::bottomLeft || handle == AnnotationCropHandle::bottomRight;
}

namespace AnnotationCropGeometry {
namespace {

struct Edges {
    double x0, y0, x1, y1;  // left, bottom, right, top
    Rect rect() const { return {x0, y0, x1 - x0, y1 - y0}; }
};

bool movesLeft(AnnotationCropHandle h) {
    return h == AnnotationCropHandle::topLeft || h == AnnotationCropHandle::bottomLeft || h == AnnotationCropHandle::left;
}
bool movesRight(AnnotationCropHandle h) {
    return h == AnnotationCropHandle::topRight || h == AnnotationCropHandle::bottomRight ||
           h == AnnotationCropHandle::right;
}
bool movesTop(AnnotationCropHandle h) {
    return h == AnnotationCropHandle::topLeft || h == AnnotationCropHandle::topRight || h == AnnotationCropHandle::top;
}
bool movesBottom(AnnotationCropHandle h) {
    return h == AnnotationCropHandle::bottomLeft || h == AnnotationCropHandle::bottomRight ||
           h == AnnotationCropHandle::bottom;
}

double finiteOrZero(double v) { return std::isfinite(v) ? v : 0; }

// Keeps [start, start + length] inside [lo, hi] by moving it; a span longer
// than the interval starts at lo.
double shiftedInside(double start, double length, double lo, double hi) {
    return std::max(lo, std::min(start, hi - length));
}

// A corner resize held to `ratio`, anchored at the corner opposite `handle`.
Edges cornerWithRatio(const Edges& e, AnnotationCropHandle handle, double ratio, const Rect& b, Size minimum) {
    double width = std::min(e.x1 - e.x0, (e.y1 - e.y0) * ratio);
    width = std::max({width, minimum.width, minimum.height * ratio});
    double height = width / ratio;
    const double anchorX = movesLeft(handle) ? e.x1 : e.x0;
    const double anchorY = movesTop(handle) ? e.y0 : e.y1;
    const double roomX = movesLeft(handle) ? anchorX - b.minX() : b.maxX() - anchorX;
    const double roomY = movesTop(handle) ? b.maxY() - anchorY : anchorY - b.minY();
    const double factor = std::min({1.0, roomX / width, roomY / height});
    width *= factor;
    height *= factor;
    Edges out = e;
    if (movesLeft(handle)) out.x0 = anchorX - width; else out.x1 = anchorX + width;
    if (movesTop(handle)) out.y1 = anchorY + height; else out.y0 = anchorY - height;
    return out;
}

// An edge resize held to `ratio`: the dragged dimension drives the other,
// which stays centred on the original centre line where the bounds allow.
Edges edgeWithRatio(const Edges& e, const Rect& original, AnnotationCropHandle handle, double ratio, const Rect& b) {
    const bool horizontal = handle == AnnotationCropHandle::left || handle == AnnotationCropHandle::right;
    double width = e.x1 - e.x0;
    double height = e.y1 - e.y0;
    if (horizontal) height = width / ratio; else width = height * ratio;
    const double factor = std::min({1.0, b.width / width, b.height / height});
    width *= factor;
    height *= factor;
    Edges out = e;
    if (horizontal) {
        if (handle == AnnotationCropHandle::left) out.x0 = e.x1 - width; else out.x1 = e.x0 + width;
        out.y0 = shiftedInside(original.midY() - height / 2, height, b.minY(), b.maxY());
        out.y1 = out.y0 + height;
    } else {
        if (handle == AnnotationCropHandle::bottom) out.y0 = e.y1 - height; else out.y1 = e.y0 + height;
        out.x0 = shiftedInside(original.midX() - width / 2, width, b.minX(), b.maxX());
        out.x1 = out.x0 + width;
    }
    return out;
}

}  // namespace

Rect resized(const Rect& rect, AnnotationCropHandle handle, double dx, double dy, std::optional<double> ratio,
             const Rect& bounds) {
    const Rect r = rect.standardized();
    const Rect b = bounds.standardized();
    const Size minimum{std::min(kMinimumSide, b.width), std::min(kMinimumSide, b.height)};
    dx = finiteOrZero(dx);
    dy = finiteOrZero(dy);
    Edges e{r.minX(), r.minY(), r.maxX(), r.maxY()};
    if (movesLeft(handle)) e.x0 = std::clamp(e.x0 + dx, b.minX(), std::max(b.minX(), e.x1 - minimum.width));
    if (movesRight(handle)) e.x1 = std::clamp(e.x1 + dx, std::min(b.maxX(), e.x0 + minimum.width), b.maxX());
    if (movesBottom(handle)) e.y0 = std::clamp(e.y0 + dy, b.minY(), std::max(b.minY(), e.y1 - minimum.height));
    if (movesTop(handle)) e.y1 = std::clamp(e.y1 + dy, std::min(b.maxY(), e.y0 + minimum.height), b.maxY());
    if (!ratio || !(*ratio > 0) || !std::isfinite(*ratio) || e.x1 <= e.x0 || e.y1 <= e.y0) return e.rect();
    if (isCornerHandle(handle)) return cornerWithRatio(e, handle, *ratio, b, minimum).rect();
    return edgeWithRatio(e, r, handle, *ratio, b).rect();
}

Rect moved(const Rect& rect, Point delta, const Rect& bounds) {
    const Rect r = rect.standardized();
    const Rect b = bounds.standardized();
    return {shiftedInside(r.x + finiteOrZero(delta.x), r.width, b.minX(), b.maxX()),
            shiftedInside(r.y + finiteOrZero(delta.y), r.height, b.minY(), b.maxY()), r.width, r.height};
}

Rect placed(Size size, Point centre, const Rect& bounds) {
    const Rect b = bounds.standardized();
    return {shiftedInside(centre.x - size.width / 2, size.width, b.minX(), b.maxX()),
            shiftedInside(centre.y - size.height / 2, size.height, b.minY(), b.maxY()), size.width, size.height};
}

Rect largestFitting(double ratio, Point centre, const Rect& bounds) {
    const Rect b = bounds.standardized();
    double width = b.width;
    double height = width / ratio;
    if (height > b.height) {
        height = b.height;
        width = height * ratio;
    }
    return placed({width, height}, centre, b);
}

std::optional<PixelRect> pixelRect(const Rect& crop, const Rect& imageRect, double p) {
    if (!(p > 0) || !std::isfinite(p) || !crop.isFinite() || !imageRect.isFinite()) return std::nullopt;
    const Rect c = crop.standardized();
    const Rect image = imageRect.standardized();
    // Half away from zero, as std::round does; values are held well inside int64.
    const auto px = [](double v) { return int64_t(std::round(std::clamp(v, -1e15, 1e15))); };
    const int64_t imageWidth = px(image.width * p);
    const int64_t imageHeight = px(image.height * p);
    if (imageWidth < 1 || imageHeight < 1) return std::nullopt;
    const int64_t x = std::clamp<int64_t>(px((c.minX() - image.minX()) * p), 0, imageWidth - 1);
    const int64_t y = std::clamp<int64_t>(px((image.maxY() - c.maxY()) * p), 0, imageHeight - 1);
    const int64_t width = std::max<int64_t>(1, std::min(px(c.width * p), imageWidth - x));
    const int64_t height = std::max<int64_t>(1, std::min(px(c.height * p), imageHeight - y));
    return PixelRect{x, y, width, height};
}

Rect handleHitArea(const Rect& rect, AnnotationCropHandle handle) {
    const Rect r = rect.standardized();
    const double x = movesLeft(handle) ? r.minX() : movesRight(handle) ? r.maxX() : r.midX();
    const double y = movesBottom(handle) ? r.minY() : movesTop(handle) ? r.maxY() : r.midY();
    return {x - kHandleHitSide / 2, y - kHandleHitSide / 2, kHandleHitSide, kHandleHitSide};
}

}  // namespace AnnotationCropGeometry

AnnotationCropSessionState::AnnotationCropSessionState(const Rect& imageRect, double pixelsPerPoint, std::optional<Rect> initial)
    : imageRect_(imageRect.standardized()), pixelsPerPoint_(pixelsPerPoint), rect_(imageRect_) {
    if (initial && initial->isFinite()) {
        const Rect inside = initial->standardized().intersection(imageRect_);
        if (!inside.isEmpty()) rect_ = inside;
    }
}

bool AnnotationCropSessionState::canSelect(const AnnotationCropPreset& preset) const {
    if (preset.kind != AnnotationCropPreset::Kind::pixels) return true;
    if (!(pixelsPerPoint_ > 0) || preset.width < 1 || preset.height < 1) return false;
    return preset.width / pixelsPerPoint_ <= imageRect_.width + 0.5 &&
           preset.height / pixelsPerPoint_ <= imageRect_.height + 0.5;
}

bool AnnotationCropSessionState::select(const AnnotationCropPreset& preset) {
    if (!canSelect(preset)) return false;
    preset_ = preset;
    drag_.reset();
    const Point centre{rect_.midX(), rect_.midY()};
    switch (preset.kind) {
        case AnnotationCropPreset::Kind::free: break;
        case AnnotationCropPreset::Kind::pixels: {
            const Size size{std::min(preset.width / pixelsPerPoint_, imageRect_.width),
                            std::min(preset.height / pixelsPerPoint_, imageRect_.height)};
            rect_ = AnnotationCropGeometry::placed(size, centre, imageRect_);
            break;
        }
        case AnnotationCropPreset::Kind::ratio:
        case AnnotationCropPreset::Kind::original:
            if (const auto ratio = preset.aspectRatio({imageRect_.width, imageRect_.height})) {
                rect_ = AnnotationCropGeometry::largestFitting(*ratio, centre, imageRect_);
            }
            break;
    }
    return true;
}

void AnnotationCropSessionState::reset() {
    rect_ = imageRect_;
    preset_ = AnnotationCropPreset::freeform();
    drag_.reset();
}

std::optional<AnnotationCropHandle> AnnotationCropSessionState::handleAt(Point point) const {
    for (const AnnotationCropHandle handle : kAnnotationCropHandles) {
        if (AnnotationCropGeometry::handleHitArea(rect_, handle).containsInclusive(point)) return handle;
    }
    return std::nullopt;
}

bool AnnotationCropSessionState::beginDrag(Point point) {
    const auto handle = handleAt(point);
    if (!handle && !rect_.containsInclusive(point)) return false;
    drag_ = Drag{handle, point, rect_};
    return true;
}

bool AnnotationCropSessionState::dragTo(Point point) {
    if (!drag_) return false;
    const double dx = point.x - drag_->initialPoint.x;
    const double dy = point.y - drag_->initialPoint.y;
    const Rect next =
        drag_->handle ? AnnotationCropGeometry::resized(drag_->initialRect, *drag_->handle, dx, dy,
                                                        preset_.aspectRatio({imageRect_.width, imageRect_.height}),
                                                        imageRect_)
                      : AnnotationCropGeometry::moved(drag_->initialRect, {dx, dy}, imageRect_);
    if (next == rect_) return false;
    rect_ = next;
    return true;
}

AnnotationCropCursor AnnotationCropSessionState::cursorAt(Point point) const {
    const auto handle = drag_ ? drag_->handle : handleAt(point);
    if (handle) {
        switch (*handle) {
            case AnnotationCropHandle::topLeft:
            case AnnotationCropHandle::bottomRight: return AnnotationCropCursor::resizeDiagonalFalling;
            case AnnotationCropHandle::topRight:
            case AnnotationCropHandle::bottomLeft: return AnnotationCropCursor::resizeDiagonalRising;
            case AnnotationCropHandle::left:
            case AnnotationCropHandle::right: return AnnotationCropCursor::resizeHorizontal;
            case AnnotationCropHandle::top:
            case AnnotationCropHandle::bottom: return AnnotationCropCursor::resizeVertical;
        }
    }
    return drag_ || rect_.containsInclusive(point) ? AnnotationCropCursor::move : AnnotationCropCursor::none;
}

AnnotationCropKeyOutcome AnnotationCropSessionState::handleKey(AnnotationCropKey key, bool shift) {
    if (drag_) return AnnotationCropKeyOutcome::ignored;
    const double step = shift ? 10 : 1;
    Point delta;
    switch (key) {
        case AnnotationCropKey::returnKey:
        case AnnotationCropKey::enter: return AnnotationCropKeyOutcome::apply;
        case AnnotationCropKey::escape: return AnnotationCropKeyOutcome::cancel;
        case AnnotationCropKey::left: delta = {-step, 0}; break;
        case AnnotationCropKey::right: delta = {step, 0}; break;
        case AnnotationCropKey::up: delta = {0, step}; break;  // y grows upward
        case AnnotationCropKey::down: delta = {0, -step}; break;
    }
    rect_ = AnnotationCropGeometry::moved(rect_, delta, imageRect_);
    return AnnotationCropKeyOutcome::moved;
}

AnnotationCropOverlay AnnotationCropSessionState::overlay() const {
    AnnotationCropOverlay overlay;
    overlay.crop = rect_;
    const Rect& i = imageRect_;
    const Rect& c = rect_;
    const Rect parts[] = {
        {i.minX(), c.maxY(), i.width, i.maxY() - c.maxY()},    // above
        {i.minX(), i.minY(), i.width, c.minY() - i.minY()},    // below
        {i.minX(), c.minY(), c.minX() - i.minX(), c.height},   // left
        {c.maxX(), c.minY(), i.maxX() - c.maxX(), c.height}};  // right
    for (const Rect& part : parts) {
        if (part.width > 0 && part.height > 0) overlay.dimmed.push_back(part);
    }
    for (const AnnotationCropHandle handle : kAnnotationCropHandles) {
        overlay.handles.push_back(AnnotationCropGeometry::handleHitArea(rect_, handle));
    }
    if (const auto pixels = AnnotationCropGeometry::pixelRect(rect_, imageRect_, pixelsPerPoint_)) {
        overlay.sizeLabel = std::to_string(pixels->width) + " \u00d7 " + std::to_string(pixels->height);
    }
    return overlay;
}

std::optional<Rect> AnnotationCropSessionState::rectToApply() const {
    const auto crop = AnnotationCropGeometry::pixelRect(rect_, imageRect_, pixelsPerPoint_);
    const auto whole = AnnotationCropGeometry::pixelRect(imageRect_, imageRect_, pixelsPerPoint_);
    if (!crop || crop == whole) return std::nullopt;
    return rect_;
}

}  // namespace tessarin
