#include "core/annotation/AnnotationHandles.h"

#include <cmath>
#include <numbers>

#include "core/annotation/AnnotationGeometry.h"
#include "core/annotation/OtherAnnotations.h"
#include "core/annotation/RectAnnotations.h"
#include "core/annotation/SegmentAnnotations.h"

namespace tessarin {
namespace {

using H = AnnotationResizeHandle;
using Cursor = AnnotationCursorKind;

constexpr double kMinimumStrokeArea = 8;

Rect centredSquare(Point p, double size) { return {p.x - size / 2, p.y - size / 2, size, size}; }

AnnotationHandle makeHandle(AnnotationHandleKind kind, Point at, Cursor cursor, std::optional<Rect> base) {
    return {kind, centredSquare(at, AnnotationHandle::kHitSize), centredSquare(at, AnnotationHandle::kVisualSize),
            cursor, base};
}

Point handlePoint(const Rect& r, H handle) {
    switch (handle) {
        case H::topLeft: return {r.minX(), r.maxY()};
        case H::topRight: return {r.maxX(), r.maxY()};
        case H::bottomLeft: return {r.minX(), r.minY()};
        case H::bottomRight: return {r.maxX(), r.minY()};
        case H::left: return {r.minX(), r.midY()};
        case H::right: return {r.maxX(), r.midY()};
        case H::top: return {r.midX(), r.maxY()};
        case H::bottom: return {r.midX(), r.minY()};
    }
    return {};
}

void addRectHandles(std::vector<AnnotationHandle>& out, const Rect& rect, bool withEdges) {
    const Rect r = rect.standardized();
    using T = AnnotationHandleKind::Type;
    for (H h : {H::topLeft, H::topRight, H::bottomLeft, H::bottomRight}) {
        out.push_back(makeHandle({T::corner, h, {}}, handlePoint(r, h), Cursor::resize(h), r));
    }
    if (!withEdges) return;
    for (H h : {H::left, H::right, H::top, H::bottom}) {
        out.push_back(makeHandle({T::edge, h, {}}, handlePoint(r, h), Cursor::resize(h), r));
    }
}

bool isDragCursor(const Cursor& c) {
    return c.type == Cursor::Type::openHand || c.type == Cursor::Type::closedHand;
}

Cursor withOption(Cursor c, bool optionDown) {
    return optionDown && isDragCursor(c) ? Cursor::of(Cursor::Type::dragCopy) : c;
}

AnnotationPtr singleSelected(const AnnotationCursorPolicy::CanvasState& state) {
    if (state.selectedIDs.size() != 1 || !state.annotations) return nullptr;
    for (const auto& a : *state.annotations) {
        if (a->id() == *state.selectedIDs.begin() && !a->isHidden()) return a;
    }
    return nullptr;
}

}  // namespace

namespace AnnotationHandles {

AnnotationResizeHandle segmentCursorHandle(Point start, Point end) {
    double degrees = std::atan2(end.y - start.y, end.x - start.x) * 180 / std::numbers::pi;
    if (degrees < 0) degrees += 180;  // a segment's direction is the same both ways
    switch (int(std::lround(degrees / 45)) % 4) {
        case 0: return H::right;
        case 1: return H::topRight;
        case 2: return H::top;
        default: return H::topLeft;
    }
}

std::vector<AnnotationHandle> handles(const Annotation& annotation) {
    std::vector<AnnotationHandle> out;
    if (const auto* segment = dynamic_cast<const SegmentAnnotation*>(&annotation)) {
        const Cursor cursor = Cursor::resize(segmentCursorHandle(segment->startPoint, segment->endPoint));
        using T = AnnotationHandleKind::Type;
        out.push_back(makeHandle({T::segmentEndpoint, {}, AnnotationEndpoint::start}, segment->startPoint, cursor, {}));
        out.push_back(makeHandle({T::segmentEndpoint, {}, AnnotationEndpoint::end}, segment->endPoint, cursor, {}));
    } else if (const auto* shape = dynamic_cast<const RectBackedAnnotation*>(&annotation)) {
        addRectHandles(out, shape->rect, true);
    } else if (const auto* text = dynamic_cast<const TextAnnotation*>(&annotation)) {
        addRectHandles(out, text->textBox(), false);
    }
    return out;
}

std::optional<AnnotationHandle> handleAt(const Annotation& annotation, Point point) {
    for (auto& handle : handles(annotation)) {
        if (handle.rect.containsInclusive(point)) return handle;
    }
    return std::nullopt;
}

}  // namespace AnnotationHandles

namespace AnnotationCursorPolicy {

AnnotationCursorKind idleCursor(const CanvasState& state) {
    if (!state.toolType) {
        return Cursor::of(state.selectedIDs.empty() ? Cursor::Type::crosshair : Cursor::Type::arrow);
    }
    if (*state.toolType == AnnotationToolType::move) return Cursor::of(Cursor::Type::arrow);
    if (!state.selectedIDs.empty()) return Cursor::of(Cursor::Type::arrow);
    switch (*state.toolType) {
        case AnnotationToolType::highlighter: return Cursor::of(Cursor::Type::highlighter);
        case AnnotationToolType::text: return Cursor::of(Cursor::Type::iBeam);
        default: return Cursor::of(Cursor::Type::crosshair);
    }
}

AnnotationCursorKind cursor(const CanvasState& state, std::optional<Point> point) {
    namespace I = AnnotationInteraction;
    if (std::holds_alternative<I::Moving>(state.interaction)) {
        return withOption(Cursor::of(Cursor::Type::closedHand), state.isOptionDown);
    }
    if (const auto* r = std::get_if<I::ResizingRect>(&state.interaction)) return Cursor::resize(r->handle);
    if (const auto* t = std::get_if<I::ScalingText>(&state.interaction)) return Cursor::resize(t->handle);
    if (const auto* a = std::get_if<I::ResizingArrow>(&state.interaction)) {
        return Cursor::resize(AnnotationHandles::segmentCursorHandle(a->initialStart, a->initialEnd));
    }
    const Cursor idle = idleCursor(state);
    if (!point || !state.annotations) return idle;
    if (const auto selected = singleSelected(state)) {
        if (auto handle = AnnotationHandles::handleAt(*selected, *point)) return handle->cursorKind;
    }
    // A drawing tool draws over unselected annotations, so only the
    // selection (or every annotation, for the move tool) shows a hand.
    const bool drawing = state.toolType && *state.toolType != AnnotationToolType::move;
    for (auto it = state.annotations->rbegin(); it != state.annotations->rend(); ++it) {
        if (!(*it)->contains(*point)) continue;
        if (drawing && !state.selectedIDs.count((*it)->id())) break;
        return withOption(Cursor::of(Cursor::Type::openHand), state.isOptionDown);
    }
    return idle;
}

std::vector<AnnotationCursorRect> cursorRects(const CanvasState& state) {
    std::vector<AnnotationCursorRect> out;
    if (!state.annotations) return out;
    if (const auto selected = singleSelected(state)) {
        for (const auto& handle : AnnotationHandles::handles(*selected)) out.push_back({handle.rect, handle.cursorKind});
    }
    const Cursor body = withOption(Cursor::of(Cursor::Type::openHand), state.isOptionDown);
    for (auto it = state.annotations->rbegin(); it != state.annotations->rend(); ++it) {
        if ((*it)->isHidden()) continue;
        Rect area = (*it)->selectionBounds().standardized();
        if (area.width < kMinimumStrokeArea) area = {area.midX() - kMinimumStrokeArea / 2, area.y, kMinimumStrokeArea, area.height};
        if (area.height < kMinimumStrokeArea) area = {area.x, area.midY() - kMinimumStrokeArea / 2, area.width, kMinimumStrokeArea};
        out.push_back({area, body});
    }
    return out;
}

}  // namespace AnnotationCursorPolicy
}  // namespace tessarin
