#include <gtest/gtest.h>

#include "core/capture/CaptureOverlayStyle.h"

namespace tessarin {
namespace {

using CaptureOverlayStyle::Handle;

TEST(OverlayHandles, CornersReachSixPointsOutAndTwentyTwoInThenEdgePills) {
    const Rect s{100, 100, 200, 100};  // x 100...300, y 100...200, top at y 200
    const struct { Point p; std::optional<Handle> expected; } rows[] = {
        {{94, 206}, Handle::topLeft},       // the outer edge of the 6-point band outside the corner
        {{93, 205}, std::nullopt},          // beyond it
        {{122, 178}, Handle::topLeft},      // inside, within 22 points of the corner
        {{123, 177}, std::nullopt},         // inside, past the corner square
        {{200, 209}, Handle::top},          // pills: 36 long, 10 either side of the edge
        {{219, 200}, std::nullopt},
    };
    for (const auto& [p, expected] : rows) EXPECT_EQ(CaptureOverlayStyle::handle(p, s), expected) << p.x << "," << p.y;
}

TEST(OverlayHandles, OverlappingAreasGoToTheFirstInOrder) {
    const Rect tiny{100, 100, 30, 30};
    EXPECT_EQ(CaptureOverlayStyle::handle({115, 115}, tiny), Handle::topLeft);     // in all four corners
    EXPECT_EQ(CaptureOverlayStyle::handle({115, 100}, tiny), Handle::bottomLeft);  // bottom corners only
    const Rect flat{100, 100, 200, 10};
    EXPECT_EQ(CaptureOverlayStyle::handle({200, 105}, flat), Handle::top);  // top pill before bottom pill
}

TEST(OverlayHandles, KnobsSitOnTheCornersAndEdgeMidpoints) {
    const Rect s{100, 100, 200, 100};
    const struct { Handle handle; Point centre; } rows[] = {
        {Handle::topLeft, {100, 200}}, {Handle::top, {200, 200}},         {Handle::topRight, {300, 200}},
        {Handle::right, {300, 150}},   {Handle::bottomRight, {300, 100}}, {Handle::bottom, {200, 100}},
        {Handle::bottomLeft, {100, 100}}, {Handle::left, {100, 150}},
    };
    for (const auto& [handle, centre] : rows) {
        const Rect knob = CaptureOverlayStyle::knob(handle, s);
        EXPECT_EQ((Point{knob.midX(), knob.midY()}), centre) << int(handle);
        EXPECT_EQ(CaptureOverlayStyle::handle(centre, s), handle) << "a knob is grabbed where it is drawn";
    }
}

TEST(SelectionSizeLabel, RoundsHalvesAwayFromZero) {
    const struct { Rect rect; const char* expected; } rows[] = {
        {{10, 10, 640.5, 479.5}, "641 \u00d7 480"},
        {{0, 0, 0.4, 0.5}, "0 \u00d7 1"},
        {{0, 0, -2.5, 10}, "-3 \u00d7 10"},
    };
    for (const auto& [rect, expected] : rows) EXPECT_EQ(CaptureOverlayStyle::selectionSizeLabel(rect), expected);
}

}  // namespace
}  // namespace tessarin
