// Logs whose lines differ only in a number at the very left or right edge: the sampled
// pass finds every alignment ambiguous; the dense retry must place every frame exactly.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>

#include "ScrollingTestSupport.h"
#include "core/scrolling/ScrollingCaptureComposer.h"
#include "core/scrolling/ScrollingCaptureStitcher.h"
#include "core/scrolling/ScrollingDenseRetry.h"

namespace tessarin {
namespace {

using Kind = ScrollingCaptureFrameDisposition::Kind;
using Verdict = ScrollingFramePlacement::Verdict;
using testing::cutFrame;
using testing::isPrefixOfStitchedPage;
using testing::makeLookAlikePage;
using testing::NumberEdge;
using testing::Page;
using testing::processFrame;
using testing::rasterOf;

// The numbers' columns: [1, 25) at the left, [width - 25, width - 1) at the right.
bool isNumberColumn(int64_t x, int64_t width, NumberEdge edge) {
    return edge == NumberEdge::left ? x >= 1 && x < 25 : x >= width - 25 && x < width - 1;
}

TEST(ScrollingDenseRetry, ColumnsAreWhereLookAlikeRowsDiffer) {
    for (const auto edge : {NumberEdge::left, NumberEdge::right}) {
        SCOPED_TRACE(edge == NumberEdge::left ? "left" : "right");
        const Page page = makeLookAlikePage(320, 60, edge);
        const auto frame = cutFrame(page, 40, 400);
        const auto columns = discriminatingColumns(*frame, rasterOf(frame));
        ASSERT_FALSE(columns.empty());
        EXPECT_TRUE(std::ranges::is_sorted(columns));
        for (const int64_t x : columns) EXPECT_TRUE(isNumberColumn(x, 320, edge)) << x;
        EXPECT_GE(columns.size(), 8u) << "units and tens both change within 25 lines";

        const auto thinned = discriminatingColumns(*frame, rasterOf(frame), {.maximumColumns = 5});
        ASSERT_EQ(thinned.size(), 5u);
        EXPECT_TRUE(std::ranges::is_sorted(thinned));
        EXPECT_EQ(thinned.front(), columns.front());
    }
    const Page same = testing::tiledPage(testing::makePage({.width = 320, .lines = 1}), 40);
    const auto frame = cutFrame(same, 0, 400);
    EXPECT_TRUE(discriminatingColumns(*frame, rasterOf(frame)).empty()) << "identical lines";
}

TEST(ScrollingDenseRetry, LookAlikeRowsStitchEveryLineOnceInOrder) {
    for (uint32_t seed = 1; seed <= 12; ++seed) {
        std::mt19937 random(seed);
        const auto edge = seed % 2 ? NumberEdge::left : NumberEdge::right;
        const int64_t width = seed % 3 == 0 ? 900 : 320;
        const int64_t frameHeight = 300 + int64_t(seed * 37 % 500);
        const Page page = makeLookAlikePage(width, 300, edge, seed % 4 == 0 ? 20 : 16);
        const auto first = cutFrame(page, 0, frameHeight);
        auto composer = ScrollingCaptureComposer::make(rasterOf(first), 12).value();
        const int64_t lastOffset = page.height - frameHeight;
        int64_t offset = 0, ignored = 0, sampledPlacements = 0, appendedRows = 0;
        while (offset < lastOffset) {
            offset += std::uniform_int_distribution<int64_t>(12, frameHeight * 3 / 4)(random);
            if (lastOffset - offset < 12) offset = lastOffset;
            const auto raster = rasterOf(cutFrame(page, offset, frameHeight));
            sampledPlacements += composer.placement(raster, 12, true, false).verdict == Verdict::placed;
            const auto disposition = composer.appendDisposition(raster, 12).value();
            ignored += disposition.kind != Kind::appended;
            appendedRows += disposition.rows;
            EXPECT_EQ(appendedRows, offset) << "a frame placed at the wrong height";
        }
        SCOPED_TRACE("seed " + std::to_string(seed));
        EXPECT_EQ(ignored, 0);
        EXPECT_EQ(sampledPlacements, 0);
        EXPECT_EQ(composer.denseRetryPlacements(), composer.denseRetries());
        const Image image = composer.render(1).value();
        EXPECT_EQ(int64_t(image.height()), page.height);
        EXPECT_TRUE(isPrefixOfStitchedPage(image, page, first, 0));
    }
}

// Lines repeating two by two, scrolled by an odd number of lines: refused, never misplaced.
TEST(ScrollingDenseRetry, ContentNothingCanTellApartIsRefused) {
    const Page page = testing::tiledPage(testing::makePage({.width = 320, .lines = 2}), 60);
    auto composer = ScrollingCaptureComposer::make(rasterOf(cutFrame(page, 0, 400)), 12).value();
    for (const int64_t offset : {48, 80, 112}) {
        EXPECT_EQ(composer.appendDisposition(rasterOf(cutFrame(page, offset, 400)), 12).value().kind, Kind::ignored);
    }
    EXPECT_EQ(composer.totalHeight(), 400);
    EXPECT_EQ(composer.denseRetries(), 3);
    EXPECT_EQ(composer.denseRetryPlacements(), 0);
}

// As a GTK text view draws it: faint anti-aliasing differences repeating every ten lines,
// so a reading ten lines off differs only in the tens digit and passes the score.
Page makeFaintlyVaryingLog(int64_t width, int64_t lines, NumberEdge edge, int64_t lineHeight) {
    Page page = makeLookAlikePage(width, lines, edge, lineHeight);
    const int64_t margin = width / 10;
    for (int64_t l = 0; l < lines; ++l) {
        const auto shade = static_cast<uint32_t>(0xf0 - 3 * (l % 10));
        const uint32_t grey = shade << 16 | shade << 8 | shade;
        for (int64_t y = l * lineHeight; y < (l + 1) * lineHeight; ++y) {
            for (int64_t x = 0; x < width; ++x) {
                const bool outsideSamples = x < margin - 1 || x > width - margin;
                if (outsideSamples && !isNumberColumn(x, width, edge) && (x + y - l * lineHeight) % 3 == 0) {
                    page.pixels[static_cast<size_t>(y * width + x)] = grey;
                }
            }
        }
    }
    return page;
}

// An overlay scrollbar fading in changes a narrow column of every row while the content
// stands still; a scrolled reading ten lines on scores well enough, yet must not be taken.
TEST(ScrollingDenseRetry, AFrameThatDidNotMoveIsNeverStitchedAgain) {
    for (const auto edge : {NumberEdge::left, NumberEdge::right}) {
        for (const int64_t lineHeight : {int64_t{16}, int64_t{22}}) {
            SCOPED_TRACE(std::string(edge == NumberEdge::left ? "left" : "right") + " line height " +
                         std::to_string(lineHeight));
            const Page page = makeFaintlyVaryingLog(574, 300, edge, lineHeight);
            auto stitcher = testing::stitcherFrom(rasterOf(cutFrame(page, 0, 438)));
            const auto process = [&](std::shared_ptr<RegionFrame> frame) { return processFrame(stitcher, frame); };
            const int64_t step = 8 * lineHeight + 5;
            ASSERT_EQ(process(cutFrame(page, step, 438)).disposition, ScrollingCaptureFrameDisposition::appended(step));
            const int64_t bar = edge == NumberEdge::left ? 566 : 530;
            for (const uint8_t shade : {uint8_t{0x90}, uint8_t{0xc0}, uint8_t{0xff}}) {
                auto faded = cutFrame(page, step, 438);
                for (int64_t y = 0; y < faded->height; ++y) {
                    uint8_t* row = faded->bytes.data() + faded->bytesPerRow * size_t(y);
                    for (int64_t x = bar; x < bar + 4; ++x) std::memset(row + x * 4, shade, 3);
                }
                const auto outcome = process(faded);
                EXPECT_TRUE(outcome.visiblyMoved());
                EXPECT_EQ(outcome.disposition.kind, Kind::ignored);
                EXPECT_EQ(stitcher.composer().totalHeight(), 438 + step);
            }
            // A creep by fewer rows than a scroll must add (a smooth scroll's first steps).
            for (const int64_t creep : {1, 4, 11}) {
                EXPECT_EQ(process(cutFrame(page, step + creep, 438)).disposition.kind, Kind::ignored) << creep;
                EXPECT_EQ(stitcher.composer().totalHeight(), 438 + step);
            }
            EXPECT_EQ(process(cutFrame(page, 2 * step, 438)).disposition,
                      ScrollingCaptureFrameDisposition::appended(step));
            const Image image = stitcher.composer().render(1).value();
            EXPECT_TRUE(isPrefixOfStitchedPage(image, page, cutFrame(page, 0, 438), 0));
        }
    }
}

// A moving overlay scrollbar thumb joins the dense signature and contradicts the true reading.
TEST(ScrollingDenseRetry, AnOverlayScrollbarThumbDoesNotStopTheStitch) {
    for (const auto edge : {NumberEdge::left, NumberEdge::right}) {
        SCOPED_TRACE(edge == NumberEdge::left ? "numbers left, thumb right" : "numbers right, thumb left");
        const int64_t width = 574, frameHeight = 438, lineHeight = 19;
        const Page page = makeLookAlikePage(width, 300, edge, lineHeight);
        const int64_t thumbLeft = edge == NumberEdge::left ? width - 6 : 2;
        const auto withThumb = [&](int64_t offset) {
            auto frame = cutFrame(page, offset, frameHeight);
            const int64_t top = offset * frameHeight / page.height;
            for (int64_t y = top; y < std::min(frameHeight, top + 40); ++y) {
                uint8_t* row = frame->bytes.data() + frame->bytesPerRow * size_t(y);
                for (int64_t x = thumbLeft; x < thumbLeft + 3; ++x) std::memset(row + x * 4, 0x70, 3);
            }
            return frame;
        };
        auto composer = ScrollingCaptureComposer::make(rasterOf(cutFrame(page, 0, frameHeight)), 1).value();
        const int64_t step = 9 * lineHeight + 2;
        int64_t appended = 0;
        for (int64_t offset = step; offset + frameHeight <= page.height; offset += step) {
            const auto disposition = composer.appendDisposition(rasterOf(withThumb(offset)), 1).value();
            ASSERT_EQ(disposition, ScrollingCaptureFrameDisposition::appended(step)) << "offset " << offset;
            appended += step;
        }
        EXPECT_EQ(composer.totalHeight(), frameHeight + appended);
    }
}

// Lines 110..118 and 210..218: only the two frames together show the hundreds differ.
TEST(ScrollingDenseRetry, ColumnsSeeDigitsThatDifferOnlyBetweenFrames) {
    const Page page = makeLookAlikePage(320, 240, NumberEdge::left);
    const auto earlier = cutFrame(page, 109 * 16, 144);
    const auto later = cutFrame(page, 209 * 16, 144);
    const auto rowsOf = [](const std::shared_ptr<RegionFrame>& frame) {
        return [frame](int64_t y) { return frame->row(y); };
    };
    const auto hundreds = [](int64_t x) { return x >= 7 && x < 12; };
    const auto alone = discriminatingColumns(*later, rasterOf(later));
    ASSERT_FALSE(alone.empty());
    EXPECT_TRUE(std::ranges::none_of(alone, hundreds));

    const auto earlierRaster = rasterOf(earlier);
    const auto laterRaster = rasterOf(later);
    const auto both = discriminatingColumns({&earlierRaster, rowsOf(earlier)}, {&laterRaster, rowsOf(later)});
    EXPECT_TRUE(std::ranges::any_of(both, hundreds));
    for (const int64_t x : alone) EXPECT_TRUE(std::ranges::binary_search(both, x)) << x;
    const auto skipped = discriminatingColumns({&earlierRaster, rowsOf(earlier), ScrollingFrameRaster::PixelOrder::bgra,
                                                earlierRaster.height},
                                               {&laterRaster, rowsOf(later)});
    EXPECT_EQ(skipped, alone) << "rows above firstRow are not looked at";
}

// The content jumps past the last placed frame (a busy machine), then comes back with little
// overlap; a reading ten lines off can match all the new frame shows. Refusing is allowed.
TEST(ScrollingDenseRetry, FramesBeyondTheLastPlacedOneAreNeverPlacedWrongly) {
    int64_t placedAfterAGap = 0, refused = 0;
    for (uint32_t seed = 1; seed <= 24; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        std::mt19937 random(seed);
        const auto edge = seed % 2 ? NumberEdge::left : NumberEdge::right;
        const int64_t width = seed % 3 == 0 ? 574 : 320;
        const int64_t lineHeight = std::array<int64_t, 3>{16, 20, 22}[seed % 3];
        const int64_t frameHeight = 300 + int64_t(seed * 37 % 200);
        const Page page = makeLookAlikePage(width, 700, edge, lineHeight);
        auto composer = ScrollingCaptureComposer::make(rasterOf(cutFrame(page, 0, frameHeight)), 12).value();
        const int64_t lastOffset = page.height - frameHeight;
        int64_t placed = 0;  // the true offset of the last placed frame
        const auto pick = [&](int64_t low, int64_t high) {
            return std::uniform_int_distribution<int64_t>(low, std::max(low, high))(random);
        };
        while (placed + frameHeight < lastOffset) {
            std::vector<int64_t> offsets;
            for (int64_t n = pick(0, 2); n > 0; --n) offsets.push_back(placed + pick(12, frameHeight * 3 / 4));
            for (int64_t n = pick(1, 4); n > 0; --n) offsets.push_back(placed + pick(frameHeight, 3 * frameHeight));
            offsets.push_back(placed + frameHeight - pick(-2 * lineHeight, 3 * lineHeight));
            bool missed = false;
            for (int64_t offset : offsets) {
                offset = std::min(offset, lastOffset);
                const auto disposition =
                    composer.appendDisposition(rasterOf(cutFrame(page, offset, frameHeight)), 12).value();
                if (disposition.kind != Kind::appended) {
                    ++refused;
                    missed = true;
                    continue;
                }
                ASSERT_EQ(disposition.rows, offset - placed) << "placed at the wrong height, offset " << offset;
                placedAfterAGap += missed;
                placed = offset;
                missed = false;
            }
            if (composer.consecutiveAlignmentFailures() > 0 && placed + frameHeight <= offsets.back()) {
                const int64_t restart = std::min(offsets.back(), lastOffset);
                composer = ScrollingCaptureComposer::make(rasterOf(cutFrame(page, restart, frameHeight)), 12).value();
                placed = restart;
            }
        }
    }
    EXPECT_GT(refused, 0);
    EXPECT_GT(placedAfterAGap, 0);
}

// Whole rows scrolled leave the sampled columns alike (stillness 0) yet moved; a blinking
// cursor at the edge is no movement.
TEST(ScrollingStitcher, WholeRowsChangingOutsideTheSamplesAreMovement) {
    const Page page = makeLookAlikePage(320, 100, NumberEdge::left);
    auto stitcher = testing::stitcherFrom(rasterOf(cutFrame(page, 0, 400)));
    const auto process = [&](std::shared_ptr<RegionFrame> frame) { return processFrame(stitcher, frame); };
    const auto scrolled = process(cutFrame(page, 32, 400));
    EXPECT_EQ(scrolled.stillnessScore, 0.0);
    EXPECT_TRUE(scrolled.movedOutsideSamples);
    EXPECT_TRUE(scrolled.visiblyMoved());
    EXPECT_EQ(scrolled.disposition, ScrollingCaptureFrameDisposition::appended(32));

    auto blinked = cutFrame(page, 32, 400);
    for (int64_t y = 100; y < 116; ++y) std::memset(blinked->bytes.data() + blinked->bytesPerRow * size_t(y), 0, 40);
    for (const auto& frame : {blinked, cutFrame(page, 32, 400)}) {
        const auto still = process(frame);
        EXPECT_FALSE(still.movedOutsideSamples);
        EXPECT_FALSE(still.visiblyMoved());
        EXPECT_EQ(still.disposition.kind, Kind::ignored);
        EXPECT_EQ(stitcher.composer().consecutiveAlignmentFailures(), 0);
    }
}

}  // namespace
}  // namespace tessarin
