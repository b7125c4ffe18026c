#include "app/desktop/EditorCanvasPixels.h"

#include <cstring>

#include "render/annotation/AnnotationTileCanvas.h"
#include "render/annotation/ImageCompositor.h"
#include "render/annotation/PangoTextEngine.h"

namespace tessarin {

QImage qImageOf(const Image& image) {
    QImage out(int(image.width()), int(image.height()), QImage::Format_RGBA8888);
    if (out.isNull()) return out;
    for (uint32_t y = 0; y < image.height(); ++y) {
        std::memcpy(out.scanLine(int(y)), image.row(y), image.stride());
    }
    return out;
}

namespace {

// What the canvas draws: the document, less the text being typed (the text
// box over the canvas shows it), plus the shape being drawn.
std::vector<AnnotationPtr> shownAnnotations(const AnnotationEditorModel& model) {
    std::vector<AnnotationPtr> annotations;
    const auto& editing = model.canvas().textEditing();
    for (const auto& annotation : model.document().annotations) {
        if (editing && editing->editingID && annotation->id() == *editing->editingID) continue;
        annotations.push_back(annotation);
    }
    if (auto preview = model.canvas().drawingPreview()) annotations.push_back(std::move(preview));
    return annotations;
}

QImage zoomed(const QImage& section, double zoom) {
    if (zoom == 1) return section;
    const QSize size(std::max(1, int(std::lround(section.width() * zoom))),
                     std::max(1, int(std::lround(section.height() * zoom))));
    return section.scaled(size, Qt::IgnoreAspectRatio, zoom > 1 ? Qt::FastTransformation : Qt::SmoothTransformation);
}

}  // namespace

TileCanvasPixels::TileCanvasPixels(std::shared_ptr<const PangoTextEngine> text) : text_(std::move(text)) {}

TileCanvasPixels::~TileCanvasPixels() = default;

AnnotationTileCanvas& TileCanvasPixels::canvasFor(const AnnotationEditorModel& model) {
    const auto& source = model.session()->image();
    if (!canvas_ || source != source_ || !(model.imageDrawRect() == drawRect_)) {
        source_ = source;
        drawRect_ = model.imageDrawRect();
        canvas_ = std::make_unique<AnnotationTileCanvas>(source_, drawRect_, *text_);
    }
    canvas_->update(shownAnnotations(model));
    return *canvas_;
}

void TileCanvasPixels::invalidate(const std::optional<Rect>& drawingRect) {
    if (!drawingRect && canvas_) canvas_->invalidateAll();
}

QImage TileCanvasPixels::render(const AnnotationEditorModel& model, const QRect& imageRect, double zoom) {
    if (!model.session()->image()) return {};
    AnnotationTileCanvas& canvas = canvasFor(model);
    const Image& source = canvas.source();
    const QRect part = imageRect.intersected(QRect(0, 0, int(source.width()), int(source.height())));
    if (part.isEmpty()) return {};
    canvas.render(PixelRect{part.x(), part.y(), part.width(), part.height()});
    QImage section(part.size(), QImage::Format_RGBA8888);
    if (section.isNull()) return {};
    const uint32_t side = canvas.tileSide();
    for (uint32_t row = uint32_t(part.top()) / side; row <= uint32_t(part.bottom()) / side && row < canvas.rows(); ++row) {
        for (uint32_t column = uint32_t(part.left()) / side;
             column <= uint32_t(part.right()) / side && column < canvas.columns(); ++column) {
            const AnnotationTileCanvas::TileIndex index{column, row};
            const auto view = canvas.tile(index);
            const PixelRect tile = canvas.tileRect(index);
            const QRect overlap = part.intersected(QRect(int(tile.x), int(tile.y), int(tile.width), int(tile.height)));
            if (overlap.isEmpty()) continue;
            for (int y = overlap.top(); y <= overlap.bottom(); ++y) {
                uint8_t* to = section.scanLine(y - part.y()) + size_t(overlap.x() - part.x()) * 4;
                // A tile that failed to draw shows the image beneath.
                const uint8_t* from = view ? view->row(uint32_t(y - tile.y)) + size_t(overlap.x() - tile.x) * 4
                                           : source.row(uint32_t(y)) + size_t(overlap.x()) * 4;
                std::memcpy(to, from, size_t(overlap.width()) * 4);
            }
        }
    }
    return zoomed(section, zoom);
}

QImage TileCanvasPixels::documentImage(const AnnotationEditorModel& model) {
    if (!model.session()->image()) return {};
    auto whole = canvasFor(model).snapshot();
    return whole ? qImageOf(*whole) : QImage();
}

}  // namespace tessarin
