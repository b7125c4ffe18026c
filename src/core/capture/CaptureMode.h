#pragma once
// Capture kinds and the actions of the selection overlay's toolbar.

#include <optional>
#include <string_view>
#include <array>
#include <string>

namespace tessarin {

// Raw values are persisted; append only.
enum class CaptureMode { area, fullScreen, window, scrolling };
inline constexpr std::array<CaptureMode, 4> allCaptureModes = {CaptureMode::area, CaptureMode::fullScreen,
                                                               CaptureMode::window, CaptureMode::scrolling};
std::string_view rawValue(CaptureMode mode);
std::optional<CaptureMode> captureModeFromRawValue(std::string_view raw);

// Raw values are persisted; append only.
enum class CaptureSelectionAction { capture, copy, annotate, ocr, scrolling, timer, fullScreen, window, record, cancel };
inline constexpr std::array<CaptureSelectionAction, 10> allCaptureSelectionActions = {
    CaptureSelectionAction::capture,  CaptureSelectionAction::copy,       CaptureSelectionAction::annotate,
    CaptureSelectionAction::ocr,      CaptureSelectionAction::scrolling,  CaptureSelectionAction::timer,
    CaptureSelectionAction::fullScreen, CaptureSelectionAction::window,   CaptureSelectionAction::record,
    CaptureSelectionAction::cancel};
std::string_view rawValue(CaptureSelectionAction action);
std::optional<CaptureSelectionAction> captureSelectionActionFromRawValue(std::string_view raw);
// The button's title (localised) and its freedesktop icon name.
std::string title(CaptureSelectionAction action);
std::string_view iconName(CaptureSelectionAction action);

}  // namespace tessarin
