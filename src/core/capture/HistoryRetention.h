#pragma once
// Which history items go when the history is over its limits. Pinned items
// and items shown in Quick Access are never candidates: they do not count
// towards the limits and never expire.

#include <set>
#include <string>
#include <vector>

#include "core/capture/CaptureHistoryItem.h"

namespace tessarin::HistoryRetention {

// Candidates newest first (stable); candidate i goes when i >= maxCount or
// when now - createdAt > maxAgeSeconds. Ids newest first.
std::vector<std::string> itemsToEvict(const std::vector<CaptureHistoryItem>& items, int maxCount,
                                      double maxAgeSeconds, double now);

// Candidates after the `recentCount` newest lose their full-resolution file.
std::vector<std::string> fullResolutionItemsToEvict(const std::vector<CaptureHistoryItem>& items, size_t recentCount);

}  // namespace tessarin::HistoryRetention
