#include "core/recordingflow/TrimRangeControl.h"

#include <gtest/gtest.h>

#include <cmath>

namespace tessarin {
namespace {

using Part = TrimRangeControl::Part;

TrimRangeControl tenSecondsOver(double left, double width) {
    TrimRangeControl control(10.0);
    control.setTrack(left, width);
    return control;
}

TEST(TrimRangeControlTest, TimeAndPositionMapBothWays) {
    const auto control = tenSecondsOver(20, 500);
    EXPECT_DOUBLE_EQ(control.xForTime(5), 270);
    EXPECT_DOUBLE_EQ(control.xForTime(99), 520);
    EXPECT_DOUBLE_EQ(control.timeForX(270), 5);
    EXPECT_DOUBLE_EQ(control.timeForX(-40), 0);
    EXPECT_DOUBLE_EQ(control.timeForX(900), 10);
}

TEST(TrimRangeControlTest, APressTakesTheNearerHandleElseMovesThePlayhead) {
    auto control = tenSecondsOver(0, 1000);
    struct Case {
        double x;
        Part part;
    };
    for (const Case& c : {Case{3, Part::startHandle}, Case{-6, Part::startHandle}, Case{995, Part::endHandle},
                          Case{500, Part::playhead}, Case{-30, Part::none}}) {
        SCOPED_TRACE(c.x);
        EXPECT_EQ(control.hitTest(c.x), c.part);
    }
    EXPECT_EQ(control.press(400), Part::playhead);
    EXPECT_DOUBLE_EQ(control.playhead(), 4);
    EXPECT_EQ(control.playheadText(), "00:04.0");
}

TEST(TrimRangeControlTest, HandlesKeepTheMinimumApartAndCarryThePlayhead) {
    auto control = tenSecondsOver(0, 1000);
    control.press(0);
    control.drag(250);
    control.release();
    EXPECT_EQ(control.range(), (MediaTimeRange{2.5, 7.5}));
    EXPECT_DOUBLE_EQ(control.playhead(), 2.5);

    control.press(1000);
    control.drag(100);  // past the start handle: stops the minimum after it
    EXPECT_DOUBLE_EQ(control.range().start, 2.5);
    EXPECT_NEAR(control.range().end(), 2.6, 1e-9);
    control.release();
    EXPECT_EQ(control.rangeText(), "00:02.5 - 00:02.6");
}

TEST(TrimRangeControlTest, OddInputsStayInBounds) {
    TrimRangeControl empty(0);
    empty.setTrack(0, 100);
    EXPECT_EQ(empty.range(), (MediaTimeRange{0, 0}));
    EXPECT_DOUBLE_EQ(empty.timeForX(50), 0);
    empty.press(50);
    EXPECT_EQ(empty.range(), (MediaTimeRange{0, 0}));

    TrimRangeControl shortOne(0.05);  // shorter than the minimum: kept whole
    EXPECT_EQ(shortOne.range(), (MediaTimeRange{0, 0.05}));

    auto control = tenSecondsOver(0, 0);  // not laid out yet
    EXPECT_DOUBLE_EQ(control.timeForX(10), 0);
    control.setRange({-4, 100});
    EXPECT_EQ(control.range(), (MediaTimeRange{0, 10}));
    control.setRange({std::nan(""), 2});
    EXPECT_DOUBLE_EQ(control.range().start, 0);

    auto playing = tenSecondsOver(0, 1000);  // the playhead stays inside the recording
    playing.setRange({2, 3});
    playing.setPlayhead(-1);
    EXPECT_DOUBLE_EQ(playing.playhead(), 0);
    playing.setPlayhead(12);
    EXPECT_DOUBLE_EQ(playing.playhead(), 10);
}

TEST(TrimRangeControlTest, TheKeyboardStepsThePlayheadAndSetsTheEnds) {
    TrimRangeControl control(10.0);
    control.stepPlayhead(1.0);
    control.stepPlayhead(0.1);
    EXPECT_TRUE(control.startAtPlayhead());
    EXPECT_NEAR(control.range().start, 1.1, 1e-9);
    control.stepPlayhead(2.0);
    EXPECT_TRUE(control.endAtPlayhead());
    EXPECT_NEAR(control.range().end(), 3.1, 1e-9);
    EXPECT_FALSE(control.endAtPlayhead());  // already there
    control.stepPlayhead(-3);  // before the start: the start can move back
    EXPECT_TRUE(control.startAtPlayhead());
    EXPECT_NEAR(control.range().start, 0.1, 1e-9);
    control.stepPlayhead(99);
    EXPECT_DOUBLE_EQ(control.playhead(), 10);
}

}  // namespace
}  // namespace tessarin
