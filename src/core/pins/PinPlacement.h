#pragma once
// Where a pinned screenshot's window goes and how large it may be, in
// global points (bottom-left origin). An image's pixels count as points.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/common/Geometry.h"
#include "core/pins/StoredPin.h"

namespace tessarin::PinPlacement {

// One connected display: its id and its frame less panels and docks.
struct Screen {
    uint32_t displayID = 0;
    Rect visibleFrame;
    friend bool operator==(const Screen&, const Screen&) = default;
};

// The first window size for an image on a display whose visible frame has
// `visible` size: at most 0.62 of it each way (a side of one pixel or less
// does not limit the scale), never below 160 x 90, never enlarged.
Size windowSize(Size image, Size visible);

// `size` centred on `bounds`.
Rect centred(Size size, const Rect& bounds);

// The smallest content size: the image scaled so its smaller side is 120
// points, but never larger than `initial` (a small pin could otherwise not
// be as small as it first opened); the aspect ratio is kept.
Size minimumSize(Size image, Size initial);

// `frame` moved (and, when larger, shrunk) into `bounds`. With `keepAspect`
// both sides shrink by the same factor, so an aspect-locked window keeps
// its shape.
Rect clamp(const Rect& frame, const Rect& bounds, bool keepAspect);

// The size nearest `proposed` with the aspect ratio of `image`, between
// `minimum` and `maximum` (a maximum below the minimum gives the minimum).
// The side that changed more leads.
Size constrainedResize(Size proposed, Size current, Size image, Size minimum, Size maximum);

// The display `frame` is on: the one its centre lies in, else the one it
// overlaps most, else nothing.
std::optional<Screen> screenOf(const Rect& frame, const std::vector<Screen>& screens);
const Screen* screenWithID(uint32_t displayID, const std::vector<Screen>& screens);

// Where a stored pin's window opens: its frame clamped into its display
// when that display is connected, else centred on `main` at its size; a
// pin without a frame opens at the first size for `image`, centred on its
// display (or `main`).
Rect restoredFrame(const StoredPin& pin, Size image, const std::vector<Screen>& screens, const Screen& main);

// Appends `pin` to `queue` and removes (and returns) the oldest entries
// beyond `cap`.
std::vector<StoredPin> appendBounded(std::vector<StoredPin>& queue, StoredPin pin, size_t cap);

}  // namespace tessarin::PinPlacement
