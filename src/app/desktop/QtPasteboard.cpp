#include "app/desktop/QtPasteboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QImage>
#include <QMimeData>

namespace tessarin {

void QtPasteboard::clearContents() { QGuiApplication::clipboard()->clear(QClipboard::Clipboard); }

bool QtPasteboard::writeItem(std::vector<ClipboardRepresentation> representations) {
    if (representations.empty()) return false;
    auto* data = new QMimeData;
    for (auto& representation : representations) {
        data->setData(QString::fromStdString(representation.mimeType),
                      QByteArray(reinterpret_cast<const char*>(representation.bytes.data()),
                                 static_cast<qsizetype>(representation.bytes.size())));
    }
    // The clipboard takes ownership of the data.
    QGuiApplication::clipboard()->setMimeData(data, QClipboard::Clipboard);
    return true;
}

bool QtPasteboard::writeImage(std::shared_ptr<const Image> image) {
    if (!image || image->isEmpty()) return false;
    // A deep copy: the clipboard keeps the image after `image` is gone.
    const QImage picture(image->data(), static_cast<int>(image->width()), static_cast<int>(image->height()),
                         static_cast<qsizetype>(image->stride()), QImage::Format_RGBA8888);
    QGuiApplication::clipboard()->setImage(picture.copy(), QClipboard::Clipboard);
    return true;
}

}  // namespace tessarin
