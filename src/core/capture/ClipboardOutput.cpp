// Clipboard data: encoding for the clipboard and the copy itself.

#include "core/capture/BackgroundImageEncoder.h"
#include "render/ByteSink.h"
#include "render/PngEncoder.h"
#include "render/TiffEncoder.h"

namespace tessarin {

std::string_view ExportManager::mimeType(ClipboardImageType type) {
    return type == ClipboardImageType::png ? "image/png" : "image/tiff";
}

std::optional<std::vector<uint8_t>> ExportManager::imageData(const Image& image, ClipboardImageType type) {
    MemorySink sink;
    const EncodeResult result = type == ClipboardImageType::png ? encodePng(image, sink) : encodeTiff(image, sink);
    if (!result) return std::nullopt;
    return sink.take();
}

void BackgroundImageEncoder::encodeForClipboard(SharedImage image, Completion<ClipboardImageRepresentations> done) {
    runInBackground<ClipboardImageRepresentations>(
        background_, main_,
        [image = std::move(image), encode = encode_] {
            ClipboardImageRepresentations out;
            if (!image) return out;
            out.png = encode(*image, ExportManager::ClipboardImageType::png);
            out.tiff = encode(*image, ExportManager::ClipboardImageType::tiff);
            return out;
        },
        std::move(done));
}

void ExportManager::copyToClipboard(SharedImage image, Pasteboard& pasteboard, BackgroundImageEncoder& encoder,
                                    Completion<bool> done) {
    encoder.encodeForClipboard(
        image, [image, &pasteboard, done = std::move(done)](ClipboardImageRepresentations encoded) mutable {
            std::vector<ClipboardRepresentation> item;
            if (encoded.png) item.push_back({std::string(mimeType(ClipboardImageType::png)), std::move(*encoded.png)});
            if (encoded.tiff) item.push_back({std::string(mimeType(ClipboardImageType::tiff)), std::move(*encoded.tiff)});
            pasteboard.clearContents();
            done(item.empty() ? pasteboard.writeImage(std::move(image)) : pasteboard.writeItem(std::move(item)));
        });
}

}  // namespace tessarin
