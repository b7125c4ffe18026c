#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "TestImages.h"
#include "render/ImageDecoder.h"
#include "render/JpegEncoder.h"

namespace tessarin {
namespace {

std::vector<uint8_t> encode(const Image& image, double quality) {
    MemorySink sink;
    const EncodeResult result = encodeJpeg(image, quality, sink);
    EXPECT_TRUE(result) << (result ? "" : result.error().message);
    return sink.take();
}

double psnr(const Image& a, const Image& b) {
    double squared = 0;
    size_t count = 0;
    for (size_t i = 0; i < a.byteCount(); ++i) {
        if (i % 4 == 3) continue;
        const double d = double(a.data()[i]) - double(b.data()[i]);
        squared += d * d;
        ++count;
    }
    return 10 * std::log10(255.0 * 255.0 / (squared / double(count)));
}

TEST(JpegEncoder, WritesWellFormedFilesCloseToTheOriginal) {
    const Image image = test::gradientImage(200, 120);
    const std::vector<uint8_t> file = encode(image, 0.9);
    ASSERT_GE(file.size(), 4u);
    EXPECT_EQ(file[0], 0xFF);
    EXPECT_EQ(file[1], 0xD8);
    EXPECT_EQ(file[file.size() - 2], 0xFF);
    EXPECT_EQ(file[file.size() - 1], 0xD9);
    const auto decoded = decodeImage(file);
    ASSERT_TRUE(decoded) << decoded.error().message;
    EXPECT_EQ(decoded->width(), 200u);
    EXPECT_EQ(decoded->height(), 120u);
    EXPECT_GT(psnr(image, *decoded), 30.0);
    for (const auto& [w, h] : {std::pair{1u, 1u}, {1u, 300u}, {300u, 1u}, {17u, 9u}}) {
        const auto odd = decodeImage(encode(test::noiseImage(w, h, w), 0.9));
        ASSERT_TRUE(odd);
        EXPECT_EQ(odd->width() * 1000 + odd->height(), w * 1000 + h);
    }
}

TEST(JpegEncoder, QualityTradesSizeForFidelity) {
    const Image image = test::noiseImage(64, 64, 9);
    EXPECT_LT(encode(image, 0.2).size(), encode(image, 0.9).size());
    // Out-of-range qualities are clamped rather than refused.
    EXPECT_EQ(encode(image, 7.0), encode(image, 1.0));
    EXPECT_EQ(encode(image, -1.0), encode(image, 0.0));
}

TEST(JpegEncoder, AlphaIsDroppedNotComposited) {
    const Image opaque = test::noiseImage(33, 9, 4, true);
    Image translucent = opaque.clone();
    for (size_t i = 3; i < translucent.byteCount(); i += 4) translucent.data()[i] = uint8_t(i);
    EXPECT_EQ(encode(translucent, 0.9), encode(opaque, 0.9));
}

TEST(JpegEncoderErrors, InvalidInputAndRefusingSinksAreReported) {
    MemorySink sink;
    EXPECT_EQ(encodeJpeg(Image{}, 0.9, sink).error().kind, EncodeError::Kind::invalidImage);
    EXPECT_EQ(encodeJpeg(test::gradientImage(8, 8), std::numeric_limits<double>::quiet_NaN(), sink).error().kind,
              EncodeError::Kind::invalidImage);
    EXPECT_EQ(encodeJpeg(*Image::allocate(65501, 1), 0.9, sink).error().kind, EncodeError::Kind::invalidImage);

    class Refusing final : public ByteSink {
        bool write(std::span<const uint8_t>) override { return false; }
    } refusing;
    const EncodeResult result = encodeJpeg(test::noiseImage(300, 300, 1), 0.9, refusing);  // more than one buffer
    ASSERT_FALSE(result);
    EXPECT_EQ(result.error().kind, EncodeError::Kind::sinkFailed);
    EXPECT_FALSE(encodeJpeg(test::gradientImage(8, 8), 0.9, refusing));  // fails only at the final flush
}

}  // namespace
}  // namespace tessarin
