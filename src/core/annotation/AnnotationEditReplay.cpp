#include "core/annotation/AnnotationEditReplay.h"

#include <algorithm>

namespace tessarin {
namespace {

using Direction = AnnotationReplayDirection;

void grow(AnnotationReplayEffect& effect, const Annotation& annotation) {
    effect.annotationsChanged = true;
    effect.dirtyBounds = unionOf(effect.dirtyBounds, annotation.visualBounds());
}

void insertAll(AnnotationDocument& document, std::vector<AnnotationEditEntry> entries, AnnotationReplayEffect& effect) {
    // Lowest index first, so each lands where it was.
    std::sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) { return a.index < b.index; });
    for (const auto& entry : entries) {
        if (document.annotation(entry.annotation->id())) continue;
        const size_t at = std::min(entry.index, document.annotations.size());
        document.annotations.insert(document.annotations.begin() + long(at), entry.annotation);
        grow(effect, *entry.annotation);
    }
}

void removeAll(AnnotationDocument& document, const std::vector<AnnotationEditEntry>& entries,
               AnnotationReplayEffect& effect) {
    for (const auto& entry : entries) {
        if (std::erase(document.annotations, entry.annotation) > 0) grow(effect, *entry.annotation);
    }
}

void arrange(AnnotationDocument& document, const std::vector<AnnotationID>& order, AnnotationReplayEffect& effect) {
    std::vector<AnnotationPtr> arranged;
    for (const auto& id : order) {
        if (auto a = document.annotation(id)) arranged.push_back(std::move(a));
    }
    // Anything the order does not name keeps its place on top rather than vanishing.
    for (const auto& a : document.annotations) {
        if (std::find(arranged.begin(), arranged.end(), a) == arranged.end()) arranged.push_back(a);
    }
    for (const auto& a : arranged) grow(effect, *a);
    document.annotations = std::move(arranged);
}

}  // namespace

std::optional<Rect> unionOf(const std::optional<Rect>& a, const std::optional<Rect>& b) {
    if (!a) return b;
    if (!b) return a;
    const Rect x = a->standardized();
    const Rect y = b->standardized();
    const double x0 = std::min(x.minX(), y.minX());
    const double y0 = std::min(x.minY(), y.minY());
    return Rect{x0, y0, std::max(x.maxX(), y.maxX()) - x0, std::max(x.maxY(), y.maxY()) - y0};
}

namespace AnnotationEditReplay {

AnnotationReplayEffect apply(AnnotationDocument& document, const AnnotationEdit::Edit& edit, Direction direction) {
    AnnotationReplayEffect effect;
    const bool forward = direction == Direction::forward;
    std::visit(
        [&](const auto& e) {
            using E = std::decay_t<decltype(e)>;
            if constexpr (std::is_same_v<E, AnnotationEdit::Add>) {
                forward ? insertAll(document, e.entries, effect) : removeAll(document, e.entries, effect);
            } else if constexpr (std::is_same_v<E, AnnotationEdit::Remove>) {
                forward ? removeAll(document, e.entries, effect) : insertAll(document, e.entries, effect);
            } else if constexpr (std::is_same_v<E, AnnotationEdit::Modify>) {
                for (const auto& change : e.changes) {
                    grow(effect, *change.annotation);
                    change.annotation->applyStateCapture(forward ? change.after : change.before);
                    grow(effect, *change.annotation);
                }
            } else if constexpr (std::is_same_v<E, AnnotationEdit::Reorder>) {
                arrange(document, forward ? e.to : e.from, effect);
            } else if constexpr (std::is_same_v<E, AnnotationEdit::Crop>) {
                const auto& target = forward ? e.to : e.from;
                effect.cropChanged = document.cropRect != target;
                document.cropRect = target;
            } else if constexpr (std::is_same_v<E, AnnotationEdit::Background>) {
                const auto& target = forward ? e.to : e.from;
                effect.backgroundChanged = document.background != target;
                document.background = target;
            }
        },
        edit);
    return effect;
}

}  // namespace AnnotationEditReplay
}  // namespace tessarin
