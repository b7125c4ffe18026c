#pragma once
// The annotation editor's tools. The preferences remember the last one used
// by its raw value ("lastAnnotationTool").

#include <array>
#include <string_view>
#include <utility>

#include "core/common/RawValue.h"

namespace tessarin {

// Raw values are persisted; append new tools only, never rename.
enum class AnnotationToolType {
    move = 0,
    arrow = 1,
    line = 2,
    number = 3,
    rectangle = 4,
    circle = 5,
    text = 6,
    freehand = 7,
    highlighter = 8,
    pixelate = 9,
};

template <>
struct RawValues<AnnotationToolType> {
    static constexpr std::array<std::pair<AnnotationToolType, std::string_view>, 10> table{{
        {AnnotationToolType::move, "Move"},
        {AnnotationToolType::arrow, "Arrow"},
        {AnnotationToolType::line, "Line"},
        {AnnotationToolType::number, "Number"},
        {AnnotationToolType::rectangle, "Rectangle"},
        {AnnotationToolType::circle, "Circle"},
        {AnnotationToolType::text, "Text"},
        {AnnotationToolType::freehand, "Freehand"},
        {AnnotationToolType::highlighter, "Highlighter"},
        {AnnotationToolType::pixelate, "Pixelate"},
    }};
};

}  // namespace tessarin
