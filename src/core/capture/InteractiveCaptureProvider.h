#pragma once
// Captures that need the user: the desktop's own interactive pickers and the
// in-app area overlay. The desktop application implements this; the agent
// never needs it.

#include <optional>

#include "core/capture/CaptureMode.h"
#include "core/capture/CaptureSelection.h"
#include "core/capture/FrozenScreens.h"
#include "core/capture/StoredCaptureSelection.h"
#include "core/common/Executor.h"
#include "core/common/Expected.h"
#include "core/common/Image.h"

namespace tessarin {

struct SystemAreaCapture {
    Image image;
    std::optional<StoredCaptureSelection> previousArea;  // when the picked rectangle could be recovered
};

struct AreaSelectionResult {
    CaptureSelection selection;
    CaptureSelectionAction action;
};

class InteractiveCaptureProvider {
public:
    virtual ~InteractiveCaptureProvider() = default;
    // The desktop's interactive window picker; an empty optional when the user cancelled.
    virtual void captureWithSystemTool(CaptureMode mode, std::string captureID,
                                       Completion<Expected<std::optional<Image>, CaptureError>> done) = 0;
    virtual void captureAreaWithSystemTool(std::string captureID,
                                           Completion<Expected<std::optional<SystemAreaCapture>, CaptureError>> done) = 0;
    // The in-app overlay, optionally over frozen images of every display.
    virtual void selectArea(std::string captureID, const FrozenScreens* freezing,
                            Completion<std::optional<AreaSelectionResult>> done) = 0;
};

}  // namespace tessarin
