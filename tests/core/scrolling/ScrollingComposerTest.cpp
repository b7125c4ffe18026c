// The composer and stitcher on frames cut from synthetic pages.

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <thread>

#include "ScrollingTestSupport.h"
#include "core/common/ThreadPool.h"
#include "core/scrolling/ScrollingCaptureStitcher.h"

namespace tessarin {
namespace {

using Kind = ScrollingCaptureFrameDisposition::Kind;
using testing::cutFrame;
using testing::frameOf;
using testing::isPrefixOfStitchedPage;
using testing::makePage;
using testing::Page;
using testing::rasterOf;

ScrollingCaptureComposer composerFor(const std::shared_ptr<RegionFrame>& first) {
    return ScrollingCaptureComposer::make(rasterOf(first), 12).value();
}

ScrollingCaptureFrameDisposition append(ScrollingCaptureComposer& composer, std::shared_ptr<RegionFrame> frame,
                                        int64_t minimumRows = 12) {
    auto disposition = composer.appendDisposition(rasterOf(std::move(frame)), minimumRows);
    EXPECT_TRUE(disposition);
    return disposition ? *disposition : ScrollingCaptureFrameDisposition{};
}

Image rendered(const ScrollingCaptureComposer& composer) {
    auto image = composer.render(1);
    EXPECT_TRUE(image);
    return image ? std::move(*image) : Image();
}

TEST(ScrollingComposer, StitchesAPageAndKeepsAStickyHeaderOnce) {
    const Page page = makePage({.width = 320, .lines = 120});
    const int64_t header = 40;
    const auto first = cutFrame(page, 0, 400, header);
    auto composer = composerFor(first);
    int64_t offset = 0;
    for (const int64_t step : {100, 37, 250, 12, 180}) {
        offset += step;
        EXPECT_EQ(append(composer, cutFrame(page, offset, 400, header)), ScrollingCaptureFrameDisposition::appended(step))
            << offset;
    }
    EXPECT_EQ(composer.totalHeight(), 400 + offset);
    EXPECT_EQ(composer.previousSuccessfulAlignment(), (ScrollingCaptureAlignment{header, 400 - header - 180}));
    const Image image = rendered(composer);
    EXPECT_EQ(image.height(), uint32_t(400 + offset));
    EXPECT_TRUE(isPrefixOfStitchedPage(image, page, first, header));

    auto preview = composer.renderPreview(80, 100);
    EXPECT_TRUE(preview && preview->width() <= 80 && preview->height() <= 100);
    auto final = composer.takeFinalImage();
    ASSERT_TRUE(final);
    EXPECT_TRUE(std::ranges::equal(image.bytes(), final->bytes()));
}

// A status bar below the content (and a toolbar above it): each step's new
// lines go above the bar, so no line is lost, and each bar is kept once.
TEST(ScrollingComposer, StitchesAPageAboveAStaticFooterAndKeepsItOnceAtTheEnd) {
    const Page page = makePage({.width = 320, .lines = 120});
    for (const auto& [header, footer] : {std::pair<int64_t, int64_t>{0, 6}, {0, 24}, {0, 90}, {40, 24}}) {
        const int64_t frameHeight = 400;
        const auto first = cutFrame(page, 0, frameHeight, header, footer);
        auto composer = composerFor(first);
        int64_t offset = 0;
        for (const int64_t step : {100, 37, 250, 16, 180}) {
            offset += step;
            EXPECT_EQ(append(composer, cutFrame(page, offset, frameHeight, header, footer)),
                      ScrollingCaptureFrameDisposition::appended(step))
                << "header " << header << ", footer " << footer << " at " << offset;
        }
        const Image image = rendered(composer);
        const int64_t height = image.height();
        ASSERT_EQ(height, frameHeight + offset) << "footer " << footer;
        bool same = true;
        for (int64_t y = 0; y < height && same; ++y) {
            for (int64_t x = 0; x < page.width && same; ++x) {
                const uint8_t* q = image.row(uint32_t(y)) + x * 4;
                const uint8_t* f = first->row(y < header ? y : 0) + x * 4;  // BGRA
                const uint32_t expected = y < header              ? uint32_t(f[2]) << 16 | uint32_t(f[1]) << 8 | f[0]
                                          : y >= height - footer ? testing::footerPixel(x, y - (height - footer))
                                                                  : page.at(x, y - header);
                same = (uint32_t(q[0]) << 16 | uint32_t(q[1]) << 8 | q[2]) == expected;
            }
        }
        EXPECT_TRUE(same) << "header " << header << ", footer " << footer << ": each bar once around the page";
    }
}

TEST(ScrollingComposer, RefusesFramesItCannotPlaceAndCountsThem) {
    const Page page = makePage({.width = 320, .lines = 120});
    const Page other = makePage({.width = 320, .lines = 120, .seed = 99});
    auto composer = composerFor(cutFrame(page, 0, 400));
    const struct {
        std::shared_ptr<RegionFrame> frame;
        Kind kind;
        int64_t failures;
    } steps[] = {
             {cutFrame(page, 8, 400), Kind::ignored, 1},        // fewer rows than the minimum
             {cutFrame(other, 50, 400), Kind::ignored, 2},      // unrelated content
             // another width: ignored without counting
             {frameOf(321, 400, [&](int64_t x, int64_t y) { return page.at(x % 320, y); }), Kind::ignored, 2},
             {cutFrame(page, 60, 400), Kind::appended, 0},      // connects to the last appended frame
    };
    for (const auto& [frame, kind, failures] : steps) {
        EXPECT_EQ(append(composer, frame).kind, kind);
        EXPECT_EQ(composer.consecutiveAlignmentFailures(), failures);
    }
}

TEST(ScrollingComposer, ExhaustiveSearchIsThrottledAfterThreeFailures) {
    const Page page = makePage({.width = 320, .lines = 120});
    const Page other = makePage({.width = 320, .lines = 120, .seed = 7});
    // Every channel off by one: no exact row matches, but a score of 1.
    const auto shifted = frameOf(320, 400, [&](int64_t x, int64_t y) { return page.at(x, 100 + y) + 0x010101u; });
    for (int64_t failures = 0; failures <= 9; ++failures) {
        auto composer = composerFor(cutFrame(page, 0, 400));
        for (int64_t f = 0; f < failures; ++f) append(composer, cutFrame(other, f * 20, 400));
        ASSERT_EQ(composer.consecutiveAlignmentFailures(), failures);
        const bool allowed = failures < 3 || failures % 4 == 0;
        EXPECT_EQ(append(composer, shifted).kind, allowed ? Kind::appended : Kind::ignored) << failures;
    }
}

TEST(ScrollingComposer, FoldingAndCompactionKeepTheSameImage) {
    const Page page = makePage({.width = 100, .lines = 2100, .lineHeight = 12});
    const auto first = cutFrame(page, 0, 200);
    auto composer = composerFor(first);
    for (int64_t k = 1; k <= 24 * 24; ++k) {
        ASSERT_EQ(append(composer, cutFrame(page, k * 40, 200)).kind, Kind::appended) << k;
        if (k == 24) {  // 24 loose slices after the first frame fold into one segment
            EXPECT_EQ(composer.sliceCount(), 2u);
            EXPECT_EQ(composer.segmentCount(), 2u);
            EXPECT_TRUE(isPrefixOfStitchedPage(rendered(composer), page, first, 0));
        }
    }
    EXPECT_LT(composer.sliceCount(), 24u);
    EXPECT_EQ(composer.totalHeight(), 200 + 24 * 24 * 40);
    EXPECT_TRUE(isPrefixOfStitchedPage(rendered(composer), page, first, 0));
    composer.compactSlices();
    EXPECT_EQ(composer.sliceCount(), 1u);
    EXPECT_TRUE(isPrefixOfStitchedPage(rendered(composer), page, first, 0));
}

TEST(ScrollingComposer, RowLimitIsStickyAndNarrowerForVeryWideFrames) {
    const Page page = makePage({.width = 100, .lines = 5200, .lineHeight = 12});
    auto composer = composerFor(cutFrame(page, 0, 600));
    EXPECT_EQ(composer.rowLimit(), 60'000);
    int64_t offset = 0;
    while (composer.totalHeight() < 60'000) {
        offset += 300;  // reaches 60,000 rows exactly
        ASSERT_EQ(append(composer, cutFrame(page, offset, 600)).kind, Kind::appended);
    }
    EXPECT_EQ(composer.totalHeight(), 60'000);
    EXPECT_EQ(append(composer, cutFrame(page, offset + 100, 600)).kind, Kind::reachedRowLimit);
    EXPECT_EQ(append(composer, cutFrame(page, offset + 200, 600)).kind, Kind::reachedRowLimit);

    // 8000 pixels wide: the image cap of 2^28 pixels allows fewer rows.
    auto wide = composerFor(testing::blankFrame(8000, 16));
    EXPECT_EQ(wide.rowLimit(), int64_t(Image::kMaxPixels) / 8000 - 16 + 1);
}

TEST(ScrollingStitcher, StillFramesCostNothingAndMovedFramesAreTimed) {
    const Page page = makePage({.width = 320, .lines = 120});
    auto stitcher = testing::stitcherFrom(rasterOf(cutFrame(page, 0, 400)));
    const auto process = [&](std::shared_ptr<RegionFrame> frame, std::optional<ScrollingCapturePreviewRequest> preview) {
        return testing::processFrame(stitcher, std::move(frame), preview);
    };
    const auto still = process(cutFrame(page, 0, 400), std::nullopt);
    EXPECT_EQ(still.disposition.kind, Kind::ignored);
    EXPECT_EQ(still.stillnessScore, 0.0);
    EXPECT_EQ(stitcher.composer().consecutiveAlignmentFailures(), 0);

    const auto moved = process(cutFrame(page, 64, 400), ScrollingCapturePreviewRequest{95, 1000});
    EXPECT_EQ(moved.disposition, ScrollingCaptureFrameDisposition::appended(64));
    EXPECT_GT(moved.stillnessScore, 0.02);
    ASSERT_TRUE(moved.previewSnapshot);
    EXPECT_LE(moved.previewSnapshot->image->width(), 95u);

    // A frame that moved but cannot be placed is a failure.
    EXPECT_EQ(process(cutFrame(makePage({.seed = 5}), 0, 400), std::nullopt).disposition.kind, Kind::ignored);
    EXPECT_EQ(stitcher.composer().consecutiveAlignmentFailures(), 1);
}

// Let go of while a frame is analysed on a worker it does not own: the destructor waits.
TEST(ScrollingStitcher, DestroyingItWaitsForTheFrameInFlight) {
    const Page page = makePage({.width = 320, .lines = 120});
    const auto first = rasterOf(cutFrame(page, 0, 400));
    ThreadPool worker(1);
    std::promise<void> gate;
    std::shared_future<void> opened = gate.get_future().share();
    worker.post([opened] { opened.wait(); });  // the frame queues behind this
    auto stitcher = std::make_unique<ScrollingCaptureStitcher>(ScrollingCaptureComposer::make(first, 12).value(),
                                                               first, &worker);
    std::atomic<bool> appended = false;
    stitcher->submit(cutFrame(page, 64, 400), 12, std::nullopt, [&](FrameProcessingResult result) {
        appended = result && result->disposition == ScrollingCaptureFrameDisposition::appended(64);
    });
    std::thread opener([&] { gate.set_value(); });
    stitcher.reset();
    EXPECT_TRUE(appended);
    opener.join();
}

// Sticky headers and runs of identical lines shorter than the view: whatever is appended is
// exactly the page; where the sampled pass decides, the dense retry changes nothing.
TEST(ScrollingComposerProperty, RandomStepsReproduceThePageExactly) {
    for (uint32_t seed = 1; seed <= 24; ++seed) {
        std::mt19937 random(seed);
        const bool repeated = seed % 3 == 0;
        const Page page = makePage(
            {.width = 240, .lines = 360, .repeatFrom = repeated ? 120 : -1, .repeatCount = repeated ? 12 : 0, .seed = seed});
        const int64_t frameHeight = 600;
        const int64_t header = seed % 2 ? 40 : 0;
        const auto first = cutFrame(page, 0, frameHeight, header);
        auto composer = composerFor(first);
        const int64_t lastOffset = page.height - (frameHeight - header);
        int64_t offset = 0, appendedRows = 0, ignored = 0;
        while (offset < lastOffset) {
            offset = std::min(lastOffset, offset + std::uniform_int_distribution<int64_t>(12, 400)(random));
            const auto raster = rasterOf(cutFrame(page, offset, frameHeight, header));
            const int64_t failures = composer.consecutiveAlignmentFailures();
            const bool exhaustive = failures < 3 || failures % 4 == 0;
            const auto sampled = composer.placement(raster, 12, exhaustive, false);
            const auto full = composer.placement(raster, 12, exhaustive, true);
            if (sampled.verdict != ScrollingFramePlacement::Verdict::undecided) {
                EXPECT_EQ(full.verdict, sampled.verdict);
                EXPECT_EQ(full.candidate.has_value(), sampled.candidate.has_value());
                if (full.candidate && sampled.candidate) {
                    EXPECT_EQ(full.candidate->alignment, sampled.candidate->alignment);
                }
                EXPECT_FALSE(full.denseRetried);
            }
            const auto disposition = composer.appendDisposition(raster, 12).value();
            ASSERT_NE(disposition.kind, Kind::reachedRowLimit);
            appendedRows += disposition.kind == Kind::appended ? disposition.rows : 0;
            ignored += disposition.kind == Kind::appended ? 0 : 1;
        }
        const Image image = rendered(composer);
        EXPECT_EQ(int64_t(image.height()), frameHeight + appendedRows);
        ASSERT_TRUE(isPrefixOfStitchedPage(image, page, first, header)) << "seed " << seed;
        if (!repeated) {
            EXPECT_EQ(ignored, 0) << "seed " << seed;
            EXPECT_EQ(int64_t(image.height()), page.height + header) << "seed " << seed;
        }
    }
}

}  // namespace
}  // namespace tessarin
