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

// Draws the whole image once and keeps it until an edit invalidates it:
// simple and exactly the export's pixels, at the cost of a full composite
// per change.
class WholeImageCanvasPixels final : public EditorCanvasPixels {
public:
    explicit WholeImageCanvasPixels(std::shared_ptr<const PangoTextEngine> text) : text_(std::move(text)) {}
    QImage render(const AnnotationEditorModel& model, const QRect& imageRect, double zoom) override;
    void invalidate(const std::optional<Rect>&) override { cached_ = QImage(); }

    // The whole document as the canvas shows it at 100%.
    QImage documentImage(const AnnotationEditorModel& model);

private:
    std::shared_ptr<const PangoTextEngine> text_;
    QImage cached_;
};

// A copy of the image's RGBA pixels.
QImage qImageOf(const Image& image);

}  // namespace tessarin
