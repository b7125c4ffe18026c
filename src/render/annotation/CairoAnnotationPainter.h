#pragma once
// Draws annotations into a Cairo context whose user space is the drawing
// space (origin bottom-left, y upward). Geometry far outside the visible
// area is clipped before it reaches Cairo, whose fixed-point coordinates
// cannot hold it, and stroke widths and font sizes are capped, so hostile
// numbers cost neither time nor memory.
//
// Every shape starts from an empty path: whatever an earlier shape left
// behind (text leaves a current point) never joins the next one.

#include "core/annotation/Annotation.h"
#include "render/annotation/AnnotationRenderContext.h"
#include "render/annotation/CairoHandles.h"
#include "render/annotation/PangoTextEngine.h"

namespace tessarin {

class CairoAnnotationPainter final : public AnnotationPainter {
public:
    // `visibleArea` is the drawing-space rectangle that ends up on the target.
    CairoAnnotationPainter(cairo_t* cr, const PangoTextEngine& text, const Rect& visibleArea);
    // The same drawing, of which only `targetArea` (a part of the visible
    // area: one tile of it) lands on the target. Shapes are built against
    // the whole visible area, so every tile draws exactly the same pixels as
    // one surface would; only mosaic regions are cut down to the target.
    // Mosaic boxes are drawn from `mosaics` (which must outlive the
    // painter); without it they are previewed.
    CairoAnnotationPainter(cairo_t* cr, const PangoTextEngine& text, const Rect& visibleArea, const Rect& targetArea,
                           AnnotationRenderContext* mosaics = nullptr);

    void paint(const ArrowAnnotation&) override;
    void paint(const LineAnnotation&) override;
    void paint(const NumberAnnotation&) override;
    void paint(const RectangleAnnotation&) override;
    void paint(const CircleAnnotation&) override;
    void paint(const HighlighterAnnotation&) override;
    void paint(const PixelateAnnotation&) override;
    void paint(const TextAnnotation&) override;
    void paint(const FreehandAnnotation&) override;

private:
    // Drops any path or current point an earlier drawing left.
    void beginShape();
    double strokeWidth(double lineWidth) const;
    // The visible area grown by `margin`: anything drawn outside it cannot show.
    Rect reach(double margin) const;
    void strokeSegment(Point a, Point b, double width);
    void shapeRect(const Rect& rect, bool filled, double width);
    void shapeEllipse(const Rect& rect, bool filled, double width);
    void fillBlack(const Rect& rect, double alpha);

    cairo_t* cr_;
    const PangoTextEngine& text_;
    Rect visible_;
    Rect target_;
    AnnotationRenderContext* mosaics_;
};

}  // namespace tessarin
