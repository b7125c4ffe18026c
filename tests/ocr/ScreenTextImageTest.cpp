#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>
#include <vector>

#include "ocr/ScreenTextImage.h"

namespace tessarin::ocr {
namespace {

Image filled(uint32_t width, uint32_t height, std::array<uint8_t, 4> rgba) {
    auto image = Image::allocate(width, height);
    for (size_t i = 0; i < image->byteCount(); i += 4) std::copy(rgba.begin(), rgba.end(), image->data() + i);
    return std::move(*image);
}

TEST(ScreenTextImage, GreyIsLuminanceOverWhite) {
    const std::pair<std::array<uint8_t, 4>, uint8_t> rows[] = {
        {{0, 0, 0, 255}, 0}, {{0, 0, 0, 0}, 255},  // transparent reads as paper
        {{0, 0, 0, 128}, 127}, {{255, 0, 0, 255}, 77}, {{0, 255, 0, 255}, 149},
    };
    for (const auto& [rgba, grey] : rows) {
        EXPECT_EQ(greyscale(filled(1, 1, rgba)).pixels[0], grey) << int(rgba[0]) << "," << int(rgba[3]);
    }
}

TEST(ScreenTextImage, DarkBackgroundsAreInvertedLightOnesKept) {
    // A 10x10 image whose first `dark` pixels are black, the rest white.
    const auto image = [](size_t dark) {
        Image result = filled(10, 10, {255, 255, 255, 255});
        std::fill(result.data(), result.data() + dark * 4, uint8_t(0));
        for (size_t i = 3; i < result.byteCount(); i += 4) result.data()[i] = 255;
        return result;
    };
    EXPECT_FALSE(hasDarkBackground(greyscale(image(20))));  // dark text on white
    EXPECT_TRUE(hasDarkBackground(greyscale(image(80))));   // light text on black
    EXPECT_FALSE(hasDarkBackground(greyscale(image(50))));  // an even split is left alone
    EXPECT_EQ(darkTextOnLight(image(80)).pixels[0], 255);
    EXPECT_EQ(darkTextOnLight(image(80)).pixels[99], 0);
    EXPECT_EQ(darkTextOnLight(image(20)).pixels[0], 0);
}

// A white 20x20 image with the given pixels dark (x, y).
GreyImage drawn(const std::vector<std::pair<uint32_t, uint32_t>>& dark) {
    GreyImage image{20, 20, std::vector<uint8_t>(400, 255)};
    for (const auto& [x, y] : dark) image.pixels[size_t{y} * 20 + x] = 0;
    return image;
}

std::vector<std::pair<uint32_t, uint32_t>> box(uint32_t x0, uint32_t y0, uint32_t width, uint32_t height, bool hollow) {
    std::vector<std::pair<uint32_t, uint32_t>> pixels;
    for (uint32_t y = y0; y < y0 + height; ++y) {
        for (uint32_t x = x0; x < x0 + width; ++x) {
            if (!hollow || x == x0 || y == y0 || x + 1 == x0 + width || y + 1 == y0 + height) pixels.emplace_back(x, y);
        }
    }
    return pixels;
}

TEST(ScreenTextImage, BitmapTextIsToldApartAndItsCursorPaintedOver) {
    EXPECT_TRUE(hasOnlyBitmapText(drawn(box(2, 2, 6, 13, false))));
    GreyImage ramp{256, 1, {}};
    for (int v = 0; v < 256; ++v) ramp.pixels.push_back(uint8_t(v));  // anti-aliased edges use many levels
    EXPECT_FALSE(hasOnlyBitmapText(ramp));

    auto notched = box(2, 2, 6, 13, false);
    notched.erase(notched.begin() + 8);
    const struct {
        const char* what;
        std::vector<std::pair<uint32_t, uint32_t>> dark;
        bool erased;
    } rows[] = {
        {"block cursor", box(2, 2, 6, 13, false), true},
        {"hollow cursor", box(2, 2, 6, 13, true), true},
        {"l or | glyph", box(2, 2, 2, 10, false), false},
        {"short block, a dash or a dot", box(2, 2, 6, 7, false), false},
        {"block with a gap", notched, false},
        {"hollow box with a mark inside", [] { auto p = box(2, 2, 8, 12, true); p.emplace_back(5, 3); return p; }(),
         false},
    };
    for (const auto& row : rows) {
        GreyImage image = drawn(row.dark);
        eraseSolidBlocks(image);
        const bool white = std::all_of(image.pixels.begin(), image.pixels.end(), [](uint8_t v) { return v == 255; });
        EXPECT_EQ(white, row.erased) << row.what;
    }
}

TEST(ScreenTextImage, UpscalingKeepsFlatAreasAndEdgesAndRefusesHugeResults) {
    GreyImage flat{3, 2, std::vector<uint8_t>(6, 90)};
    // Exactly at the pixel limit is allowed, one pixel more is not.
    const auto big = upscaled(flat, 3, 54);
    ASSERT_TRUE(big);
    EXPECT_EQ(std::tuple(big->width, big->height, big->pixels), std::tuple(9u, 6u, std::vector<uint8_t>(54, 90)));

    // A black-to-white step: dark on the left, light on the right, the
    // transition between the two source pixel centres, no overshoot.
    GreyImage step{4, 1, {0, 0, 255, 255}};
    const auto edge = upscaled(step, 2, 1000);
    ASSERT_TRUE(edge);
    EXPECT_EQ(edge->pixels.front(), 0);
    EXPECT_EQ(edge->pixels.back(), 255);
    for (size_t x = 1; x < edge->width; ++x) EXPECT_GE(edge->pixels[x], edge->pixels[x - 1]);
    EXPECT_LT(edge->pixels[3], 128);
    EXPECT_GT(edge->pixels[4], 128);

    EXPECT_FALSE(upscaled(flat, 3, 53));
    EXPECT_FALSE(upscaled(flat, 0, 1000));
    EXPECT_FALSE(upscaled(GreyImage{}, 2, 1000));

    const GreyImage numbered{3, 3, {1, 2, 3, 4, 5, 6, 7, 8, 9}};
    EXPECT_EQ(cropped(numbered, 1, 1, 2, 2).pixels, (std::vector<uint8_t>{5, 6, 8, 9}));
}

}  // namespace
}  // namespace tessarin::ocr
