#pragma once
// Every display captured at one moment, so a selection can be made over a
// still image and cut out of it later with the same pixel alignment as a
// live capture.

#include <optional>
#include <vector>

#include "core/capture/CaptureSelection.h"
#include "core/common/Expected.h"
#include "core/common/Image.h"
#include "core/screen/CaptureError.h"

namespace tessarin {

struct FrozenScreenFrame {
    uint32_t displayID = 0;
    Image image;
    Rect frame;  // global points
    double scale = 1;
};

class FrozenScreens {
public:
    FrozenScreens() = default;
    explicit FrozenScreens(std::vector<FrozenScreenFrame> frames) : frames_(std::move(frames)) {}

    const FrozenScreenFrame* frame(uint32_t displayID) const;
    Expected<Image, CaptureError> crop(const CaptureSelection& selection) const;
    const std::vector<FrozenScreenFrame>& frames() const { return frames_; }

private:
    std::vector<FrozenScreenFrame> frames_;
};

}  // namespace tessarin
