#include "core/capture/CaptureOverlayStyle.h"

#include <cmath>

namespace tessarin::CaptureOverlayStyle {
namespace {

bool contains(const Rect& area, Point p) { return area.containsInclusive(p); }

}  // namespace

Rect hitArea(Handle handle, const Rect& s) {
    const double corner = cornerOutside + cornerInside;
    switch (handle) {
        case Handle::topLeft: return {s.minX() - cornerOutside, s.maxY() - cornerInside, corner, corner};
        case Handle::topRight: return {s.maxX() - cornerInside, s.maxY() - cornerInside, corner, corner};
        case Handle::bottomLeft: return {s.minX() - cornerOutside, s.minY() - cornerOutside, corner, corner};
        case Handle::bottomRight: return {s.maxX() - cornerInside, s.minY() - cornerOutside, corner, corner};
        case Handle::top:
            return {s.midX() - pillLength / 2, s.maxY() - pillThickness / 2, pillLength, pillThickness};
        case Handle::bottom:
            return {s.midX() - pillLength / 2, s.minY() - pillThickness / 2, pillLength, pillThickness};
        case Handle::left:
            return {s.minX() - pillThickness / 2, s.midY() - pillLength / 2, pillThickness, pillLength};
        case Handle::right:
            return {s.maxX() - pillThickness / 2, s.midY() - pillLength / 2, pillThickness, pillLength};
    }
    return {};
}

std::optional<Handle> handle(Point point, const Rect& selection) {
    static constexpr std::array<Handle, 8> order = {Handle::topLeft, Handle::topRight, Handle::bottomLeft,
                                                    Handle::bottomRight, Handle::top, Handle::bottom,
                                                    Handle::left, Handle::right};
    const Rect s = selection.standardized();
    for (Handle h : order) {
        if (contains(hitArea(h, s), point)) return h;
    }
    return std::nullopt;
}

Rect knob(Handle handle, const Rect& selection) {
    const Rect s = selection.standardized();
    const auto centred = [](double cx, double cy, double w, double h) { return Rect{cx - w / 2, cy - h / 2, w, h}; };
    const double c = cornerKnobSize;
    switch (handle) {
        case Handle::topLeft: return centred(s.minX(), s.maxY(), c, c);
        case Handle::topRight: return centred(s.maxX(), s.maxY(), c, c);
        case Handle::bottomLeft: return centred(s.minX(), s.minY(), c, c);
        case Handle::bottomRight: return centred(s.maxX(), s.minY(), c, c);
        case Handle::top: return centred(s.midX(), s.maxY(), pillKnobLength, pillKnobThickness);
        case Handle::bottom: return centred(s.midX(), s.minY(), pillKnobLength, pillKnobThickness);
        case Handle::left: return centred(s.minX(), s.midY(), pillKnobThickness, pillKnobLength);
        case Handle::right: return centred(s.maxX(), s.midY(), pillKnobThickness, pillKnobLength);
    }
    return {};
}

bool movesLeftEdge(Handle h) { return h == Handle::topLeft || h == Handle::left || h == Handle::bottomLeft; }
bool movesRightEdge(Handle h) { return h == Handle::topRight || h == Handle::right || h == Handle::bottomRight; }
bool movesTopEdge(Handle h) { return h == Handle::topLeft || h == Handle::top || h == Handle::topRight; }
bool movesBottomEdge(Handle h) { return h == Handle::bottomLeft || h == Handle::bottom || h == Handle::bottomRight; }

OverlayCursor resizeCursor(Handle handle) {
    switch (handle) {
        case Handle::topLeft: return OverlayCursor::resizeTopLeft;
        case Handle::top: return OverlayCursor::resizeTop;
        case Handle::topRight: return OverlayCursor::resizeTopRight;
        case Handle::right: return OverlayCursor::resizeRight;
        case Handle::bottomRight: return OverlayCursor::resizeBottomRight;
        case Handle::bottom: return OverlayCursor::resizeBottom;
        case Handle::bottomLeft: return OverlayCursor::resizeBottomLeft;
        case Handle::left: return OverlayCursor::resizeLeft;
    }
    return OverlayCursor::crosshair;
}

std::string selectionSizeLabel(const Rect& rect) {
    // std::llround rounds halves away from zero; a size beyond any display
    // is printed as it is instead of overflowing.
    const auto text = [](double v) {
        if (!std::isfinite(v) || std::abs(v) > 1e15) return std::to_string(v);
        return std::to_string(std::llround(v));
    };
    return text(rect.width) + " \u00d7 " + text(rect.height);
}

double estimatedTextWidth(std::string_view text) {
    // Counts characters, not UTF-8 continuation bytes.
    size_t characters = 0;
    for (char c : text) {
        if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++characters;
    }
    return 7.0 * double(characters);
}

Rect badgeRect(Point origin, std::string_view text, const OverlayTextMeasure& measure) {
    const double textWidth = measure ? measure(text) : estimatedTextWidth(text);
    return {origin.x, origin.y, std::ceil(textWidth) + 2 * badgePadding, badgeHeight};
}

}  // namespace tessarin::CaptureOverlayStyle
