#pragma once
// What a capture flow hands to the area-selection overlay.

#include <optional>
#include <string>
#include <vector>

#include "core/capture/CaptureMode.h"
#include "core/capture/CapturePreset.h"
#include "core/common/Geometry.h"
#include "core/common/Localization.h"

namespace tessarin {

struct CaptureSelectionRequest {
    double minimumDimension = 24.0;  // points
    std::string hintText;
    std::vector<CaptureSelectionAction> actions;  // the toolbar's buttons, in order
    bool presetsEnabled = true;
    std::vector<CapturePreset> presets;
    CapturePreset activePreset;
    std::optional<Rect> initialRect;  // global points

    // An area capture: the built-in presets, and the hint that mentions the
    // preset key only when presets are on.
    static CaptureSelectionRequest areaCapture(std::vector<CaptureSelectionAction> actions, bool presetsEnabled,
                                               CapturePreset activePreset) {
        CaptureSelectionRequest request;
        request.hintText = presetsEnabled ? localized("Drag to capture an area. Press R to change preset.")
                                          : localized("Drag to capture an area");
        request.actions = std::move(actions);
        request.presetsEnabled = presetsEnabled;
        request.presets = CapturePreset::builtIn();
        request.activePreset = std::move(activePreset);
        return request;
    }
};

}  // namespace tessarin
