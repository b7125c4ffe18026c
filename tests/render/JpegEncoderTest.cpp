#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "TestImages.h"
#include "render/ImageDecoder.h"
#include "render/JpegEncoder.h"

namespace tessarin {
namespace {

using test::Bytes;
using test::jpegOf;

double psnr(const Image& a, const Image& b) {
    double squared = 0;
    for (size_t i = 0; i < a.byteCount(); ++i) {
        if (i % 4 != 3) squared += std::pow(double(a.data()[i]) - double(b.data()[i]), 2);
    }
    return 10 * std::log10(255.0 * 255.0 / (squared / double(a.byteCount() / 4 * 3)));
}

TEST(JpegEncoder, WritesWellFormedOpaqueFilesCloseToTheOriginal) {
    const Image image = test::gradientImage(200, 120);
    const auto decoded = decodeImage(jpegOf(image));
    ASSERT_TRUE(decoded) << decoded.error().message;
    EXPECT_EQ(decoded->width() * 1000 + decoded->height(), 200120u);
    EXPECT_GT(psnr(image, *decoded), 30.0);
    for (const auto& [w, h] : {std::pair{1u, 1u}, {300u, 1u}, {17u, 9u}}) {
        const auto odd = decodeImage(jpegOf(test::noiseImage(w, h, w)));
        ASSERT_TRUE(odd);
        EXPECT_EQ(odd->width() * 1000 + odd->height(), w * 1000 + h);
    }
}

TEST(JpegEncoder, QualityTradesSizeAndIsClampedAndAlphaIsDropped) {
    const Image image = test::noiseImage(64, 64, 9);
    EXPECT_LT(jpegOf(image, 0.2).size(), jpegOf(image, 0.9).size());
    EXPECT_EQ(jpegOf(image, 7.0), jpegOf(image, 1.0));
    EXPECT_EQ(jpegOf(image, -1.0), jpegOf(image, 0.0));
    Image translucent = image.clone();
    for (size_t i = 3; i < translucent.byteCount(); i += 4) translucent.data()[i] = uint8_t(i);
    EXPECT_EQ(jpegOf(translucent), jpegOf(image));  // dropped, not composited
}

TEST(JpegEncoder, InvalidInputAndRefusingSinksAreReported) {
    MemorySink sink;
    EXPECT_EQ(encodeJpeg(Image{}, 0.9, sink).error().kind, EncodeError::Kind::invalidImage);
    EXPECT_EQ(encodeJpeg(test::gradientImage(8, 8), std::numeric_limits<double>::quiet_NaN(), sink).error().kind,
              EncodeError::Kind::invalidImage);
    EXPECT_EQ(encodeJpeg(*Image::allocate(65501, 1), 0.9, sink).error().kind, EncodeError::Kind::invalidImage);
    struct Refusing final : ByteSink {
        bool write(std::span<const uint8_t>) override { return false; }
    } refusing;
    const EncodeResult result = encodeJpeg(test::noiseImage(300, 300, 1), 0.9, refusing);  // more than one buffer
    ASSERT_FALSE(result);
    EXPECT_EQ(result.error().kind, EncodeError::Kind::sinkFailed);
    EXPECT_FALSE(encodeJpeg(test::gradientImage(8, 8), 0.9, refusing));  // fails only at the final flush
}

}  // namespace
}  // namespace tessarin
