#pragma once
// The kinds whose geometry is one rectangle: rectangles, ellipses,
// highlighter boxes and mosaic boxes.

#include "core/annotation/Annotation.h"

namespace tessarin {

class RectBackedAnnotation : public Annotation {
public:
    Rect rect;

    // Padded by the stroke outset for stroked kinds, 0 otherwise.
    Rect selectionBounds() const override;
    AnnotationGeometrySnapshot geometrySnapshot() const override { return GeometrySnapshot::RectShape{rect}; }
    void applyGeometry(const AnnotationGeometrySnapshot& snapshot, Point delta) override;
    void applyResizedRect(const Rect& r) override { rect = r; }

protected:
    explicit RectBackedAnnotation(const Rect& r) : rect(r) {}
    virtual double boundsOutset() const { return 0; }
};

// Rectangles and ellipses: outlined or filled.
class FillableShapeAnnotation : public RectBackedAnnotation {
public:
    AnnotationColor color;
    double lineWidth = 3;
    bool filled = false;

    std::optional<Rect> filledContentRect() const override;
    AnnotationStyleChannels styleChannels() const override { return {color, std::nullopt, lineWidth}; }
    void applyStyleChannels(const AnnotationStyleChannels& channels) override;

protected:
    FillableShapeAnnotation(const Rect& r, AnnotationColor c, double width, bool isFilled)
        : RectBackedAnnotation(r), color(c), lineWidth(width), filled(isFilled) {}
    double boundsOutset() const override;
};

class RectangleAnnotation final : public FillableShapeAnnotation {
public:
    RectangleAnnotation(const Rect& r, AnnotationColor c, double width, bool isFilled)
        : FillableShapeAnnotation(r, c, width, isFilled) {}
    void draw(AnnotationPainter& painter) const override { painter.paint(*this); }
    using Annotation::contains;
    bool contains(Point point, double tolerance) const override;
    AnnotationToolType toolType() const override { return AnnotationToolType::rectangle; }
    std::shared_ptr<Annotation> duplicate() const override { return std::make_shared<RectangleAnnotation>(*this); }
};

// An ellipse inscribed in `rect`.
class CircleAnnotation final : public FillableShapeAnnotation {
public:
    CircleAnnotation(const Rect& r, AnnotationColor c, double width, bool isFilled)
        : FillableShapeAnnotation(r, c, width, isFilled) {}
    void draw(AnnotationPainter& painter) const override { painter.paint(*this); }
    using Annotation::contains;
    bool contains(Point point, double tolerance) const override;
    AnnotationToolType toolType() const override { return AnnotationToolType::circle; }
    std::shared_ptr<Annotation> duplicate() const override { return std::make_shared<CircleAnnotation>(*this); }
};

// Painted translucent (alpha 0.35) whatever the colour's own alpha.
class HighlighterAnnotation final : public RectBackedAnnotation {
public:
    static constexpr double kPaintAlpha = 0.35;
    AnnotationColor color;

    HighlighterAnnotation(const Rect& r, AnnotationColor c) : RectBackedAnnotation(r), color(c) {}
    void draw(AnnotationPainter& painter) const override { painter.paint(*this); }
    using Annotation::contains;
    bool contains(Point point, double tolerance) const override;
    AnnotationToolType toolType() const override { return AnnotationToolType::highlighter; }
    AnnotationStyleChannels styleChannels() const override { return {color, std::nullopt, std::nullopt}; }
    void applyStyleChannels(const AnnotationStyleChannels& channels) override;
    std::shared_ptr<Annotation> duplicate() const override { return std::make_shared<HighlighterAnnotation>(*this); }
};

// Hides the image under `rect` by pixelating, blurring or blacking it out.
class PixelateAnnotation final : public RectBackedAnnotation {
public:
    static constexpr double kDefaultRadius = 12;
    AnnotationMosaicEffect effect = AnnotationMosaicEffect::pixelate;
    double radius = kDefaultRadius;

    PixelateAnnotation(const Rect& r, AnnotationMosaicEffect e, double rad)
        : RectBackedAnnotation(r), effect(e), radius(rad) {}
    void draw(AnnotationPainter& painter) const override { painter.paint(*this); }
    std::optional<Rect> filledContentRect() const override { return rect.standardized(); }
    using Annotation::contains;
    bool contains(Point point, double tolerance) const override;
    AnnotationToolType toolType() const override { return AnnotationToolType::pixelate; }
    // Black-out has no radius to offer.
    AnnotationStyleChannels styleChannels() const override;
    void applyStyleChannels(const AnnotationStyleChannels& channels) override;
    std::shared_ptr<Annotation> duplicate() const override { return std::make_shared<PixelateAnnotation>(*this); }
};

}  // namespace tessarin
