#pragma once
// The JSON shape spec: the public document scripts and agents hand to
// `tessarin annotate`. Decoding validates it into shapes; the shapes become
// annotations of the shared model for a given image size. Coordinates in
// the document are top-left image pixels.

#include <exception>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "core/annotation/Annotation.h"
#include "core/annotation/OtherAnnotations.h"

namespace tessarin {

class AnnotationSpecError : public std::exception {
public:
    enum class Kind { invalidJSON, unknownShapeType, missingField, invalidColor, invalidBlurStyle, imageLoadFailed, renderFailed };

    static AnnotationSpecError invalidJSON(std::string message) { return {Kind::invalidJSON, std::move(message), {}}; }
    static AnnotationSpecError unknownShapeType(std::string type) { return {Kind::unknownShapeType, std::move(type), {}}; }
    static AnnotationSpecError missingField(std::string shape, std::string field) {
        return {Kind::missingField, std::move(shape), std::move(field)};
    }
    static AnnotationSpecError invalidColor(std::string input) { return {Kind::invalidColor, std::move(input), {}}; }
    static AnnotationSpecError invalidBlurStyle(std::string input) { return {Kind::invalidBlurStyle, std::move(input), {}}; }
    static AnnotationSpecError imageLoadFailed(std::string path) { return {Kind::imageLoadFailed, std::move(path), {}}; }
    static AnnotationSpecError renderFailed() { return {Kind::renderFailed, {}, {}}; }

    Kind kind() const { return kind_; }
    std::string description() const;
    const char* what() const noexcept override { return description_.c_str(); }
    friend bool operator==(const AnnotationSpecError& a, const AnnotationSpecError& b) {
        return a.kind_ == b.kind_ && a.first_ == b.first_ && a.second_ == b.second_;
    }

private:
    AnnotationSpecError(Kind kind, std::string first, std::string second);
    Kind kind_;
    std::string first_;
    std::string second_;
    std::string description_;
};

// Validated shapes. Rectangles and points are in the document's top-left pixels.
namespace ShapeSpec {
struct Box {
    Rect rect;
    AnnotationColor color;
    double lineWidth;
    bool filled;
};
struct Circle {
    Rect rect;
    AnnotationColor color;
    double lineWidth;
    bool filled;
};
struct Arrow {
    Point from;
    Point to;
    AnnotationColor color;
    double lineWidth;
};
struct Line {
    Point from;
    Point to;
    AnnotationColor color;
    double lineWidth;
};
struct Text {
    Point origin;  // top-left corner of the text block
    std::string text;
    AnnotationColor color;
    double fontSize;
    std::optional<double> width;
};
struct Number {
    Point center;
    long long n;
    AnnotationColor color;
    double size;
};
struct Highlight {
    Rect rect;
    AnnotationColor color;
};
struct Blur {
    Rect rect;
    AnnotationMosaicEffect effect;
};
using Shape = std::variant<Box, Circle, Arrow, Line, Text, Number, Highlight, Blur>;
}  // namespace ShapeSpec

namespace AnnotationSpecColor {
inline constexpr AnnotationColor kDefault = AnnotationColor::systemRed();
// #RRGGBB or #RRGGBBAA, the # optional, white space around ignored; absent
// or empty is the default red. Throws invalidColor.
AnnotationColor parse(const std::optional<std::string>& text);
}  // namespace AnnotationSpecColor

// pixelate, secureBlur, smoothBlur or blackOut in any case; absent or empty
// is pixelate. Throws invalidBlurStyle.
AnnotationMosaicEffect mosaicEffectFromSpecStyle(const std::optional<std::string>& style);

class AnnotationSpec {
public:
    // Documents larger than this are refused unread.
    static constexpr size_t kMaxDocumentBytes = size_t{16} << 20;

    // Throws AnnotationSpecError; the first invalid shape ends decoding.
    static AnnotationSpec decode(std::span<const uint8_t> bytes);

    const std::vector<ShapeSpec::Shape>& shapes() const { return shapes_; }

    // One visible annotation per shape, in document order, in the drawing
    // space of an image `imageSize` pixels large. Text is placed with
    // `measurer`.
    std::vector<AnnotationPtr> annotations(Size imageSize, const std::shared_ptr<const TextMeasurer>& measurer) const;

private:
    std::vector<ShapeSpec::Shape> shapes_;
};

}  // namespace tessarin
