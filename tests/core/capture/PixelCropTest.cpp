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

const double nan = std::numeric_limits<double>::quiet_NaN();
const double inf = std::numeric_limits<double>::infinity();
const Rect kFrame{0, 0, 1512, 982};
const Size kImage{3024, 1964};

TEST(PixelAlignedCrop, FlipsScalesRoundsOutwardsAndIntersects) {
    const struct { Rect rect, frame; double scale; Size image; PixelRect expected; } rows[] = {
        {{0, 932, 100, 50}, kFrame, 2, kImage, {0, 0, 200, 100}},  // top-left corner of a 2x display
        {{10.2, 931.7, 10.1, 10}, kFrame, 1, {1512, 982}, {10, 40, 11, 11}},  // outwards to whole pixels
        {{1522, 660, 300, 200}, {1512, -200, 1920, 1080}, 1, {1920, 1080}, {10, 20, 300, 200}},  // display-local
        {{-10, -10, 50, 50}, {0, 0, 100, 100}, 1, {100, 100}, {0, 60, 40, 40}},  // partly outside
    };
    for (const auto& [rect, frame, scale, image, expected] : rows) {
        EXPECT_EQ(pixelAlignedCropRect(rect, frame, scale, image), expected) << rect.x << "," << rect.y;
    }
}

TEST(PixelAlignedCrop, NonFiniteEmptyOrOffTheImageGivesNothing) {
    const std::pair<Rect, double> rows[] = {
        {{nan, 0, 10, 10}, 2}, {{0, 0, inf, 10}, 2}, {{0, 0, 10, 10}, nan},
        {{0, 0, 10, 10}, 0},   {{0, 0, 0, 10}, 1},   {{5000, 5000, 10, 10}, 1},
    };
    for (const auto& [rect, scale] : rows) {
        EXPECT_FALSE(pixelAlignedCropRect(rect, kFrame, scale, kImage)) << rect.x << "," << rect.width << " @" << scale;
    }
}

TEST(PixelAlignedCrop, RefusalIsLogged) {
    CapturedLog log;
    EXPECT_FALSE(pixelAlignedCropRect({nan, 0, 10, 10}, kFrame, 2, kImage));
    ASSERT_EQ(log.lines.size(), 1u);
    EXPECT_EQ(log.lines[0].rfind("pixelAlignedCropRect got non-finite input rect=", 0), 0u);
}

TEST(SanitizedPixelSize, RoundsClampsAndLogs) {
    CapturedLog log;
    EXPECT_EQ(sanitizedPixelSize({1919.5, 1080.4}, "test"), (PixelSize{1920, 1080}));
    EXPECT_TRUE(log.lines.empty());
    EXPECT_EQ(sanitizedPixelSize({0, 10}, "makeConfiguration.outputSize"), (PixelSize{1, 10}));
    EXPECT_EQ(sanitizedPixelSize({nan, -5}, "ctx"), (PixelSize{1, 1}));
    ASSERT_EQ(log.lines.size(), 2u);
    EXPECT_EQ(log.lines[0].rfind("makeConfiguration.outputSize got invalid size ", 0), 0u);
    EXPECT_NE(log.lines[0].find("; clamped to 1x10"), std::string::npos);
}

}  // namespace
}  // namespace tessarin
