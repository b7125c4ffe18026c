#pragma once
// A pin store over a temporary folder, run on the test's thread with a fake
// clock for its pauses.

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>

#include "core/capture/Uuid.h"
#include "core/pins/PinStore.h"
#include "render/TestImages.h"
#include "support/ManualExecutor.h"
#include "support/TempDir.h"

namespace tessarin::test {

// Delayed tasks that run when the test moves the clock past them.
class FakeClock {
public:
    PinStore::DelayOnMain delay() {
        return [this](std::chrono::milliseconds after, Task task) { due_.emplace(now_ + after, std::move(task)); };
    }
    // Moves time forward, running what falls due in order.
    void advance(std::chrono::milliseconds by, testing::ManualExecutor& loop) {
        const auto until = now_ + by;
        while (!due_.empty() && due_.begin()->first <= until) {
            auto next = due_.begin();
            now_ = next->first;
            Task task = std::move(next->second);
            due_.erase(next);
            task();
            loop.runAll();
        }
        now_ = until;
    }
    size_t pending() const { return due_.size(); }

private:
    std::chrono::milliseconds now_{0};
    std::multimap<std::chrono::milliseconds, Task> due_;
};

class PinHarness {
public:
    explicit PinHarness(std::filesystem::path root) : root_(std::move(root)), writer(loop, loop) {}
    PinHarness() : root_(dir.path()), writer(loop, loop) {}  // `dir` is made first

    PinStore& open(const FileSystemCalls& calls = FileSystemCalls::system()) {
        store.reset();
        PinStore::Options options;
        options.delay = clock.delay();
        options.garbageGrace = grace;
        store.emplace(CaptureArtifactDirectory(root_, {"images", "previews"}, calls), loop, loop, writer, options);
        return *store;
    }
    // Adds a pin and lets its image write finish (the index write waits for the pause).
    std::string add(std::optional<Rect> frame = Rect{10, 20, 300, 200}, uint32_t screenID = 1) {
        const std::string id = newUUIDString();
        auto image = std::make_shared<const Image>(noiseImage(30, 20, ++seed));
        store->add(id, image, frame, screenID, [](PinAddResult added) { ASSERT_TRUE(added); });
        loop.runAll();
        return id;
    }
    void settle() {
        loop.runAll();
        clock.advance(std::chrono::seconds(1), loop);
        loop.runAll();
    }
    bool hasImage(const std::string& id) const { return std::filesystem::exists(root_ / "images" / (id + ".png")); }
    std::string indexText() const {
        std::stringstream text;
        text << std::ifstream(root_ / "index.json").rdbuf();
        return text.str();
    }
    void writeIndex(const std::string& text) const {
        std::filesystem::create_directories(root_);
        std::ofstream(root_ / "index.json") << text;
    }
    void writeImage(const std::string& id) const {
        std::filesystem::create_directories(root_ / "images");
        std::ofstream(root_ / "images" / (id + ".png")) << "not yet decoded";
    }
    PinStoreIndex onDisk() const {
        auto parsed = PinIndexCodec::parse(indexText());
        return parsed ? parsed->index : PinStoreIndex{};
    }
    const std::filesystem::path& root() const { return root_; }

    testing::TempDir dir;
    std::filesystem::path root_;
    std::chrono::seconds grace{0};
    uint32_t seed = 0;
    testing::ManualExecutor loop;
    FakeClock clock;
    BackgroundImageWriter writer;
    std::optional<PinStore> store;
};

}  // namespace tessarin::test
