#pragma once
// One handler per editor tool: it turns a press, drags and a release into a
// new annotation, with the style the editor pushed into it.

#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "core/annotation/Annotation.h"

namespace tessarin {

class TextMeasurer;

// The style a tool gives what it creates; each tool reads what it needs.
struct AnnotationToolStyle {
    AnnotationColor color = AnnotationColor::systemRed();
    double lineWidth = 3;
    bool filled = false;
    double fontSize = 16;
    double numberSize = 28;
    AnnotationMosaicEffect mosaicEffect = AnnotationMosaicEffect::pixelate;
    double mosaicRadius = 12;
    friend bool operator==(const AnnotationToolStyle&, const AnnotationToolStyle&) = default;
};

class AnnotationToolHandler {
public:
    // Drags shorter than this make no arrow or line.
    static constexpr double kMinimumSegmentLength = 5;
    // Both sides of a box must be longer than this.
    static constexpr double kMinimumRectSide = 3;
    static constexpr size_t kMinimumFreehandPoints = 3;

    virtual ~AnnotationToolHandler() = default;
    AnnotationToolType toolType() const { return toolType_; }
    AnnotationToolStyle style;

    virtual void mouseDown(Point point, bool shiftDown) = 0;
    virtual void mouseDragged(Point point, bool shiftDown) = 0;
    // The new annotation when the gesture made one big enough.
    virtual AnnotationPtr mouseUp(Point point, bool shiftDown) = 0;
    // What the canvas draws while the gesture runs.
    virtual AnnotationPtr currentPreview() const { return nullptr; }
    virtual void cancel() {}

protected:
    explicit AnnotationToolHandler(AnnotationToolType tool) : toolType_(tool) {}

private:
    AnnotationToolType toolType_;
};

class MoveToolHandler final : public AnnotationToolHandler {
public:
    MoveToolHandler() : AnnotationToolHandler(AnnotationToolType::move) {
        style.color = {0, 0, 0, 0};
        style.lineWidth = 0;
    }
    void mouseDown(Point, bool) override {}
    void mouseDragged(Point, bool) override {}
    AnnotationPtr mouseUp(Point, bool) override { return nullptr; }
};

// Arrows and lines; the base of the box-dragging tools.
class DragToolHandler : public AnnotationToolHandler {
public:
    explicit DragToolHandler(AnnotationToolType tool) : AnnotationToolHandler(tool) {}
    void mouseDown(Point point, bool shiftDown) override;
    void mouseDragged(Point point, bool shiftDown) override;
    AnnotationPtr mouseUp(Point point, bool shiftDown) override;
    AnnotationPtr currentPreview() const override;
    void cancel() override { isDragging = false; }

    Point startPoint;
    Point currentPoint;
    bool isDragging = false;
    bool isShiftDown = false;

protected:
    virtual AnnotationPtr shape(bool final) const;
};

// With shift, the end point snaps to the nearest multiple of 45° around
// `start`, keeping the length.
Point snappedSegmentEnd(Point start, Point end);
// With shift, both sides take the larger extent, toward the pointer.
Rect dragRect(Point start, Point current, bool square);

class RectDragToolHandler : public DragToolHandler {
public:
    explicit RectDragToolHandler(AnnotationToolType tool) : DragToolHandler(tool) {}

protected:
    AnnotationPtr shape(bool final) const override;
    virtual std::optional<Rect> currentRect() const;
};

// Finds the line of recognised text under a point of the image, if any.
using AnnotationTextLineResolver = std::function<std::optional<Rect>(Point)>;

class HighlighterToolHandler final : public RectDragToolHandler {
public:
    HighlighterToolHandler() : RectDragToolHandler(AnnotationToolType::highlighter) {
        style.color = AnnotationColor::systemYellow();
    }
    AnnotationTextLineResolver textLineResolver;
    std::optional<Rect> activeTextLineRect;

    void mouseDown(Point point, bool shiftDown) override;
    void mouseDragged(Point point, bool shiftDown) override;

protected:
    std::optional<Rect> currentRect() const override;

private:
    std::optional<Rect> startLine_;
};

class PixelateToolHandler final : public RectDragToolHandler {
public:
    PixelateToolHandler() : RectDragToolHandler(AnnotationToolType::pixelate) {}
};

class FreehandToolHandler final : public AnnotationToolHandler {
public:
    FreehandToolHandler() : AnnotationToolHandler(AnnotationToolType::freehand) {}
    void mouseDown(Point point, bool shiftDown) override;
    void mouseDragged(Point point, bool shiftDown) override;
    AnnotationPtr mouseUp(Point point, bool shiftDown) override;
    AnnotationPtr currentPreview() const override;
    void cancel() override;

    std::vector<Point> points;
    bool isDragging = false;
};

// A click asks the editor to open the text input there.
class TextToolHandler final : public AnnotationToolHandler {
public:
    TextToolHandler() : AnnotationToolHandler(AnnotationToolType::text) {}
    void mouseDown(Point point, bool) override { clickPoint = point; }
    void mouseDragged(Point, bool) override {}
    AnnotationPtr mouseUp(Point point, bool) override;

    std::optional<Point> clickPoint;
    std::function<void(Point)> requestTextInput;
};

class NumberToolHandler final : public AnnotationToolHandler {
public:
    static constexpr long long kLargestNumber = 50;

    NumberToolHandler() : AnnotationToolHandler(AnnotationToolType::number) { style.filled = true; }
    void mouseDown(Point point, bool) override { clickPoint = point; }
    void mouseDragged(Point, bool) override {}
    AnnotationPtr mouseUp(Point point, bool) override;

    std::optional<Point> clickPoint;
    long long nextNumber = 1;
};

// The badge after `number`: one more, and 1 again after 50.
long long nextBadgeNumber(long long number);

// One handler for each tool, in tool order.
std::vector<std::unique_ptr<AnnotationToolHandler>> makeAnnotationToolHandlers();

}  // namespace tessarin
