#pragma once
// The style shared by the editor's tools and the style toolbar's summary of
// what is selected (or of the selected tool when nothing is).

#include <optional>
#include <string>
#include <vector>

#include "core/annotation/Annotation.h"
#include "core/annotation/AnnotationTools.h"

namespace tessarin {

struct AnnotationSharedMetrics {
    double strokeWidth = 2;
    double numberSize = 28;
    double fontSize = 16;
    double mosaicRadius = 12;

    double value(AnnotationMetricKind kind) const;
    void set(AnnotationMetricKind kind, double value);
    friend bool operator==(const AnnotationSharedMetrics&, const AnnotationSharedMetrics&) = default;
};

struct AnnotationMetricGroup {
    AnnotationMetricKind kind = AnnotationMetricKind::strokeWidth;
    double value = 0;
    bool mixed = false;  // the selection holds different values
    std::vector<double> options;
};

struct AnnotationStyleState {
    AnnotationColor color;
    bool colorApplies = false;
    bool colorMixed = false;
    bool showsMosaicEffect = false;
    AnnotationMosaicEffect mosaicEffect = AnnotationMosaicEffect::pixelate;
    bool mosaicEffectMixed = false;
    std::vector<AnnotationMetricGroup> metrics;
    std::string placeholderLabel;
    size_t selectionCount = 0;

    bool showsMetric(AnnotationMetricKind kind) const;
};

namespace AnnotationEditorStyle {

// The values the toolbar offers for a metric.
std::vector<double> options(AnnotationMetricKind kind);

// From the selected annotations; nothing when the selection is empty.
std::optional<AnnotationStyleState> fromSelection(const std::vector<AnnotationPtr>& selection);
// From a tool's style profile and the shared style.
AnnotationStyleState fromTool(AnnotationToolType tool, const AnnotationColor& color, AnnotationMosaicEffect effect,
                              const AnnotationSharedMetrics& metrics);

}  // namespace AnnotationEditorStyle

}  // namespace tessarin
