#pragma once
// Places a remembered previous area on the displays connected now.

#include <optional>
#include <variant>
#include <vector>

#include "core/capture/CaptureSelection.h"
#include "core/capture/StoredCaptureSelection.h"

namespace tessarin {

// The stored area on the layout with its display id, else on the fallback
// (the main display) at the same local offset, kept inside that display.
// None for a full-screen value, or when nothing matches and there is no fallback.
std::optional<ResolvedArea> resolveArea(const StoredCaptureSelection& stored, const std::vector<ScreenLayout>& layouts,
                                        const std::optional<ScreenLayout>& fallback);

namespace PreviousCaptureReplay {

struct FullScreen {
    uint32_t displayID;
};
struct Area {
    CaptureSelection selection;
};
struct NoPreviousCapture {};
struct DisplayNotFound {};
using Outcome = std::variant<FullScreen, Area, NoPreviousCapture, DisplayNotFound>;

// Displays without an id take no part; the primary display is the fallback.
Outcome outcome(const std::optional<StoredCaptureSelection>& stored, const std::vector<DisplayDescription>& displays);

}  // namespace PreviousCaptureReplay

// What a capture of `rect` on `display` leaves behind as the previous area.
std::optional<StoredCaptureSelection> rememberedArea(const Rect& rect, const DisplayDescription& display);

}  // namespace tessarin
