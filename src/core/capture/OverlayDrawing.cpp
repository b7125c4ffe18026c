#include "core/capture/OverlayDrawing.h"

#include "core/capture/CaptureSelectionGeometry.h"

namespace tessarin {
namespace {

bool intersects(const Rect& a, const Rect& b) { return !a.intersection(b).isEmpty(); }

// Above the selection's top-left corner, else inside it past the corner
// handle; moved inside it as well when the toolbar sits there.
std::optional<OverlayBadge> sizeBadge(const Rect& bounds, const Rect& s,
                                      const std::optional<OverlayToolbarLayout>& toolbar,
                                      const OverlayTextMeasure& measure) {
    using namespace CaptureOverlayStyle;
    const std::string text = selectionSizeLabel(s);
    Rect frame = badgeRect({s.minX(), s.maxY() + badgeGap}, text, measure);
    const bool fitsAbove = frame.maxY() <= bounds.maxY();
    if (!fitsAbove || (toolbar && intersects(frame, toolbar->frame))) {
        frame = badgeRect({s.minX() + cornerInside + badgeGap, s.maxY() - badgeGap - badgeHeight}, text, measure);
    }
    return OverlayBadge{CaptureSelectionGeometry::translatedToFit(frame, bounds), text};
}

std::optional<OverlayBadge> hintBadge(const Rect& bounds, const std::string& text, const OverlayTextMeasure& measure) {
    if (text.empty()) return std::nullopt;
    Rect frame = CaptureOverlayStyle::badgeRect({0, 0}, text, measure);
    frame.x = bounds.midX() - frame.width / 2;
    frame.y = bounds.midY() - frame.height / 2;
    return OverlayBadge{CaptureSelectionGeometry::translatedToFit(frame, bounds), text};
}

Rect grown(const Rect& r, double by) { return {r.x - by, r.y - by, r.width + 2 * by, r.height + 2 * by}; }

// The strips along the selection's edges where its border and knobs are drawn.
std::vector<Rect> chromeStrips(const Rect& s) {
    const double reach = CaptureOverlayStyle::chromeReach;
    const Rect outer = grown(s, reach);
    if (s.width <= 2 * reach || s.height <= 2 * reach) return {outer};
    return {
        {outer.minX(), outer.minY(), outer.width, 2 * reach},        // bottom
        {outer.minX(), s.maxY() - reach, outer.width, 2 * reach},    // top
        {outer.minX(), s.minY() + reach, 2 * reach, s.height - 2 * reach},  // left
        {s.maxX() - reach, s.minY() + reach, 2 * reach, s.height - 2 * reach},  // right
    };
}

void append(std::vector<Rect>& into, const std::vector<Rect>& rects) { into.insert(into.end(), rects.begin(), rects.end()); }

template <typename T>
void appendChanged(std::vector<Rect>& into, const std::optional<T>& before, const std::optional<T>& after) {
    if (before == after) return;
    if (before) into.push_back(grown(before->frame, 2));
    if (after) into.push_back(grown(after->frame, 2));
}

}  // namespace

std::vector<Rect> subtracting(const Rect& aIn, const Rect& bIn) {
    const Rect a = aIn.standardized();
    const Rect cut = a.intersection(bIn.standardized());
    if (a.isEmpty()) return {};
    if (cut.isEmpty()) return {a};
    std::vector<Rect> parts;
    const auto add = [&parts](Rect r) {
        if (!r.isEmpty()) parts.push_back(r);
    };
    add({a.minX(), a.minY(), a.width, cut.minY() - a.minY()});                    // below the cut
    add({a.minX(), cut.maxY(), a.width, a.maxY() - cut.maxY()});                  // above it
    add({a.minX(), cut.minY(), cut.minX() - a.minX(), cut.height});               // left of it
    add({cut.maxX(), cut.minY(), a.maxX() - cut.maxX(), cut.height});             // right of it
    return parts;
}

OverlayDrawing describeOverlay(const OverlayPictureState& state) {
    OverlayDrawing drawing;
    drawing.bounds = state.bounds;
    const bool shown = state.selection && !state.selection->isEmpty();
    if (state.toolbar && state.toolbar->isVisible()) drawing.toolbar = state.toolbar->layout();
    if (shown) {
        const Rect s = state.selection->standardized();
        drawing.selection = s;
        drawing.mask = subtracting(state.bounds, s);
        for (auto handle : CaptureOverlayStyle::allHandles) drawing.knobs.push_back(CaptureOverlayStyle::knob(handle, s));
        drawing.sizeBadge = sizeBadge(state.bounds, s, drawing.toolbar, state.measureText);
    } else {
        drawing.mask = {state.bounds};
    }
    if (!state.hasSelection) drawing.hintBadge = hintBadge(state.bounds, state.hintText, state.measureText);
    return drawing;
}

std::vector<Rect> repaintRegion(const OverlayDrawing& before, const OverlayDrawing& after) {
    if (before == after) return {};
    if (before.bounds != after.bounds) return {before.bounds, after.bounds};
    std::vector<Rect> region;
    if (before.selection != after.selection) {
        const Rect none{};
        const Rect old = before.selection.value_or(none);
        const Rect now = after.selection.value_or(none);
        // The mask changes only where exactly one of the two is clear.
        append(region, subtracting(old, now));
        append(region, subtracting(now, old));
        if (before.selection) append(region, chromeStrips(old));
        if (after.selection) append(region, chromeStrips(now));
    }
    appendChanged(region, before.sizeBadge, after.sizeBadge);
    appendChanged(region, before.hintBadge, after.hintBadge);
    appendChanged(region, before.toolbar, after.toolbar);
    // Shadows and antialiasing may spill a point; nothing outside the view.
    std::vector<Rect> clipped;
    for (const Rect& r : region) {
        const Rect inside = r.intersection(after.bounds);
        if (!inside.isEmpty()) clipped.push_back(inside);
    }
    return clipped;
}

}  // namespace tessarin
