#pragma once
// Where the editor canvas gets its pixels: what the model's canvas frame
// shows (the image with its annotations, cut to the crop and framed by the
// background), drawn by the export's renderer, for a part at a zoom.

#include <QImage>
#include <QRect>
#include <functional>
#include <memory>
#include <optional>

#include "core/annotation/AnnotationEditorModel.h"
#include "core/annotation/AnnotationEditorRenderer.h"

namespace tessarin {

class EditorCanvasPixels {
public:
    virtual ~EditorCanvasPixels() = default;
    // `shownRect` of what the model's canvas frame shows (pixels, rows from
    // the top), `zoom` times its pixel size.
    virtual QImage render(const AnnotationEditorModel& model, const QRect& shownRect, double zoom) = 0;
    // An edit changed this drawing-space area (nothing: everything, e.g. a new session).
    virtual void invalidate(const std::optional<Rect>& drawingRect) = 0;
    // The model may have changed (the canvas calls it after every event that
    // reached the model): the next render takes the document again. Paints
    // between changes (scrolling, exposure) reuse what was taken.
    virtual void modelChanged() {}
};

// The annotation module's canvas: tiles drawn by the export's renderer,
// only those an edit reached drawn again, only those on screen drawn at
// all, inside the background's frame; one mosaic cache for the session.
// What it shows is byte for byte the export.
class TileCanvasPixels final : public EditorCanvasPixels {
public:
    // The renderer, loaded the first time a canvas is drawn; nothing when it
    // cannot be (the canvas then shows the plain image).
    using RendererSource = std::function<AnnotationEditorRenderer*()>;
    explicit TileCanvasPixels(RendererSource renderer);
    ~TileCanvasPixels() override;
    QImage render(const AnnotationEditorModel& model, const QRect& shownRect, double zoom) override;
    // The tiles find what changed themselves; nothing (a new session) starts them over.
    void invalidate(const std::optional<Rect>& drawingRect) override;
    void modelChanged() override { stale_ = true; }
    // How often the document was handed to the canvas (it compares every
    // annotation with what it drew, so once per change is enough).
    int updates() const { return updates_; }

    // Everything the canvas shows, at 100%.
    QImage documentImage(const AnnotationEditorModel& model);
    // The finished image from the canvas of the inputs' image (its drawn
    // tiles and frame reused when they show the inputs); nothing when there
    // is no canvas of that image.
    std::optional<Expected<Image, std::string>> exportImage(const AnnotationCompositeInputs& inputs);
    size_t memoryBytes() const { return canvas_ ? canvas_->memoryBytes() : 0; }

private:
    AnnotationEditorCanvas* canvasFor(const AnnotationEditorModel& model);

    RendererSource renderer_;
    std::shared_ptr<const Image> source_;
    Rect drawRect_;
    std::unique_ptr<AnnotationEditorCanvas> canvas_;
    bool stale_ = true;
    int updates_ = 0;
};

// A copy of the image's RGBA pixels.
QImage qImageOf(const Image& image);

}  // namespace tessarin
