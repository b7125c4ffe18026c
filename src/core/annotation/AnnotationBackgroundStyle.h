#pragma once
// The decorative frame an edited screenshot can be placed on: its fill,
// padding, rounded corners and shadow.

#include <memory>
#include <string>
#include <variant>

#include "core/common/Image.h"

namespace tessarin {

struct AnnotationBackgroundColor {
    double red = 0, green = 0, blue = 0, alpha = 1;
    friend bool operator==(const AnnotationBackgroundColor&, const AnnotationBackgroundColor&) = default;
};

struct AnnotationBackgroundImage {
    std::shared_ptr<const Image> image;  // shared: styles are copied into every undo step
    std::string name;
    friend bool operator==(const AnnotationBackgroundImage&, const AnnotationBackgroundImage&) = default;
};

namespace AnnotationBackgroundFill {
struct Solid {
    AnnotationBackgroundColor color;
    friend bool operator==(const Solid&, const Solid&) = default;
};
struct Gradient {
    AnnotationBackgroundColor start;
    AnnotationBackgroundColor end;
    friend bool operator==(const Gradient&, const Gradient&) = default;
};
struct Picture {
    AnnotationBackgroundImage image;
    friend bool operator==(const Picture&, const Picture&) = default;
};
struct Blur {
    double amount = 0.5;  // 0...1
    friend bool operator==(const Blur&, const Blur&) = default;
};
using Fill = std::variant<Solid, Gradient, Picture, Blur>;
}  // namespace AnnotationBackgroundFill

struct AnnotationBackgroundStyle {
    AnnotationBackgroundFill::Fill fill = AnnotationBackgroundFill::Gradient{{0.55, 0.36, 0.96, 1}, {0.2, 0.6, 0.95, 1}};
    double padding = 48;
    double cornerRadius = 12;
    double shadow = 0.5;
    friend bool operator==(const AnnotationBackgroundStyle&, const AnnotationBackgroundStyle&) = default;
};

}  // namespace tessarin
