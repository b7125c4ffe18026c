#include "core/annotation/AnnotationToolHandlers.h"

#include <cmath>
#include <numbers>
#include <utility>

#include "core/annotation/AnnotationEditReplay.h"
#include "core/annotation/AnnotationGeometry.h"
#include "core/annotation/OtherAnnotations.h"
#include "core/annotation/RectAnnotations.h"
#include "core/annotation/SegmentAnnotations.h"

namespace tessarin {

Point snappedSegmentEnd(Point start, Point end) {
    const double dx = end.x - start.x;
    const double dy = end.y - start.y;
    const double length = std::hypot(dx, dy);
    if (!(length > 0)) return end;
    const double step = std::numbers::pi / 4;
    const double angle = std::round(std::atan2(dy, dx) / step) * step;
    return {start.x + length * std::cos(angle), start.y + length * std::sin(angle)};
}

Rect dragRect(Point start, Point current, bool square) {
    double w = current.x - start.x;
    double h = current.y - start.y;
    if (square) {
        const double side = std::max(std::abs(w), std::abs(h));
        w = std::copysign(side, w);
        h = std::copysign(side, h);
    }
    return Rect{start.x, start.y, w, h}.standardized();
}

long long nextBadgeNumber(long long number) { return number < NumberToolHandler::kLargestNumber ? number + 1 : 1; }

void DragToolHandler::mouseDown(Point point, bool shiftDown) {
    startPoint = currentPoint = point;
    isDragging = true;
    isShiftDown = shiftDown;
}

void DragToolHandler::mouseDragged(Point point, bool shiftDown) {
    if (!isDragging) return;
    currentPoint = point;
    isShiftDown = shiftDown;
}

AnnotationPtr DragToolHandler::mouseUp(Point point, bool shiftDown) {
    if (!isDragging) return nullptr;
    mouseDragged(point, shiftDown);
    isDragging = false;
    return shape(true);
}

AnnotationPtr DragToolHandler::currentPreview() const { return isDragging ? shape(false) : nullptr; }

AnnotationPtr DragToolHandler::shape(bool final) const {
    const Point end = isShiftDown ? snappedSegmentEnd(startPoint, currentPoint) : currentPoint;
    if (final && !(AnnotationGeometry::distance(startPoint, end) > kMinimumSegmentLength)) return nullptr;
    if (toolType() == AnnotationToolType::arrow) {
        return std::make_shared<ArrowAnnotation>(startPoint, end, style.color, style.lineWidth);
    }
    return std::make_shared<LineAnnotation>(startPoint, end, style.color, style.lineWidth);
}

std::optional<Rect> RectDragToolHandler::currentRect() const {
    return dragRect(startPoint, currentPoint, isShiftDown);
}

AnnotationPtr RectDragToolHandler::shape(bool final) const {
    const auto rect = currentRect();
    if (!rect) return nullptr;
    if (final && !(rect->width > kMinimumRectSide && rect->height > kMinimumRectSide)) return nullptr;
    switch (toolType()) {
        case AnnotationToolType::circle:
            return std::make_shared<CircleAnnotation>(*rect, style.color, style.lineWidth, style.filled);
        case AnnotationToolType::highlighter: return std::make_shared<HighlighterAnnotation>(*rect, style.color);
        case AnnotationToolType::pixelate:
            return std::make_shared<PixelateAnnotation>(*rect, style.mosaicEffect, style.mosaicRadius);
        default: return std::make_shared<RectangleAnnotation>(*rect, style.color, style.lineWidth, style.filled);
    }
}

void HighlighterToolHandler::mouseDown(Point point, bool shiftDown) {
    RectDragToolHandler::mouseDown(point, shiftDown);
    startLine_ = textLineResolver ? textLineResolver(point) : std::nullopt;
    activeTextLineRect = startLine_;
}

void HighlighterToolHandler::mouseDragged(Point point, bool shiftDown) {
    RectDragToolHandler::mouseDragged(point, shiftDown);
    if (!isDragging || !startLine_) return;
    const auto line = textLineResolver ? textLineResolver(point) : std::nullopt;
    // Over text the box covers the lines from the first to the current one.
    activeTextLineRect = line ? unionOf(startLine_, line) : std::nullopt;
}

std::optional<Rect> HighlighterToolHandler::currentRect() const {
    if (activeTextLineRect) return activeTextLineRect->standardized();
    return RectDragToolHandler::currentRect();
}

void FreehandToolHandler::mouseDown(Point point, bool) {
    points = {point};
    isDragging = true;
}

void FreehandToolHandler::mouseDragged(Point point, bool) {
    if (isDragging) points.push_back(point);
}

AnnotationPtr FreehandToolHandler::mouseUp(Point point, bool) {
    if (!isDragging) return nullptr;
    points.push_back(point);
    isDragging = false;
    std::vector<Point> stroke = std::exchange(points, {});
    if (stroke.size() < kMinimumFreehandPoints) return nullptr;
    return std::make_shared<FreehandAnnotation>(std::move(stroke), style.color, style.lineWidth);
}

AnnotationPtr FreehandToolHandler::currentPreview() const {
    if (!isDragging || points.size() < 2) return nullptr;
    return std::make_shared<FreehandAnnotation>(points, style.color, style.lineWidth);
}

void FreehandToolHandler::cancel() {
    points.clear();
    isDragging = false;
}

AnnotationPtr TextToolHandler::mouseUp(Point point, bool) {
    if (requestTextInput) requestTextInput(clickPoint.value_or(point));
    clickPoint.reset();
    return nullptr;
}

AnnotationPtr NumberToolHandler::mouseUp(Point point, bool) {
    const Point at = clickPoint.value_or(point);
    clickPoint.reset();
    auto badge = std::make_shared<NumberAnnotation>(nextNumber, at, style.color, style.numberSize, style.filled);
    nextNumber = nextBadgeNumber(nextNumber);
    return badge;
}

std::vector<std::unique_ptr<AnnotationToolHandler>> makeAnnotationToolHandlers() {
    std::vector<std::unique_ptr<AnnotationToolHandler>> handlers;
    handlers.push_back(std::make_unique<MoveToolHandler>());
    handlers.push_back(std::make_unique<DragToolHandler>(AnnotationToolType::arrow));
    handlers.push_back(std::make_unique<DragToolHandler>(AnnotationToolType::line));
    handlers.push_back(std::make_unique<NumberToolHandler>());
    handlers.push_back(std::make_unique<RectDragToolHandler>(AnnotationToolType::rectangle));
    handlers.push_back(std::make_unique<RectDragToolHandler>(AnnotationToolType::circle));
    handlers.push_back(std::make_unique<TextToolHandler>());
    handlers.push_back(std::make_unique<FreehandToolHandler>());
    handlers.push_back(std::make_unique<HighlighterToolHandler>());
    handlers.push_back(std::make_unique<PixelateToolHandler>());
    return handlers;
}

}  // namespace tessarin
