#pragma once
// The controls a thumbnail shows while the pointer is over it: a close
// button in the top-left corner and a centred column of labelled buttons,
// one per other action. Frames are in the window's own coordinates
// (top-left origin, the window being QuickAccessLayout::thumbnailSize).

#include <optional>
#include <string>
#include <vector>

#include "core/common/Geometry.h"

namespace tessarin {

// What the thumbnail's buttons do. Copy leaves the thumbnail; save (once
// written), pin, annotate and close consume it. A recording's thumbnail
// offers edit (which consumes it), reveal, saveAs and close.
enum class ThumbnailAction { copy, save, pin, annotate, close, edit, reveal, saveAs };

struct ThumbnailControl {
    ThumbnailAction action;
    Rect frame;
    std::string label;  // empty for the close button, drawn as a cross
    friend bool operator==(const ThumbnailControl&, const ThumbnailControl&) = default;
};

namespace ThumbnailControls {

inline constexpr double closeSide = 22;
inline constexpr double buttonWidth = 112;
inline constexpr double buttonHeight = 24;
inline constexpr double buttonGap = 6;
inline constexpr double playSide = 64;
inline constexpr double rowInset = 8;

// The user-visible label of an action's button.
std::string label(ThumbnailAction action);
// A recording's actions (those with edit) become the play button over the
// poster and a row along the bottom; any others a close cross and a column.
std::vector<ThumbnailControl> layout(const std::vector<ThumbnailAction>& actions);
// The control under `p`, if any; outside every control the thumbnail is
// a drag handle.
std::optional<ThumbnailAction> actionAt(const std::vector<ThumbnailControl>& controls, Point p);

}  // namespace ThumbnailControls
}  // namespace tessarin
