#pragma once
// The values the editor canvas's pointer handling passes around: what a
// drag is doing, selection handles, cursors, modifier keys and key presses.
// Coordinates are drawing coordinates (origin bottom-left, y upward), so a
// "top" handle lies at the rectangle's maxY.

#include <optional>
#include <set>
#include <variant>
#include <vector>

#include "core/annotation/Annotation.h"

namespace tessarin {

enum class AnnotationResizeHandle { topLeft, topRight, bottomLeft, bottomRight, left, right, top, bottom };
enum class AnnotationEndpoint { start, end };

// Modifier keys as the desktop reports them. On X11 the window manager
// usually claims Alt+drag for moving windows, so Ctrl duplicates as well.
struct AnnotationModifiers {
    bool shift = false;
    bool alt = false;
    bool control = false;
    bool super = false;  // the logo key: like the command key, it keeps keys off the canvas

    bool duplicates() const { return alt || control; }
};

namespace AnnotationInteraction {
struct Moving {
    Point initialPoint;
    std::vector<AnnotationMoveSnapshot> snapshots;
};
struct ResizingRect {
    AnnotationID id;
    AnnotationResizeHandle handle;
    Point initialPoint;
    Rect initialRect;
};
struct ScalingText {
    AnnotationID id;
    AnnotationResizeHandle handle;
    Point initialPoint;
    Rect initialBounds;
    double initialFontSize = 16;
    std::optional<double> initialWidth;
};
struct ResizingArrow {
    AnnotationID id;
    AnnotationEndpoint endpoint;
    Point initialPoint;
    Point initialStart;
    Point initialEnd;
};
struct Marquee {
    Point start;
    Point current;
    bool additive = false;
    std::set<AnnotationID> originalSelection;
    Rect rect() const { return Rect{start.x, start.y, current.x - start.x, current.y - start.y}.standardized(); }
};
struct None {};
using Interaction = std::variant<None, Moving, ResizingRect, ScalingText, ResizingArrow, Marquee>;

// The ids a drag changes (none for a marquee).
std::vector<AnnotationID> mutatedIDs(const Interaction& interaction);
}  // namespace AnnotationInteraction

struct AnnotationHandleKind {
    enum class Type { corner, edge, segmentEndpoint } type = Type::corner;
    AnnotationResizeHandle handle = AnnotationResizeHandle::topLeft;  // corner and edge
    AnnotationEndpoint endpoint = AnnotationEndpoint::start;           // segmentEndpoint
    friend bool operator==(const AnnotationHandleKind&, const AnnotationHandleKind&) = default;
};

struct AnnotationCursorKind {
    enum class Type { resize, arrow, crosshair, iBeam, openHand, closedHand, highlighter, dragCopy } type = Type::arrow;
    AnnotationResizeHandle handle = AnnotationResizeHandle::topLeft;  // resize only

    static AnnotationCursorKind of(Type t) { return {t, AnnotationResizeHandle::topLeft}; }
    static AnnotationCursorKind resize(AnnotationResizeHandle h) { return {Type::resize, h}; }
    friend bool operator==(const AnnotationCursorKind&, const AnnotationCursorKind&) = default;
};

struct AnnotationHandle {
    static constexpr double kHitSize = 16;
    static constexpr double kVisualSize = 8;

    AnnotationHandleKind kind;
    Rect rect;  // hit area
    std::optional<Rect> visualRect;
    AnnotationCursorKind cursorKind;
    std::optional<Rect> baseRect;  // the rectangle the handle sits on
};

struct AnnotationCursorRect {
    Rect rect;
    AnnotationCursorKind cursorKind;
};

// A key press on the canvas. `character` is the typed character, lower-cased
// by the view; the named keys have their own kinds.
struct AnnotationKey {
    enum class Kind { character, escape, returnKey, deleteKey, zoomIn, zoomOut, zoomReset, other } kind = Kind::other;
    char32_t character = 0;
    AnnotationModifiers modifiers;

    static AnnotationKey of(char32_t c, AnnotationModifiers m = {}) { return {Kind::character, c, m}; }
    static AnnotationKey named(Kind k, AnnotationModifiers m = {}) { return {k, 0, m}; }
};

}  // namespace tessarin
