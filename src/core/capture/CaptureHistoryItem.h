#pragma once
// One capture in the history, and the index file that lists them.
//
// The index is JSON: {"items": [item, ...]}, newest first, each item with
// the keys id, captureID (optional), createdAt, imageFilename, pixelWidth,
// pixelHeight, sourceMode (optional), isPinned, isAnnotated, isQuickAccess
// (optional, absent = false), in that order. createdAt is seconds since
// 2001-01-01 00:00:00 UTC. Unknown keys are ignored.
//
// The file is untrusted input: an item whose id is not a UUID or whose image
// file name is anything but "<id>.png" is dropped (its values name files the
// store may delete), as is an item with a missing or mistyped required key.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "core/capture/CaptureMode.h"
#include "core/common/Expected.h"

namespace tessarin {

// Seconds between the Unix epoch and 2001-01-01 00:00:00 UTC.
inline constexpr double kReferenceDateOffset = 978307200.0;

struct CaptureHistoryItem {
    std::string id;
    std::optional<std::string> captureID;
    double createdAt = 0;  // seconds since 2001-01-01 UTC
    std::string imageFilename;
    int64_t pixelWidth = 0;
    int64_t pixelHeight = 0;
    std::optional<CaptureMode> sourceMode;
    bool isPinned = false;
    bool isAnnotated = false;
    bool isQuickAccess = false;

    std::string thumbnailFilename() const { return id + ".jpg"; }
    friend bool operator==(const CaptureHistoryItem&, const CaptureHistoryItem&) = default;
};

namespace CaptureHistoryIndex {

// Index files larger than this are refused unread (50 000 items fit easily).
inline constexpr size_t maxBytes = size_t{32} << 20;
inline constexpr size_t maxItems = 100000;

nlohmann::json encode(const CaptureHistoryItem& item);
std::string serialize(const std::vector<CaptureHistoryItem>& items);

struct Decoded {
    std::vector<CaptureHistoryItem> items;
    size_t dropped = 0;  // entries that were not usable items
};
// An error when the text is not a JSON object with an "items" array.
Expected<Decoded, std::string> parse(std::string_view text);

}  // namespace CaptureHistoryIndex

}  // namespace tessarin
