#include "core/capture/HistoryRetention.h"

#include <algorithm>

namespace tessarin::HistoryRetention {
namespace {

std::vector<const CaptureHistoryItem*> candidatesNewestFirst(const std::vector<CaptureHistoryItem>& items) {
    std::vector<const CaptureHistoryItem*> candidates;
    for (const auto& item : items) {
        if (!item.isPinned && !item.isQuickAccess) candidates.push_back(&item);
    }
    std::stable_sort(candidates.begin(), candidates.end(),
                     [](const auto* a, const auto* b) { return a->createdAt > b->createdAt; });
    return candidates;
}

}  // namespace

std::vector<std::string> itemsToEvict(const std::vector<CaptureHistoryItem>& items, int maxCount,
                                      double maxAgeSeconds, double now) {
    const auto candidates = candidatesNewestFirst(items);
    std::vector<std::string> evicted;
    for (size_t i = 0; i < candidates.size(); ++i) {
        if (maxCount < 0 || i >= size_t(maxCount) || now - candidates[i]->createdAt > maxAgeSeconds) {
            evicted.push_back(candidates[i]->id);
        }
    }
    return evicted;
}

std::vector<std::string> fullResolutionItemsToEvict(const std::vector<CaptureHistoryItem>& items, size_t recentCount) {
    const auto candidates = candidatesNewestFirst(items);
    std::vector<std::string> evicted;
    for (size_t i = recentCount; i < candidates.size(); ++i) evicted.push_back(candidates[i]->id);
    return evicted;
}

}  // namespace tessarin::HistoryRetention
