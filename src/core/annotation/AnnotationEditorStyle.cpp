#include "core/annotation/AnnotationEditorStyle.h"

#include <algorithm>

namespace tessarin {

double AnnotationSharedMetrics::value(AnnotationMetricKind kind) const {
    switch (kind) {
        case AnnotationMetricKind::strokeWidth: return strokeWidth;
        case AnnotationMetricKind::numberSize: return numberSize;
        case AnnotationMetricKind::fontSize: return fontSize;
        case AnnotationMetricKind::mosaicRadius: return mosaicRadius;
    }
    return strokeWidth;
}

void AnnotationSharedMetrics::set(AnnotationMetricKind kind, double v) {
    switch (kind) {
        case AnnotationMetricKind::strokeWidth: strokeWidth = v; break;
        case AnnotationMetricKind::numberSize: numberSize = v; break;
        case AnnotationMetricKind::fontSize: fontSize = v; break;
        case AnnotationMetricKind::mosaicRadius: mosaicRadius = v; break;
    }
}

bool AnnotationStyleState::showsMetric(AnnotationMetricKind kind) const {
    return std::ranges::any_of(metrics, [&](const AnnotationMetricGroup& g) { return g.kind == kind; });
}

namespace AnnotationEditorStyle {

std::vector<double> options(AnnotationMetricKind kind) {
    switch (kind) {
        case AnnotationMetricKind::strokeWidth: return {1, 2, 3, 4, 6, 8, 12};
        case AnnotationMetricKind::numberSize: return {20, 24, 28, 36, 48, 64};
        case AnnotationMetricKind::fontSize: return {12, 14, 16, 20, 24, 32, 48, 64};
        case AnnotationMetricKind::mosaicRadius: return {4, 8, 12, 16, 24, 32};
    }
    return {};
}

std::optional<AnnotationStyleState> fromSelection(const std::vector<AnnotationPtr>& selection) {
    if (selection.empty()) return std::nullopt;
    AnnotationStyleState state;
    state.selectionCount = selection.size();
    bool allMosaic = true;
    for (const auto& a : selection) {
        const AnnotationStyleChannels channels = a->styleChannels();
        const AnnotationToolStyleProfile profile = AnnotationTools::styleProfile(a->toolType());
        if (channels.color) {
            if (state.colorApplies && !(state.color == *channels.color)) state.colorMixed = true;
            if (!state.colorApplies) state.color = *channels.color;
            state.colorApplies = true;
        }
        if (channels.mosaicEffect) {
            if (state.showsMosaicEffect && state.mosaicEffect != *channels.mosaicEffect) state.mosaicEffectMixed = true;
            state.mosaicEffect = *channels.mosaicEffect;
            state.showsMosaicEffect = true;
        } else {
            allMosaic = false;
        }
        if (profile.metric && channels.metricValue) {
            auto group = std::ranges::find_if(state.metrics, [&](const auto& g) { return g.kind == *profile.metric; });
            if (group == state.metrics.end()) {
                state.metrics.push_back({*profile.metric, *channels.metricValue, false, options(*profile.metric)});
            } else if (group->value != *channels.metricValue) {
                group->mixed = true;
            }
        }
    }
    state.placeholderLabel = allMosaic ? "Pixelate" : "Style";
    return state;
}

AnnotationStyleState fromTool(AnnotationToolType tool, const AnnotationColor& color, AnnotationMosaicEffect effect,
                              const AnnotationSharedMetrics& metrics) {
    const AnnotationToolStyleProfile profile = AnnotationTools::styleProfile(tool);
    AnnotationStyleState state;
    state.color = color;
    state.colorApplies = profile.showsColor;
    state.showsMosaicEffect = profile.showsMosaicEffect;
    state.mosaicEffect = effect;
    if (profile.metric) state.metrics.push_back({*profile.metric, metrics.value(*profile.metric), false, options(*profile.metric)});
    state.placeholderLabel = std::string(profile.placeholderLabel);
    return state;
}

}  // namespace AnnotationEditorStyle
}  // namespace tessarin
