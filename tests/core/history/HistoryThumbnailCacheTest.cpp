#include <gtest/gtest.h>

#include "core/history/HistoryThumbnailCache.h"

namespace tessarin {
namespace {

using Cache = HistoryThumbnailCache<std::string>;

// The picture for the cell, or "-" while there is none.
std::string shown(const Cache& cache, const char* id, uint64_t revision = 1) {
    const std::string* picture = cache.picture(id, revision);
    return picture ? *picture : "-";
}

std::vector<ThumbnailKey> keys(std::initializer_list<const char*> ids, uint64_t revision = 1) {
    std::vector<ThumbnailKey> list;
    for (const char* id : ids) list.push_back({id, revision});
    return list;
}

TEST(HistoryThumbnailCache, LoadsOnlyVisibleCellsAFewAtATime) {
    Cache cache(10, 2);
    EXPECT_EQ(cache.show(keys({"a", "b", "c"})), keys({"a", "b"}));
    EXPECT_EQ(cache.show(keys({"a", "b", "c"})), keys({})) << "nothing twice, nothing over the limit";
    auto done = cache.finished({"a", 1}, std::string("A"));
    EXPECT_TRUE(done.repaint);
    EXPECT_EQ(done.start, keys({"c"}));
    EXPECT_EQ(shown(cache, "a"), "A");
    EXPECT_EQ(cache.picture("b", 1), nullptr);
}

TEST(HistoryThumbnailCache, ScrolledAwayCellsAreNotLoaded) {
    Cache cache(10, 1);
    EXPECT_EQ(cache.show(keys({"a", "b"})), keys({"a"}));
    EXPECT_TRUE(cache.show(keys({"x", "y"})).empty()) << "the one decode slot is busy";
    auto done = cache.finished({"a", 1}, std::string("A"));
    EXPECT_FALSE(done.repaint) << "a is no longer on the screen";
    EXPECT_EQ(done.start, keys({"x"}));
}

TEST(HistoryThumbnailCache, AnEditedImageIsLoadedAgainAndTheOldDecodeIgnored) {
    Cache cache(10, 2);
    cache.show(keys({"a"}, 1));
    EXPECT_EQ(cache.show(keys({"a"}, 2)), keys({"a"}, 2));
    auto stale = cache.finished({"a", 1}, std::string("old"));
    EXPECT_FALSE(stale.repaint);
    EXPECT_EQ(cache.picture("a", 1), nullptr);
    cache.finished({"a", 2}, std::string("new"));
    EXPECT_EQ(shown(cache, "a", 2), "new");
    EXPECT_EQ(cache.loading(), 0u);
}

TEST(HistoryThumbnailCache, AFailedThumbnailIsNotTriedAgain) {
    Cache cache(10, 2);
    cache.show(keys({"a"}));
    auto done = cache.finished({"a", 1}, std::nullopt);
    EXPECT_TRUE(done.repaint) << "the placeholder says it failed";
    EXPECT_TRUE(cache.failed("a", 1));
    EXPECT_TRUE(cache.show(keys({"a"})).empty());
}

TEST(HistoryThumbnailCache, KeepsAtMostCapacityDroppingTheLongestUnseenButNeverWhatIsShown) {
    Cache cache(2, 4);
    cache.show(keys({"a", "b"}));
    cache.finished({"a", 1}, std::string("A"));
    cache.finished({"b", 1}, std::string("B"));
    cache.show(keys({"b"}));  // b seen again, a not
    cache.show(keys({"c"}));
    cache.finished({"c", 1}, std::string("C"));
    EXPECT_EQ(cache.decodedCount(), 2u);
    EXPECT_EQ(cache.picture("a", 1), nullptr) << "a was seen longest ago";
    EXPECT_NE(cache.picture("c", 1), nullptr);
    // Back on the screen: decoded again.
    EXPECT_EQ(cache.show(keys({"a"})), keys({"a"}));

    // What is on the screen is never dropped, whatever the capacity.
    Cache small(1, 4);
    small.show(keys({"a", "b", "c"}));
    for (const char* id : {"a", "b", "c"}) small.finished({id, 1}, std::string(id));
    EXPECT_EQ(small.decodedCount(), 3u);
}

TEST(HistoryThumbnailCache, ForgettingALoadingItemFreesItsSlotWhenItEnds) {
    Cache cache(10, 1);
    cache.show(keys({"a", "b"}));
    cache.forget("a");  // the item left the history: its cell is gone
    EXPECT_TRUE(cache.show(keys({"b"})).empty());
    auto done = cache.finished({"a", 1}, std::string("A"));
    EXPECT_EQ(cache.picture("a", 1), nullptr);
    EXPECT_EQ(done.start, keys({"b"}));
}

}  // namespace
}  // namespace tessarin
