// The recording pipeline against substitute sources and a recording
// encoder: the file writer's claim, queue and timing, the coordinator's
// start, roll-back and single outcome, and the session around them.

#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <thread>

#include "core/recording/RecordingCoordinator.h"
#include "core/recording/RecordingSession.h"
#include "core/recording/RecordingTimeline.h"
#include "support/TempDir.h"

namespace tessarin {
namespace {

namespace fs = std::filesystem;
constexpr int64_t kMs = 1'000'000;

std::shared_ptr<const VideoFrame> frameAt(int64_t timestampNs, int64_t width = 4, int64_t height = 2) {
    const size_t stride = static_cast<size_t>(width) * 4;
    auto frame = std::make_shared<VideoFrame>(VideoFrame{width, height, stride, {}, timestampNs});
    frame->bytes.resize(stride * static_cast<size_t>(height));
    for (size_t i = 0; i < frame->bytes.size(); ++i) frame->bytes[i] = static_cast<uint8_t>(i);
    return frame;
}

AudioChunk chunkAt(int64_t timestampNs, size_t samples, float value = 0.5f) {
    return AudioChunk{std::vector<float>(samples, value), kRecordingAudioSampleRate, timestampNs};
}

// What the encoder was asked to do, shared with the test.
struct EncoderLog {
    std::mutex lock;
    std::vector<int64_t> videoPts;
    std::vector<VideoFrame> frames;
    std::vector<float> audio;
    bool finished = false;
    bool abandoned = false;
    std::optional<size_t> failVideoAt;  // the index of the write that fails
    bool failFinish = false;
    std::atomic<bool> holdVideo{false};  // a busy encoder
};

class RecordingEncoder final : public MovieEncoder {
public:
    explicit RecordingEncoder(std::shared_ptr<EncoderLog> log) : log_(std::move(log)) {}
    std::optional<RecordingError> writeVideo(const VideoFrame& frame, int64_t pts) override {
        while (log_->holdVideo) std::this_thread::yield();
        std::lock_guard guard(log_->lock);
        if (log_->failVideoAt && *log_->failVideoAt == log_->videoPts.size()) {
            return RecordingError::recordingFailed("No space left on device");
        }
        log_->videoPts.push_back(pts);
        log_->frames.push_back(frame);
        return std::nullopt;
    }
    std::optional<RecordingError> writeAudio(std::span<const float> samples) override {
        std::lock_guard guard(log_->lock);
        log_->audio.insert(log_->audio.end(), samples.begin(), samples.end());
        return std::nullopt;
    }
    std::optional<RecordingError> finish() override {
        std::lock_guard guard(log_->lock);
        log_->finished = true;
        if (log_->failFinish) return RecordingError::recordingFailed("No space left on device");
        return std::nullopt;
    }
    void abandon() noexcept override {
        std::lock_guard guard(log_->lock);
        log_->abandoned = true;
    }

private:
    std::shared_ptr<EncoderLog> log_;
};

MovieEncoderFactory encoderFactory(std::shared_ptr<EncoderLog> log) {
    return [log](int fd, const MovieSettings&, std::optional<RecordingError>&) -> std::unique_ptr<MovieEncoder> {
        if (fd < 0) return nullptr;
        return std::make_unique<RecordingEncoder>(log);
    };
}

std::unique_ptr<RecordingFileWriter> makeWriter(const fs::path& file, std::shared_ptr<EncoderLog> log,
                                                bool microphone = true, VideoSize size = {4, 2}) {
    auto writer = RecordingFileWriter::create(file, size, 30, microphone, encoderFactory(std::move(log)));
    if (!writer) ADD_FAILURE() << writer.error().description();
    return writer ? std::move(writer.value()) : nullptr;
}

class RecordingFileWriterTest : public ::testing::Test {
protected:
    std::unique_ptr<RecordingFileWriter> writer(bool microphone = true, VideoSize size = {4, 2}) {
        return makeWriter(dir / "a.mov", log, microphone, size);
    }
    testing::TempDir dir;
    std::shared_ptr<EncoderLog> log = std::make_shared<EncoderLog>();
};

TEST(RecordingTimelineTest, VideoTimesOnlyGoForwards) {
    RecordingTimeline timeline;
    const struct {
        int64_t ns;
        std::optional<int64_t> us;
    } cases[] = {{1000 * kMs, 0},           {1033 * kMs, 33'000},      {1033 * kMs, std::nullopt},
                 {1020 * kMs, std::nullopt}, {1066 * kMs + 500, 66'000}, {1100 * kMs, 100'000}};
    for (const auto& c : cases) EXPECT_EQ(timeline.placeVideo(c.ns), c.us) << c.ns;
    EXPECT_EQ(timeline.videoDurationMicroseconds(), 100'000);
}

TEST(RecordingTimelineTest, AudioFollowsItsSampleCountAndReanchorsOnlyForwards) {
    RecordingTimeline timeline;
    EXPECT_FALSE(timeline.placeAudio(900 * kMs, 441, 44100)) << "before any frame";
    timeline.placeVideo(1000 * kMs);
    const struct {
        int64_t ns;
        size_t count;
        std::optional<AudioPlacement> placement;
        int64_t total;
    } cases[] = {
        {980 * kMs, 441, std::nullopt, 0},                          // wholly before the first frame
        {995 * kMs, 441, AudioPlacement{0, 221}, 220},              // straddles it: the early part is cut
        {1005 * kMs, 441, AudioPlacement{0, 0}, 661},               // continues the count
        {1000 * kMs, 441, AudioPlacement{0, 0}, 1102},              // stamped early: never backwards
        {1040 * kMs, 441, AudioPlacement{0, 0}, 1543},              // a little ahead: the count rules
        {1500 * kMs, 441, AudioPlacement{22050 - 1543, 0}, 22491},  // samples were lost: silence fills
    };
    for (const auto& c : cases) {
        const auto placement = timeline.placeAudio(c.ns, c.count, 44100);
        ASSERT_EQ(placement.has_value(), c.placement.has_value()) << c.ns;
        if (placement) {
            EXPECT_EQ(placement->silenceBefore, c.placement->silenceBefore) << c.ns;
            EXPECT_EQ(placement->skip, c.placement->skip) << c.ns;
        }
        EXPECT_EQ(timeline.audioSamplesPlaced(), c.total) << c.ns;
    }
}

TEST(RecordingTimelineTest, FirstAudioAfterTheFirstFrameStartsWhereItsStampSays) {
    RecordingTimeline timeline;
    timeline.placeVideo(1000 * kMs);
    EXPECT_EQ(timeline.placeAudio(1010 * kMs, 100, 44100).value_or(AudioPlacement{}).silenceBefore, 441);
}

TEST_F(RecordingFileWriterTest, ClaimsTheDestinationExclusively) {
    std::ofstream(dir / "taken.mov") << "keep me";
    auto taken = RecordingFileWriter::create(dir / "taken.mov", {4, 2}, 30, false, encoderFactory(log));
    ASSERT_FALSE(taken);
    EXPECT_EQ(taken.error(), recording_failure::destinationExists());
    EXPECT_EQ(fs::file_size(dir / "taken.mov"), 7u);

    fs::create_symlink(dir / "elsewhere.mov", dir / "link.mov");
    EXPECT_FALSE(RecordingFileWriter::create(dir / "link.mov", {4, 2}, 30, false, encoderFactory(log)));
    EXPECT_FALSE(fs::exists(dir / "elsewhere.mov")) << "never written through a link";

    auto missing = RecordingFileWriter::create(dir / "no/folder.mov", {4, 2}, 30, false, encoderFactory(log));
    ASSERT_FALSE(missing);
    EXPECT_EQ(missing.error(), RecordingError::destinationUnavailable());

    MovieEncoderFactory refusing = [](int, const MovieSettings&, std::optional<RecordingError>& error) {
        error = recording_failure::audioInputRefused();
        return std::unique_ptr<MovieEncoder>();
    };
    auto refused = RecordingFileWriter::create(dir / "refused.mov", {4, 2}, 30, true, refusing);
    ASSERT_FALSE(refused);
    EXPECT_EQ(refused.error(), recording_failure::audioInputRefused());
    EXPECT_FALSE(fs::exists(dir / "refused.mov")) << "a failed start leaves no file";
}

TEST_F(RecordingFileWriterTest, NoFramesIsAnErrorAndRemovesTheFile) {
    auto writer = this->writer();
    writer->appendAudio(chunkAt(0, 100));
    auto summary = writer->finish();
    ASSERT_FALSE(summary);
    EXPECT_EQ(summary.error(), recording_failure::noFrames());
    EXPECT_FALSE(fs::exists(dir / "a.mov"));
    EXPECT_TRUE(log->abandoned);
    EXPECT_TRUE(log->audio.empty()) << "audio before the first frame is not written";
}

TEST_F(RecordingFileWriterTest, WritesInOrderWithSummary) {
    auto writer = this->writer();
    writer->appendAudio(chunkAt(990 * kMs, 100));
    writer->appendVideo(frameAt(1000 * kMs));
    writer->appendAudio(chunkAt(1000 * kMs, 441));
    writer->appendVideo(frameAt(1500 * kMs));
    auto summary = writer->finish();
    ASSERT_TRUE(summary) << summary.error().description();
    EXPECT_DOUBLE_EQ(summary->duration, 0.5);
    EXPECT_TRUE(summary->hadAudioTrack);
    EXPECT_EQ(log->videoPts, (std::vector<int64_t>{0, 500'000}));
    EXPECT_EQ(log->audio.size(), 441u);
    EXPECT_TRUE(log->finished);
    EXPECT_TRUE(fs::exists(dir / "a.mov"));
    EXPECT_FALSE(writer->finish()) << "a second finish is refused, not a second trailer";
}

TEST_F(RecordingFileWriterTest, OddFramesArePaddedWithTheirEdgePixels) {
    auto writer = this->writer(false, {4, 4});
    writer->appendVideo(frameAt(0, 3, 3));
    ASSERT_TRUE(writer->finish());
    ASSERT_EQ(log->frames.size(), 1u);
    const VideoFrame& out = log->frames[0];
    ASSERT_EQ(out.width, 4);
    ASSERT_EQ(out.height, 4);
    const auto source = frameAt(0, 3, 3);
    auto pixel = [](const VideoFrame& f, size_t x, size_t y) {
        const uint8_t* p = f.bytes.data() + f.bytesPerRow * y + x * 4;
        return std::vector<uint8_t>(p, p + 4);
    };
    for (size_t y = 0; y < 4; ++y) {
        for (size_t x = 0; x < 4; ++x) {
            EXPECT_EQ(pixel(out, x, y), pixel(*source, std::min<size_t>(x, 2), std::min<size_t>(y, 2))) << x << "," << y;
        }
    }
}

TEST_F(RecordingFileWriterTest, ABusyWriterDropsVideoButNeverAudio) {
    auto writer = this->writer();
    log->holdVideo = true;
    writer->appendVideo(frameAt(0));
    // The first frame may be taken off the queue before or after the rest
    // arrive; either way at most kMaxQueuedVideoFrames + 1 are kept.
    for (int i = 1; i < 20; ++i) writer->appendVideo(frameAt(i * 33 * kMs));
    for (int i = 0; i < 50; ++i) writer->appendAudio(chunkAt(i * 10 * kMs, 441));
    log->holdVideo = false;
    ASSERT_TRUE(writer->finish());
    const auto counts = writer->counts();
    EXPECT_LE(counts.framesWritten, static_cast<int64_t>(kMaxQueuedVideoFrames) + 1);
    EXPECT_EQ(counts.framesWritten + counts.framesDropped, 20);
    EXPECT_EQ(log->audio.size(), 50u * 441) << "every chunk after the first frame";
}

TEST_F(RecordingFileWriterTest, AWriteErrorIsReportedOnceAndKeepsTheFile) {
    log->failVideoAt = 2;
    auto writer = this->writer();
    std::vector<RecordingError> reported;
    writer->setErrorHandler([&](const RecordingError& error) { reported.push_back(error); });
    for (int i = 0; i < 5; ++i) writer->appendVideo(frameAt(i * 33 * kMs));
    auto summary = writer->finish();
    ASSERT_EQ(reported.size(), 1u);
    EXPECT_EQ(reported[0].description(), "Recording failed: No space left on device");
    EXPECT_EQ(log->videoPts.size(), 2u) << "nothing is written after the error";
    EXPECT_TRUE(fs::exists(dir / "a.mov"));
    ASSERT_TRUE(summary);
}

TEST_F(RecordingFileWriterTest, AFailedTrailerIsAFailureNotAFinishedRecording) {
    log->failFinish = true;
    auto writer = this->writer();
    writer->appendVideo(frameAt(0));
    auto summary = writer->finish();
    ASSERT_FALSE(summary);
    EXPECT_EQ(summary.error().description(), "Recording failed: No space left on device");
    EXPECT_TRUE(fs::exists(dir / "a.mov")) << "what was written is kept";
}

// A source whose start can fail or run a step in the middle of starting.
template <class Source, class DataHandler>
class FakeSource final : public Source {
public:
    std::optional<RecordingError> startError;
    std::function<void()> duringStart;
    std::atomic<int> starts{0};
    std::atomic<int> stops{0};
    DataHandler onData;
    RecordingErrorHandler onError;

    void setHandlers(DataHandler data, RecordingErrorHandler error) override {
        onData = std::move(data);
        onError = std::move(error);
    }
    std::optional<RecordingError> start() override {
        ++starts;
        if (duringStart) duringStart();
        return startError;
    }
    void stop() override { ++stops; }
};
using FakeScreen = FakeSource<ScreenRecordingSource, ScreenRecordingSource::FrameHandler>;
using FakeMicrophone = FakeSource<MicrophoneSource, MicrophoneSource::AudioHandler>;

struct Rig {
    testing::TempDir dir;
    std::shared_ptr<EncoderLog> log = std::make_shared<EncoderLog>();
    FakeScreen* screen = nullptr;
    FakeMicrophone* microphone = nullptr;
    std::unique_ptr<RecordingCaptureCoordinator> coordinator;
    std::vector<RecordingLifecycleState> states;
    std::mutex statesLock;

    explicit Rig(bool withMicrophone = true) {
        auto screenSource = std::make_unique<FakeScreen>();
        screen = screenSource.get();
        std::unique_ptr<FakeMicrophone> microphoneSource;
        if (withMicrophone) {
            microphoneSource = std::make_unique<FakeMicrophone>();
            microphone = microphoneSource.get();
        }
        coordinator = std::make_unique<RecordingCaptureCoordinator>(
            std::move(screenSource), std::move(microphoneSource), makeWriter(dir / "rec.mov", log, withMicrophone));
        coordinator->setOnLifecycleStateChanged([this](RecordingLifecycleState state) {
            std::lock_guard guard(statesLock);
            states.push_back(state);
        });
    }
    fs::path file() const { return dir / "rec.mov"; }
};

using S = RecordingLifecycleState;

TEST(RecordingCoordinatorTest, RecordsAndFinishesWithPosterAndDuration) {
    Rig rig;
    ASSERT_FALSE(rig.coordinator->start());
    EXPECT_EQ(rig.coordinator->state(), S::recording);
    rig.microphone->onData(chunkAt(500 * kMs, 441));  // before the first frame: dropped
    rig.screen->onData(frameAt(1000 * kMs));
    rig.microphone->onData(chunkAt(1000 * kMs, 441));
    rig.screen->onData(frameAt(3000 * kMs));
    auto outcome = rig.coordinator->finish(false);
    ASSERT_TRUE(outcome) << outcome.error().description();
    ASSERT_TRUE(outcome->has_value());
    const RecordingResult& result = **outcome;
    EXPECT_EQ(result.fileURL, rig.file());
    EXPECT_DOUBLE_EQ(result.duration, 2.0);
    EXPECT_TRUE(result.hadMicrophoneTrack);
    ASSERT_TRUE(result.posterFrame);
    // RGBA of the first frame's BGRX bytes.
    EXPECT_EQ(result.posterFrame->data()[0], 2);
    EXPECT_EQ(result.posterFrame->data()[2], 0);
    EXPECT_EQ(result.posterFrame->data()[3], 255);
    EXPECT_EQ(rig.log->audio.size(), 441u);
    EXPECT_EQ(rig.screen->stops + rig.microphone->stops, 2);
    EXPECT_EQ(rig.states, (std::vector<S>{S::starting, S::recording, S::finishing, S::finished}));
}

TEST(RecordingCoordinatorTest, StartsOnlyOnce) {
    Rig rig;
    ASSERT_FALSE(rig.coordinator->start());
    EXPECT_EQ(rig.coordinator->start(), recording_failure::startedTwice());
    EXPECT_EQ(rig.coordinator->state(), S::recording) << "the running recording is untouched";
    EXPECT_EQ(rig.screen->starts, 1);
}

TEST(RecordingCoordinatorTest, RollsBackAtEachStartStep) {
    enum class Step { screenFails, microphoneFails, finishDuringScreen, finishDuringMicrophone };
    const struct {
        Step step;
        RecordingError error;
        int screenStops, microphoneStops;
    } cases[] = {
        {Step::screenFails, RecordingError::noDisplay(), 0, 0},
        {Step::microphoneFails, recording_failure::noMicrophone(), 1, 0},
        {Step::finishDuringScreen, recording_failure::cancelled(), 1, 0},
        {Step::finishDuringMicrophone, recording_failure::cancelled(), 1, 1},
    };
    for (const auto& c : cases) {
        Rig rig;
        std::thread finisher;
        std::optional<RecordingOutcome> finished;
        auto finishMeanwhile = [&] {
            finisher = std::thread([&] { finished = rig.coordinator->finish(false); });
            while (!rig.coordinator->finishRequested()) std::this_thread::yield();
        };
        switch (c.step) {
            case Step::screenFails: rig.screen->startError = RecordingError::noDisplay(); break;
            case Step::microphoneFails: rig.microphone->startError = recording_failure::noMicrophone(); break;
            case Step::finishDuringScreen: rig.screen->duringStart = finishMeanwhile; break;
            case Step::finishDuringMicrophone: rig.microphone->duringStart = finishMeanwhile; break;
        }
        EXPECT_EQ(rig.coordinator->start(), c.error);
        if (finisher.joinable()) finisher.join();
        EXPECT_EQ(rig.screen->stops, c.screenStops);
        EXPECT_EQ(rig.microphone->stops, c.microphoneStops);
        EXPECT_FALSE(fs::exists(rig.file())) << "a start that failed leaves no file";
        EXPECT_EQ(rig.coordinator->state(), S::finished);
        auto outcome = rig.coordinator->awaitTerminalOutcome();
        ASSERT_FALSE(outcome);
        EXPECT_EQ(outcome.error(), c.error);
        if (finished) {
            ASSERT_FALSE(*finished);
            EXPECT_EQ(finished->error(), c.error) << "the finisher gets the same outcome";
        }
    }
}

TEST(RecordingCoordinatorTest, DiscardRemovesTheFileAndHasNoResult) {
    Rig rig;
    ASSERT_FALSE(rig.coordinator->start());
    rig.screen->onData(frameAt(0));
    auto outcome = rig.coordinator->finish(true);
    ASSERT_TRUE(outcome);
    EXPECT_FALSE(outcome->has_value());
    EXPECT_FALSE(fs::exists(rig.file()));
}

TEST(RecordingCoordinatorTest, OneOutcomeForEarlyAndLateWaiters) {
    Rig rig;
    ASSERT_FALSE(rig.coordinator->start());
    rig.screen->onData(frameAt(0));
    std::vector<std::thread> early;
    std::vector<RecordingOutcome> seen;
    std::mutex seenLock;
    for (int i = 0; i < 3; ++i) {
        early.emplace_back([&] {
            auto outcome = rig.coordinator->awaitTerminalOutcome();
            std::lock_guard guard(seenLock);
            seen.push_back(outcome);
        });
    }
    auto first = rig.coordinator->finish(false);
    for (auto& t : early) t.join();
    auto late = rig.coordinator->awaitTerminalOutcome();
    auto again = rig.coordinator->finish(true);  // a later finish cannot change it
    ASSERT_TRUE(first && first->has_value());
    for (const auto& outcome : seen) {
        ASSERT_TRUE(outcome && outcome->has_value());
        EXPECT_EQ((*outcome)->posterFrame, (*first)->posterFrame);
    }
    ASSERT_TRUE(late && late->has_value());
    ASSERT_TRUE(again && again->has_value()) << "discarding after the finish does not remove the file";
    EXPECT_TRUE(fs::exists(rig.file()));
    EXPECT_EQ(std::count(rig.states.begin(), rig.states.end(), S::finished), 1);
}

TEST(RecordingCoordinatorTest, ErrorsGoToTheHandlerWhileRecordingOnly) {
    Rig rig;
    std::vector<RecordingError> errors;
    rig.coordinator->setErrorHandler([&](const RecordingError& error) { errors.push_back(error); });
    ASSERT_FALSE(rig.coordinator->start());
    rig.screen->onData(frameAt(0));
    rig.microphone->onError(recording_failure::noMicrophone());
    ASSERT_TRUE(rig.coordinator->finish(false));
    rig.screen->onError(RecordingError::noDisplay());
    EXPECT_EQ(errors, (std::vector<RecordingError>{recording_failure::noMicrophone()}));
}

TEST(RecordingCoordinatorTest, FinishBeforeStartEndsWithoutAFile) {
    Rig rig;
    auto outcome = rig.coordinator->finish(false);
    ASSERT_FALSE(outcome);
    EXPECT_EQ(outcome.error(), recording_failure::cancelled());
    EXPECT_FALSE(fs::exists(rig.file()));
    EXPECT_EQ(rig.coordinator->start(), recording_failure::startedTwice());
}

struct SessionRig {
    testing::TempDir dir;
    std::shared_ptr<EncoderLog> log = std::make_shared<EncoderLog>();
    FakeScreen* screen = nullptr;
    RecordingSession::Clock::time_point now{};
    std::unique_ptr<RecordingSession> session;

    SessionRig() {
        RecordingConfiguration configuration;
        configuration.recordingDirectoryProvider = [this] { return dir.path(); };
        configuration.fileNameProvider = [](auto) { return std::string("Recording.mov"); };
        RecordingSession::Ports ports;
        ports.now = [this] { return now; };
        ports.makeCoordinator = [this](const fs::path& file, bool microphone)
            -> Expected<std::unique_ptr<RecordingCaptureCoordinator>, RecordingError> {
            auto writer = RecordingFileWriter::create(file, {4, 2}, 30, microphone, encoderFactory(log));
            if (!writer) return unexpected(writer.error());
            auto source = std::make_unique<FakeScreen>();
            screen = source.get();
            return std::make_unique<RecordingCaptureCoordinator>(std::move(source), nullptr, std::move(writer.value()));
        };
        session = std::make_unique<RecordingSession>(configuration, false, ports);
    }
};

TEST(RecordingSessionTest, NamesTheFileRunsTheClockAndRunsOnce) {
    SessionRig rig;
    ASSERT_FALSE(rig.session->start());
    EXPECT_EQ(rig.session->outputURL(), rig.dir / "Recording.mov");
    EXPECT_EQ(rig.session->state(), S::recording);
    rig.now += std::chrono::milliseconds(61'500);
    EXPECT_EQ(rig.session->clockText(), "01:01");
    EXPECT_EQ(rig.session->start(), recording_failure::sessionRunTwice());
    rig.screen->onData(frameAt(0));
    EXPECT_TRUE(rig.session->finish(false).result);
}

TEST(RecordingSessionTest, APipelineErrorKeepsWhatWasRecordedAndReportsIt) {
    SessionRig rig;
    std::atomic<int> told{0};
    rig.session->setOnPipelineError([&](const RecordingError&) { ++told; });
    ASSERT_FALSE(rig.session->start());
    rig.screen->onData(frameAt(0));
    rig.screen->onData(frameAt(1000 * kMs));
    rig.screen->onError(RecordingError::noDisplay());
    rig.screen->onError(RecordingError::noDisplay());
    EXPECT_EQ(told, 1);
    auto ended = rig.session->finish(false);
    ASSERT_TRUE(ended.result) << "the recording up to the error is kept";
    EXPECT_DOUBLE_EQ(ended.result->duration, 1.0);
    EXPECT_EQ(ended.error, RecordingError::noDisplay());
    EXPECT_TRUE(fs::exists(rig.dir / "Recording.mov"));
}

}  // namespace
}  // namespace tessarin
