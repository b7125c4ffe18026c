#pragma once
// The X clipboard through Qt: the application owns the CLIPBOARD selection
// and serves each representation under its MIME type (image/png and
// image/tiff for captures). Qt hands what it owns to a clipboard manager
// when the application quits, where one runs, so a copy outlives the
// application.

#include "core/capture/Pasteboard.h"

namespace tessarin {

class QtPasteboard final : public Pasteboard {
public:
    void clearContents() override;
    bool writeItem(std::vector<ClipboardRepresentation> representations) override;
    bool writeImage(std::shared_ptr<const Image> image) override;
};

}  // namespace tessarin
