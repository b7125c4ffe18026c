#include "app/desktop/EditorCanvasPixels.h"

#include <cstring>

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

QImage WholeImageCanvasPixels::documentImage(const AnnotationEditorModel& model) {
    if (!cached_.isNull()) return cached_;
    const auto& source = model.session()->image();
    if (!source) return {};
    std::vector<AnnotationPtr> annotations;
    const auto& editing = model.canvas().textEditing();
    for (const auto& annotation : model.document().annotations) {
        // The text being typed shows in the text box over the canvas instead.
        if (editing && editing->editingID && annotation->id() == *editing->editingID) continue;
        annotations.push_back(annotation);
    }
    if (auto preview = model.canvas().drawingPreview()) annotations.push_back(std::move(preview));
    auto drawn = ImageCompositor::composite(*source, annotations, model.imageDrawRect(), *text_);
    if (!drawn) return cached_ = qImageOf(*source);
    // The QImage reads the composite's own pixels: no second copy of a large image.
    auto pixels = std::make_shared<const Image>(std::move(*drawn));
    cached_ = QImage(
        pixels->data(), int(pixels->width()), int(pixels->height()), qsizetype(pixels->stride()),
        QImage::Format_RGBA8888, [](void* owner) { delete static_cast<std::shared_ptr<const Image>*>(owner); },
        new std::shared_ptr<const Image>(pixels));
    return cached_;
}

QImage WholeImageCanvasPixels::render(const AnnotationEditorModel& model, const QRect& imageRect, double zoom) {
    const QImage whole = documentImage(model);
    const QRect part = imageRect.intersected(whole.rect());
    if (part.isEmpty()) return {};
    const QImage section = whole.copy(part);
    if (zoom == 1) return section;
    const QSize size(std::max(1, int(std::lround(part.width() * zoom))), std::max(1, int(std::lround(part.height() * zoom))));
    return section.scaled(size, Qt::IgnoreAspectRatio, zoom > 1 ? Qt::FastTransformation : Qt::SmoothTransformation);
}

}  // namespace tessarin
