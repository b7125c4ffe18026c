#include "core/annotation/AnnotationTools.h"

#include <cmath>

namespace tessarin {

std::string metricLabel(AnnotationMetricKind kind, double value) {
    std::string_view prefix;
    switch (kind) {
        case AnnotationMetricKind::strokeWidth: prefix = "Width"; break;
        case AnnotationMetricKind::numberSize: prefix = "Size"; break;
        case AnnotationMetricKind::fontSize: prefix = "Font"; break;
        case AnnotationMetricKind::mosaicRadius: prefix = "Radius"; break;
    }
    const double rounded = std::isfinite(value) ? std::round(value) : 0;
    return std::string(prefix) + ": " + std::to_string(static_cast<long long>(rounded)) + " pt";
}

namespace AnnotationTools {

std::string_view title(AnnotationToolType tool) { return rawValue(tool); }

std::optional<AnnotationToolType> fromKeyboardCharacter(char32_t character) {
    switch (character) {
        case U'm':
        case U'v': return AnnotationToolType::move;
        case U'a': return AnnotationToolType::arrow;
        case U'l': return AnnotationToolType::line;
        case U'n': return AnnotationToolType::number;
        case U'r': return AnnotationToolType::rectangle;
        case U'o': return AnnotationToolType::circle;
        case U't': return AnnotationToolType::text;
        case U'f': return AnnotationToolType::freehand;
        case U'h': return AnnotationToolType::highlighter;
        case U'p': return AnnotationToolType::pixelate;
        default: return std::nullopt;
    }
}

AnnotationToolStyleProfile styleProfile(AnnotationToolType tool) {
    switch (tool) {
        case AnnotationToolType::move: return {"Style", false, std::nullopt, false};
        case AnnotationToolType::number: return {"Style", true, AnnotationMetricKind::numberSize, false};
        case AnnotationToolType::text: return {"Style", true, AnnotationMetricKind::fontSize, false};
        case AnnotationToolType::highlighter: return {"Style", true, std::nullopt, false};
        case AnnotationToolType::pixelate: return {"Pixelate", false, AnnotationMetricKind::mosaicRadius, true};
        case AnnotationToolType::arrow:
        case AnnotationToolType::line:
        case AnnotationToolType::rectangle:
        case AnnotationToolType::circle:
        case AnnotationToolType::freehand: break;
    }
    return {"Style", true, AnnotationMetricKind::strokeWidth, false};
}

}  // namespace AnnotationTools
}  // namespace tessarin
