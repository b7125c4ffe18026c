#include "core/capture/CaptureMode.h"

#include "core/common/Localization.h"

namespace tessarin {

std::string_view rawValue(CaptureMode mode) {
    switch (mode) {
        case CaptureMode::area: return "Area";
        case CaptureMode::fullScreen: return "Full Screen";
        case CaptureMode::window: return "Window";
        case CaptureMode::scrolling: return "Scrolling";
    }
    return {};
}

std::optional<CaptureMode> captureModeFromRawValue(std::string_view raw) {
    for (CaptureMode mode : allCaptureModes) {
        if (rawValue(mode) == raw) return mode;
    }
    return std::nullopt;
}

std::string_view rawValue(CaptureSelectionAction action) {
    switch (action) {
        case CaptureSelectionAction::capture: return "capture";
        case CaptureSelectionAction::copy: return "copy";
        case CaptureSelectionAction::annotate: return "annotate";
        case CaptureSelectionAction::ocr: return "ocr";
        case CaptureSelectionAction::scrolling: return "scrolling";
        case CaptureSelectionAction::timer: return "timer";
        case CaptureSelectionAction::fullScreen: return "fullScreen";
        case CaptureSelectionAction::window: return "window";
        case CaptureSelectionAction::record: return "record";
        case CaptureSelectionAction::cancel: return "cancel";
    }
    return {};
}

std::optional<CaptureSelectionAction> captureSelectionActionFromRawValue(std::string_view raw) {
    for (CaptureSelectionAction action : allCaptureSelectionActions) {
        if (rawValue(action) == raw) return action;
    }
    return std::nullopt;
}

static std::string_view englishTitle(CaptureSelectionAction action) {
    switch (action) {
        case CaptureSelectionAction::capture: return "Capture";
        case CaptureSelectionAction::copy: return "Copy";
        case CaptureSelectionAction::annotate: return "Annotate";
        case CaptureSelectionAction::ocr: return "Recognize Text";
        case CaptureSelectionAction::scrolling: return "Scrolling Capture";
        case CaptureSelectionAction::timer: return "Self-Timer";
        case CaptureSelectionAction::fullScreen: return "Full Screen";
        case CaptureSelectionAction::window: return "Window";
        case CaptureSelectionAction::record: return "Record";
        case CaptureSelectionAction::cancel: return "Cancel";
    }
    return {};
}

std::string title(CaptureSelectionAction action) { return localized(englishTitle(action)); }

std::string_view iconName(CaptureSelectionAction action) {
    switch (action) {
        case CaptureSelectionAction::capture: return "camera-photo";
        case CaptureSelectionAction::copy: return "edit-copy";
        case CaptureSelectionAction::annotate: return "document-edit";
        case CaptureSelectionAction::ocr: return "format-text-bold";
        case CaptureSelectionAction::scrolling: return "go-down";
        case CaptureSelectionAction::timer: return "chronometer";
        case CaptureSelectionAction::fullScreen: return "view-fullscreen";
        case CaptureSelectionAction::window: return "window";
        case CaptureSelectionAction::record: return "media-record";
        case CaptureSelectionAction::cancel: return "dialog-cancel";
    }
    return {};
}

}  // namespace tessarin
