#include "core/annotation/AnnotationSpec.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <nlohmann/json.hpp>

#include "core/annotation/RectAnnotations.h"
#include "core/annotation/SegmentAnnotations.h"

namespace tessarin {
namespace {

using nlohmann::json;

// Deeper documents are refused while parsing, before they are built.
constexpr int kMaxNestingDepth = 64;
constexpr double kDefaultLineWidth = 3;
constexpr double kDefaultFontSize = 28;
constexpr double kDefaultBadgeSize = 36;

struct ParseFailure {
    std::string message;
};

std::string quoted(const std::string& text) { return "\"" + text + "\""; }

std::string lowercased(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : char(c); });
    return text;
}

// One shape as written: every key typed, none yet required but `type`.
struct RawShape {
    std::string type;
    std::optional<double> x, y, w, h;
    std::optional<std::vector<double>> from, to;
    std::optional<std::string> color;
    std::optional<double> lineWidth;
    std::optional<bool> filled;
    std::optional<std::string> text;
    std::optional<double> fontSize;
    std::optional<double> width;
    std::optional<long long> n;
    std::optional<double> size;
    std::optional<std::string> style;

    ShapeSpec::Shape validated() const;
    Rect rect() const;
    std::pair<Point, Point> endpoints() const;
};

// Reads the keys of one shape object, refusing any of the wrong JSON type.
// null reads as absent.
class ShapeReader {
public:
    ShapeReader(const json& object, size_t index) : object_(object), index_(index) {}

    const json* find(const char* key) const {
        const auto it = object_.find(key);
        return it == object_.end() || it->is_null() ? nullptr : &*it;
    }
    [[noreturn]] void mismatch(const char* key, const char* expected) const {
        throw ParseFailure{"shapes[" + std::to_string(index_) + "]." + key + " must be " + expected};
    }
    std::optional<double> number(const char* key) const {
        const json* v = find(key);
        if (!v) return std::nullopt;
        if (!v->is_number()) mismatch(key, "a number");
        return v->get<double>();
    }
    std::optional<std::string> string(const char* key) const {
        const json* v = find(key);
        if (!v) return std::nullopt;
        if (!v->is_string()) mismatch(key, "a string");
        return v->get<std::string>();
    }
    std::optional<bool> boolean(const char* key) const {
        const json* v = find(key);
        if (!v) return std::nullopt;
        if (!v->is_boolean()) mismatch(key, "true or false");
        return v->get<bool>();
    }
    std::optional<long long> integer(const char* key) const {
        const json* v = find(key);
        if (!v) return std::nullopt;
        if (v->is_number_integer() && !v->is_number_unsigned()) return v->get<long long>();
        if (v->is_number_unsigned() && v->get<unsigned long long>() <= uint64_t(std::numeric_limits<long long>::max())) {
            return static_cast<long long>(v->get<unsigned long long>());
        }
        if (v->is_number_float()) {
            // 3.0 is an integer written as a float; 3.5 and 1e30 are not.
            const double d = v->get<double>();
            if (d == std::trunc(d) && d >= -9.2e18 && d <= 9.2e18) return static_cast<long long>(d);
        }
        mismatch(key, "an integer");
    }
    std::optional<std::vector<double>> numbers(const char* key) const {
        const json* v = find(key);
        if (!v) return std::nullopt;
        if (!v->is_array()) mismatch(key, "an array of numbers");
        std::vector<double> values;
        for (const json& item : *v) {
            if (!item.is_number()) mismatch(key, "an array of numbers");
            // Only pairs are ever used; longer arrays are read for their types alone.
            if (values.size() < 3) values.push_back(item.get<double>());
        }
        return values;
    }

private:
    const json& object_;
    size_t index_;
};

RawShape readShape(const json& object, size_t index) {
    if (!object.is_object()) throw ParseFailure{"shapes[" + std::to_string(index) + "] must be an object"};
    const ShapeReader read(object, index);
    RawShape shape;
    const auto type = read.string("type");
    if (!type) throw ParseFailure{"shapes[" + std::to_string(index) + "] has no key \"type\""};
    shape.type = *type;
    shape.x = read.number("x");
    shape.y = read.number("y");
    shape.w = read.number("w");
    shape.h = read.number("h");
    shape.from = read.numbers("from");
    shape.to = read.numbers("to");
    shape.color = read.string("color");
    shape.lineWidth = read.number("lineWidth");
    shape.filled = read.boolean("filled");
    shape.text = read.string("text");
    shape.fontSize = read.number("fontSize");
    shape.width = read.number("width");
    shape.n = read.integer("n");
    shape.size = read.number("size");
    shape.style = read.string("style");
    return shape;
}

// Refuses containers nested deeper than the limit by counting brackets
// outside strings, in one pass. The JSON library's parse callback could do
// it, but with a callback the library revisits the parent container at
// every close, which makes a long flat array quadratic.
void checkNesting(std::span<const uint8_t> bytes) {
    int depth = 0;
    bool inString = false;
    bool escaped = false;
    for (const uint8_t byte : bytes) {
        if (inString) {
            if (escaped) escaped = false;
            else if (byte == '\\') escaped = true;
            else if (byte == '"') inString = false;
            continue;
        }
        switch (byte) {
            case '"': inString = true; break;
            case '[':
            case '{':
                if (++depth > kMaxNestingDepth) {
                    throw ParseFailure{"nesting deeper than " + std::to_string(kMaxNestingDepth) + " levels"};
                }
                break;
            case ']':
            case '}': --depth; break;
            default: break;
        }
    }
}

std::vector<RawShape> parseDocument(std::span<const uint8_t> bytes) {
    if (bytes.size() > AnnotationSpec::kMaxDocumentBytes) {
        throw ParseFailure{"the document is larger than " + std::to_string(AnnotationSpec::kMaxDocumentBytes >> 20) +
                           " MiB"};
    }
    checkNesting(bytes);
    json document;
    try {
        document = json::parse(bytes.begin(), bytes.end());
    } catch (const json::exception& e) {
        // "[json.exception.parse_error.101] parse error at ..." without the bracketed tag.
        std::string message = e.what();
        if (const auto tagEnd = message.find("] "); message.rfind("[json.exception.", 0) == 0 && tagEnd != std::string::npos) {
            message.erase(0, tagEnd + 2);
        }
        throw ParseFailure{message};
    }
    if (!document.is_object()) throw ParseFailure{"the document must be a JSON object with a \"shapes\" array"};
    if (!document.contains("shapes") || document.at("shapes").is_null()) throw ParseFailure{"missing key \"shapes\""};
    const json& shapes = document.at("shapes");
    if (!shapes.is_array()) throw ParseFailure{"\"shapes\" must be an array"};
    std::vector<RawShape> raw;
    raw.reserve(shapes.size());
    for (const json& shape : shapes) raw.push_back(readShape(shape, raw.size()));
    return raw;
}

bool isOneOf(const std::string& value, std::initializer_list<const char*> names) {
    return std::any_of(names.begin(), names.end(), [&](const char* name) { return value == name; });
}

Rect RawShape::rect() const {
    if (!x) throw AnnotationSpecError::missingField(type, "x");
    if (!y) throw AnnotationSpecError::missingField(type, "y");
    if (!w) throw AnnotationSpecError::missingField(type, "w");
    if (!h) throw AnnotationSpecError::missingField(type, "h");
    return {*x, *y, *w, *h};
}

std::pair<Point, Point> RawShape::endpoints() const {
    if (!from || from->size() != 2) throw AnnotationSpecError::missingField(type, "from");
    if (!to || to->size() != 2) throw AnnotationSpecError::missingField(type, "to");
    return {{(*from)[0], (*from)[1]}, {(*to)[0], (*to)[1]}};
}

ShapeSpec::Shape RawShape::validated() const {
    const std::string kind = lowercased(type);
    const AnnotationColor c = AnnotationSpecColor::parse(color);
    const double stroke = lineWidth.value_or(kDefaultLineWidth);
    const auto requirePoint = [&]() -> Point {
        if (!x) throw AnnotationSpecError::missingField(type, "x");
        if (!y) throw AnnotationSpecError::missingField(type, "y");
        return {*x, *y};
    };
    if (isOneOf(kind, {"box", "rect", "rectangle"})) return ShapeSpec::Box{rect(), c, stroke, filled.value_or(false)};
    if (isOneOf(kind, {"circle", "ellipse", "oval"})) return ShapeSpec::Circle{rect(), c, stroke, filled.value_or(false)};
    if (kind == "arrow") {
        const auto [a, b] = endpoints();
        return ShapeSpec::Arrow{a, b, c, stroke};
    }
    if (kind == "line") {
        const auto [a, b] = endpoints();
        return ShapeSpec::Line{a, b, c, stroke};
    }
    if (isOneOf(kind, {"text", "label"})) {
        if (!text || text->empty()) throw AnnotationSpecError::missingField(kind, "text");
        const Point origin = requirePoint();
        return ShapeSpec::Text{origin, *text, c, fontSize.value_or(kDefaultFontSize), width};
    }
    if (isOneOf(kind, {"number", "badge"})) {
        if (!n) throw AnnotationSpecError::missingField(kind, "n");
        const Point center = requirePoint();
        return ShapeSpec::Number{center, *n, c, size.value_or(kDefaultBadgeSize)};
    }
    if (isOneOf(kind, {"highlight", "highlighter"})) return ShapeSpec::Highlight{rect(), c};
    if (isOneOf(kind, {"blur", "pixelate", "redact"})) {
        const Rect r = rect();
        return ShapeSpec::Blur{r, mosaicEffectFromSpecStyle(style)};
    }
    throw AnnotationSpecError::unknownShapeType(type);
}

bool isHexDigit(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

// Document rectangles: negative sizes extend left or up; the model's origin is bottom-left.
Rect modelRect(const Rect& spec, double imageHeight) {
    const Rect r = spec.standardized();
    return {r.x, imageHeight - r.y - r.height, r.width, r.height};
}

Point modelPoint(Point spec, double imageHeight) { return {spec.x, imageHeight - spec.y}; }

}  // namespace

AnnotationSpecError::AnnotationSpecError(Kind kind, std::string first, std::string second)
    : kind_(kind), first_(std::move(first)), second_(std::move(second)), description_(description()) {}

std::string AnnotationSpecError::description() const {
    switch (kind_) {
        case Kind::invalidJSON: return "Invalid annotation spec JSON: " + first_;
        case Kind::unknownShapeType: return "Unknown shape type: " + quoted(first_);
        case Kind::missingField: return "Shape " + quoted(first_) + " is missing required field " + quoted(second_);
        case Kind::invalidColor: return "Invalid color: " + quoted(first_) + " (expected #RRGGBB or #RRGGBBAA)";
        case Kind::invalidBlurStyle:
            return "Invalid blur style: " + quoted(first_) + " (expected pixelate|secureBlur|smoothBlur|blackOut)";
        case Kind::imageLoadFailed: return "Could not load image at " + first_;
        case Kind::renderFailed: return "Failed to composite annotations onto the image";
    }
    return {};
}

namespace AnnotationSpecColor {

AnnotationColor parse(const std::optional<std::string>& text) {
    if (!text || text->empty()) return kDefault;
    static constexpr const char* kSpace = " \t\n\r\v\f";
    const auto first = text->find_first_not_of(kSpace);
    std::string hex = first == std::string::npos ? std::string() : text->substr(first, text->find_last_not_of(kSpace) - first + 1);
    if (!hex.empty() && hex[0] == '#') hex.erase(0, 1);
    if ((hex.size() != 6 && hex.size() != 8) || !std::all_of(hex.begin(), hex.end(), isHexDigit)) {
        throw AnnotationSpecError::invalidColor(*text);
    }
    const uint64_t value = std::stoull(hex, nullptr, 16);
    const auto channel = [&](int shift) { return double((value >> shift) & 0xFF) / 255.0; };
    if (hex.size() == 6) return {channel(16), channel(8), channel(0), 1.0};
    return {channel(24), channel(16), channel(8), channel(0)};
}

}  // namespace AnnotationSpecColor

AnnotationMosaicEffect mosaicEffectFromSpecStyle(const std::optional<std::string>& style) {
    if (!style || style->empty()) return AnnotationMosaicEffect::pixelate;
    const std::string lower = lowercased(*style);
    if (lower == "pixelate") return AnnotationMosaicEffect::pixelate;
    if (lower == "secureblur") return AnnotationMosaicEffect::secureBlur;
    if (lower == "smoothblur") return AnnotationMosaicEffect::smoothBlur;
    if (lower == "blackout") return AnnotationMosaicEffect::blackOut;
    throw AnnotationSpecError::invalidBlurStyle(*style);
}

AnnotationSpec AnnotationSpec::decode(std::span<const uint8_t> bytes) {
    std::vector<RawShape> raw;
    try {
        raw = parseDocument(bytes);
    } catch (const ParseFailure& failure) {
        throw AnnotationSpecError::invalidJSON(failure.message);
    }
    AnnotationSpec spec;
    spec.shapes_.reserve(raw.size());
    for (const RawShape& shape : raw) spec.shapes_.push_back(shape.validated());
    return spec;
}

std::vector<AnnotationPtr> AnnotationSpec::annotations(Size imageSize,
                                                       const std::shared_ptr<const TextMeasurer>& measurer) const {
    const double H = imageSize.height;
    std::vector<AnnotationPtr> result;
    result.reserve(shapes_.size());
    for (const ShapeSpec::Shape& shape : shapes_) {
        std::visit(
            [&](const auto& s) {
                using T = std::decay_t<decltype(s)>;
                if constexpr (std::is_same_v<T, ShapeSpec::Box>) {
                    result.push_back(std::make_shared<RectangleAnnotation>(modelRect(s.rect, H), s.color, s.lineWidth, s.filled));
                } else if constexpr (std::is_same_v<T, ShapeSpec::Circle>) {
                    result.push_back(std::make_shared<CircleAnnotation>(modelRect(s.rect, H), s.color, s.lineWidth, s.filled));
                } else if constexpr (std::is_same_v<T, ShapeSpec::Arrow>) {
                    result.push_back(std::make_shared<ArrowAnnotation>(modelPoint(s.from, H), modelPoint(s.to, H), s.color,
                                                                       s.lineWidth));
                } else if constexpr (std::is_same_v<T, ShapeSpec::Line>) {
                    result.push_back(std::make_shared<LineAnnotation>(modelPoint(s.from, H), modelPoint(s.to, H), s.color,
                                                                      s.lineWidth));
                } else if constexpr (std::is_same_v<T, ShapeSpec::Text>) {
                    // The document names the block's top-left corner; the model keeps its bottom-left.
                    // Extra lines lower the bottom edge by their measured height.
                    double extra = 0;
                    if (measurer) {
                        const double block = std::ceil(measurer->measure(s.text, s.fontSize, s.width).height);
                        const double oneLine = std::ceil(measurer->measure("X", s.fontSize, s.width).height);
                        extra = std::max(0.0, block - oneLine);
                    }
                    const Point position{s.origin.x, H - s.origin.y - s.fontSize - extra};
                    result.push_back(std::make_shared<TextAnnotation>(s.text, position, s.fontSize, s.color, s.width, measurer));
                } else if constexpr (std::is_same_v<T, ShapeSpec::Number>) {
                    result.push_back(std::make_shared<NumberAnnotation>(s.n, modelPoint(s.center, H), s.color, s.size, true));
                } else if constexpr (std::is_same_v<T, ShapeSpec::Highlight>) {
                    result.push_back(std::make_shared<HighlighterAnnotation>(modelRect(s.rect, H), s.color));
                } else {
                    result.push_back(std::make_shared<PixelateAnnotation>(modelRect(s.rect, H), s.effect,
                                                                          PixelateAnnotation::kDefaultRadius));
                }
            },
            shape);
    }
    return result;
}

}  // namespace tessarin
