#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "core/capture/PixelCrop.h"
#include "core/common/Log.h"

namespace tessarin {
namespace {

struct CapturedLog final : LogSink {
    std::vector<std::string> lines;
    LogSink* previous = setLogSink(this);
    ~CapturedLog() override { setLogSink(previous); }
    void write(LogLevel, std::string_view, std::string_view message) override { lines.emplace_back(message); }
};

const Rect kFrame{0, 0, 1512, 982};
const Size kImage{3024, 1964};

TEST(PixelAlignedCrop, FlipsScalesAndRoundsOutwards) {
    // 100x50 points at the top-left corner of a 2x display.
    EXPECT_EQ(pixelAlignedCropRect({0, 932, 100, 50}, kFrame, 2, kImage), (PixelRect{0, 0, 200, 100}));
    // Half points round outwards to whole pixels.
    EXPECT_EQ(pixelAlignedCropRect({10.2, 931.7, 10.1, 10}, {0, 0, 1512, 982}, 1, {1512, 982}),
              (PixelRect{10, 40, 11, 11}));
}

TEST(PixelAlignedCrop, DisplayLocalForOffsetFrames) {
    const Rect frame{1512, -200, 1920, 1080};
    EXPECT_EQ(pixelAlignedCropRect({1522, 660, 300, 200}, frame, 1, {1920, 1080}), (PixelRect{10, 20, 300, 200}));
}

TEST(PixelAlignedCrop, PartlyOutsideIsIntersected) {
    EXPECT_EQ(pixelAlignedCropRect({-10, -10, 50, 50}, {0, 0, 100, 100}, 1, {100, 100}), (PixelRect{0, 60, 40, 40}));
}

TEST(PixelAlignedCrop, NonFiniteOrEmptyGivesNothing) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    EXPECT_FALSE(pixelAlignedCropRect({nan, 0, 10, 10}, kFrame, 2, kImage));
    EXPECT_FALSE(pixelAlignedCropRect({0, 0, inf, 10}, kFrame, 2, kImage));
    EXPECT_FALSE(pixelAlignedCropRect({0, 0, 10, 10}, kFrame, nan, kImage));
    EXPECT_FALSE(pixelAlignedCropRect({0, 0, 10, 10}, kFrame, 0, kImage));
    EXPECT_FALSE(pixelAlignedCropRect({0, 0, 0, 10}, kFrame, 1, kImage));
    EXPECT_FALSE(pixelAlignedCropRect({5000, 5000, 10, 10}, kFrame, 1, kImage));  // entirely off the image
}

TEST(PixelAlignedCrop, FullImageFallbackOnlyOnRequestAndLogged) {
    CapturedLog log;
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(pixelAlignedCropRectOrFullImage({nan, 0, 10, 10}, kFrame, 2, kImage), (PixelRect{0, 0, 3024, 1964}));
    ASSERT_EQ(log.lines.size(), 1u);
    EXPECT_NE(log.lines[0].find("pixelAlignedCropRect got non-finite input rect="), std::string::npos);
    EXPECT_NE(log.lines[0].find("; falling back to full image"), std::string::npos);
}

TEST(SanitizedPixelSize, RoundsClampsAndLogs) {
    CapturedLog log;
    EXPECT_EQ(sanitizedPixelSize({1919.5, 1080.4}, "test"), (PixelSize{1920, 1080}));
    EXPECT_TRUE(log.lines.empty());
    EXPECT_EQ(sanitizedPixelSize({0, 10}, "makeConfiguration.outputSize"), (PixelSize{1, 10}));
    EXPECT_EQ(sanitizedPixelSize({std::nan(""), -5}, "ctx"), (PixelSize{1, 1}));
    ASSERT_EQ(log.lines.size(), 2u);
    EXPECT_EQ(log.lines[0].rfind("makeConfiguration.outputSize got invalid size ", 0), 0u);
    EXPECT_NE(log.lines[0].find("; clamped to 1x10"), std::string::npos);
}

}  // namespace
}  // namespace tessarin
