#pragma once
// A capture history over a temporary folder, driven on the test's thread.

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "core/capture/CaptureHistoryStore.h"
#include "core/common/EventLoop.h"
#include "core/common/ThreadPool.h"
#include "render/TestImages.h"
#include "support/TempDir.h"

namespace tessarin::test {

struct RemovalLog final : CaptureHistoryObserver {
    void captureHistoryItemsRemoved(const std::vector<std::string>& ids) override { notifications.push_back(ids); }
    std::vector<std::vector<std::string>> notifications;
};

class HistoryHarness {
public:
    explicit HistoryHarness(std::filesystem::path root, const FileSystemCalls& calls = FileSystemCalls::system())
        : root_(std::move(root)), calls_(calls), writer(pool, loop, calls) {}

    CaptureHistoryStore& open() {
        removalsSubscription.reset();
        store.reset();
        CaptureHistoryStore::Options options;
        options.now = [this] { return clock; };
        options.garbageGrace = grace;
        store.emplace(CaptureArtifactDirectory(root_, {"images", "thumbnails"}, calls_), loop, pool, writer, options);
        removalsSubscription = store->addObserver(removals);
        return *store;
    }
    std::optional<CaptureHistoryItem> record(uint32_t width = 40, uint32_t height = 30, int maxCount = 50) {
        clock += 1;
        auto image = std::make_shared<const Image>(noiseImage(width, height, uint32_t(clock)));
        auto item = runAsyncOnMain<CaptureHistoryStore::Result>(loop, [&](Completion<CaptureHistoryStore::Result> done) {
            store->record(image, CaptureSessionInfo{"CAFE0001", CaptureMode::window}, maxCount, 30, std::move(done));
        });
        idle();
        return item;
    }
    CaptureHistoryStore::Result replace(const std::string& id, uint32_t width, uint32_t height) {
        auto image = std::make_shared<const Image>(noiseImage(width, height, 77));
        auto result = runAsyncOnMain<CaptureHistoryStore::Result>(loop, [&](Completion<CaptureHistoryStore::Result> done) {
            store->replaceImage(id, image, 50, 30, std::move(done));
        });
        idle();
        return result;
    }
    bool idle() {
        return runAsyncOnMain<bool>(loop, [&](Completion<bool> done) { store->whenIdle(std::move(done)); });
    }
    std::vector<std::string> ids() const {
        std::vector<std::string> ids;
        for (const auto& item : store->items()) ids.push_back(item.id);
        return ids;
    }
    std::filesystem::path path(const std::string& name) const { return root_ / name; }
    bool has(const std::string& name) const { return std::filesystem::exists(root_ / name); }
    std::string indexText() const {
        std::stringstream text;
        text << std::ifstream(root_ / "index.json").rdbuf();
        return text.str();
    }

    std::chrono::seconds grace{0};
    double clock = 700000000;  // seconds since 2001: a day in 2023
    EventLoop loop;
    ThreadPool pool{2};
    std::filesystem::path root_;
    const FileSystemCalls& calls_;
    BackgroundImageWriter writer;
    RemovalLog removals;
    std::optional<CaptureHistoryStore> store;
    Subscription removalsSubscription;
};

}  // namespace tessarin::test
