#pragma once
// One pinned screenshot as the pins index keeps it, and the index itself.
//
// The index is JSON: {"pins": [pin, ...], "recentlyClosed": [pin, ...]},
// either key optional (an empty list). A pin is {"id", "x", "y", "width",
// "height", "screenID"}: its window frame in global points (bottom-left
// origin) and the display it was on. recentlyClosed is oldest first.
//
// The file is untrusted input. Ids name image files ("images/<id>.png"), so
// an entry whose id is not a UUID is dropped (and counted, so the caller can
// log it and keep its hands off the folder). A frame that is not finite or
// not positive is no frame at all: the pin opens at its default size. An id
// listed twice keeps its first open entry (else its newest closed one), so
// no id is ever both open and closed.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/common/Expected.h"
#include "core/common/Geometry.h"

namespace tessarin {

struct StoredPin {
    std::string id;
    // Global points, bottom-left origin; nothing when it must be placed anew.
    std::optional<Rect> frame;
    uint32_t screenID = 0;

    std::string imageFilename() const { return id + ".png"; }
    friend bool operator==(const StoredPin&, const StoredPin&) = default;
};

struct PinStoreIndex {
    std::vector<StoredPin> pins;
    std::vector<StoredPin> recentlyClosed;  // oldest first

    // The entry with `id` in either list.
    const StoredPin* find(std::string_view id) const;
    bool isOpen(std::string_view id) const;
    // Whether any entry, open or closed, names `id` (and so its image).
    bool names(std::string_view id) const { return find(id) != nullptr; }
    friend bool operator==(const PinStoreIndex&, const PinStoreIndex&) = default;
};

namespace PinIndexCodec {

inline constexpr size_t maxBytes = size_t{4} << 20;
inline constexpr size_t maxEntries = 10000;

std::string serialize(const PinStoreIndex& index);

struct Decoded {
    PinStoreIndex index;
    size_t droppedUnsafeIDs = 0;
    size_t droppedOther = 0;     // not objects, duplicates
    size_t framesReset = 0;      // entries whose frame was unusable
};
// An error when the text is not a JSON object whose "pins" and
// "recentlyClosed", when present, are arrays.
Expected<Decoded, std::string> parse(std::string_view text);

}  // namespace PinIndexCodec

}  // namespace tessarin
