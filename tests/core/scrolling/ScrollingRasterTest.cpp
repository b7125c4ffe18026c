// Frame signatures, informative rows, hashes, votes and scores on synthetic frames.

#include <gtest/gtest.h>

#include "ScrollingTestSupport.h"
#include "core/scrolling/ScrollingAlignmentVerifier.h"

namespace tessarin {
namespace {

using testing::cutFrame;
using testing::frameOf;
using testing::makePage;
using testing::rasterOf;

TEST(ScrollingRaster, SampledColumnsSpreadBetweenTheMargins) {
    const struct {
        int64_t width;
        size_t count;
        int64_t first, last;
    } cases[] = {
             {1, 8, 0, 0},        // span < 2: eight copies of column 0
             {10, 8, 8, 9},       // narrow: margin 8, span 1, several identical
             {30, 13, 8, 21},     // 9 <= span < 24: one column per pixel of span
             {89, 24, 8, 80},     // margin 8 below 90 pixels
             {90, 24, 9, 80},     // width / 10 from 90 on
             {1000, 24, 100, 899},
    };
    for (const auto& c : cases) {
        const auto columns = sampleColumns(c.width);
        EXPECT_EQ(columns.size(), c.count) << c.width;
        EXPECT_EQ(columns.front(), c.first) << c.width;
        EXPECT_EQ(columns.back(), c.last) << c.width;
        EXPECT_TRUE(std::is_sorted(columns.begin(), columns.end()));
    }
}

TEST(ScrollingRaster, SignaturesReadRgbFromBgraRowsWithStride) {
    const auto raster =
        rasterOf(frameOf(100, 3, [](int64_t x, int64_t y) { return uint32_t(x) << 16 | uint32_t(y) << 8 | 0x7f; }));
    ASSERT_EQ(raster.signatureLength, 72);
    const uint8_t* row2 = raster.signature(2);  // its first sampled column is x = 10
    EXPECT_EQ(std::vector<uint8_t>(row2, row2 + 3), (std::vector<uint8_t>{10, 2, 0x7f}));
    auto image = raster.makeImage(1);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->height(), 2u);
    const uint8_t* pixel = image->row(1) + 5 * 4;  // x = 5, y = 2, as RGBA
    EXPECT_EQ(std::vector<uint8_t>(pixel, pixel + 4), (std::vector<uint8_t>{5, 2, 0x7f, 255}));
    EXPECT_FALSE(raster.makeImage(3));
    EXPECT_FALSE(raster.releasingSource().makeImage(0));
}

TEST(ScrollingRaster, InformativeRowsAreEdgesOrChanges) {
    // Row 2 has edges; row 4 differs from 5 by 6 a byte (informative), row 6 from 7 by 5 (not).
    const auto frame = frameOf(200, 8, [](int64_t x, int64_t y) -> uint32_t {
        switch (y) {
            case 2: return (x / 20) % 2 ? 0xffffff : 0;
            case 4: return 0x060606;
            case 6: return 0x050505;
            default: return 0;
        }
    });
    const auto raster = rasterOf(frame);
    EXPECT_EQ(raster.informativeRows, (std::vector<int32_t>{1, 2, 3, 4}));
    EXPECT_EQ(raster.informativeRowPrefix, (std::vector<int32_t>{0, 0, 1, 2, 3, 4, 4, 4, 4}));
    EXPECT_EQ(raster.informativeCount(2, 5), 3);

    const auto uniform = rasterOf(frameOf(200, 50, [](int64_t, int64_t) { return 0x336699u; }));
    EXPECT_TRUE(uniform.informativeRows.empty());
    EXPECT_EQ(uniform.alignmentScore(20, uniform, 0, kUnscorable), kUnscorable);
    EXPECT_TRUE(uniform.exactForwardScrollDeltas(uniform, 0, 40, nullptr).empty());
    EXPECT_TRUE(rasterOf(frameOf(200, 1, [](int64_t, int64_t) { return 0u; })).informativeRows.empty());
}

TEST(ScrollingRaster, SignatureDifferenceIsTheByteSumInBlocksAndTail) {
    std::mt19937 random(7);
    std::vector<uint8_t> a(80), b(80);
    for (int64_t length = 0; length <= 80; ++length) {
        for (size_t i = 0; i < a.size(); ++i) {
            // Extremes as well as mid values: 0 against 255 must not saturate.
            a[i] = i % 5 == 0 ? 255 : uint8_t(random());
            b[i] = i % 5 == 0 ? 0 : uint8_t(random());
        }
        int64_t expected = 0;
        for (int64_t i = 0; i < length; ++i) expected += std::abs(int(a[size_t(i)]) - int(b[size_t(i)]));
        EXPECT_EQ(signatureDifference(a.data(), b.data(), length), expected) << length;
        EXPECT_EQ(signatureDifference(b.data(), a.data(), length), expected) << length;
    }
}

TEST(ScrollingRaster, ExactDeltasVoteWithThresholdsAndSkipRepetitiveRows) {
    const auto page = makePage({.width = 320, .lines = 200});
    for (const auto& [height, shift, minimumVotes] :
         std::vector<std::tuple<int64_t, int64_t, int64_t>>{{600, 37, 3}, {2000, 250, 5}}) {
        const auto previous = rasterOf(cutFrame(page, 0, height));
        const auto current = rasterOf(cutFrame(page, shift, height));
        const auto deltas = previous.exactForwardScrollDeltas(current, 12, height - 100, nullptr);
        ASSERT_FALSE(deltas.empty());
        EXPECT_EQ(deltas[0].delta, shift);
        EXPECT_EQ(deltas[0].firstMatchedRow, current.informativeRows.front());
        for (const auto& d : deltas) EXPECT_GE(d.votes, minimumVotes);
        EXPECT_TRUE(std::is_sorted(deltas.begin(), deltas.end(), [](const auto& a, const auto& b) {
            return a.votes != b.votes ? a.votes > b.votes : a.delta < b.delta;
        }));
        // Bounds outside the true shift find nothing of it.
        for (const auto& d : previous.exactForwardScrollDeltas(current, shift + 1, height, nullptr))
            EXPECT_NE(d.delta, shift);
        EXPECT_TRUE(previous.exactForwardScrollDeltas(current, 10, 9, nullptr).empty());
    }
    // Thirteen identical lines: every row bucket holds more than 12 rows.
    const auto list = makePage({.width = 320, .lines = 40, .repeatFrom = 0, .repeatCount = 40});
    const auto a = rasterOf(cutFrame(list, 0, 300));
    const auto b = rasterOf(cutFrame(list, 32, 300));
    EXPECT_TRUE(a.exactForwardScrollDeltas(b, 1, 200, nullptr).empty());
}

TEST(ScrollingRaster, AlignmentScoreDropsTheWorstRowAndStopsEarlyAndStillnessNeedsEqualShapes) {
    // Rows 40 to 47 informative, row 43 spoilt: the mean over the other seven is zero.
    auto rows = [](bool spoil) {
        return frameOf(200, 64, [spoil](int64_t x, int64_t y) -> uint32_t {
            if (y < 40 || y > 47) return 0x808080;
            if (spoil && y == 43) return 0x000000;
            return ((x + y) / 10) % 2 ? 0xffffff : uint32_t(y);
        });
    };
    const auto previous = rasterOf(rows(false));
    const auto current = rasterOf(rows(true));
    ASSERT_EQ(previous.informativeCount(40, 64), 8);
    EXPECT_EQ(previous.alignmentScore(24, current, 40, kUnscorable), 0.0);
    EXPECT_EQ(previous.alignmentScore(23, current, 41, kUnscorable), kUnscorable) << "seven rows are too few";
    EXPECT_EQ(previous.alignmentScore(0, current, 0, kUnscorable), kUnscorable);
    EXPECT_EQ(previous.alignmentScore(65, current, 0, kUnscorable), kUnscorable);
    EXPECT_EQ(previous.alignmentScore(24, current, 41, kUnscorable), kUnscorable);

    const auto page = makePage({});
    const auto a = rasterOf(cutFrame(page, 0, 400));
    const auto b = rasterOf(cutFrame(page, 100, 400));
    const double full = a.alignmentScore(250, b, 0, kUnscorable);
    const double stopped = a.alignmentScore(250, b, 0, 1.0);
    EXPECT_GT(stopped, 1.0);
    EXPECT_LE(stopped, full);
    EXPECT_EQ(a.alignmentScore(300, b, 0, 1.0), 0.0);
    EXPECT_EQ(a.stillnessScore(rasterOf(cutFrame(page, 0, 400))), 0.0);
    EXPECT_GT(a.stillnessScore(b), 1.0);
    EXPECT_EQ(a.stillnessScore(rasterOf(cutFrame(page, 0, 399))), kUnscorable);
}

TEST(ScrollingVerifier, RepeatedContentIsAmbiguousAndAnOddBandContradicts) {
    // A list of identical cells matches every multiple of 16; a side panel scrolls twice as fast.
    const ScrollingAlignmentVerifier verifier;
    const ScrollingCaptureAlignment truth{0, 440};
    const auto page = makePage({.width = 320, .lines = 120});
    const auto list = makePage({.width = 320, .lines = 120, .repeatFrom = 0, .repeatCount = 120});
    const auto twoSpeeds = [&](int64_t offset) {
        return frameOf(320, 600, [&, offset](int64_t x, int64_t y) {
            return x < 200 ? page.at(x, offset + y) : page.at(x, std::min(page.height - 1, 2 * offset + y));
        });
    };
    const struct {
        const char* name;
        std::shared_ptr<RegionFrame> a, b;
        bool ambiguous, contradicts;
    } cases[] = {
        {"page", cutFrame(page, 0, 600), cutFrame(page, 160, 600), false, false},
        {"list", cutFrame(list, 0, 600), cutFrame(list, 160, 600), true, false},
        {"side panel", twoSpeeds(0), twoSpeeds(160), false, true},
    };
    for (const auto& c : cases) {
        const auto a = rasterOf(c.a), b = rasterOf(c.b);
        const double score = a.alignmentScore(440, b, 0, kUnscorable);
        EXPECT_EQ(verifier.isAmbiguous(truth, score, a, b), c.ambiguous) << c.name;
        EXPECT_TRUE(c.ambiguous || verifier.bandsContradict(truth, a, b) == c.contradicts) << c.name;
        EXPECT_EQ(verifier.rejects(truth, score, a, b), c.ambiguous || c.contradicts) << c.name;
        EXPECT_EQ(bandScores(a, b, truth, 4, kUnscorable).size(), 4u) << c.name;
        EXPECT_TRUE(bandScores(a, b, {0, 0}, 4, kUnscorable).empty()) << c.name;
    }
}

}  // namespace
}  // namespace tessarin
