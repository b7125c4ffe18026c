#include "core/recordingflow/RecordingChromeLayout.h"

#include <gtest/gtest.h>

#include <string>

namespace tessarin {
namespace {

bool overlaps(const Rect& a, const Rect& b) {
    return a.minX() < b.maxX() && b.minX() < a.maxX() && a.minY() < b.maxY() && b.minY() < a.maxY();
}

const Rect kDisplay{0, 0, 1920, 1080};
const Rect kRight{1920, 0, 1280, 1024};

TEST(RecordingChromeLayoutTest, TheRingSurroundsTheSelectionWithoutTouchingItInsideTheDisplay) {
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
    // In the display's corner only the bottom and right bands remain.
    const auto clipped = layoutRecordingChrome({0, 0, 500, 400}, {kDisplay}, 0, configuration);
    EXPECT_EQ(clipped.frame, (Rect{0, 0, 514, 414}));
    EXPECT_EQ(clipped.ring.size(), 2u);
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

TEST(RecordingWarningPlacement, TheBoxGoesInTheWidestFreeStripElseTheFarthestCorner) {
    const Size box{360, 140};
    struct Case {
        Rect selection;
        const char* where;
    };
    const Case cases[] = {
        {{300, 240, 960, 600}, "below (the widest strip)"},
        {{0, 300, 1920, 780}, "above"},
        {{500, 0, 1420, 1080}, "left"},
        {{40, 40, 1840, 1000}, "no strip: a corner, inside"},
        {kDisplay, "full screen: a corner"},
    };
    for (const Case& c : cases) {
        const Point at = placeOutsideRecording(box, c.selection, kDisplay);
        const Rect placed{at.x, at.y, box.width, box.height};
        EXPECT_GE(placed.minX(), kDisplay.minX()) << c.where;
        EXPECT_GE(placed.minY(), kDisplay.minY()) << c.where;
        EXPECT_LE(placed.maxX(), kDisplay.maxX()) << c.where;
        EXPECT_LE(placed.maxY(), kDisplay.maxY()) << c.where;
        const bool stripCase = std::string(c.where).find("corner") == std::string::npos;
        if (stripCase) {
            EXPECT_FALSE(overlaps(placed, c.selection)) << c.where;
        }
    }
    // The strip chosen is the roomiest: below a wide selection high up.
    const Point below = placeOutsideRecording(box, {300, 100, 1320, 500}, kDisplay);
    EXPECT_GE(below.y, 616);
    // No strip: the corner away from the selection's middle (left half → right corner).
    const Point corner = placeOutsideRecording(box, {40, 40, 1800, 1000}, kDisplay);
    EXPECT_GT(corner.x, 960);
}

}  // namespace
}  // namespace tessarin
