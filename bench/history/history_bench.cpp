// Records captures of 1920x1080 desktops into a capture history in a
// temporary folder and reports, per capture:
//   - the time the main thread spends on it (the record call and every
//     main-thread completion it causes), target under 5 ms;
//   - the time to encode the full-resolution PNG plus the JPEG thumbnail
//     (downscale included), measured on the same images;
// against the peer: the same capture saved synchronously on the main thread
// (PNG, thumbnail and index written in the call), as a store without
// background writing would do. Retention is the default (50 items, the 10
// newest at full resolution), so the steady state deletes as it records.
//
//   history_bench [--captures N] [--peer-captures N] [--folder DIR]

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "ScreenContent.h"
#include "core/capture/CaptureHistoryStore.h"
#include "core/common/ThreadPool.h"
#include "render/ByteSink.h"
#include "render/JpegEncoder.h"
#include "render/PngEncoder.h"

using namespace tessarin;
using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

namespace {

double msSince(Clock::time_point start) { return std::chrono::duration<double, std::milli>(Clock::now() - start).count(); }

// The main executor, timing every task it runs.
class TimedLoop final : public Executor {
public:
    void post(Task task) override {
        {
            const std::lock_guard lock(mutex_);
            queue_.push_back(std::move(task));
        }
        wake_.notify_one();
    }
    template <class Predicate>
    void runUntil(Predicate done) {
        while (!done()) {
            Task task;
            {
                std::unique_lock lock(mutex_);
                wake_.wait(lock, [this] { return !queue_.empty(); });
                task = std::move(queue_.front());
                queue_.pop_front();
            }
            const auto start = Clock::now();
            task();
            busyMs += msSince(start);
        }
    }
    double busyMs = 0;

private:
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<Task> queue_;
};

struct Stats {
    double median, p95, mean;
};
Stats stats(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    double sum = 0;
    for (double v : values) sum += v;
    return {values[values.size() / 2], values[std::min(values.size() - 1, values.size() * 95 / 100)], sum / values.size()};
}

}  // namespace

int main(int argc, char** argv) {
    int captures = 500, peerCaptures = 50;
    fs::path base = fs::temp_directory_path();
    for (int i = 1; i + 1 < argc; i += 2) {
        if (!std::strcmp(argv[i], "--captures")) captures = std::max(1, std::atoi(argv[i + 1]));
        else if (!std::strcmp(argv[i], "--peer-captures")) peerCaptures = std::max(1, std::atoi(argv[i + 1]));
        else if (!std::strcmp(argv[i], "--folder")) base = argv[i + 1];
    }
    std::string pattern = (base / "history-bench-XXXXXX").string();
    if (!mkdtemp(pattern.data())) {
        std::perror("mkdtemp");
        return 1;
    }
    const fs::path root = pattern;

    std::vector<SharedImage> desktops;
    for (const auto wallpaper : {bench::Wallpaper::pattern, bench::Wallpaper::photo}) {
        desktops.push_back(std::make_shared<const Image>(bench::makeDesktop(1920, 1080, 1, wallpaper)));
    }

    // ---- encoding alone ----------------------------------------------------
    std::vector<double> encodeMs, thumbnailMs;
    for (int i = 0; i < std::min(captures, 40); ++i) {
        const Image& image = *desktops[i % desktops.size()];
        const auto start = Clock::now();
        MemorySink png, jpeg;
        bool ok = encodePng(image, png).hasValue();
        const auto thumbnailStart = Clock::now();
        ok = ok && encodeJpeg(*makeThumbnail(image, CaptureHistoryStore::thumbnailBounds), 0.7, jpeg).hasValue();
        thumbnailMs.push_back(msSince(thumbnailStart));
        encodeMs.push_back(msSince(start));
        if (!ok) return std::fprintf(stderr, "encoding failed\n"), 1;
    }

    // ---- tessarin: record through the store ----------------------------------
    TimedLoop loop;
    ThreadPool pool(2);
    BackgroundImageWriter writer(pool, loop);
    std::vector<double> mainMs, wallMs;
    size_t recorded = 0;
    {
        CaptureHistoryStore store(CaptureArtifactDirectory(root / "History", {"images", "thumbnails"}), loop, pool, writer);
        for (int i = 0; i < captures; ++i) {
            const double busyBefore = loop.busyMs;
            const auto start = Clock::now();
            bool done = false;
            store.record(desktops[i % desktops.size()], CaptureSessionInfo{"BENCH001", CaptureMode::fullScreen}, 50, 30,
                         [&](CaptureHistoryStore::Result item) {
                             recorded += item.has_value();
                             done = true;
                         });
            const double callMs = msSince(start);
            loop.runUntil([&] { return done; });
            mainMs.push_back(callMs + loop.busyMs - busyBefore);
            wallMs.push_back(msSince(start));
        }
        bool idle = false;
        store.whenIdle([&](bool) { idle = true; });
        loop.runUntil([&] { return idle; });
    }

    // ---- peer: the same capture saved synchronously on the main thread -------
    std::vector<double> peerMs;
    {
        const CaptureArtifactDirectory folder(root / "Peer", {"images", "thumbnails"});
        folder.ensureDirectories();
        std::vector<CaptureHistoryItem> items;
        for (int i = 0; i < peerCaptures; ++i) {
            const Image& image = *desktops[i % desktops.size()];
            const auto start = Clock::now();
            CaptureHistoryItem item;
            item.id = "BENCH" + std::to_string(i);
            item.imageFilename = item.id + ".png";
            ExportManager::writeImage(image, folder.folder("images") / item.imageFilename, ImageFormat::png());
            ExportManager::writeImage(*makeThumbnail(image, CaptureHistoryStore::thumbnailBounds),
                                      folder.folder("thumbnails") / item.thumbnailFilename(), ImageFormat::jpeg(0.7));
            items.insert(items.begin(), item);
            if (items.size() > 50) items.pop_back();
            folder.persist(CaptureHistoryIndex::serialize(items));
            peerMs.push_back(msSince(start));
        }
    }
    std::error_code ignored;
    fs::remove_all(root, ignored);

    const Stats main = stats(mainMs), wall = stats(wallMs), encode = stats(encodeMs), peer = stats(peerMs),
                thumbnail = stats(thumbnailMs);
    std::printf("history_bench: %d captures of 1920x1080 recorded (%zu stored), %d for the peer, 2 background threads\n\n",
                captures, recorded, peerCaptures);
    std::printf("%-44s %9s %9s %9s %12s\n", "per capture (ms)", "median", "p95", "mean", "peer/this");
    std::printf("%-44s %9.2f %9.2f %9.2f %12s\n", "tessarin: main-thread time (target < 5)", main.median, main.p95,
                main.mean, "");
    std::printf("%-44s %9.2f %9.2f %9.2f %11.0fx\n", "peer: synchronous save on the main thread", peer.median, peer.p95,
                peer.mean, peer.median / main.median);
    std::printf("%-44s %9.2f %9.2f %9.2f %11.2fx\n", "tessarin: capture to item (wall)", wall.median, wall.p95, wall.mean,
                peer.median / wall.median);
    std::printf("%-44s %9.2f %9.2f %9.2f %11.2fx\n", "encode PNG + thumbnail (downscale + JPEG)", encode.median,
                encode.p95, encode.mean, peer.median / encode.median);
    std::printf("%-44s %9.2f %9.2f %9.2f %11.2fx\n", "  of which thumbnail (downscale + JPEG)", thumbnail.median,
                thumbnail.p95, thumbnail.mean, peer.median / thumbnail.median);
    std::printf("\nmain-thread target: %s\n", main.p95 < 5.0 ? "met (p95 < 5 ms)" : "MISSED (p95 >= 5 ms)");
    return 0;
}
