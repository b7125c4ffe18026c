#pragma once
// Cropping the edited image: the presets the crop panel offers, the pure
// geometry of reshaping a crop rectangle, and the session that holds the
// rectangle while the user drags it.
//
// Everything is in canvas points (origin bottom-left, y upward) except
// pixelRect's result, which is in source pixels (origin top-left). The
// session is a plain value: the editor keeps it, copies it and compares it;
// the committed crop goes into the document as an undoable edit.

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "core/common/Geometry.h"

namespace tessarin {

// One choice of the crop panel.
struct AnnotationCropPreset {
    // Persisted by value: append only.
    enum class Kind { free = 0, original = 1, ratio = 2, pixels = 3 };
    Kind kind = Kind::free;
    int width = 0;   // ratio terms, or pixels
    int height = 0;

    static constexpr AnnotationCropPreset freeform() { return {Kind::free, 0, 0}; }
    static constexpr AnnotationCropPreset originalRatio() { return {Kind::original, 0, 0}; }
    static constexpr AnnotationCropPreset ratio(int w, int h) { return {Kind::ratio, w, h}; }
    static constexpr AnnotationCropPreset pixels(int w, int h) { return {Kind::pixels, w, h}; }

    // "16:9", "1920 × 1080", "Free", "Original Ratio".
    std::string title() const;
    // Width / height, or nothing for free, a height below 1, or an image
    // without a usable size.
    std::optional<double> aspectRatio(Size imageSize) const;

    friend bool operator==(const AnnotationCropPreset&, const AnnotationCropPreset&) = default;
};

// The aspect ratio panel, in order: Free, Original Ratio, 1:1, 4:3, 3:2, 16:9, 9:16, 4:5.
const std::vector<AnnotationCropPreset>& annotationCropRatioPresets();
// The common sizes panel, in order: 1920 × 1080, 1280 × 720, 1080 × 1080, 1080 × 1920, 1200 × 630.
const std::vector<AnnotationCropPreset>& annotationCropSizePresets();
// The note under a size preset that cannot be selected.
inline constexpr const char* kCropPresetTooLargeNote = "Larger than the image";

// The eight grips of a crop rectangle, in the order they are hit-tested.
enum class AnnotationCropHandle { topLeft, topRight, bottomLeft, bottomRight, left, right, top, bottom };
inline constexpr std::array<AnnotationCropHandle, 8> kAnnotationCropHandles = {
    AnnotationCropHandle::topLeft, AnnotationCropHandle::topRight, AnnotationCropHandle::bottomLeft,
    AnnotationCropHandle::bottomRight, AnnotationCropHandle::left, AnnotationCropHandle::right,
    AnnotationCropHandle::top, AnnotationCropHandle::bottom};
bool isCornerHandle(AnnotationCropHandle handle);

namespace AnnotationCropGeometry {

// No crop edge comes nearer than this to its opposite edge, unless the
// image itself is smaller.
inline constexpr double kMinimumSide = 20;
// Side of a handle's square hit area.
inline constexpr double kHandleHitSide = 16;

// `rect` with the edges `handle` controls moved by (dx, dy), kept inside
// `bounds` and at least the minimum size, then held to `ratio` (width /
// height) when one is given. A corner keeps its opposite corner; an edge
// keeps its opposite edge and grows the other dimension about the centre
// line, shifted and scaled down as needed to stay inside the bounds.
Rect resized(const Rect& rect, AnnotationCropHandle handle, double dx, double dy, std::optional<double> ratio,
             const Rect& bounds);
// The same size moved by `delta` and kept inside the bounds.
Rect moved(const Rect& rect, Point delta, const Rect& bounds);
// A rectangle of `size` centred on `centre`, moved inside the bounds.
Rect placed(Size size, Point centre, const Rect& bounds);
// The largest rectangle of `ratio` that fits `bounds`, placed around `centre`.
Rect largestFitting(double ratio, Point centre, const Rect& bounds);
// The crop in source pixels (origin top-left), never empty and never
// outside the image; nothing when the image has no whole pixel, the scale
// is not above 0, or a value is not finite.
std::optional<PixelRect> pixelRect(const Rect& crop, const Rect& imageRect, double pixelsPerPoint);
// The hit area of one handle of `rect`.
Rect handleHitArea(const Rect& rect, AnnotationCropHandle handle);

}  // namespace AnnotationCropGeometry

// What the canvas draws while cropping: the dimmed parts of the image
// outside the crop, the crop frame with its handles, and its size label.
struct AnnotationCropOverlay {
    std::vector<Rect> dimmed;  // up to four, covering the image minus the crop
    Rect crop;
    std::vector<Rect> handles;  // in kAnnotationCropHandles order
    std::string sizeLabel;      // "640 × 360", in pixels
};

// Keys the crop takes while it is open; anything else is not its.
enum class AnnotationCropKey { returnKey, enter, escape, left, right, up, down };
enum class AnnotationCropKeyOutcome { ignored, moved, apply, cancel };

enum class AnnotationCropCursor { none, move, resizeDiagonalRising, resizeDiagonalFalling, resizeHorizontal, resizeVertical };

class AnnotationCropSessionState {
public:
    struct Drag {
        std::optional<AnnotationCropHandle> handle;  // none: moving
        Point initialPoint;
        Rect initialRect;
        friend bool operator==(const Drag&, const Drag&) = default;
    };

    // Starts at `initial` (kept inside the image) or the whole image, with
    // the free preset.
    AnnotationCropSessionState(const Rect& imageRect, double pixelsPerPoint, std::optional<Rect> initial = std::nullopt);

    const Rect& imageRect() const { return imageRect_; }
    double pixelsPerPoint() const { return pixelsPerPoint_; }
    const Rect& rect() const { return rect_; }
    const AnnotationCropPreset& preset() const { return preset_; }
    const std::optional<Drag>& drag() const { return drag_; }

    bool canSelect(const AnnotationCropPreset& preset) const;
    // Sets the preset and reshapes the rectangle to it; a size preset that
    // does not fit is refused (false).
    bool select(const AnnotationCropPreset& preset);
    bool isHighlighted(const AnnotationCropPreset& preset) const { return preset == preset_; }
    void reset();

    // A handle under the point starts a resize, else a point inside the
    // rectangle starts a move; false when neither.
    bool beginDrag(Point point);
    // True when the rectangle changed.
    bool dragTo(Point point);
    void endDrag() { drag_.reset(); }
    AnnotationCropCursor cursorAt(Point point) const;
    // Return or Enter apply, Escape cancels, an arrow moves the crop by a
    // point (ten with Shift), kept inside the image. Ignored mid-drag.
    AnnotationCropKeyOutcome handleKey(AnnotationCropKey key, bool shift = false);

    AnnotationCropOverlay overlay() const;
    // What applying stores in the document: nothing when the crop is the
    // whole image.
    std::optional<Rect> rectToApply() const;

    friend bool operator==(const AnnotationCropSessionState&, const AnnotationCropSessionState&) = default;

private:
    std::optional<AnnotationCropHandle> handleAt(Point point) const;

    Rect imageRect_;
    double pixelsPerPoint_;
    Rect rect_;
    AnnotationCropPreset preset_;
    std::optional<Drag> drag_;
};

}  // namespace tessarin
