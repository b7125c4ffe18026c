#include <gtest/gtest.h>

#include "OverlayTestSupport.h"

namespace tessarin {
namespace {

using namespace OverlayTests;
using Kind = OverlayToolbarItem::Kind;

const Rect kDisplay{0, 0, 1440, 900};

std::vector<Kind> kinds(const OverlayToolbarLayout& layout) {
    std::vector<Kind> result;
    for (const auto& item : layout.items) result.push_back(item.kind);
    return result;
}

TEST(OverlayToolbar, OffersTheControlsOfEachActionStyle) {
    const CaptureSelectionToolbarController button(
        request(CaptureSelectionActionStyle::button("Copy", "edit-copy", CaptureSelectionAction::copy)));
    EXPECT_EQ(kinds(button.layout()), (std::vector<Kind>{Kind::presetBadge, Kind::actionButton}));

    const CaptureSelectionToolbarController recording(request(CaptureSelectionActionStyle::recording(true), false));
    EXPECT_EQ(kinds(recording.layout()), (std::vector<Kind>{Kind::microphoneToggle, Kind::actionButton}));
    EXPECT_FALSE(recording.presetBadgeText());

    const CaptureSelectionToolbarController allInOne(request());
    const auto items = allInOne.layout().items;
    ASSERT_EQ(items.size(), 1 + allCaptureSelectionActions.size());
    for (size_t i = 0; i < allCaptureSelectionActions.size(); ++i) EXPECT_EQ(items[i + 1].action, allCaptureSelectionActions[i]);
    EXPECT_FALSE(allInOne.microphoneEnabled());
}

TEST(OverlayToolbar, HidesTheActionsAskedFor) {
    const CaptureSelectionToolbarController toolbar(request(CaptureSelectionActionStyle::allInOne(
        {CaptureSelectionAction::scrolling, CaptureSelectionAction::timer, CaptureSelectionAction::record})));
    std::vector<CaptureSelectionAction> shown;
    for (const auto& item : toolbar.layout().items) {
        if (item.action) shown.push_back(*item.action);
    }
    EXPECT_EQ(shown, (std::vector<CaptureSelectionAction>{
                         CaptureSelectionAction::capture, CaptureSelectionAction::copy, CaptureSelectionAction::annotate,
                         CaptureSelectionAction::ocr, CaptureSelectionAction::fullScreen, CaptureSelectionAction::window,
                         CaptureSelectionAction::cancel}));
}

TEST(OverlayToolbar, FloatsBelowElseAboveElseInsideAndAlwaysOnTheDisplay) {
    const double gap = CaptureSelectionToolbarController::selectionGap;
    const double margin = CaptureSelectionToolbarController::displayMargin;
    enum class Where { below, above, inside };
    const struct { Rect selection; Where where; } rows[] = {
        {{400, 400, 300, 200}, Where::below},
        {{400, 20, 300, 200}, Where::above},       // no room below
        {{400, 0, 300, 880}, Where::inside},       // no room either side
        {{0, 400, 50, 50}, Where::below},          // at the left edge: held in by the margin
        {{1420, 400, 20, 50}, Where::below},       // at the right edge
    };
    for (const auto& [selection, where] : rows) {
        CaptureSelectionToolbarController toolbar(request());
        toolbar.place(selection, kDisplay);
        const Rect f = toolbar.frame();
        switch (where) {
            case Where::below: EXPECT_EQ(f.maxY(), selection.minY() - gap); break;
            case Where::above: EXPECT_EQ(f.minY(), selection.maxY() + gap); break;
            case Where::inside: EXPECT_EQ(f.minY(), selection.minY() + gap); break;
        }
        EXPECT_GE(f.minX(), margin) << selection.x;
        EXPECT_LE(f.maxX(), kDisplay.maxX() - margin) << selection.x;
        EXPECT_GE(f.minY(), margin);
        EXPECT_LE(f.maxY(), kDisplay.maxY() - margin);
    }
    CaptureSelectionToolbarController centred(request());
    centred.place({400, 400, 300, 200}, kDisplay);
    EXPECT_EQ(centred.frame().midX(), 550);

    CaptureSelectionToolbarController narrow(request());  // a display narrower than the toolbar
    narrow.place({0, 100, 100, 100}, {0, 0, 200, 300});
    EXPECT_EQ(narrow.frame().minX(), 0);
    EXPECT_GE(narrow.frame().minY(), 0);
}

TEST(OverlayToolbar, HitTestingFindsItsButtonsOnlyWhileVisible) {
    CaptureSelectionToolbarController toolbar(request());
    toolbar.place({400, 400, 300, 200}, kDisplay);
    const auto items = toolbar.layout().items;
    EXPECT_FALSE(toolbar.hitTestFloatingToolbar(centre(items[1].frame)));
    EXPECT_FALSE(toolbar.itemAt(centre(items[1].frame)));
    toolbar.updateVisibility(true);
    for (size_t i = 1; i < items.size(); ++i) EXPECT_EQ(toolbar.itemAt(centre(items[i].frame)), i);
    EXPECT_TRUE(toolbar.hitTestFloatingToolbar(centre(items[0].frame)));
    EXPECT_FALSE(toolbar.itemAt(centre(items[0].frame)));  // the badge is no button
    const Point betweenButtons{items[1].frame.maxX() + CaptureSelectionToolbarController::spacing / 2,
                               centre(items[1].frame).y};
    EXPECT_TRUE(toolbar.hitTestFloatingToolbar(betweenButtons));
    EXPECT_FALSE(toolbar.itemAt(betweenButtons));
    EXPECT_FALSE(toolbar.hitTestFloatingToolbar({10, 10}));
}

TEST(OverlayToolbar, TitledControlsAreMeasuredWithTheViewsFont) {
    const auto wide = [](std::string_view text) { return 20.0 * double(text.size()); };
    const CaptureSelectionToolbarController measured(
        request(CaptureSelectionActionStyle::button("Copy", "edit-copy", CaptureSelectionAction::copy), false), wide);
    const CaptureSelectionToolbarController estimated(
        request(CaptureSelectionActionStyle::button("Copy", "edit-copy", CaptureSelectionAction::copy), false));
    EXPECT_EQ(measured.layout().items[0].frame.width - estimated.layout().items[0].frame.width, 4 * (20 - 7));
}

}  // namespace
}  // namespace tessarin
