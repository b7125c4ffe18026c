#pragma once
// Encodes an image for the clipboard off the main thread.

#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "core/capture/ExportManager.h"
#include "core/capture/Pasteboard.h"
#include "core/common/Executor.h"

namespace tessarin {

using SharedImage = std::shared_ptr<const Image>;

// Either may be missing when its encoding failed.
struct ClipboardImageRepresentations {
    std::optional<std::vector<uint8_t>> png;
    std::optional<std::vector<uint8_t>> tiff;
};

// Interrupted: no representation at all.
template <>
struct InterruptedResult<ClipboardImageRepresentations> {
    static ClipboardImageRepresentations make(std::string_view) { return {}; }
};

class BackgroundImageEncoder {
public:
    using EncodeFunction = std::function<std::optional<std::vector<uint8_t>>(const Image&, ExportManager::ClipboardImageType)>;

    BackgroundImageEncoder(Executor& background, Executor& main, EncodeFunction encode = ExportManager::imageData)
        : background_(background), main_(main), encode_(std::move(encode)) {}

    void encodeForClipboard(SharedImage image, Completion<ClipboardImageRepresentations> done);

private:
    Executor& background_;
    Executor& main_;
    EncodeFunction encode_;
};

namespace ExportManager {

// Encodes PNG and TIFF in the background, then, on the main executor,
// clears the clipboard and puts one item with the representations that
// encoded, or the image itself when none did. Completes with whether the
// clipboard accepted the write. `pasteboard` must outlive the operation.
void copyToClipboard(SharedImage image, Pasteboard& pasteboard, BackgroundImageEncoder& encoder,
                     Completion<bool> done);

}  // namespace ExportManager

}  // namespace tessarin
