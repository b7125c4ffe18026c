#include "core/flow/ScreenRecordingPermission.h"
#include "FlowTestSupport.h"

namespace tessarin {
namespace {

using testing::FlowHarness;

class CaptureFlowGuard : public ::testing::Test, protected FlowHarness {};

TEST_F(CaptureFlowGuard, ASecondPressWhileOneRunsIsIgnored) {
    preferences.setFreezeScreenDuringCapture(false);
    flow.start(CaptureMode::area);
    flow.start(CaptureMode::area);
    flow.startAllInOne();
    flow.startFullScreen(7);
    settle();
    EXPECT_EQ(overlay.requests.size(), 1u);
    EXPECT_EQ(permissionQuestions, 1);
    EXPECT_TRUE(backend.capturedAreas.empty());
    EXPECT_EQ(stateChanges, std::vector<bool>{true});
    EXPECT_TRUE(log.contains("capture.ignored trigger=area reason=in_progress"));

    overlay.pending.answer(std::nullopt);  // Escape
    settle();
    EXPECT_FALSE(flow.isCapturing());
    flow.start(CaptureMode::area);  // the next press starts again
    settle();
    EXPECT_EQ(overlay.requests.size(), 2u);
}

TEST_F(CaptureFlowGuard, NothingStartsWhileAnotherActivityOwnsTheScreen) {
    externallyBusy = true;
    flow.start(CaptureMode::fullScreen);
    flow.replayLast();
    settle();
    EXPECT_EQ(permissionQuestions, 0);
    EXPECT_TRUE(stateChanges.empty());
    EXPECT_TRUE(alerts.shown.empty());
    EXPECT_TRUE(backend.capturedAreas.empty());
    EXPECT_TRUE(log.contains("reason=externally_busy"));
}

TEST_F(CaptureFlowGuard, RefusedPermissionShowsTheAlertAndReportsNoCaptureState) {
    permissionGranted = false;
    flow.start(CaptureMode::fullScreen);
    settle();
    EXPECT_EQ(alerts.shown.size(), 1u);
    EXPECT_TRUE(stateChanges.empty());
    EXPECT_FALSE(flow.isCapturing());
    EXPECT_TRUE(backend.capturedAreas.empty());
}

TEST_F(CaptureFlowGuard, APressDuringThePermissionQuestionIsIgnored) {
    std::optional<Completion<bool>> question;
    CaptureFlowDependencies dependencies = bareDependencies();
    dependencies.screenRecordingPermission = [&](Completion<bool> done) { question.emplace(std::move(done)); };
    dependencies.onCaptureStateChanged = [this](bool value) { stateChanges.push_back(value); };
    CaptureFlowController asking(std::move(dependencies));
    asking.start(CaptureMode::fullScreen);
    asking.start(CaptureMode::fullScreen);
    EXPECT_TRUE(stateChanges.empty());
    auto answer = std::move(*question);
    question.reset();
    answer(true);
    settle();
    EXPECT_EQ(stateChanges, (std::vector<bool>{true, false}));
    EXPECT_EQ(backend.capturedAreas.size(), 1u);
}

TEST(ScreenRecordingPermission, AsksThePlatformOnlyTheFirstTime) {
    struct Case {
        bool checkPasses;
        bool platformAnswer;
        std::vector<bool> answers;  // of three questions in a row
        int requests;
    };
    const Case cases[] = {
        {true, false, {true, true, true}, 0},
        {false, false, {false, false, false}, 1},
        {false, true, {true, false, false}, 1},  // granted, but not yet visible to the check
    };
    for (const auto& c : cases) {
        int requests = 0;
        auto permission = askingOnlyOnce([&] { return c.checkPasses; },
                                         [&](Completion<bool> done) {
                                             ++requests;
                                             done(c.platformAnswer);
                                         });
        std::vector<bool> answers;
        for (int i = 0; i < 3; ++i) permission([&](bool granted) { answers.push_back(granted); });
        EXPECT_EQ(answers, c.answers) << c.checkPasses << c.platformAnswer;
        EXPECT_EQ(requests, c.requests) << c.checkPasses << c.platformAnswer;
    }
}

TEST_F(CaptureFlowGuard, ErrorsAreShownOnceAndTheStateGoesBackToIdle) {
    struct Case {
        std::function<void(FlowHarness&)> arrange;
        std::string expected;
    };
    const Case cases[] = {
        {[](FlowHarness& h) { h.backend.displayList.clear(); }, "No display found"},
        {[](FlowHarness& h) { h.backend.failure = CaptureError::captureFailed("the server went away"); },
         "Capture failed: the server went away"},
    };
    for (const auto& c : cases) {
        FlowHarness h;
        c.arrange(h);
        h.flow.start(CaptureMode::fullScreen);
        h.settle();
        EXPECT_EQ(h.errors, std::vector<std::string>{c.expected});
        EXPECT_EQ(h.stateChanges, (std::vector<bool>{true, false}));
        EXPECT_FALSE(h.flow.isCapturing());
        EXPECT_TRUE(h.quickAccess.shown.empty());
        EXPECT_TRUE(h.stored.empty());
    }
}

TEST_F(CaptureFlowGuard, NothingInFlightReachesTheUserAfterShutdown) {
    flow.start(CaptureMode::window);
    settle();
    flow.shutdown();
    router.shutdown();
    auto image = Image::allocate(4, 4);
    windowPicker.pending.answer(std::optional<Image>(std::move(*image)));
    settle();
    EXPECT_EQ(stateChanges, std::vector<bool>{true});
    EXPECT_TRUE(quickAccess.shown.empty());
    EXPECT_TRUE(errors.empty());
}

}  // namespace
}  // namespace tessarin
