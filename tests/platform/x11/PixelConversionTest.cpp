#include <gtest/gtest.h>

#include <vector>

#include "platform/x11/PixelConversion.h"

namespace tessarin::x11 {
namespace {

TEST(BgrxToRgba, SwapsRedAndBlueAndMakesAlphaOpaque) {
    // Long enough for a vectorised body and a scalar tail.
    constexpr size_t pixels = 37;
    std::vector<uint8_t> source(pixels * 4);
    for (size_t i = 0; i < source.size(); ++i) source[i] = static_cast<uint8_t>(i * 7);
    source[0] = 0x99, source[1] = 0x66, source[2] = 0x33, source[3] = 0x00;  // #336699
    std::vector<uint8_t> destination(pixels * 4 + 4, 0xaa);
    bgrxRowToRgba(source.data(), destination.data(), pixels);
    EXPECT_EQ(std::vector<uint8_t>(destination.begin(), destination.begin() + 4),
              (std::vector<uint8_t>{0x33, 0x66, 0x99, 0xff}));
    for (size_t i = 0; i < pixels; ++i) {
        ASSERT_EQ(destination[4 * i], source[4 * i + 2]) << "pixel " << i;
        ASSERT_EQ(destination[4 * i + 1], source[4 * i + 1]) << "pixel " << i;
        ASSERT_EQ(destination[4 * i + 2], source[4 * i]) << "pixel " << i;
        ASSERT_EQ(destination[4 * i + 3], 0xff) << "pixel " << i;  // the X byte is not alpha
    }
    EXPECT_EQ(destination[pixels * 4], 0xaa);  // nothing past the row
}

TEST(PixelFormat, OnlyLsbFirstTrueColourIn32BitsIsRead) {
    const PixelFormat depth24{24, 32, 32, true, 0xff0000, 0xff00, 0xff};
    EXPECT_EQ(unsupportedFormatReason(depth24), std::nullopt);
    EXPECT_EQ(unsupportedFormatReason({32, 32, 32, true, 0xff0000, 0xff00, 0xff}), std::nullopt);
    EXPECT_EQ(zpixmapStride(1920, depth24), 7680u);

    EXPECT_EQ(unsupportedFormatReason({16, 16, 32, true, 0xf800, 0x7e0, 0x1f}),
              "unsupported X pixel format (depth 16, 16 bits per pixel): only depth 24 and 32 are read");
    EXPECT_EQ(unsupportedFormatReason({24, 24, 32, true, 0xff0000, 0xff00, 0xff}),
              "unsupported X pixel format (depth 24, 24 bits per pixel): only 32 bits per pixel are read");
    EXPECT_EQ(unsupportedFormatReason({24, 32, 32, false, 0xff0000, 0xff00, 0xff}),
              "unsupported X pixel format (depth 24, 32 bits per pixel, most significant byte first): only "
              "LSBFirst is read");
    EXPECT_EQ(unsupportedFormatReason({24, 32, 32, true, 0xff, 0xff00, 0xff0000}),
              "unsupported X pixel format (depth 24, 32 bits per pixel): only 8-bit red, green and blue channels in "
              "that order are read");
}

}  // namespace
}  // namespace tessarin::x11
