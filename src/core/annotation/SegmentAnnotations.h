#pragma once
// Arrows and lines: two end points, a colour and a line width.

#include "core/annotation/Annotation.h"

namespace tessarin {

class SegmentAnnotation : public Annotation {
public:
    Point startPoint;
    Point endPoint;
    AnnotationColor color;
    double lineWidth = 3;

    Rect selectionBounds() const override;
    using Annotation::contains;
    bool contains(Point point, double tolerance) const override;
    AnnotationGeometrySnapshot geometrySnapshot() const override;
    void applyGeometry(const AnnotationGeometrySnapshot& snapshot, Point delta) override;
    AnnotationStyleChannels styleChannels() const override;
    void applyStyleChannels(const AnnotationStyleChannels& channels) override;

protected:
    SegmentAnnotation(Point start, Point end, AnnotationColor c, double width)
        : startPoint(start), endPoint(end), color(c), lineWidth(width) {}
};

class ArrowAnnotation final : public SegmentAnnotation {
public:
    ArrowAnnotation(Point start, Point end, AnnotationColor c, double width) : SegmentAnnotation(start, end, c, width) {}
    void draw(AnnotationPainter& painter) const override { painter.paint(*this); }
    // The selection bounds grown so the head fits.
    Rect visualBounds() const override;
    AnnotationToolType toolType() const override { return AnnotationToolType::arrow; }
    std::shared_ptr<Annotation> duplicate() const override { return std::make_shared<ArrowAnnotation>(*this); }
};

class LineAnnotation final : public SegmentAnnotation {
public:
    LineAnnotation(Point start, Point end, AnnotationColor c, double width) : SegmentAnnotation(start, end, c, width) {}
    void draw(AnnotationPainter& painter) const override { painter.paint(*this); }
    AnnotationToolType toolType() const override { return AnnotationToolType::line; }
    std::shared_ptr<Annotation> duplicate() const override { return std::make_shared<LineAnnotation>(*this); }
};

}  // namespace tessarin
