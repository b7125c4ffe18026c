#pragma once
// What a press on the canvas means and what a drag does: pure functions of
// the annotations and the selection.

#include <optional>
#include <set>
#include <vector>

#include "core/annotation/AnnotationInteractionTypes.h"

namespace tessarin::AnnotationInteractionResolver {

struct SelectionChange {
    enum class Kind { replace, toggle, unchanged } kind = Kind::unchanged;
    std::set<AnnotationID> ids;  // replace: the new selection; toggle: the one id
};

struct MouseDownOutcome {
    SelectionChange selection;
    AnnotationInteraction::Interaction interaction;
};

// Font sizes a scaled text is kept within.
inline constexpr double kMinimumFontSize = 4;
inline constexpr double kMaximumFontSize = 800;

// The top-most visible annotation that contains `point` (tolerance 8).
AnnotationPtr hitAnnotation(const std::vector<AnnotationPtr>& annotations, Point point);
// The top-most selected visible annotation that contains `point`.
AnnotationPtr selectedAnnotation(const std::vector<AnnotationPtr>& annotations, const std::set<AnnotationID>& selectedIDs,
                                 Point point);
// The resize or scale drag a press on one of the annotation's handles starts.
std::optional<AnnotationInteraction::Interaction> interaction(const Annotation& annotation, Point point);
MouseDownOutcome moveToolMouseDown(Point point, bool shiftDown, const std::vector<AnnotationPtr>& annotations,
                                   const std::set<AnnotationID>& selectedIDs);
// Applies the drag with the pointer at `point`. For a marquee, returns the
// selection it makes (and updates its current point).
std::optional<std::set<AnnotationID>> apply(AnnotationInteraction::Interaction& interaction, Point point,
                                            const std::vector<AnnotationPtr>& annotations);
// The visible annotations whose selection bounds meet `rect`.
std::set<AnnotationID> annotationsMeeting(const std::vector<AnnotationPtr>& annotations, const Rect& rect);
// Everything the drag's annotations cover, grown by `padding`.
std::optional<Rect> dirtyBounds(const AnnotationInteraction::Interaction& interaction,
                                const std::vector<AnnotationPtr>& annotations, double padding);

}  // namespace tessarin::AnnotationInteractionResolver
