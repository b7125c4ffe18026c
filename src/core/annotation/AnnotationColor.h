#pragma once
// Colours of annotations: sRGB components and alpha, each 0...1.

#include <array>
#include <string_view>

namespace tessarin {

struct AnnotationColor {
    double red = 0;
    double green = 0;
    double blue = 0;
    double alpha = 1;

    AnnotationColor withAlpha(double a) const { return {red, green, blue, a}; }
    friend bool operator==(const AnnotationColor&, const AnnotationColor&) = default;

    static constexpr AnnotationColor black() { return {0, 0, 0, 1}; }
    static constexpr AnnotationColor white() { return {1, 1, 1, 1}; }
    // The desktop's accent reds and yellows, as the editor's palette shows them.
    static constexpr AnnotationColor systemRed() { return {1.0, 59.0 / 255, 48.0 / 255, 1}; }
    static constexpr AnnotationColor systemYellow() { return {1.0, 204.0 / 255, 0, 1}; }
};

// The palette of the style toolbar. Persisted by position: append only.
enum class AnnotationColorPreset { blue, purple, pink, red, orange, yellow, green, cyan, black, white };

inline constexpr std::array<AnnotationColorPreset, 10> kAnnotationColorPresets = {
    AnnotationColorPreset::blue,  AnnotationColorPreset::purple, AnnotationColorPreset::pink,
    AnnotationColorPreset::red,   AnnotationColorPreset::orange, AnnotationColorPreset::yellow,
    AnnotationColorPreset::green, AnnotationColorPreset::cyan,   AnnotationColorPreset::black,
    AnnotationColorPreset::white};

constexpr AnnotationColor colorOf(AnnotationColorPreset preset) {
    switch (preset) {
        case AnnotationColorPreset::blue: return {0, 122.0 / 255, 1, 1};
        case AnnotationColorPreset::purple: return {175.0 / 255, 82.0 / 255, 222.0 / 255, 1};
        case AnnotationColorPreset::pink: return {1, 45.0 / 255, 85.0 / 255, 1};
        case AnnotationColorPreset::red: return AnnotationColor::systemRed();
        case AnnotationColorPreset::orange: return {1, 149.0 / 255, 0, 1};
        case AnnotationColorPreset::yellow: return AnnotationColor::systemYellow();
        case AnnotationColorPreset::green: return {52.0 / 255, 199.0 / 255, 89.0 / 255, 1};
        case AnnotationColorPreset::cyan: return {48.0 / 255, 176.0 / 255, 199.0 / 255, 1};  // the teal accent
        case AnnotationColorPreset::black: return AnnotationColor::black();
        case AnnotationColorPreset::white: return AnnotationColor::white();
    }
    return AnnotationColor::black();
}

}  // namespace tessarin
