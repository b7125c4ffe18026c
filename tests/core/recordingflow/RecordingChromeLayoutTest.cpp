#include "core/recordingflow/RecordingChromeLayout.h"

#include <gtest/gtest.h>

namespace tessarin {
namespace {

bool overlaps(const Rect& a, const Rect& b) {
    return a.minX() < b.maxX() && b.minX() < a.maxX() && a.minY() < b.maxY() && b.minY() < a.maxY();
}

const Rect kDisplay{0, 0, 1920, 1080};
const Rect kRight{1920, 0, 1280, 1024};

TEST(RecordingChromeLayoutTest, TheRingSurroundsTheSelectionWithoutTouchingIt) {
    const RecordingConfiguration configuration;
    const Rect selection{400, 300, 640, 360};
    const auto layout = layoutRecordingChrome(selection, {kDisplay}, 0, configuration);
    EXPECT_EQ(layout.frame, (Rect{386, 286, 668, 388}));
    ASSERT_EQ(layout.ring.size(), 4u);
    double area = 0;
    for (const Rect& band : layout.ring) {
        EXPECT_FALSE(overlaps(band, selection));
        area += band.width * band.height;
    }
    EXPECT_DOUBLE_EQ(area, 668.0 * 388 - 640.0 * 360);
}

TEST(RecordingChromeLayoutTest, TheRingIsClippedToTheDisplay) {
    const auto layout = layoutRecordingChrome({0, 0, 500, 400}, {kDisplay}, 0, RecordingConfiguration{});
    EXPECT_EQ(layout.frame, (Rect{0, 0, 514, 414}));
    EXPECT_EQ(layout.ring.size(), 2u);  // only the bottom and right bands remain
}

TEST(RecordingChromeLayoutTest, ThePanelGoesWhereItCoversNothingRecorded) {
    const RecordingConfiguration configuration;  // panel 236 × 44, anchored 68 above
    struct Case {
        const char* name;
        Rect selection;
        std::vector<Rect> displays;
        RecordingPanelPlacement placement;
        Rect panel;
    };
    const Case cases[] = {
        {"room above: centred, its top 68 above", {400, 300, 640, 360}, {kDisplay}, RecordingPanelPlacement::aboveSelection,
         {602, 232, 236, 44}},
        {"at the top edge: below", {400, 10, 640, 360}, {kDisplay}, RecordingPanelPlacement::belowSelection,
         {602, 394, 236, 44}},
        {"near the left edge: pushed inside", {0, 300, 150, 200}, {kDisplay}, RecordingPanelPlacement::aboveSelection,
         {0, 232, 236, 44}},
        {"full screen with a second display", kDisplay, {kDisplay, kRight}, RecordingPanelPlacement::otherDisplay,
         {2442, 966, 236, 44}},
        {"full screen alone: inside, bottom right", kDisplay, {kDisplay}, RecordingPanelPlacement::insideRecording,
         {1670, 1022, 236, 44}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto layout = layoutRecordingChrome(c.selection, c.displays, 0, configuration);
        EXPECT_EQ(layout.placement, c.placement);
        EXPECT_EQ(layout.panel, c.panel);
        if (c.placement != RecordingPanelPlacement::insideRecording) {
            EXPECT_FALSE(overlaps(layout.panel, c.selection));
            for (const Rect& band : layout.ring) EXPECT_FALSE(overlaps(layout.panel, band));
        }
    }
}

TEST(RecordingChromeLayoutTest, ASelectionOnTheSecondDisplayUsesItsBounds) {
    const Rect selection{2000, 500, 400, 300};
    const auto layout = layoutRecordingChrome(selection, {kDisplay, kRight}, 1, RecordingConfiguration{});
    EXPECT_EQ(layout.placement, RecordingPanelPlacement::aboveSelection);
    EXPECT_GE(layout.panel.minX(), kRight.minX());
}

}  // namespace
}  // namespace tessarin
