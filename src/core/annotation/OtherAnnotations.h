#pragma once
// The kinds with geometry of their own: numbered badges, text and freehand strokes.

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/annotation/Annotation.h"

namespace tessarin {

// A numbered circle of diameter `size` centred on `center`.
class NumberAnnotation final : public Annotation {
public:
    long long number = 1;
    Point center;
    AnnotationColor color;
    double size = 36;
    bool filled = true;

    NumberAnnotation(long long n, Point c, AnnotationColor col, double diameter, bool isFilled)
        : number(n), center(c), color(col), size(diameter), filled(isFilled) {}
    void draw(AnnotationPainter& painter) const override { painter.paint(*this); }
    Rect selectionBounds() const override;
    std::optional<Rect> filledContentRect() const override;
    using Annotation::contains;
    bool contains(Point point, double tolerance) const override;
    AnnotationGeometrySnapshot geometrySnapshot() const override { return GeometrySnapshot::Number{center}; }
    void applyGeometry(const AnnotationGeometrySnapshot& snapshot, Point delta) override;
    AnnotationToolType toolType() const override { return AnnotationToolType::number; }
    AnnotationStyleChannels styleChannels() const override { return {color, std::nullopt, size}; }
    void applyStyleChannels(const AnnotationStyleChannels& channels) override;
    std::shared_ptr<Annotation> duplicate() const override { return std::make_shared<NumberAnnotation>(*this); }

    // The square the badge circle is inscribed in.
    Rect badgeRect() const { return {center.x - size / 2, center.y - size / 2, size, size}; }

protected:
    std::optional<long long> capturedMarkerNumber() const override { return number; }
    void restoreMarkerNumber(long long n) override { number = n; }
};

// Measures laid-out text in the system font at medium weight (or bold),
// from the line-fragment origin, `wrapWidth` wide (unbounded when absent) and
// unbounded in height. Sizes are not rounded.
class TextMeasurer {
public:
    virtual ~TextMeasurer() = default;
    virtual Size measure(std::string_view text, double fontSize, std::optional<double> wrapWidth,
                         bool bold = false) const = 0;
};

class TextAnnotation final : public Annotation {
public:
    // Resizing never makes the wrap width narrower than this.
    static constexpr double kMinimumWidth = 20;

    std::string text;
    Point position;  // bottom-left corner of the text box
    double fontSize = 16;
    AnnotationColor color;
    std::optional<double> width;  // wrap width

    TextAnnotation(std::string t, Point pos, double size, AnnotationColor c, std::optional<double> wrapWidth,
                   std::shared_ptr<const TextMeasurer> measurer);
    TextAnnotation(const TextAnnotation& other);

    void draw(AnnotationPainter& painter) const override { painter.paint(*this); }
    // (position, width or the measured width rounded up, measured height rounded up).
    Rect textBox() const;
    Rect selectionBounds() const override;
    using Annotation::contains;
    bool contains(Point point, double tolerance) const override;
    AnnotationGeometrySnapshot geometrySnapshot() const override { return GeometrySnapshot::Text{position, width}; }
    void applyGeometry(const AnnotationGeometrySnapshot& snapshot, Point delta) override;
    void applyResizedRect(const Rect& r) override;
    AnnotationToolType toolType() const override { return AnnotationToolType::text; }
    AnnotationStyleChannels styleChannels() const override { return {color, std::nullopt, fontSize}; }
    void applyStyleChannels(const AnnotationStyleChannels& channels) override;
    std::shared_ptr<Annotation> duplicate() const override { return std::make_shared<TextAnnotation>(*this); }

    bool hasCachedMeasurement() const { return cache_.has_value(); }
    const std::shared_ptr<const TextMeasurer>& measurer() const { return measurer_; }

protected:
    std::optional<std::string> capturedText() const override { return text; }
    void restoreText(const std::string& t) override { text = t; }

private:
    struct Measurement {
        std::string text;
        double fontSize;
        std::optional<double> width;
        Size size;
    };
    Size measuredSize() const;

    std::shared_ptr<const TextMeasurer> measurer_;
    mutable std::optional<Measurement> cache_;
};

class FreehandAnnotation final : public Annotation {
public:
    std::vector<Point> points;
    AnnotationColor color;
    double lineWidth = 3;

    FreehandAnnotation(std::vector<Point> pts, AnnotationColor c, double width)
        : points(std::move(pts)), color(c), lineWidth(width) {}
    void draw(AnnotationPainter& painter) const override { painter.paint(*this); }
    Rect selectionBounds() const override;
    using Annotation::contains;
    bool contains(Point point, double tolerance) const override;
    AnnotationGeometrySnapshot geometrySnapshot() const override { return GeometrySnapshot::Freehand{points}; }
    void applyGeometry(const AnnotationGeometrySnapshot& snapshot, Point delta) override;
    AnnotationToolType toolType() const override { return AnnotationToolType::freehand; }
    AnnotationStyleChannels styleChannels() const override { return {color, std::nullopt, lineWidth}; }
    void applyStyleChannels(const AnnotationStyleChannels& channels) override;
    std::shared_ptr<Annotation> duplicate() const override { return std::make_shared<FreehandAnnotation>(*this); }
};

}  // namespace tessarin
