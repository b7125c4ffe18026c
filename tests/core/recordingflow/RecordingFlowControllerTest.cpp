#include "core/recordingflow/RecordingFlowController.h"

#include <gtest/gtest.h>

#include "support/ManualExecutor.h"

namespace tessarin {
namespace {

using testing::ManualExecutor;
using State = RecordingFlowController::State;

struct Journal {
    std::vector<std::string> events;
    void add(std::string event) { events.push_back(std::move(event)); }
    bool has(const std::string& event) const { return std::find(events.begin(), events.end(), event) != events.end(); }
};

class FakeChrome final : public RecordingChromeView {
public:
    explicit FakeChrome(Journal& journal) : journal_(journal) {}
    void showFrame(const CaptureSelection&) override { journal_.add("frame"); }
    void showPanel(const CaptureSelection&, bool microphone) override {
        journal_.add(std::string("panel mic=") + (microphone ? "1" : "0"));
    }
    void setClockText(const std::string& text) override { clock = text; }
    void close() override { journal_.add("close"); }
    std::string clock;

private:
    Journal& journal_;
};

class FakeRun final : public RecordingRun {
public:
    FakeRun(Journal& journal, std::optional<RecordingError> startError) : journal_(journal), startError_(startError) {}
    void setOnPipelineError(std::function<void(const RecordingError&)> handler) override { onError = std::move(handler); }
    std::optional<RecordingError> start() override {
        journal_.add("start");
        return startError_;
    }
    RecordingSessionOutcome finish(bool discard) override {
        journal_.add(discard ? "finish discard" : "finish keep");
        RecordingSessionOutcome outcome;
        if (!discard) outcome.result = RecordingResult{"/tmp/Recording.mov", nullptr, 3.0, false};
        outcome.error = pipelineError;
        return outcome;
    }
    std::string clockText() const override { return clock; }

    std::function<void(const RecordingError&)> onError;
    std::optional<RecordingError> pipelineError;
    std::string clock = "00:00";

private:
    Journal& journal_;
    std::optional<RecordingError> startError_;
};

struct Harness {
    Journal journal;
    ManualExecutor main;
    ManualExecutor background;
    FakeChrome chrome{journal};
    bool busy = false;
    bool permission = true;
    bool microphoneAvailable = true;
    std::optional<RecordingRequest> selection = RecordingRequest{{{}, {0, 0, 400, 300}}, false};
    std::optional<RecordingError> startError;
    std::optional<CaptureSelectionRequest> askedRequest;
    FakeRun* run = nullptr;
    std::function<void()> tick;
    bool clockStopped = false;
    std::vector<bool> recordingChanges;
    std::vector<std::string> errors;
    std::vector<std::string> warnings;
    std::vector<RecordingResult> routed;
    std::unique_ptr<RecordingFlowController> flow;

    Harness() {
        flow = std::make_unique<RecordingFlowController>(RecordingFlowPorts{
            .main = main,
            .background = background,
            .configuration = {},
            .isOtherCaptureBusy = [this] { return busy; },
            .screenPermission = [this](Completion<bool> done) { done(permission); },
            .selectArea = [this](const CaptureSelectionRequest& request,
                                 Completion<std::optional<RecordingRequest>> done) {
                askedRequest = request;
                done(selection);
            },
            .microphoneAvailable = [this] { return microphoneAvailable; },
            .warn = [this](const std::string& title, const std::string&) { warnings.push_back(title); },
            .presentError = [this](const std::string& message) { errors.push_back(message); },
            .makeRun = [this](const RecordingRequest& request)
                -> Expected<std::unique_ptr<RecordingRun>, RecordingError> {
                journal.add(std::string("make mic=") + (request.microphoneEnabled ? "1" : "0"));
                auto made = std::make_unique<FakeRun>(journal, startError);
                run = made.get();
                return std::unique_ptr<RecordingRun>(std::move(made));
            },
            .chrome = chrome,
            .repeat = [this](std::chrono::milliseconds interval, std::function<void()> callback) -> std::function<void()> {
                EXPECT_EQ(interval, std::chrono::milliseconds(250));
                tick = std::move(callback);
                return [this] { clockStopped = true; };
            },
            .route = [this](const RecordingResult& result) { routed.push_back(result); },
            .onRecordingChanged = [this](bool recording) { recordingChanges.push_back(recording); }});
    }

    // Runs the background finish and its main-thread continuation.
    void settle() {
        while (background.runAll() + main.runAll() > 0) {
        }
    }
};

TEST(RecordingFlowTest, RecordsStopsAndRoutesTheKeptMovie) {
    Harness h;
    h.flow->toggle();
    ASSERT_EQ(h.flow->state(), State::recording);
    ASSERT_TRUE(h.askedRequest);
    EXPECT_EQ(h.askedRequest->minimumDimension, 120.0);
    EXPECT_EQ(h.askedRequest->actionStyle.kind, CaptureSelectionActionStyle::Kind::recording);
    EXPECT_FALSE(h.askedRequest->actionStyle.defaultMicrophoneEnabled);
    EXPECT_EQ(h.journal.events, (std::vector<std::string>{"frame", "make mic=0", "start", "panel mic=0"}));
    EXPECT_EQ(h.recordingChanges, std::vector<bool>{true});

    h.run->clock = "00:03";
    h.tick();
    EXPECT_EQ(h.chrome.clock, "00:03");

    h.flow->stop();
    EXPECT_EQ(h.flow->state(), State::finishing);
    EXPECT_TRUE(h.clockStopped);
    EXPECT_TRUE(h.journal.has("close"));
    h.settle();
    EXPECT_EQ(h.flow->state(), State::idle);
    EXPECT_TRUE(h.journal.has("finish keep"));
    ASSERT_EQ(h.routed.size(), 1u);
    EXPECT_EQ(h.routed[0].fileURL, "/tmp/Recording.mov");
    EXPECT_EQ(h.recordingChanges, (std::vector<bool>{true, false}));
    EXPECT_TRUE(h.errors.empty());
}

TEST(RecordingFlowTest, ASecondRecordPressStopsPressesInBetweenAreIgnoredAndDiscardRoutesNothing) {
    Harness h;
    h.flow->toggle();
    h.flow->toggle();  // the shortcut again, or the tray's stop
    EXPECT_EQ(h.flow->state(), State::finishing);
    h.flow->toggle();  // while finishing: nothing new starts
    EXPECT_EQ(h.flow->state(), State::finishing);
    h.settle();
    EXPECT_EQ(h.flow->state(), State::idle);
    EXPECT_EQ(h.routed.size(), 1u);
    EXPECT_EQ(std::count(h.journal.events.begin(), h.journal.events.end(), "start"), 1);

    // Discarded: nothing routed, no error.
    h.flow->toggle();
    h.flow->discard();
    h.settle();
    EXPECT_TRUE(h.journal.has("finish discard"));
    EXPECT_EQ(h.routed.size(), 1u);
    EXPECT_TRUE(h.errors.empty());
}

TEST(RecordingFlowTest, NothingStartsWhenBusyRefusedOrCancelled) {
    struct Case {
        const char* name;
        bool busy, permission, cancelled;
        size_t warnings;
    };
    for (const Case& c : {Case{"busy", true, true, false, 0}, Case{"no permission", false, false, false, 1},
                          Case{"cancelled selection", false, true, true, 0}}) {
        SCOPED_TRACE(c.name);
        Harness h;
        h.busy = c.busy;
        h.permission = c.permission;
        if (c.cancelled) h.selection.reset();
        h.flow->toggle();
        EXPECT_EQ(h.flow->state(), State::idle);
        EXPECT_TRUE(h.journal.events.empty());
        EXPECT_TRUE(h.errors.empty());
        EXPECT_EQ(h.warnings.size(), c.warnings);
        EXPECT_TRUE(h.recordingChanges.empty());
    }
}

TEST(RecordingFlowTest, TheMicrophoneIsRecordedWhenAvailableElseAWarningAndNone) {
    for (const bool available : {true, false}) {
        SCOPED_TRACE(available);
        Harness h;
        h.selection->microphoneEnabled = true;
        h.microphoneAvailable = available;
        h.flow->toggle();
        EXPECT_EQ(h.warnings, available ? std::vector<std::string>{} : std::vector<std::string>{"Microphone Access Denied"});
        EXPECT_TRUE(h.journal.has(available ? "make mic=1" : "make mic=0"));
        EXPECT_TRUE(h.journal.has(available ? "panel mic=1" : "panel mic=0"));
        EXPECT_EQ(h.flow->state(), State::recording);
    }
}

TEST(RecordingFlowTest, AFailedStartClosesTheFrameAndShowsTheError) {
    Harness h;
    h.startError = RecordingError::destinationUnavailable();
    h.flow->toggle();
    EXPECT_EQ(h.flow->state(), State::idle);
    EXPECT_TRUE(h.journal.has("close"));
    EXPECT_FALSE(h.journal.has("panel mic=0"));
    EXPECT_EQ(h.errors, std::vector<std::string>{RecordingError::destinationUnavailable().description()});
    EXPECT_EQ(h.recordingChanges, (std::vector<bool>{true, false}));
}

TEST(RecordingFlowTest, APipelineErrorFinishesKeepsTheFileAndReportsOnce) {
    Harness h;
    h.flow->toggle();
    const RecordingError error = RecordingError::recordingFailed("The display was removed.");
    h.run->pipelineError = error;
    h.run->onError(error);  // from the pipeline's thread: posted to main
    EXPECT_EQ(h.flow->state(), State::recording);
    h.settle();
    EXPECT_EQ(h.flow->state(), State::idle);
    EXPECT_TRUE(h.journal.has("finish keep"));
    EXPECT_EQ(h.routed.size(), 1u);
    EXPECT_EQ(h.errors, std::vector<std::string>{error.description()});
}

TEST(RecordingFlowTest, QuittingOrDestroyingTheFlowFinishesTheRecordingAndKeepsTheFile) {
    for (const bool destroy : {false, true}) {
        Harness h;
        h.flow->toggle();
        if (destroy) {
            h.flow.reset();
        } else {
            h.flow->finishForQuit();
            EXPECT_EQ(h.flow->state(), State::idle);
            EXPECT_TRUE(h.clockStopped);
            EXPECT_TRUE(h.routed.empty());
        }
        EXPECT_TRUE(h.journal.has("finish keep")) << destroy;
        EXPECT_FALSE(h.journal.has("finish discard")) << destroy;
    }
}

}  // namespace
}  // namespace tessarin
