#include "core/annotation/AnnotationInteractionResolver.h"

#include <algorithm>
#include <cmath>

#include "core/annotation/AnnotationEditReplay.h"
#include "core/annotation/AnnotationGeometry.h"
#include "core/annotation/AnnotationHandles.h"
#include "core/annotation/OtherAnnotations.h"
#include "core/annotation/SegmentAnnotations.h"

namespace tessarin {

std::vector<AnnotationID> AnnotationInteraction::mutatedIDs(const Interaction& interaction) {
    return std::visit(
        [](const auto& i) -> std::vector<AnnotationID> {
            using T = std::decay_t<decltype(i)>;
            if constexpr (std::is_same_v<T, Moving>) {
                std::vector<AnnotationID> ids;
                for (const auto& s : i.snapshots) ids.push_back(s.id);
                return ids;
            } else if constexpr (std::is_same_v<T, None> || std::is_same_v<T, Marquee>) {
                return {};
            } else {
                return {i.id};
            }
        },
        interaction);
}

namespace AnnotationInteractionResolver {
namespace {

namespace I = AnnotationInteraction;
using H = AnnotationResizeHandle;

AnnotationPtr find(const std::vector<AnnotationPtr>& annotations, const AnnotationID& id) {
    for (const auto& a : annotations) {
        if (a->id() == id) return a;
    }
    return nullptr;
}

// The corner diagonally opposite a corner handle, which stays put while scaling.
Point oppositeCorner(const Rect& r, H handle) {
    switch (handle) {
        case H::topLeft: return {r.maxX(), r.minY()};
        case H::topRight: return {r.minX(), r.minY()};
        case H::bottomLeft: return {r.maxX(), r.maxY()};
        default: return {r.minX(), r.maxY()};
    }
}

Rect resized(const Rect& initial, H handle, Point delta) {
    const Rect r = initial.standardized();
    double x0 = r.minX(), x1 = r.maxX(), y0 = r.minY(), y1 = r.maxY();
    const bool left = handle == H::topLeft || handle == H::bottomLeft || handle == H::left;
    const bool right = handle == H::topRight || handle == H::bottomRight || handle == H::right;
    const bool top = handle == H::topLeft || handle == H::topRight || handle == H::top;
    const bool bottom = handle == H::bottomLeft || handle == H::bottomRight || handle == H::bottom;
    if (left) x0 += delta.x;
    if (right) x1 += delta.x;
    if (top) y1 += delta.y;
    if (bottom) y0 += delta.y;
    // Dragged past the opposite edge: the rectangle flips rather than going negative.
    return Rect{x0, y0, x1 - x0, y1 - y0}.standardized();
}

void scaleText(TextAnnotation& text, const I::ScalingText& s, Point point) {
    const Rect bounds = s.initialBounds.standardized();
    const Point anchor = oppositeCorner(bounds, s.handle);
    const double reachedHeight = std::abs(point.y - anchor.y);
    double scale = bounds.height > 0 ? reachedHeight / bounds.height : 1;
    if (!std::isfinite(scale)) scale = 1;
    const double initialFontSize = s.initialFontSize > 0 ? s.initialFontSize : kMinimumFontSize;
    const double fontSize = std::clamp(initialFontSize * scale, kMinimumFontSize, kMaximumFontSize);
    scale = fontSize / initialFontSize;
    const double width = bounds.width * scale;
    const double height = bounds.height * scale;
    // The box lies on the pointer's side of the fixed corner, so dragging
    // past it mirrors the box instead of inverting it.
    const double x = point.x < anchor.x ? anchor.x - width : anchor.x;
    const double y = point.y < anchor.y ? anchor.y - height : anchor.y;
    text.fontSize = fontSize;
    text.position = {x, y};
    if (s.initialWidth) text.width = std::max(*s.initialWidth * scale, TextAnnotation::kMinimumWidth);
}

bool meets(const Rect& a, const Rect& b) {
    const Rect x = a.standardized();
    const Rect y = b.standardized();
    return x.minX() <= y.maxX() && y.minX() <= x.maxX() && x.minY() <= y.maxY() && y.minY() <= x.maxY();
}

}  // namespace

AnnotationPtr hitAnnotation(const std::vector<AnnotationPtr>& annotations, Point point) {
    for (auto it = annotations.rbegin(); it != annotations.rend(); ++it) {
        if (!(*it)->isHidden() && (*it)->contains(point)) return *it;
    }
    return nullptr;
}

AnnotationPtr selectedAnnotation(const std::vector<AnnotationPtr>& annotations, const std::set<AnnotationID>& selectedIDs,
                                 Point point) {
    for (auto it = annotations.rbegin(); it != annotations.rend(); ++it) {
        if (selectedIDs.count((*it)->id()) && !(*it)->isHidden() && (*it)->contains(point)) return *it;
    }
    return nullptr;
}

std::optional<I::Interaction> interaction(const Annotation& annotation, Point point) {
    if (annotation.isHidden()) return std::nullopt;
    const auto handle = AnnotationHandles::handleAt(annotation, point);
    if (!handle) return std::nullopt;
    using T = AnnotationHandleKind::Type;
    if (handle->kind.type == T::segmentEndpoint) {
        const auto* segment = dynamic_cast<const SegmentAnnotation*>(&annotation);
        if (!segment) return std::nullopt;
        return I::ResizingArrow{annotation.id(), handle->kind.endpoint, point, segment->startPoint, segment->endPoint};
    }
    if (const auto* text = dynamic_cast<const TextAnnotation*>(&annotation)) {
        return I::ScalingText{annotation.id(), handle->kind.handle, point, text->textBox(), text->fontSize, text->width};
    }
    return I::ResizingRect{annotation.id(), handle->kind.handle, point, handle->baseRect.value_or(Rect{})};
}

MouseDownOutcome moveToolMouseDown(Point point, bool shiftDown, const std::vector<AnnotationPtr>& annotations,
                                   const std::set<AnnotationID>& selectedIDs) {
    using Kind = SelectionChange::Kind;
    const AnnotationPtr hit = hitAnnotation(annotations, point);
    if (shiftDown && hit) return {{Kind::toggle, {hit->id()}}, I::None{}};
    if (selectedIDs.size() == 1) {
        if (const auto selected = find(annotations, *selectedIDs.begin())) {
            if (auto started = interaction(*selected, point)) return {{Kind::unchanged, {}}, *started};
        }
    }
    if (selectedIDs.size() >= 2) {
        if (selectedAnnotation(annotations, selectedIDs, point)) {
            I::Moving moving{point, {}};
            for (const auto& a : annotations) {
                if (selectedIDs.count(a->id())) moving.snapshots.push_back({a->id(), a->geometrySnapshot()});
            }
            return {{Kind::unchanged, {}}, moving};
        }
    }
    if (hit) return {{Kind::replace, {hit->id()}}, I::Moving{point, {{hit->id(), hit->geometrySnapshot()}}}};
    I::Marquee marquee{point, point, shiftDown, shiftDown ? selectedIDs : std::set<AnnotationID>{}};
    return {shiftDown ? SelectionChange{} : SelectionChange{Kind::replace, {}}, marquee};
}

std::set<AnnotationID> annotationsMeeting(const std::vector<AnnotationPtr>& annotations, const Rect& rect) {
    std::set<AnnotationID> ids;
    for (const auto& a : annotations) {
        if (!a->isHidden() && meets(a->selectionBounds(), rect)) ids.insert(a->id());
    }
    return ids;
}

std::optional<std::set<AnnotationID>> apply(I::Interaction& interaction, Point point,
                                            const std::vector<AnnotationPtr>& annotations) {
    if (auto* m = std::get_if<I::Moving>(&interaction)) {
        const Point delta{point.x - m->initialPoint.x, point.y - m->initialPoint.y};
        for (const auto& s : m->snapshots) {
            if (auto a = find(annotations, s.id)) a->applyGeometry(s.snapshot, delta);
        }
    } else if (auto* r = std::get_if<I::ResizingRect>(&interaction)) {
        if (auto a = find(annotations, r->id)) {
            a->applyResizedRect(resized(r->initialRect, r->handle, {point.x - r->initialPoint.x, point.y - r->initialPoint.y}));
        }
    } else if (auto* t = std::get_if<I::ScalingText>(&interaction)) {
        if (auto* text = dynamic_cast<TextAnnotation*>(find(annotations, t->id).get())) scaleText(*text, *t, point);
    } else if (auto* e = std::get_if<I::ResizingArrow>(&interaction)) {
        if (auto* segment = dynamic_cast<SegmentAnnotation*>(find(annotations, e->id).get())) {
            const Point delta{point.x - e->initialPoint.x, point.y - e->initialPoint.y};
            const Point start = e->endpoint == AnnotationEndpoint::start
                                    ? Point{e->initialStart.x + delta.x, e->initialStart.y + delta.y}
                                    : e->initialStart;
            const Point end = e->endpoint == AnnotationEndpoint::end
                                  ? Point{e->initialEnd.x + delta.x, e->initialEnd.y + delta.y}
                                  : e->initialEnd;
            segment->applyGeometry(GeometrySnapshot::Segment{start, end}, {0, 0});
        }
    } else if (auto* q = std::get_if<I::Marquee>(&interaction)) {
        q->current = point;
        std::set<AnnotationID> selection = annotationsMeeting(annotations, q->rect());
        if (q->additive) selection.insert(q->originalSelection.begin(), q->originalSelection.end());
        return selection;
    }
    return std::nullopt;
}

std::optional<Rect> dirtyBounds(const I::Interaction& interaction, const std::vector<AnnotationPtr>& annotations,
                                double padding) {
    std::optional<Rect> bounds;
    for (const auto& id : I::mutatedIDs(interaction)) {
        if (auto a = find(annotations, id)) bounds = unionOf(bounds, AnnotationGeometry::grownBy(a->visualBounds(), padding));
    }
    if (const auto* q = std::get_if<I::Marquee>(&interaction)) {
        bounds = unionOf(bounds, AnnotationGeometry::grownBy(q->rect(), padding));
    }
    return bounds;
}

}  // namespace AnnotationInteractionResolver
}  // namespace tessarin
