#pragma once
// The editor's exports on the desktop: the composite drawn with the same
// Cairo/Pango renderer as the canvas, Save As through Qt's file dialog and
// the encoders, Copy as PNG on the clipboard.

#include <QString>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "core/annotation/AnnotationEditorPorts.h"
#include "core/common/ImageFormat.h"

class QWidget;

namespace tessarin {

class PangoTextEngine;

// The pixel rectangle (rows from the top) that a drawing-space crop covers
// in an image drawn over `imageDrawRect`; nothing when they do not meet.
struct PixelCrop {
    uint32_t x = 0, y = 0, width = 0, height = 0;
};
std::optional<PixelCrop> pixelCropOf(const Rect& crop, const Rect& imageDrawRect, uint32_t imageWidth,
                                     uint32_t imageHeight);
std::optional<Image> croppedImage(const Image& image, const PixelCrop& crop);

// Composites on the calling thread. A background frame is drawn by the
// background code; until then an export that asks for one fails and says
// so rather than leave the frame out unnoticed.
class CompositingExportRenderer final : public AnnotationExportRenderer {
public:
    explicit CompositingExportRenderer(std::shared_ptr<const PangoTextEngine> text) : text_(std::move(text)) {}
    void render(AnnotationCompositeInputs inputs, std::function<void(std::optional<Image>)> finished) override;
    static std::optional<Image> composite(const AnnotationCompositeInputs& inputs, const PangoTextEngine& text);

private:
    std::shared_ptr<const PangoTextEngine> text_;
};

// Encodes to `path` in the format its name says (".jpg"/".jpeg" JPEG at
// 0.9, anything else PNG), replacing the file only once all of it is written.
std::optional<std::string> writeImageFile(const Image& image, const QString& path);
// PNG bytes of the image; empty when encoding failed.
QByteArray pngBytes(const Image& image);

class QtExportDelivery final : public AnnotationExportDelivery {
public:
    // Asks where to save (the suggested name ends in the format's
    // extension); an empty answer is a cancel.
    using ChooseFile = std::function<QString(const QString& suggestedName)>;

    QtExportDelivery(std::function<ImageFormat()> defaultFormat, ChooseFile chooseFile);
    void saveAs(std::shared_ptr<const Image> image, AnnotationDeliveryCallback finished) override;
    void copy(std::shared_ptr<const Image> image, AnnotationDeliveryCallback finished) override;

    // Qt's own file dialog, over `parent`.
    static ChooseFile fileDialog(std::function<QWidget*()> parent);

private:
    std::function<ImageFormat()> defaultFormat_;
    ChooseFile chooseFile_;
};

}  // namespace tessarin
