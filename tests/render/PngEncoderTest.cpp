#include <gtest/gtest.h>

#include <set>

#include "TestImages.h"
#include "render/PngEncoder.h"
#include "render/PngRows.h"

namespace tessarin {
namespace {

std::vector<uint8_t> encode(const Image& image, const PngEncodeOptions& options = {}) {
    MemorySink sink;
    const EncodeResult result = encodePng(image, sink, options);
    EXPECT_TRUE(result) << (result ? "" : result.error().message);
    return sink.take();
}

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
    const std::vector<uint8_t> file = encode(image, options);
    bool opaque = true;
    for (size_t i = 3; i < image.byteCount(); i += 4) opaque &= image.data()[i] == 255;
    EXPECT_EQ(test::pngLayout(file).colorType, opaque ? 2 : 6);
    EXPECT_TRUE(test::samePixels(test::readWithLibpng(file), image)) << image.width() << "x" << image.height();
}

TEST(PngEncoderColourType, OpaqueIsRgbAndAnyTranslucentPixelKeepsAlpha) {
    expectRoundTrip(test::gradientImage(64, 48));
    for (const auto& [x, y] : {std::pair{0u, 0u}, {63u, 0u}, {0u, 47u}, {63u, 47u}, {20u, 30u}}) {
        Image image = test::gradientImage(64, 48);
        image.row(y)[x * 4 + 3] = 254;
        expectRoundTrip(image);
    }
}

TEST(PngEncoderShapes, OddExtremeNoisyAndFlatImagesRoundTrip) {
    for (const auto& [w, h] : {std::pair{1u, 1u}, {3u, 5u}, {17u, 1u}, {1u, 17u}, {1001u, 13u}, {1u, 5000u},
                               {5000u, 1u}}) {
        expectRoundTrip(test::noiseImage(w, h, w * 31 + h));
        expectRoundTrip(test::noiseImage(w, h, w + h, /*opaque=*/false));
    }
    const Image flat = test::makeImage(1920, 1080, [](uint32_t, uint32_t) { return test::Rgba{40, 80, 120, 255}; });
    EXPECT_LT(encode(flat).size(), flat.byteCount() / 100);
    expectRoundTrip(flat);
    expectRoundTrip(test::gradientImage(1280, 720));
    expectRoundTrip(textImage(1279, 721));
}

TEST(PngEncoderBands, EveryBandLayoutAndThreadCountGivesTheSameBytes) {
    // Band boundaries at every row, every few rows, or nowhere: the pieces
    // must join into one stream, whatever number of threads made them.
    // Noise is stored, text-like rows get Huffman codes; 37 pixels make odd
    // RGB and RGBA rows, and a 1-byte band holds exactly one row.
    for (const uint32_t height : {1u, 2u, 3u, 16u, 97u}) {
        for (const Image& image : {test::noiseImage(37, height, height), test::noiseImage(37, height, height, false),
                                   textImage(37, height)}) {
            for (const size_t bandBytes : {size_t{1}, size_t{200}, size_t{1000}, size_t{1} << 20}) {
                PngEncodeOptions options;
                options.bandBytes = bandBytes;
                options.threads = 1;
                const std::vector<uint8_t> single = encode(image, options);
                EXPECT_TRUE(test::samePixels(test::readWithLibpng(single), image));
                for (const unsigned threads : {2u, 3u, 8u}) {
                    options.threads = threads;
                    EXPECT_EQ(encode(image, options), single) << "height " << height << " band " << bandBytes;
                }
            }
        }
    }
    PngEncodeOptions tenRows;
    tenRows.bandBytes = 10 * (16 * 3 + 1);
    EXPECT_EQ(test::pngLayout(encode(test::noiseImage(16, 95, 3), tenRows)).idatChunks, 10);
}

TEST(PngEncoderOptions, EveryCompressionLevelDecodes) {
    for (int level = 0; level <= 12; ++level) {
        PngEncodeOptions options;
        options.compressionLevel = level;
        options.bandBytes = 4096;
        expectRoundTrip(test::gradientImage(100, 90), options);
        expectRoundTrip(textImage(100, 90), options);
    }
}

class FailingSink final : public ByteSink {
public:
    explicit FailingSink(size_t allowedBytes) : allowed_(allowedBytes) {}
    bool write(std::span<const uint8_t> bytes) override {
        if (bytes.size() > allowed_) return false;
        allowed_ -= bytes.size();
        return true;
    }

private:
    size_t allowed_;
};

TEST(PngEncoderErrors, InvalidInputIsRefusedBeforeWriting) {
    FailingSink sink(0);
    EXPECT_EQ(encodePng(Image{}, sink).error().kind, EncodeError::Kind::invalidImage);
    PngEncodeOptions options;
    options.compressionLevel = 13;
    EXPECT_EQ(encodePng(test::gradientImage(4, 4), sink, options).error().kind, EncodeError::Kind::invalidImage);
}

TEST(PngEncoderErrors, ARefusingSinkStopsEveryThreadAndIsReported) {
    const Image image = test::noiseImage(300, 200, 11);
    const size_t full = encode(image).size();
    for (const size_t allowed : {size_t{0}, size_t{8}, size_t{40}, full / 3, full - 1}) {
        for (const unsigned threads : {1u, 2u, 4u}) {
            PngEncodeOptions options;
            options.threads = threads;
            options.bandBytes = 2000;
            FailingSink sink(allowed);
            const EncodeResult result = encodePng(image, sink, options);
            ASSERT_FALSE(result) << allowed;
            EXPECT_EQ(result.error().kind, EncodeError::Kind::sinkFailed);
        }
    }
}

TEST(PngRows, AdaptiveFilterOutputMatchesTheReferenceFilterItChose) {
    // Row pairs made for each filter to win (kind = the filter's number), at
    // widths that straddle the 16-byte vector steps and their scalar tails.
    const auto rows = [](int kind, size_t size, std::vector<uint8_t>& prev, std::vector<uint8_t>& cur) {
        uint32_t state = uint32_t(size) * 7919 + uint32_t(kind);
        const auto random = [&state] { return uint8_t((state = state * 1103515245 + 12345) >> 16); };
        for (size_t i = 0; i < size; ++i) {
            prev[i] = random();
            switch (kind) {
                case 0: cur[i] = random() % 8 == 0; break;     // near-zero bytes
                case 1: cur[i] = uint8_t(i * 9); break;        // a ramp along the row
                case 2: cur[i] = uint8_t(prev[i] + 1); break;  // the row above, brighter
                default:                                      // columns left, flat areas right
                    if (i >= size / 2) prev[i] = 50;
                    cur[i] = i < size / 2 ? prev[i] : 200;
            }
        }
    };
    std::set<pngrows::Filter> chosenFilters;
    for (const unsigned bpp : {3u, 4u}) {
        for (const int kind : {0, 1, 2, 4}) {
            for (uint32_t width = 1; width <= 41; ++width) {
                std::vector<uint8_t> prev(width * bpp), cur(width * bpp);
                rows(kind, cur.size(), prev, cur);
                std::vector<uint8_t> chosen(cur.size() + 1), reference(cur.size() + 1);
                const auto filter = pngrows::filterRow(cur.data(), prev.data(), cur.size(), bpp, chosen.data());
                chosenFilters.insert(filter);
                pngrows::applyFilter(filter, cur.data(), prev.data(), cur.size(), bpp, reference.data());
                EXPECT_EQ(chosen, reference) << "kind " << kind << " width " << width << " bpp " << bpp;
            }
        }
    }
    EXPECT_EQ(chosenFilters.size(), 4u);
}

TEST(PngRows, PackingAndOpacityCoverEveryPixel) {
    for (size_t pixels = 1; pixels <= 9; ++pixels) {
        const Image image = test::noiseImage(uint32_t(pixels), 1, uint32_t(pixels));
        std::vector<uint8_t> packed(pixels * 3 + 1, 0xEE), expected;
        pngrows::packRgb(image.data(), pixels, packed.data());
        for (size_t i = 0; i < pixels * 4; ++i) {
            if (i % 4 != 3) expected.push_back(image.data()[i]);
        }
        expected.push_back(0xEE);  // nothing written past the end
        EXPECT_EQ(packed, expected);
        EXPECT_TRUE(pngrows::isOpaque(image.data(), pixels));
        for (size_t at = 0; at < pixels; ++at) {
            Image copy = image.clone();
            copy.data()[at * 4 + 3] = 0xFE;
            EXPECT_FALSE(pngrows::isOpaque(copy.data(), pixels)) << at;
        }
    }
}

}  // namespace
}  // namespace tessarin
