#include "core/capture/FrozenScreens.h"

#include "core/capture/PixelCrop.h"

namespace tessarin {

const FrozenScreenFrame* FrozenScreens::frame(uint32_t displayID) const {
    for (const auto& f : frames_) {
        if (f.displayID == displayID) return &f;
    }
    return nullptr;
}

Expected<Image, CaptureError> FrozenScreens::crop(const CaptureSelection& selection) const {
    const FrozenScreenFrame* f = selection.screen.displayID ? frame(*selection.screen.displayID) : nullptr;
    if (!f) return unexpected(CaptureError::noDisplay());
    const auto rect = pixelAlignedCropRect(selection.rect, f->frame, f->scale,
                                           {double(f->image.width()), double(f->image.height())});
    if (!rect) return unexpected(CaptureError::captureFailed(CaptureMessages::frozenCropFailed));
    auto image = f->image.cropped(uint32_t(rect->x), uint32_t(rect->y), uint32_t(rect->width), uint32_t(rect->height));
    if (!image) return unexpected(CaptureError::captureFailed(CaptureMessages::frozenCropFailed));
    return std::move(*image);
}

}  // namespace tessarin
