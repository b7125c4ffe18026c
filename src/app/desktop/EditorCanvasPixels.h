#pragma once
// Where the editor canvas gets its pixels: the document drawn by the export
// renderer, for a part of the image at a zoom. The canvas asks for what it
// shows and says which drawing-space areas an edit changed.

#include <QImage>
#include <QRect>
#include <memory>
#include <optional>

#include "core/annotation/AnnotationEditorModel.h"

namespace tessarin {

class AnnotationTileCanvas;
class PangoTextEngine;

class EditorCanvasPixels {
public:
    virtual ~EditorCanvasPixels() = default;
    // The document (with the shape being drawn) over `imageRect` (image
    // pixels, rows from the top), `zoom` times its pixel size.
    virtual QImage render(const AnnotationEditorModel& model, const QRect& imageRect, double zoom) = 0;
    // An edit changed this drawing-space area (nothing: everything, e.g. a new session).
    virtual void invalidate(const std::optional<Rect>& drawingRect) = 0;
};

// The tile canvas: the image kept as 256-pixel tiles drawn by the export's
// renderer, only those an edit reached drawn again, only those on screen
// drawn at all; one mosaic cache for the session. What it shows is byte for
// byte the export's composite.
class TileCanvasPixels final : public EditorCanvasPixels {
public:
    explicit TileCanvasPixels(std::shared_ptr<const PangoTextEngine> text);
    ~TileCanvasPixels() override;
    QImage render(const AnnotationEditorModel& model, const QRect& imageRect, double zoom) override;
    // The tiles find what changed themselves; nothing (a new session, a
    // crop) starts them over.
    void invalidate(const std::optional<Rect>& drawingRect) override;

    // The whole document as the canvas shows it at 100%.
    QImage documentImage(const AnnotationEditorModel& model);

private:
    AnnotationTileCanvas& canvasFor(const AnnotationEditorModel& model);

    std::shared_ptr<const PangoTextEngine> text_;
    std::shared_ptr<const Image> source_;
    Rect drawRect_;
    std::unique_ptr<AnnotationTileCanvas> canvas_;
};

// A copy of the image's RGBA pixels.
QImage qImageOf(const Image& image);

}  // namespace tessarin
