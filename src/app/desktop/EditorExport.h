#pragma once
// The editor's exports on the desktop: the finished image drawn by the
// same renderer as the canvas, Save As through Qt's file dialog and
// the encoders, Copy as PNG on the clipboard.

#include <QString>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "core/annotation/AnnotationEditorPorts.h"
#include "core/annotation/AnnotationEditorRenderer.h"
#include "core/common/ImageFormat.h"

class QWidget;

namespace tessarin {

class TileCanvasPixels;

// Composites, crops and frames through the annotation module's export
// pipeline on the calling thread: the pixels the canvas shows.
// With the editor's canvas, the image comes from the tiles it already drew.
class ModuleExportRenderer final : public AnnotationExportRenderer {
public:
    // Nothing: the module could not be loaded, and the export fails.
    using RendererSource = std::function<AnnotationEditorRenderer*()>;
    explicit ModuleExportRenderer(RendererSource renderer, TileCanvasPixels* canvas = nullptr)
        : renderer_(std::move(renderer)), canvas_(canvas) {}
    void render(AnnotationCompositeInputs inputs, std::function<void(std::optional<Image>)> finished) override;

private:
    RendererSource renderer_;
    TileCanvasPixels* canvas_;
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
