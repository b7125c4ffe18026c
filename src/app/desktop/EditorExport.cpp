#include "app/desktop/EditorExport.h"

#include <QClipboard>
#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QGuiApplication>
#include <QMimeData>
#include <QSaveFile>
#include <QStandardPaths>
#include <cmath>
#include <cstring>

#include "app/desktop/EditorCanvasPixels.h"
#include "core/common/Log.h"
#include "render/ByteSink.h"
#include "render/JpegEncoder.h"
#include "render/PngEncoder.h"

namespace tessarin {

void ModuleExportRenderer::render(AnnotationCompositeInputs inputs,
                                  std::function<void(std::optional<Image>)> finished) {
    AnnotationEditorRenderer* renderer = renderer_ ? renderer_() : nullptr;
    if (!renderer) return finished(std::nullopt);
    auto fromCanvas = canvas_ ? canvas_->exportImage(inputs) : std::nullopt;
    auto image = fromCanvas ? std::move(*fromCanvas) : renderer->exportImage(inputs);
    if (!image) {
        logLine(LogLevel::error, LogCategory::app, "editor.export_failed error=" + image.error());
        return finished(std::nullopt);
    }
    finished(std::move(*image));
}

namespace {

class QByteArraySink final : public ByteSink {
public:
    bool write(std::span<const uint8_t> bytes) override {
        bytes_.append(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size()));
        return true;
    }
    QByteArray& bytes() { return bytes_; }

private:
    QByteArray bytes_;
};

QString extensionOf(const ImageFormat& format) { return format.kind == ImageFormat::Kind::jpeg ? "jpg" : "png"; }

}  // namespace

QByteArray pngBytes(const Image& image) {
    QByteArraySink sink;
    if (!encodePng(image, sink)) return {};
    return std::move(sink.bytes());
}

std::optional<std::string> writeImageFile(const Image& image, const QString& path) {
    const ImageFormat format = ImageFormat::forOutputPath(path.toStdString());
    QByteArraySink sink;
    const EncodeResult encoded =
        format.kind == ImageFormat::Kind::jpeg ? encodeJpeg(image, format.quality, sink) : encodePng(image, sink);
    if (!encoded) return "The image could not be encoded: " + encoded.error().message;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(sink.bytes()) != sink.bytes().size() || !file.commit()) {
        return "The image could not be saved to " + path.toStdString() + ": " + file.errorString().toStdString();
    }
    return std::nullopt;
}

QtExportDelivery::QtExportDelivery(std::function<ImageFormat()> defaultFormat, ChooseFile chooseFile)
    : defaultFormat_(std::move(defaultFormat)), chooseFile_(std::move(chooseFile)) {}

void QtExportDelivery::saveAs(std::shared_ptr<const Image> image, AnnotationDeliveryCallback finished) {
    const ImageFormat format = defaultFormat_ ? defaultFormat_() : ImageFormat::png();
    const QString suggested = QStringLiteral("Tessarin %1.%2")
                                  .arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd 'at' HH.mm.ss")),
                                       extensionOf(format));
    QString path = chooseFile_ ? chooseFile_(suggested) : QString();
    if (path.isEmpty()) return finished(AnnotationDeliveryResult::cancelled());
    // A name typed without an extension gets the default format's.
    if (QFileInfo(path).suffix().isEmpty()) path += "." + extensionOf(format);
    if (auto error = writeImageFile(*image, path)) return finished(AnnotationDeliveryResult::failed(*error));
    finished(AnnotationDeliveryResult::delivered());
}

void QtExportDelivery::copy(std::shared_ptr<const Image> image, AnnotationDeliveryCallback finished) {
    QByteArray png = pngBytes(*image);
    if (png.isEmpty()) return finished(AnnotationDeliveryResult::failed("The image could not be copied."));
    auto* data = new QMimeData;
    data->setData(QStringLiteral("image/png"), png);
    QGuiApplication::clipboard()->setMimeData(data);
    finished(AnnotationDeliveryResult::delivered());
}

QtExportDelivery::ChooseFile QtExportDelivery::fileDialog(std::function<QWidget*()> parent) {
    return [parent = std::move(parent)](const QString& suggestedName) {
        QString folder = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
        if (folder.isEmpty() || !QDir(folder).exists()) folder = QDir::homePath();
        return QFileDialog::getSaveFileName(parent ? parent() : nullptr, QStringLiteral("Save As"),
                                            QDir(folder).filePath(suggestedName),
                                            QStringLiteral("Images (*.png *.jpg *.jpeg)"), nullptr,
                                            QFileDialog::DontUseNativeDialog);
    };
}

}  // namespace tessarin
