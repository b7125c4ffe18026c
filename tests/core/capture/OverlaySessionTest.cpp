#include <gtest/gtest.h>

#include <functional>

#include "OverlayTestSupport.h"
#include "core/capture/OverlaySession.h"

namespace tessarin {
namespace {

using namespace OverlayTests;
using Key = OverlayKeyPress::Key;

DisplayDescription display(uint32_t id, Rect frame) {
    DisplayDescription d;
    d.displayID = id;
    d.frame = d.visibleFrame = frame;
    return d;
}

// A laptop panel and a taller monitor to its right, raised by 100 points.
std::vector<DisplayDescription> twoDisplays() {
    return {display(1, {0, 0, 1440, 900}), display(2, {1440, 100, 1920, 1080})};
}

void dragOn(OverlaySession& session, size_t index, Point from, Point to) {
    session.mouseDown(index, from);
    session.mouseDragged(index, to);
    session.mouseUp(index, to);
}

TEST(OverlaySession, StartingASelectionOnOneDisplayClearsTheOthers) {
    OverlaySession session(twoDisplays(), request());
    dragOn(session, 0, {100, 100}, {300, 300});
    ASSERT_TRUE(session.view(0).currentSelection());
    const OverlaySessionResponse response = session.mouseDown(1, {500, 500});
    EXPECT_FALSE(session.view(0).currentSelection());
    EXPECT_TRUE(session.view(1).currentSelection());
    const auto repaintOf = [&response](size_t index) {
        for (const auto& r : response.repaints) {
            if (r.display == index) return r.rects;
        }
        return std::vector<Rect>{};
    };
    EXPECT_TRUE(covered(repaintOf(0), {200, 200}));  // the cleared selection is masked again
}

TEST(OverlaySession, KeysGoToTheDisplayWithTheSelectionElseTheStartingOne) {
    OverlaySession session(twoDisplays(), request(), 1);
    EXPECT_EQ(session.keyDisplay(), 1u);
    session.keyDown({Key::r});
    EXPECT_EQ(session.view(1).activePreset(), CapturePreset::builtIn()[1]);
    EXPECT_EQ(session.view(0).activePreset(), CapturePreset::freeform());

    dragOn(session, 0, {100, 100}, {300, 250});
    EXPECT_EQ(session.keyDisplay(), 0u);
    const OverlaySessionResponse response = session.keyDown({Key::returnKey});
    EXPECT_TRUE(response.ended);
    ASSERT_TRUE(session.outcome());
    EXPECT_EQ(session.outcome()->selection.screen.displayID, 1u);
    EXPECT_EQ(session.outcome()->action, CaptureSelectionAction::capture);
}

TEST(OverlaySession, TheFirstEndingWinsAndLaterEventsAreIgnored) {
    OverlaySession session(twoDisplays(), request());
    dragOn(session, 0, {100, 100}, {300, 300});
    EXPECT_TRUE(session.keyDown({Key::escape}).ended);
    EXPECT_TRUE(session.hasEnded());
    EXPECT_FALSE(session.outcome());
    EXPECT_FALSE(session.keyDown({Key::returnKey}).ended);
    dragOn(session, 1, {10, 10}, {200, 200});
    EXPECT_FALSE(session.view(1).currentSelection());
    EXPECT_FALSE(session.outcome());
    EXPECT_FALSE(session.displaysChanged({}));
}

TEST(OverlaySession, AChangeOfTheDisplaysCancelsIt) {
    const std::function<void(std::vector<DisplayDescription>&)> changes[] = {
        [](auto& displays) { displays[1].frame.width = 2560; },
        [](auto& displays) { displays.pop_back(); },
    };
    for (const auto& change : changes) {
        auto now = twoDisplays();
        change(now);
        OverlaySession session(twoDisplays(), request());
        dragOn(session, 0, {100, 100}, {300, 300});
        EXPECT_FALSE(session.displaysChanged(twoDisplays()));  // a notice that changes nothing
        EXPECT_FALSE(session.hasEnded());
        EXPECT_TRUE(session.displaysChanged(now));
        EXPECT_TRUE(session.hasEnded());
        EXPECT_FALSE(session.outcome());
    }
}

TEST(OverlaySession, AnInitialAreaAppearsOnTheDisplayHoldingItsCentre) {
    CaptureSelectionRequest withArea = request();
    withArea.initialRect = Rect{1500, 200, 300, 200};
    OverlaySession session(twoDisplays(), withArea);
    EXPECT_FALSE(session.view(0).currentSelection());
    EXPECT_EQ(session.view(1).currentSelection(), (Rect{60, 100, 300, 200}));
    EXPECT_EQ(session.keyDisplay(), 1u);
    session.keyDown({Key::returnKey});
    ASSERT_TRUE(session.outcome());
    EXPECT_EQ(session.outcome()->selection.rect, (Rect{1500, 200, 300, 200}));
}

TEST(OverlaySession, EventsForAnUnknownDisplayOrWithoutDisplaysDoNothing) {
    OverlaySession session(twoDisplays(), request(), 5);  // an unknown start: the first display
    EXPECT_EQ(session.keyDisplay(), 0u);
    EXPECT_TRUE(session.mouseDown(9, {10, 10}).repaints.empty());
    EXPECT_FALSE(session.rightMouseDown(9, {10, 10}));
    OverlaySession empty({}, request());
    EXPECT_FALSE(empty.keyDown({Key::escape}).ended);
    empty.cancel();
    EXPECT_TRUE(empty.hasEnded());
}

}  // namespace
}  // namespace tessarin
