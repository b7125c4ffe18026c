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

// Which confirming controls the overlay's toolbar offers.
struct CaptureSelectionActionStyle {
    enum class Kind {
        button,     // one start button that confirms with `action`
        recording,  // a microphone toggle and a start button
        allInOne,   // one button per overlay action
    };

    Kind kind = Kind::allInOne;
    // button
    std::string title;
    std::string symbolName;
    CaptureSelectionAction action = CaptureSelectionAction::capture;
    // recording
    bool defaultMicrophoneEnabled = false;
    // allInOne: actions left off the toolbar, e.g. while the flow behind them
    // is not available in this build.
    std::vector<CaptureSelectionAction> hiddenActions;

    static CaptureSelectionActionStyle button(std::string title, std::string symbolName,
                                              CaptureSelectionAction action) {
        CaptureSelectionActionStyle style;
        style.kind = Kind::button;
        style.title = std::move(title);
        style.symbolName = std::move(symbolName);
        style.action = action;
        return style;
    }
    static CaptureSelectionActionStyle recording(bool defaultMicrophoneEnabled) {
        CaptureSelectionActionStyle style;
        style.kind = Kind::recording;
        style.defaultMicrophoneEnabled = defaultMicrophoneEnabled;
        return style;
    }
    static CaptureSelectionActionStyle allInOne(std::vector<CaptureSelectionAction> hiddenActions = {}) {
        CaptureSelectionActionStyle style;
        style.kind = Kind::allInOne;
        style.hiddenActions = std::move(hiddenActions);
        return style;
    }

    friend bool operator==(const CaptureSelectionActionStyle&, const CaptureSelectionActionStyle&) = default;
};

struct CaptureSelectionRequest {
    double minimumDimension = 24.0;  // points
    std::string hintText;
    CaptureSelectionActionStyle actionStyle;
    bool presetsEnabled = true;
    std::vector<CapturePreset> presets;
    CapturePreset activePreset;
    std::optional<Rect> initialRect;  // global points

    // An area capture: the built-in presets, and the hint that mentions the
    // preset key only when presets are on.
    static CaptureSelectionRequest areaCapture(CaptureSelectionActionStyle actionStyle, bool presetsEnabled,
                                               CapturePreset activePreset) {
        CaptureSelectionRequest request;
        request.hintText = presetsEnabled ? localized("Drag to capture an area. Press R to change preset.")
                                          : localized("Drag to capture an area");
        request.actionStyle = std::move(actionStyle);
        request.presetsEnabled = presetsEnabled;
        request.presets = CapturePreset::builtIn();
        request.activePreset = std::move(activePreset);
        return request;
    }

    // A scrolling capture's region: one start button, no presets.
    static CaptureSelectionRequest scrolling(double minimumDimension) {
        CaptureSelectionRequest request;
        request.minimumDimension = minimumDimension;
        request.hintText = localized("Drag over the content to scroll, then start.");
        request.actionStyle = CaptureSelectionActionStyle::button(localized("Scrolling Capture"), "go-down",
                                                                  CaptureSelectionAction::scrolling);
        request.presetsEnabled = false;
        return request;
    }
};

}  // namespace tessarin
