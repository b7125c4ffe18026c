#include <gtest/gtest.h>

#include <set>

#include "TestImages.h"
#include "render/PngRows.h"

namespace tessarin {
namespace {

using test::Bytes;

// Dark glyph-like strokes in 6x12 cells over a vertical gradient, like a
// terminal on a wallpaper: long matches and a few literals per row.
Image textImage(uint32_t width, uint32_t height) {
    return test::makeImage(width, height, [&](uint32_t x, uint32_t y) {
        const uint32_t cell = (x / 6) * 31 + (y / 12) * 17;
        const bool ink = cell % 5 != 0 && ((cell * 2654435761u) >> (x % 6 + (y % 12) * 2) & 1) != 0;
        const auto shade = static_cast<uint8_t>(60 + y * 120 / height);
        return ink ? test::Rgba{20, 20, 24, 255} : test::Rgba{shade, uint8_t(shade + 20), uint8_t(shade + 40), 255};
    });
}

void expectRoundTrip(const Image& image, const PngEncodeOptions& options = {}) {
    const Bytes file = test::pngOf(image, options);
    bool opaque = true;
    for (size_t i = 3; i < image.byteCount(); i += 4) opaque &= image.data()[i] == 255;
    EXPECT_EQ(test::pngLayout(file).colorType, opaque ? 2 : 6) << image.width() << "x" << image.height();
    EXPECT_TRUE(test::samePixels(test::readWithLibpng(file), image)) << image.width() << "x" << image.height();
}

TEST(PngEncoder, RoundTripsThroughLibpngAsRgbUnlessAPixelIsTranslucent) {
    // Widths 1 to 9 cover the four-pixel steps of packing and opacity and their tails.
    for (uint32_t width = 1; width <= 9; ++width) {
        Image image = test::noiseImage(width, 2, width);
        expectRoundTrip(image);
        for (uint32_t at = 0; at < width * 2; ++at) {
            image.data()[at * 4 + 3] = 254;
            expectRoundTrip(image);
            image.data()[at * 4 + 3] = 255;
        }
    }
    for (const auto& [w, h] : {std::pair{1u, 1u}, {1001u, 13u}, {1u, 5000u}, {5000u, 1u}}) {
        expectRoundTrip(test::noiseImage(w, h, w * 31 + h));
        expectRoundTrip(test::noiseImage(w, h, w + h, /*opaque=*/false));
    }
    const Image flat = test::makeImage(1920, 1080, [](uint32_t, uint32_t) { return test::Rgba{40, 80, 120, 255}; });
    EXPECT_LT(test::pngOf(flat).size(), flat.byteCount() / 100);
    expectRoundTrip(flat);
    expectRoundTrip(textImage(1279, 721));
    for (int level = 0; level <= 12; ++level) {
        expectRoundTrip(test::gradientImage(100, 90), {.compressionLevel = level, .bandBytes = 4096});
        expectRoundTrip(textImage(100, 90), {.compressionLevel = level, .bandBytes = 4096});
    }
}

TEST(PngEncoder, EveryBandLayoutAndThreadCountGivesTheSameRows) {
    // Bands at every row, every few rows or nowhere join into one stream filtered across band
    // edges, independent of threads; 37 pixels make odd rows, a 1-byte band holds one row.
    for (const uint32_t height : {1u, 2u, 97u}) {
        for (const Image& image : {test::noiseImage(37, height, height), test::noiseImage(37, height, height, false),
                                   textImage(37, height)}) {
            const Bytes rows = test::pngLayout(test::pngOf(image, {.threads = 1})).filtered;
            for (const size_t bandBytes : {size_t{1}, size_t{200}, size_t{1000}, size_t{1} << 20}) {
                const Bytes single = test::pngOf(image, {.threads = 1, .bandBytes = bandBytes});
                EXPECT_TRUE(test::samePixels(test::readWithLibpng(single), image));
                EXPECT_EQ(test::pngLayout(single).filtered, rows) << "height " << height << " band " << bandBytes;
                for (const unsigned threads : {2u, 3u, 8u}) {
                    EXPECT_EQ(test::pngOf(image, {.threads = threads, .bandBytes = bandBytes}), single)
                        << "height " << height << " band " << bandBytes << " threads " << threads;
                }
            }
        }
    }
    const Bytes tenBands = test::pngOf(test::noiseImage(16, 95, 3), {.bandBytes = 10 * (16 * 3 + 1)});
    EXPECT_EQ(test::pngLayout(tenBands).idatChunks, 10);
}

struct FailingSink final : ByteSink {
    explicit FailingSink(size_t allowedBytes) : allowed(allowedBytes) {}
    bool write(std::span<const uint8_t> bytes) override {
        return bytes.size() <= allowed && (allowed -= bytes.size(), true);
    }
    size_t allowed;
};

TEST(PngEncoder, RefusesInvalidInputAndReportsARefusingSinkFromEveryThread) {
    FailingSink none(0);
    EXPECT_EQ(encodePng(Image{}, none).error().kind, EncodeError::Kind::invalidImage);
    EXPECT_EQ(encodePng(test::gradientImage(4, 4), none, {.compressionLevel = 13}).error().kind,
              EncodeError::Kind::invalidImage);
    const Image image = test::noiseImage(300, 200, 11);
    const size_t full = test::pngOf(image, {.bandBytes = 2000}).size();
    for (const size_t allowed : {size_t{0}, size_t{8}, size_t{40}, full / 3, full - 1}) {
        for (const unsigned threads : {1u, 2u, 4u}) {
            FailingSink sink(allowed);
            const EncodeResult result = encodePng(image, sink, {.threads = threads, .bandBytes = 2000});
            ASSERT_FALSE(result) << allowed;
            EXPECT_EQ(result.error().kind, EncodeError::Kind::sinkFailed);
        }
    }
}

TEST(PngRows, AdaptiveFilterOutputMatchesTheReferenceFilterItChose) {
    // Rows made for each filter to win, at widths straddling the 16-byte vector steps.
    std::set<pngrows::Filter> chosenFilters;
    for (const unsigned bpp : {3u, 4u}) {
        for (const int kind : {0, 1, 2, 4}) {
            for (uint32_t width = 1; width <= 41; ++width) {
                const size_t size = width * bpp;
                Bytes prev(size), cur(size), chosen(size + 1), reference(size + 1);
                uint32_t state = uint32_t(size) * 7919 + uint32_t(kind);
                const auto random = [&state] { return uint8_t((state = state * 1103515245 + 12345) >> 16); };
                for (size_t i = 0; i < size; ++i) {
                    prev[i] = kind == 4 && i >= size / 2 ? 50 : random();
                    switch (kind) {
                        case 0: cur[i] = random() % 8 == 0; break;        // near-zero bytes
                        case 1: cur[i] = uint8_t(i * 9); break;           // a ramp along the row
                        case 2: cur[i] = uint8_t(prev[i] + 1); break;     // the row above, brighter
                        default: cur[i] = i < size / 2 ? prev[i] : 200;  // columns left, flat areas right
                    }
                }
                const auto filter = pngrows::filterRow(cur.data(), prev.data(), size, bpp, chosen.data());
                chosenFilters.insert(filter);
                pngrows::applyFilter(filter, cur.data(), prev.data(), size, bpp, reference.data());
                EXPECT_EQ(chosen, reference) << "kind " << kind << " width " << width << " bpp " << bpp;
            }
        }
    }
    EXPECT_EQ(chosenFilters.size(), 4u);

    // A row repeating the one above takes Up, or None when it is all zeros.
    for (const size_t size : {size_t{3}, size_t{100}, size_t{2400}}) {
        Bytes grey(size, 77), black(size, 0), chosen(size + 1), zeros(size, 0);
        EXPECT_EQ(pngrows::filterRow(grey.data(), grey.data(), size, 3, chosen.data()), pngrows::Filter::up);
        EXPECT_EQ(Bytes(chosen.begin() + 1, chosen.end()), zeros);
        EXPECT_EQ(pngrows::filterRow(black.data(), black.data(), size, 3, chosen.data()), pngrows::Filter::none);
    }
}

}  // namespace
}  // namespace tessarin
