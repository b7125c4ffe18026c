#include "app/desktop/EditorCanvasPixels.h"

#include <cstring>

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

// The plain image, when there is no renderer to draw the document.
QImage plainImage(const Image& source, const AnnotationCanvasFrame& frame, const QRect& part) {
    const QRect content(int(frame.content.x), int(frame.content.y), int(frame.content.width), int(frame.content.height));
    return qImageOf(source).copy(part.translated(-int(frame.offsetX), -int(frame.offsetY)).intersected(content));
}

}  // namespace

TileCanvasPixels::TileCanvasPixels(RendererSource renderer) : renderer_(std::move(renderer)) {}

TileCanvasPixels::~TileCanvasPixels() = default;

AnnotationEditorCanvas* TileCanvasPixels::canvasFor(const AnnotationEditorModel& model) {
    const auto& source = model.session()->image();
    if (!canvas_ || source != source_ || !(model.imageDrawRect() == drawRect_)) {
        AnnotationEditorRenderer* renderer = renderer_ ? renderer_() : nullptr;
        if (!renderer) return nullptr;
        source_ = source;
        drawRect_ = model.imageDrawRect();
        canvas_ = renderer->makeCanvas(source_, drawRect_);
        if (!canvas_) return nullptr;
        stale_ = true;
    }
    if (stale_) {
        canvas_->update(shownAnnotations(model), model.canvasFrame(), model.document().background,
                        model.canvas().isDragging());
        stale_ = false;
        ++updates_;
    }
    return canvas_.get();
}

void TileCanvasPixels::invalidate(const std::optional<Rect>& drawingRect) {
    stale_ = true;
    if (!drawingRect && canvas_) canvas_->invalidateAll();
}

QImage TileCanvasPixels::render(const AnnotationEditorModel& model, const QRect& shownRect, double zoom) {
    const auto& source = model.session()->image();
    if (!source) return {};
    const AnnotationCanvasFrame frame = model.canvasFrame();
    const QRect part = shownRect.intersected(QRect(0, 0, int(frame.width), int(frame.height)));
    if (part.isEmpty()) return {};
    AnnotationEditorCanvas* canvas = canvasFor(model);
    if (!canvas) return zoomed(plainImage(*source, frame, part), zoom);
    auto drawn = canvas->render(PixelRect{part.x(), part.y(), part.width(), part.height()});
    if (!drawn) return zoomed(plainImage(*source, frame, part), zoom);
    // The drawn pixels shown where they are, not copied.
    auto* pixels = new Image(std::move(*drawn));
    const QImage wrapped(pixels->data(), int(pixels->width()), int(pixels->height()), qsizetype(pixels->stride()),
                         QImage::Format_RGBA8888, [](void* image) { delete static_cast<Image*>(image); }, pixels);
    return zoomed(wrapped, zoom);
}

QImage TileCanvasPixels::documentImage(const AnnotationEditorModel& model) {
    stale_ = true;  // whatever changed since, without the canvas being told
    const AnnotationCanvasFrame frame = model.canvasFrame();
    return render(model, QRect(0, 0, int(frame.width), int(frame.height)), 1.0);
}

}  // namespace tessarin

namespace tessarin {

std::optional<Expected<Image, std::string>> TileCanvasPixels::exportImage(const AnnotationCompositeInputs& inputs) {
    if (!canvas_ || !inputs.source || inputs.source != source_) return std::nullopt;
    return canvas_->exportImage(inputs);
}

}  // namespace tessarin
