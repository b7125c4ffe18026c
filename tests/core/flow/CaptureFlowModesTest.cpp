#include "FlowTestSupport.h"

namespace tessarin {
namespace {

using testing::FlowHarness;
using testing::selectionOn;

class CaptureFlowModes : public ::testing::Test, protected FlowHarness {
protected:
    // Display index of the fake screen's pixels (blue channel).
    static int displayIndexOf(const SharedImage& image) { return image->row(0)[2]; }
    const DisplayDescription& main7() const { return backend.displayList[0]; }
    const DisplayDescription& side11() const { return backend.displayList[1]; }
};

TEST_F(CaptureFlowModes, FullScreenUnderThePointerCapturesAndRemembersTheSameDisplay) {
    backend.pointer = Point{2000, 500};  // on display 11
    flow.start(CaptureMode::fullScreen);
    backend.pointer = Point{100, 100};  // moved before the pixels were read
    settle();
    ASSERT_EQ(quickAccess.shown.size(), 1u);
    EXPECT_EQ(displayIndexOf(quickAccess.shown[0].image), 1);
    EXPECT_EQ(quickAccess.shown[0].image->width(), 1920u);
    EXPECT_EQ(preferences.lastCaptureSelection(), StoredCaptureSelection::fullscreen(11));
}

TEST_F(CaptureFlowModes, TheLastSelectionIsStoredOnlyWhenRememberingIsOn) {
    preferences.setRememberLastCaptureSelection(false);
    flow.startFullScreen(11);
    settle();
    flow.captureSelection(selectionOn(main7(), {10, 20, 300, 200}));
    settle();
    EXPECT_FALSE(store.contains("lastCaptureSelection"));
    EXPECT_EQ(quickAccess.shown.size(), 2u);

    preferences.setRememberLastCaptureSelection(true);
    flow.captureSelection(selectionOn(side11(), {1500, 40, 300, 200}));
    settle();
    EXPECT_EQ(preferences.lastCaptureSelection(), StoredCaptureSelection::area(60, 40, 300, 200, 11));
}

TEST_F(CaptureFlowModes, EveryAllInOneActionLeadsWhereItSays) {
    struct Case {
        CaptureSelectionAction action;
        int thumbnails, copies, editors, texts, timers, scrolls, switches;
    };
    const Case cases[] = {
        {CaptureSelectionAction::capture, 1, 0, 0, 0, 0, 0, 0},
        {CaptureSelectionAction::copy, 0, 1, 0, 0, 0, 0, 0},
        {CaptureSelectionAction::annotate, 0, 0, 1, 0, 0, 0, 0},
        {CaptureSelectionAction::ocr, 0, 0, 0, 1, 0, 0, 0},
        {CaptureSelectionAction::timer, 0, 0, 0, 0, 1, 0, 0},
        {CaptureSelectionAction::scrolling, 0, 0, 0, 0, 0, 1, 0},
        {CaptureSelectionAction::fullScreen, 0, 0, 0, 0, 0, 0, 1},
        {CaptureSelectionAction::cancel, 0, 0, 0, 0, 0, 0, 0},
    };
    for (const auto& c : cases) {
        FlowHarness h;
        h.preferences.setFreezeScreenDuringCapture(false);
        h.preferences.setSelfTimerDurationSeconds(3);
        h.preferences.setAutoScrollDuringScrollingCapture(false);
        h.flow.startAllInOne();
        h.settle();
        const auto selection = selectionOn(h.backend.displayList[1], {1500, 100, 200, 100});
        h.overlay.pending.answer(AreaSelectionResult{selection, c.action});
        h.settle();
        const std::string name(rawValue(c.action));
        EXPECT_EQ(int(h.quickAccess.shown.size()), c.thumbnails) << name;
        EXPECT_EQ(int(h.clipboard.copied.size()), c.copies) << name;
        EXPECT_EQ(int(h.editor.opened.size()), c.editors) << name;
        EXPECT_EQ(int(h.text.extracted.size()), c.texts) << name;
        EXPECT_EQ(int(h.selfTimer.runs.size()), c.timers) << name;
        EXPECT_EQ(int(h.scrolling.requests.size()), c.scrolls) << name;
        EXPECT_EQ(int(h.modeSwitch.switches.size()), c.switches) << name;
        EXPECT_TRUE(h.errors.empty()) << name;
        if (c.timers) {
            EXPECT_EQ(h.selfTimer.runs[0], std::pair(3, selection));
        }
        if (c.scrolls) {
            EXPECT_EQ(h.scrolling.requests[0].selection, selection);
            EXPECT_FALSE(h.scrolling.requests[0].autoScroll);
        }
        if (c.switches) {
            EXPECT_EQ(h.modeSwitch.switches[0].selection, selection) << name;
        }
        const bool waiting = c.timers || c.scrolls;
        EXPECT_EQ(h.flow.isCapturing(), waiting) << name;
    }
}

TEST_F(CaptureFlowModes, TheModeSwitchRunsOnceTheCaptureHasEnded) {
    preferences.setFreezeScreenDuringCapture(false);
    std::vector<bool> capturingWhenSwitched;
    modeSwitch.then = [this, &capturingWhenSwitched](const AllInOneModeSwitch& s) {
        capturingWhenSwitched.push_back(flow.isCapturing());
        flow.startFullScreen(s.selection.screen.displayID);  // what the application does
    };
    flow.startAllInOne();
    settle();
    overlay.pending.answer(AreaSelectionResult{selectionOn(side11(), {1500, 100, 20, 20}), CaptureSelectionAction::fullScreen});
    settle();
    EXPECT_EQ(capturingWhenSwitched, std::vector<bool>{false});
    ASSERT_EQ(modeSwitch.switches.size(), 1u);
    EXPECT_EQ(modeSwitch.switches[0].kind, AllInOneModeSwitch::Kind::fullScreen);
    EXPECT_EQ(stateChanges, (std::vector<bool>{true, false, true, false}));
    ASSERT_EQ(quickAccess.shown.size(), 1u);  // the full-screen capture was not ignored
    EXPECT_EQ(quickAccess.shown[0].image->width(), 1920u);
}

TEST_F(CaptureFlowModes, ReplayWarnsWhenThereIsNothingToReplayOrItsDisplayIsGone) {
    const std::pair<std::string, std::string> noPrevious{
        "No Previous Capture", "Capture an area or full screen before using Capture Previous Area."},
        notFound{"Display Not Found", "The display used by the previous capture is no longer connected."};
    const auto noMainDisplayLeft = [](FlowHarness& h) {
        for (auto& d : h.backend.displayList) d.primary = false;  // no main display to fall back to
        h.backend.displayList.erase(h.backend.displayList.begin() + 1);
    };
    const struct {
        std::optional<StoredCaptureSelection> stored;
        std::function<void(FlowHarness&)> arrange;
        std::pair<std::string, std::string> warning;
    } cases[] = {
        {std::nullopt, {}, noPrevious},
        {StoredCaptureSelection::fullscreen(42), {}, notFound},
        {StoredCaptureSelection::area(0, 0, 10, 10, 11), noMainDisplayLeft, notFound},
    };
    for (const auto& c : cases) {
        FlowHarness h;
        h.preferences.setLastCaptureSelection(c.stored);
        if (c.arrange) c.arrange(h);
        h.flow.replayLast();
        h.settle();
        EXPECT_EQ(h.alerts.shown, std::vector{c.warning});
        EXPECT_TRUE(h.errors.empty());
        EXPECT_TRUE(h.backend.capturedAreas.empty());
        EXPECT_EQ(h.stateChanges, (std::vector<bool>{true, false}));
    }
}

TEST_F(CaptureFlowModes, ReplayOfAnAreaOnAnUnpluggedDisplayUsesTheMainDisplay) {
    preferences.setLastCaptureSelection(StoredCaptureSelection::area(1800, 50, 400, 300, 11));
    backend.displayList.pop_back();  // display 11 unplugged
    flow.replayLast();
    settle();
    EXPECT_TRUE(alerts.shown.empty());
    ASSERT_EQ(quickAccess.shown.size(), 1u);
    EXPECT_EQ(displayIndexOf(quickAccess.shown[0].image), 0);
    // Kept inside the 1440-point main display: local x 1040.
    EXPECT_EQ(quickAccess.shown[0].image->row(0)[0], uint8_t(1040 % 256));
    EXPECT_EQ(preferences.lastCaptureSelection(), StoredCaptureSelection::area(1040, 50, 400, 300, 7));
}

}  // namespace
}  // namespace tessarin
