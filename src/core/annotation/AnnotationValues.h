#pragma once
// The plain values annotations exchange with the editor: style channels,
// geometry snapshots and the state captures the edit log keeps.

#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "core/annotation/AnnotationColor.h"
#include "core/annotation/AnnotationMosaicEffect.h"
#include "core/common/Geometry.h"

namespace tessarin {

// What the style toolbar edits; an absent channel does not apply to (or is
// not changed on) an annotation.
struct AnnotationStyleChannels {
    std::optional<AnnotationColor> color;
    std::optional<AnnotationMosaicEffect> mosaicEffect;
    std::optional<double> metricValue;
    friend bool operator==(const AnnotationStyleChannels&, const AnnotationStyleChannels&) = default;
};

namespace GeometrySnapshot {
struct Segment {
    Point start;
    Point end;
    friend bool operator==(const Segment&, const Segment&) = default;
};
struct RectShape {
    Rect rect;
    friend bool operator==(const RectShape&, const RectShape&) = default;
};
struct Number {
    Point center;
    friend bool operator==(const Number&, const Number&) = default;
};
struct Text {
    Point position;
    std::optional<double> width;
    friend bool operator==(const Text&, const Text&) = default;
};
struct Freehand {
    std::vector<Point> points;
    friend bool operator==(const Freehand&, const Freehand&) = default;
};
}  // namespace GeometrySnapshot

using AnnotationGeometrySnapshot = std::variant<GeometrySnapshot::Segment, GeometrySnapshot::RectShape,
                                                GeometrySnapshot::Number, GeometrySnapshot::Text,
                                                GeometrySnapshot::Freehand>;

// An annotation's whole editable state, for undo.
struct AnnotationStateCapture {
    AnnotationGeometrySnapshot geometry;
    std::optional<AnnotationColor> color;
    std::optional<AnnotationMosaicEffect> mosaicEffect;
    std::optional<double> metricValue;
    std::optional<std::string> text;
    std::optional<long long> markerNumber;
    bool isHidden = false;
    friend bool operator==(const AnnotationStateCapture&, const AnnotationStateCapture&) = default;
};

}  // namespace tessarin
