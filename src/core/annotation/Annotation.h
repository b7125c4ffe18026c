#pragma once
// The common interface of every drawable annotation. Annotations are shared
// objects identified by their id; the geometry is in the image's drawing
// space (one unit per image pixel, origin bottom-left, y upward).
//
// Drawing is double-dispatched through AnnotationPainter so this model stays
// free of any graphics library: the renderer implements the painter.

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "core/annotation/AnnotationToolType.h"
#include "core/annotation/AnnotationValues.h"

namespace tessarin {

class ArrowAnnotation;
class LineAnnotation;
class NumberAnnotation;
class RectangleAnnotation;
class CircleAnnotation;
class HighlighterAnnotation;
class PixelateAnnotation;
class TextAnnotation;
class FreehandAnnotation;

// A random (version 4) UUID.
struct AnnotationID {
    std::array<uint8_t, 16> bytes{};
    static AnnotationID random();
    std::string text() const;
    friend auto operator<=>(const AnnotationID&, const AnnotationID&) = default;
};

class AnnotationPainter {
public:
    virtual ~AnnotationPainter() = default;
    virtual void paint(const ArrowAnnotation&) = 0;
    virtual void paint(const LineAnnotation&) = 0;
    virtual void paint(const NumberAnnotation&) = 0;
    virtual void paint(const RectangleAnnotation&) = 0;
    virtual void paint(const CircleAnnotation&) = 0;
    virtual void paint(const HighlighterAnnotation&) = 0;
    // Renderers give their painters the unannotated image (an
    // AnnotationMosaicSource) to draw mosaic boxes from; without one a box
    // is previewed.
    virtual void paint(const PixelateAnnotation&) = 0;
    virtual void paint(const TextAnnotation&) = 0;
    virtual void paint(const FreehandAnnotation&) = 0;
};

class Annotation {
public:
    static constexpr double kDefaultHitTolerance = 8;

    virtual ~Annotation() = default;
    Annotation& operator=(const Annotation&) = delete;

    const AnnotationID& id() const { return id_; }
    bool isHidden() const { return hidden_; }
    void setHidden(bool hidden) { hidden_ = hidden; }

    virtual void draw(AnnotationPainter& painter) const = 0;
    virtual Rect selectionBounds() const = 0;
    virtual Rect visualBounds() const { return selectionBounds(); }
    // The rectangle painted solid, for kinds that fill one.
    virtual std::optional<Rect> filledContentRect() const { return std::nullopt; }
    virtual bool contains(Point point, double tolerance) const = 0;
    bool contains(Point point) const { return contains(point, kDefaultHitTolerance); }

    virtual AnnotationGeometrySnapshot geometrySnapshot() const = 0;
    // Geometry of another kind's snapshot is ignored.
    virtual void applyGeometry(const AnnotationGeometrySnapshot& snapshot, Point delta) = 0;
    virtual void applyResizedRect(const Rect&) {}

    virtual AnnotationToolType toolType() const = 0;
    virtual AnnotationStyleChannels styleChannels() const = 0;
    virtual void applyStyleChannels(const AnnotationStyleChannels& channels) = 0;

    // A visible copy with a fresh id and empty caches.
    virtual std::shared_ptr<Annotation> duplicate() const = 0;

    AnnotationStateCapture stateCapture() const;
    void applyStateCapture(const AnnotationStateCapture& capture);

protected:
    Annotation() : id_(AnnotationID::random()) {}
    // Copying is duplicating: the copy gets a fresh id and is visible.
    Annotation(const Annotation&) : Annotation() {}
    // Text and marker number, which only their own kinds carry.
    virtual std::optional<std::string> capturedText() const { return std::nullopt; }
    virtual std::optional<long long> capturedMarkerNumber() const { return std::nullopt; }
    virtual void restoreText(const std::string&) {}
    virtual void restoreMarkerNumber(long long) {}

private:
    AnnotationID id_;
    bool hidden_ = false;
};

using AnnotationPtr = std::shared_ptr<Annotation>;

// Where one annotation was when a move began.
struct AnnotationMoveSnapshot {
    AnnotationID id;
    AnnotationGeometrySnapshot snapshot;
};

}  // namespace tessarin
