#pragma once
// What each editor tool offers in the style toolbar, the tools' titles and
// their single-key shortcuts.

#include <optional>
#include <string>
#include <string_view>

#include "core/annotation/AnnotationToolType.h"

namespace tessarin {

enum class AnnotationMetricKind { strokeWidth, numberSize, fontSize, mosaicRadius };

// "Width: 4 pt": the prefix, the value rounded to an integer, " pt".
std::string metricLabel(AnnotationMetricKind kind, double value);

struct AnnotationToolStyleProfile {
    std::string_view placeholderLabel;
    bool showsColor = false;
    std::optional<AnnotationMetricKind> metric;
    bool showsMosaicEffect = false;
};

namespace AnnotationTools {

// The stored raw value, which is also the title shown to the user.
std::string_view title(AnnotationToolType tool);
// m or v, a, l, n, r, o, t, f, h, p; anything else is no tool.
std::optional<AnnotationToolType> fromKeyboardCharacter(char32_t character);
AnnotationToolStyleProfile styleProfile(AnnotationToolType tool);

}  // namespace AnnotationTools

}  // namespace tessarin
