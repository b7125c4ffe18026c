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

#include "render/ByteSink.h"
#include "render/JpegEncoder.h"
#include "render/PngEncoder.h"
#include "render/annotation/ImageCompositor.h"
#include "render/annotation/PangoTextEngine.h"

namespace tessarin {

std::optional<PixelCrop> pixelCropOf(const Rect& crop, const Rect& imageDrawRect, uint32_t imageWidth,
                                     uint32_t imageHeight) {
    const Rect draw = imageDrawRect.standardized();
    if (draw.width <= 0 || draw.height <= 0 || imageWidth == 0 || imageHeight == 0) return std::nullopt;
    const double sx = imageWidth / draw.width;
    const double sy = imageHeight / draw.height;
    // Drawing space grows upward; pixel rows grow downward from the top.
    const double left = std::clamp(std::round((crop.minX() - draw.minX()) * sx), 0.0, double(imageWidth));
    const double right = std::clamp(std::round((crop.maxX() - draw.minX()) * sx), 0.0, double(imageWidth));
    const double top = std::clamp(std::round((draw.maxY() - crop.maxY()) * sy), 0.0, double(imageHeight));
    const double bottom = std::clamp(std::round((draw.maxY() - crop.minY()) * sy), 0.0, double(imageHeight));
    if (right - left < 1 || bottom - top < 1) return std::nullopt;
    return PixelCrop{uint32_t(left), uint32_t(top), uint32_t(right - left), uint32_t(bottom - top)};
}

std::optional<Image> croppedImage(const Image& image, const PixelCrop& crop) {
    if (crop.width == 0 || crop.height == 0 || uint64_t{crop.x} + crop.width > image.width() ||
        uint64_t{crop.y} + crop.height > image.height()) {
        return std::nullopt;
    }
    auto out = Image::allocate(crop.width, crop.height);
    if (!out) return std::nullopt;
    for (uint32_t row = 0; row < crop.height; ++row) {
        std::memcpy(out->row(row), image.row(crop.y + row) + size_t{crop.x} * 4, out->stride());
    }
    return out;
}

std::optional<Image> CompositingExportRenderer::composite(const AnnotationCompositeInputs& inputs,
                                                          const PangoTextEngine& text) {
    if (!inputs.source || inputs.background) return std::nullopt;
    auto drawn = ImageCompositor::composite(*inputs.source, inputs.annotations, inputs.imageDrawRect, text);
    if (!drawn || !inputs.cropRect) return drawn;
    const auto crop = pixelCropOf(*inputs.cropRect, inputs.imageDrawRect, drawn->width(), drawn->height());
    if (!crop) return std::nullopt;
    return croppedImage(*drawn, *crop);
}

void CompositingExportRenderer::render(AnnotationCompositeInputs inputs,
                                       std::function<void(std::optional<Image>)> finished) {
    finished(composite(inputs, *text_));
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
