#include "core/preferences/WriteBehindStore.h"

#include <atomic>
#include <condition_variable>
#include <mutex>

#include <gtest/gtest.h>

#include "core/common/ThreadPool.h"
#include "core/preferences/PreferencesTestSupport.h"
#include "support/ManualExecutor.h"

namespace tessarin {
namespace {

using nlohmann::json;
using testing::ManualExecutor;

// Keeps each apply() as one batch; can refuse writes the way a full disk
// does (the changes stay pending until a later write succeeds).
class RecordingStore final : public KeyValueStore {
public:
    std::optional<json> object(const std::string& key) const override {
        const std::lock_guard guard(mutex_);
        const auto it = values_.find(key);
        return it == values_.end() ? std::nullopt : std::optional<json>(it->second);
    }
    bool set(const std::string& key, const json& value) override { return apply({{key, value}}); }
    bool remove(const std::string& key) override { return apply({{key, std::nullopt}}); }
    bool apply(const KeyValueChanges& changes) override {
        const std::lock_guard guard(mutex_);
        batches.push_back(changes);
        for (const auto& [key, value] : changes) unwritten_[key] = value;
        return flushLocked();
    }
    std::optional<json> reload(const std::string& key) override { return object(key); }
    bool synchronize() override {
        const std::lock_guard guard(mutex_);
        return flushLocked();
    }

    std::vector<KeyValueChanges> batches;
    bool failWrites = false;

private:
    bool flushLocked() {
        if (failWrites) return false;
        for (const auto& [key, value] : unwritten_) {
            if (value) values_[key] = *value;
            else values_.erase(key);
        }
        unwritten_.clear();
        return true;
    }
    mutable std::mutex mutex_;
    std::map<std::string, json> values_;
    KeyValueChanges unwritten_;
};

TEST(WriteBehindStore, ChangesMadeBeforeTheWriteRunsBecomeOneWriteAndAreReadAtOnce) {
    auto backing = std::make_shared<RecordingStore>();
    backing->set("historyMaxCount", 10);
    backing->batches.clear();
    ManualExecutor background;
    WriteBehindStore store(backing, background);

    ASSERT_EQ(store.object("historyMaxCount"), json(10));
    store.set("playSound", false);
    store.set("playSound", true);
    store.set("historyMaxCount", 20);
    store.remove("historyMaxCount");
    store.set("quickAccessMaxCount", 3);

    // Seen by this process at once, before anything reached the storage.
    EXPECT_EQ(store.object("playSound"), json(true));
    EXPECT_EQ(store.object("historyMaxCount"), std::nullopt);
    EXPECT_EQ(store.object("quickAccessMaxCount"), json(3));
    EXPECT_TRUE(backing->batches.empty());
    EXPECT_EQ(background.pending(), 1u);

    background.runAll();
    ASSERT_EQ(backing->batches.size(), 1u);
    EXPECT_EQ(backing->batches[0],
              (KeyValueChanges{{"historyMaxCount", std::nullopt}, {"playSound", true}, {"quickAccessMaxCount", 3}}));
    EXPECT_EQ(store.backgroundWrites(), 1u);

    // A change after that write is a write of its own.
    store.set("playSound", false);
    background.runAll();
    ASSERT_EQ(backing->batches.size(), 2u);
    EXPECT_EQ(backing->object("playSound"), json(false));
}

TEST(WriteBehindStore, SynchronizeWritesWhatIsQueuedAndReportsFailure) {
    auto backing = std::make_shared<RecordingStore>();
    ManualExecutor background;  // never runs before synchronize()
    WriteBehindStore store(backing, background);

    store.set("playSound", false);
    backing->failWrites = true;
    EXPECT_FALSE(store.synchronize());
    EXPECT_EQ(backing->object("playSound"), std::nullopt);

    backing->failWrites = false;
    EXPECT_TRUE(store.synchronize());
    EXPECT_EQ(backing->object("playSound"), json(false));

    // The write queued before finds nothing left to write.
    background.runAll();
    EXPECT_EQ(backing->batches.size(), 1u);
    EXPECT_EQ(store.backgroundWrites(), 0u);
}

TEST(WriteBehindStore, AWriteQueuedWhenTheStoreGoesStillRuns) {
    auto backing = std::make_shared<RecordingStore>();
    ManualExecutor background;
    {
        WriteBehindStore store(backing, background);
        store.set("playSound", false);
    }
    background.runAll();
    EXPECT_EQ(backing->object("playSound"), json(false));
}

// An executor that is shutting down: it destroys what it is given.
struct DroppingExecutor final : Executor {
    void post(Task task) override {
        ++dropped;
        task = nullptr;
    }
    int dropped = 0;
};

TEST(WriteBehindStore, AWriteTheExecutorDroppedDoesNotStopLaterOnes) {
    auto backing = std::make_shared<RecordingStore>();
    DroppingExecutor dropping;
    ManualExecutor working;
    struct Switching final : Executor {
        Executor* to;
        void post(Task task) override { to->post(std::move(task)); }
    } background;
    background.to = &dropping;
    WriteBehindStore store(backing, background);

    store.set("playSound", false);
    background.to = &working;
    store.set("showThumbnail", false);
    EXPECT_EQ(dropping.dropped, 1);
    ASSERT_EQ(working.pending(), 1u);
    working.runAll();
    EXPECT_EQ(backing->batches,
              (std::vector<KeyValueChanges>{{{"playSound", false}, {"showThumbnail", false}}}));
}

// A backing store that holds the first write until released, to make
// changes arrive while a write is running.
class GatedStore final : public KeyValueStore {
public:
    std::optional<json> object(const std::string& key) const override { return inner.object(key); }
    bool set(const std::string& key, const json& value) override { return apply({{key, value}}); }
    bool remove(const std::string& key) override { return apply({{key, std::nullopt}}); }
    bool apply(const KeyValueChanges& changes) override {
        if (++inside > 1) overlapped = true;
        {
            std::unique_lock lock(mutex);
            entered = true;
            changed.notify_all();
            changed.wait(lock, [this] { return released; });
        }
        const bool written = inner.apply(changes);
        --inside;
        return written;
    }
    std::optional<json> reload(const std::string& key) override { return inner.reload(key); }
    bool synchronize() override { return inner.synchronize(); }

    void waitUntilEntered() {
        std::unique_lock lock(mutex);
        changed.wait(lock, [this] { return entered; });
    }
    void release() {
        const std::lock_guard guard(mutex);
        released = true;
        changed.notify_all();
    }

    RecordingStore inner;
    std::atomic<int> inside{0};
    std::atomic<bool> overlapped{false};
    std::mutex mutex;
    std::condition_variable changed;
    bool entered = false;
    bool released = false;
};

TEST(WriteBehindStore, WritesNeverOverlapAndTheLastChangeStays) {
    auto backing = std::make_shared<GatedStore>();
    ThreadPool background(2);
    WriteBehindStore store(backing, background);

    store.set("selfTimerDuration", 1);
    backing->waitUntilEntered();
    for (int seconds = 2; seconds <= 10; ++seconds) store.set("selfTimerDuration", seconds);
    EXPECT_EQ(store.object("selfTimerDuration"), json(10));
    backing->release();

    EXPECT_TRUE(store.synchronize());
    background.shutdown();
    EXPECT_FALSE(backing->overlapped);
    EXPECT_EQ(backing->inner.object("selfTimerDuration"), json(10));
    // The one running write, then everything set meanwhile as one more.
    EXPECT_EQ(backing->inner.batches.size(), 2u);
}

}  // namespace
}  // namespace tessarin
