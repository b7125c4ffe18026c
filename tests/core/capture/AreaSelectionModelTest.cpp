#include <gtest/gtest.h>

#include "OverlayTestSupport.h"

namespace tessarin {
namespace {

using namespace OverlayTests;
using CaptureOverlayStyle::Handle;
using Key = OverlayKeyPress::Key;

const Size kDisplay{1440, 900};

AreaSelectionModel modelWithSelection(Rect selection, CaptureSelectionRequest r = request()) {
    return AreaSelectionModel(kDisplay, std::move(r), {}, selection);
}

// The rectangle's rules (anchors, minimum, ratio) are CaptureSelectionGeometry's;
// the model rounds them outward to whole points.
TEST(AreaSelectionDrag, CreatesIntegralRectanglesFromTheStartPoint) {
    const struct { Point from, to; Rect expected; } rows[] = {
        {{100.4, 100.6}, {300.2, 250.7}, {100, 100, 201, 151}},  // rounded outward
        {{100, 100}, {5000, -50}, {100, 0, 1340, 100}},          // clamped into the display
    };
    for (const auto& [from, to, expected] : rows) {
        AreaSelectionModel model(kDisplay, request());
        drag(model, from, to);
        EXPECT_EQ(model.currentSelection(), expected) << from.x << "," << from.y << " to " << to.x << "," << to.y;
        EXPECT_FALSE(model.interaction());
    }
}

TEST(AreaSelectionDrag, AFixedSizePresetIsPlacedCentredOnTheClickInsideTheDisplayAndThenMoved) {
    const struct { CapturePreset preset; Point click; Rect expected; } rows[] = {
        {CapturePreset::fixedSize(1280, 720), {1400, 450}, {160, 90, 1280, 720}},  // flush with the right edge
        {CapturePreset::fixedSize(1920, 1080), {700, 450}, {0, 0, 1440, 900}},  // larger than the display
        {CapturePreset::fixedSize(0, -5), {700, 450}, {700, 450, 1, 1}},        // at least one point
    };
    for (const auto& [preset, click, expected] : rows) {
        AreaSelectionModel model(kDisplay, request(CaptureSelectionActionStyle::allInOne(), true, preset));
        model.mouseDown(click);
        EXPECT_EQ(model.currentSelection(), expected) << preset.id();
        ASSERT_TRUE(model.interaction());
        EXPECT_TRUE(std::holds_alternative<AreaSelectionModel::Moving>(*model.interaction()));
    }
}

TEST(AreaSelectionDrag, MovingKeepsTheSizeAndStaysOnTheDisplay) {
    const struct { Point to; Rect expected; } rows[] = {
        {{2000, 150}, {1240, 100, 200, 100}},
        {{160.6, 146.8}, {111, 97, 200, 100}},  // whole-point steps, the size unchanged
    };
    for (const auto& [to, expected] : rows) {
        AreaSelectionModel model = modelWithSelection({100, 100, 200, 100});
        model.mouseDown({150, 150});
        EXPECT_EQ(model.cursor({150, 150}), OverlayCursor::closedHand);
        model.mouseDragged(to);
        EXPECT_EQ(model.currentSelection(), expected) << to.x << "," << to.y;
    }
}

TEST(AreaSelectionDrag, ResizingMovesTheGrabbedEdgesWithinTheDisplayAndTheMinimum) {
    const struct { Point grab, to; Rect expected; } rows[] = {
        {{100, 150}, {500, 150}, {276, 100, 24, 100}},      // left past right: stops at the minimum width
        {{300, 150}, {2000, 150}, {100, 100, 1340, 100}},   // right: up to the display edge
        {{95, 205}, {50.5, 300.2}, {50, 100, 250, 201}},    // top-left, rounded outward
        {{200, 200}, {900, 300}, {100, 100, 200, 200}},     // an edge pill moves one edge only
    };
    for (const auto& [grab, to, expected] : rows) {
        AreaSelectionModel model = modelWithSelection({100, 100, 200, 100});
        model.mouseDown(grab);
        ASSERT_TRUE(model.interaction() && std::holds_alternative<AreaSelectionModel::Resizing>(*model.interaction()));
        model.mouseDragged(to);
        model.mouseUp(to);
        EXPECT_EQ(model.currentSelection(), expected) << grab.x << "," << grab.y;
    }
}

TEST(AreaSelectionDrag, ADisplaySmallerThanTheMinimumIsSelectedWhole) {
    AreaSelectionModel model({20, 16}, request());
    drag(model, {10, 10}, {10, 10});
    EXPECT_EQ(model.currentSelection(), (Rect{0, 0, 20, 16}));
    EXPECT_TRUE(model.keyDown({Key::returnKey}).confirmed);
}

TEST(AreaSelectionDrag, APresetChangeDuringAMoveContinuesFromTheNewRectangle) {
    AreaSelectionModel model = modelWithSelection({100, 100, 200, 100});
    model.mouseDown({150, 150});
    EXPECT_FALSE(model.keyDown({Key::r}).repaint.empty());  // 1:1 around the centre: 100,50 200x200
    model.mouseDragged({160, 150});
    EXPECT_EQ(model.currentSelection(), (Rect{110, 50, 200, 200}));
}

TEST(AreaSelectionKeys, ActByMeaning) {
    AreaSelectionModel model(kDisplay, request());
    const OverlayResponse other = model.keyDown({Key::other});
    EXPECT_FALSE(other.handled || other.cancelled);
    const OverlayResponse returnWithoutSelection = model.keyDown({Key::returnKey});
    EXPECT_TRUE(returnWithoutSelection.handled && !returnWithoutSelection.confirmed);

    AreaSelectionModel withoutPresets(kDisplay, request(CaptureSelectionActionStyle::allInOne(), false));
    EXPECT_FALSE(withoutPresets.keyDown({Key::r}).handled);
    EXPECT_EQ(withoutPresets.activePreset(), CapturePreset::freeform());
}

// The order of the cycle is cycledPresetIndex's (SelectionGeometryTest).
TEST(AreaSelectionKeys, RCyclesThePresetsAndShiftRGoesBack) {
    for (const bool shift : {false, true}) {
        AreaSelectionModel model(kDisplay, request());
        EXPECT_TRUE(model.keyDown({Key::r, shift}).handled);
        const CapturePreset expected = shift ? CapturePreset::builtIn().back() : CapturePreset::builtIn()[1];
        EXPECT_EQ(model.activePreset(), expected);
        EXPECT_EQ(model.toolbar().presetBadgeText(), expected.compactName());
    }
}

TEST(AreaSelectionMenu, ListsThePresetsWithTheActiveOneCheckedAndChoosesOne) {
    AreaSelectionModel model = modelWithSelection({100, 100, 200, 100});
    const auto menu = model.rightMouseDown({10, 10});
    ASSERT_TRUE(menu);
    ASSERT_EQ(menu->size(), CapturePreset::builtIn().size());
    EXPECT_EQ((*menu)[0], (PresetMenuItem{"Freeform", true}));
    model.choosePreset(7);
    EXPECT_EQ(model.activePreset(), CapturePreset::builtIn()[7]);
    EXPECT_EQ(model.currentSelection(), (Rect{0, 0, 1440, 900}));  // 1920 x 1080 held to the display
    EXPECT_TRUE((*model.rightMouseDown({10, 10}))[7].checked);
    EXPECT_TRUE(model.choosePreset(99).repaint.empty());

    AreaSelectionModel withoutPresets(kDisplay, request(CaptureSelectionActionStyle::allInOne(), false));
    EXPECT_FALSE(withoutPresets.rightMouseDown({10, 10}));
}

TEST(AreaSelectionConfirm, ReturnUsesTheButtonsActionElseCapture) {
    const struct { CaptureSelectionActionStyle style; CaptureSelectionAction expected; } rows[] = {
        {CaptureSelectionActionStyle::button("Copy", "edit-copy", CaptureSelectionAction::copy),
         CaptureSelectionAction::copy},
        {CaptureSelectionActionStyle::allInOne(), CaptureSelectionAction::capture},
    };
    for (const auto& [style, expected] : rows) {
        for (Key key : {Key::returnKey, Key::keypadEnter}) {
            AreaSelectionModel model = modelWithSelection({100, 100, 200, 100}, request(style));
            const OverlayResponse response = model.keyDown({key});
            ASSERT_TRUE(response.confirmed);
            EXPECT_EQ(response.confirmed->action, expected);
            EXPECT_EQ(response.confirmed->selection, (Rect{100, 100, 200, 100}));
        }
    }
}

TEST(AreaSelectionConfirm, ReturnRightAfterAMouseDownConfirmsNothing) {
    AreaSelectionModel model(kDisplay, request());
    model.mouseDown({400, 400});
    EXPECT_FALSE(model.keyDown({Key::returnKey}).confirmed);  // a zero-size start
    model.mouseDragged({410, 410});                           // held to the minimum
    const OverlayResponse response = model.keyDown({Key::returnKey});
    ASSERT_TRUE(response.confirmed);
    EXPECT_EQ(response.confirmed->selection, (Rect{400, 400, 24, 24}));
}

TEST(AreaSelectionToolbarClicks, ActOnReleaseOverTheSameButtonAndNeverMoveTheSelection) {
    AreaSelectionModel model = modelWithSelection({400, 400, 300, 200}, request(CaptureSelectionActionStyle::recording(true)));
    const auto items = model.toolbar().layout().items;
    ASSERT_EQ(items[1].kind, OverlayToolbarItem::Kind::microphoneToggle);
    const Point microphone = centre(items[1].frame);
    const Point record = centre(items[2].frame);

    model.mouseDown(microphone);
    EXPECT_TRUE(model.ignoringMouseSequence());
    model.mouseDragged({50, 50});
    EXPECT_EQ(model.currentSelection(), (Rect{400, 400, 300, 200}));
    model.mouseUp(record);  // released elsewhere: nothing
    EXPECT_TRUE(model.toolbar().microphoneEnabled());
    model.mouseDown(microphone);
    model.mouseUp(microphone);
    EXPECT_FALSE(model.toolbar().microphoneEnabled());

    model.mouseDown(record);
    const OverlayResponse response = model.mouseUp(record);
    ASSERT_TRUE(response.confirmed);
    EXPECT_EQ(*response.confirmed, (OverlayConfirmation{{400, 400, 300, 200}, false, CaptureSelectionAction::record}));
}

TEST(AreaSelectionCursor, FollowsWhatAPressWouldDo) {
    AreaSelectionModel model = modelWithSelection({100, 100, 200, 100});
    const struct { Point p; OverlayCursor expected; } rows[] = {
        {{600, 600}, OverlayCursor::crosshair},     {{200, 150}, OverlayCursor::openHand},
        {{95, 205}, OverlayCursor::resizeTopLeft},  {{91, 150}, OverlayCursor::resizeLeft},
        {centre(model.toolbar().frame()), OverlayCursor::arrow},
    };
    for (const auto& [p, expected] : rows) {
        EXPECT_EQ(model.cursor(p), expected) << p.x << "," << p.y;
        EXPECT_EQ(model.mouseMoved(p).cursor, expected) << p.x << "," << p.y;
    }
    model.mouseDown({95, 205});
    EXPECT_EQ(model.mouseDragged({600, 600}).cursor, OverlayCursor::resizeTopLeft);  // kept for the whole drag
}

}  // namespace
}  // namespace tessarin
