#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <vector>

#include "core/recordingflow/RegionStreamRecordingSource.h"

namespace tessarin {
namespace {

using namespace std::chrono_literals;

// A stream whose newest frame and failure the test sets.
class ScriptedStream final : public RegionFrameStream {
public:
    std::optional<CaptureError> start() override {
        std::lock_guard guard(lock);
        ++starts;
        return startError;
    }
    void stop() override {
        std::lock_guard guard(lock);
        stopped = true;
    }
    LatestRegionFrame latest() override {
        std::lock_guard guard(lock);
        return current;
    }
    std::optional<CaptureError> stopError() override {
        std::lock_guard guard(lock);
        return failure;
    }
    void publish(uint8_t value, uint64_t frameID) {
        auto frame = std::make_shared<RegionFrame>();
        frame->width = 3;
        frame->height = 2;
        frame->bytesPerRow = 12;
        frame->bytes.assign(24, value);
        std::lock_guard guard(lock);
        current = {frame, frameID};
    }

    std::mutex lock;
    LatestRegionFrame current;
    std::optional<CaptureError> startError;
    std::optional<CaptureError> failure;
    int starts = 0;
    bool stopped = false;
};

// What the source handed on, waited for by condition.
struct Received {
    void frame(std::shared_ptr<const VideoFrame> frame) {
        std::lock_guard guard(lock);
        frames.push_back(std::move(frame));
        changed.notify_all();
    }
    void error(const RecordingError& error) {
        std::lock_guard guard(lock);
        errors.push_back(error);
        changed.notify_all();
    }
    template <class Predicate>
    bool waitFor(Predicate done) {
        std::unique_lock guard(lock);
        return changed.wait_for(guard, 20s, [&] { return done(*this); });
    }
    std::mutex lock;
    std::condition_variable changed;
    std::vector<std::shared_ptr<const VideoFrame>> frames;
    std::vector<RecordingError> errors;
};

struct SourceUnderTest {
    SourceUnderTest() {
        auto owned = std::make_unique<ScriptedStream>();
        stream = owned.get();
        source = std::make_unique<RegionStreamRecordingSource>(std::move(owned), 120);
        source->setHandlers([this](std::shared_ptr<const VideoFrame> frame) { received.frame(std::move(frame)); },
                            [this](const RecordingError& error) { received.error(error); });
    }
    ScriptedStream* stream;
    Received received;
    std::unique_ptr<RegionStreamRecordingSource> source;
};

TEST(RegionStreamRecordingSource, HandsOnCopiesOfTheNewestFrame) {
    SourceUnderTest test;
    test.stream->publish(7, 1);
    ASSERT_FALSE(test.source->start());
    ASSERT_TRUE(test.received.waitFor([](Received& r) { return r.frames.size() >= 2; }));
    test.stream->publish(9, 5);
    ASSERT_TRUE(test.received.waitFor([](Received& r) { return r.frames.back()->bytes[0] == 9; }));
    test.source->stop();
    EXPECT_TRUE(test.stream->stopped);
    EXPECT_EQ(test.received.frames.front()->bytes, std::vector<uint8_t>(24, 7));
    for (size_t i = 1; i < test.received.frames.size(); ++i) {
        EXPECT_GE(test.received.frames[i]->timestampNs, test.received.frames[i - 1]->timestampNs);
    }
    const StreamRecordingCounts counts = test.source->counts();
    EXPECT_EQ(counts.delivered, static_cast<int64_t>(test.received.frames.size()));
    EXPECT_EQ(counts.missed, 3) << "frames 2 to 4 went by unseen";
    EXPECT_GE(counts.repeated, 1) << "frame 1 was handed on more than once";
}

TEST(RegionStreamRecordingSource, RecordsNothingBeforeTheFirstFrame) {
    SourceUnderTest test;
    ASSERT_FALSE(test.source->start());
    test.stream->publish(3, 1);
    ASSERT_TRUE(test.received.waitFor([](Received& r) { return !r.frames.empty(); }));
    test.source->stop();
    EXPECT_EQ(test.received.frames.front()->bytes[0], 3);
}

TEST(RegionStreamRecordingSource, TurnsStreamFailuresIntoRecordingErrors) {
    const struct {
        CaptureError error;
        RecordingError expected;
    } cases[] = {
        {CaptureError::permissionDenied(), RecordingError::permissionDenied()},
        {CaptureError::noDisplay(), RecordingError::noDisplay()},
        {CaptureError::captureFailed("the screen cast stream ended"),
         RecordingError::recordingFailed("the screen cast stream ended")},
    };
    for (const auto& c : cases) {
        SourceUnderTest atStart;
        atStart.stream->startError = c.error;
        EXPECT_EQ(atStart.source->start(), c.expected);

        SourceUnderTest later;
        later.stream->publish(1, 1);
        ASSERT_FALSE(later.source->start());
        {
            std::lock_guard guard(later.stream->lock);
            later.stream->failure = c.error;
        }
        ASSERT_TRUE(later.received.waitFor([](Received& r) { return !r.errors.empty(); }));
        later.source->stop();
        EXPECT_EQ(later.received.errors.front(), c.expected);
    }
    RegionStreamRecordingSource withoutStream(nullptr, 30);
    EXPECT_EQ(withoutStream.start(), RecordingError::noDisplay());
    withoutStream.stop();
}

}  // namespace
}  // namespace tessarin
