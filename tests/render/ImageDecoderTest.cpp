#include <gtest/gtest.h>
#include <png.h>
#include <sys/stat.h>
#include <zlib.h>


#include "TestImages.h"
#include "render/ImageDecoder.h"
#include "render/JpegEncoder.h"
#include "render/PngEncoder.h"

namespace tessarin {
namespace {

using Kind = DecodeError::Kind;

std::vector<uint8_t> pngOf(const Image& image) {
    MemorySink sink;
    EXPECT_TRUE(encodePng(image, sink));
    return sink.take();
}

std::vector<uint8_t> jpegOf(const Image& image, double quality = 0.9) {
    MemorySink sink;
    EXPECT_TRUE(encodeJpeg(image, quality, sink));
    return sink.take();
}

void expectError(const DecodeResult& result, Kind kind, const std::string& messagePart = {}) {
    ASSERT_FALSE(result);
    EXPECT_EQ(result.error().kind, kind) << result.error().message;
    EXPECT_NE(result.error().message.find(messagePart), std::string::npos) << result.error().message;
}

// The PNG with its IHDR size replaced (and the CRC fixed up to match).
std::vector<uint8_t> withPngSize(std::vector<uint8_t> file, uint32_t width, uint32_t height) {
    const auto put = [&file](size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i) file[at + i] = uint8_t(v >> (24 - 8 * i));
    };
    put(16, width);
    put(20, height);
    put(29, uint32_t(crc32(0, &file[12], 17)));
    return file;
}

std::vector<uint8_t> withJpegSize(std::vector<uint8_t> file, uint16_t width, uint16_t height) {
    for (size_t i = 0; i + 8 < file.size(); ++i) {
        if (file[i] == 0xFF && file[i + 1] == 0xC0) {  // start of frame: length, precision, height, width
            file[i + 5] = uint8_t(height >> 8), file[i + 6] = uint8_t(height);
            file[i + 7] = uint8_t(width >> 8), file[i + 8] = uint8_t(width);
            break;
        }
    }
    return file;
}

// ---- every PNG form becomes 8-bit RGBA ------------------------------------

TEST(ImageDecoderPng, GreyscaleOfEveryDepthExpandsToRgba) {
    // Two pixels, black then white, at each bit depth.
    const struct { int depth; std::vector<uint8_t> row; } cases[] = {
        {1, {0x40}}, {2, {0x30}}, {4, {0x0F}}, {8, {0x00, 0xFF}}, {16, {0x00, 0x00, 0xFF, 0xFF}}};
    for (const auto& c : cases) {
        const auto result = decodeImage(test::libpngFile(2, 1, c.depth, PNG_COLOR_TYPE_GRAY, false, c.row));
        ASSERT_TRUE(result) << c.depth << ": " << result.error().message;
        EXPECT_EQ(std::vector<uint8_t>(result->data(), result->data() + 8),
                  (std::vector<uint8_t>{0, 0, 0, 255, 255, 255, 255, 255})) << c.depth;
    }
}

TEST(ImageDecoderPng, AlphaPaletteTransparencyAndSixteenBitsAreConverted) {
    const std::vector<uint8_t> expected = {10, 20, 30, 255, 200, 100, 50, 128};
    const auto check = [&](const std::vector<uint8_t>& file) {
        const auto result = decodeImage(file);
        ASSERT_TRUE(result) << result.error().message;
        EXPECT_EQ(std::vector<uint8_t>(result->data(), result->data() + 8), expected);
    };
    check(test::libpngFile(2, 1, 8, PNG_COLOR_TYPE_RGBA, false, {10, 20, 30, 255, 200, 100, 50, 128}));
    check(test::libpngFile(2, 1, 16, PNG_COLOR_TYPE_RGBA, false,
                           {10, 1, 20, 2, 30, 3, 255, 255, 200, 9, 100, 9, 50, 9, 128, 0}));
    check(test::libpngFile(2, 1, 8, PNG_COLOR_TYPE_PALETTE, false, {0, 1}, {10, 20, 30, 200, 100, 50}, {255, 128}));
    const auto greyAlpha = decodeImage(test::libpngFile(1, 1, 8, PNG_COLOR_TYPE_GRAY_ALPHA, false, {77, 9}));
    ASSERT_TRUE(greyAlpha);
    EXPECT_EQ(std::vector<uint8_t>(greyAlpha->data(), greyAlpha->data() + 4), (std::vector<uint8_t>{77, 77, 77, 9}));
}

TEST(ImageDecoderPng, InterlacedImagesComeOutWhole) {
    const Image image = test::noiseImage(13, 11, 5);
    std::vector<uint8_t> rows(image.data(), image.data() + image.byteCount());
    const auto result = decodeImage(test::libpngFile(13, 11, 8, PNG_COLOR_TYPE_RGBA, true, rows));
    ASSERT_TRUE(result) << result.error().message;
    EXPECT_TRUE(test::samePixels(*result, image));
}

// ---- JPEG ---------------------------------------------------------------------

TEST(ImageDecoderJpeg, DecodesToOpaqueRgba) {
    const auto decoded = decodeImage(jpegOf(test::gradientImage(40, 30)));
    ASSERT_TRUE(decoded) << decoded.error().message;
    EXPECT_EQ(decoded->width(), 40u);
    EXPECT_EQ(decoded->height(), 30u);
    EXPECT_EQ(decoded->row(29)[39 * 4 + 3], 255);
}

// ---- hostile input ------------------------------------------------------------

TEST(ImageDecoderHostile, GarbageAndEmptyInputAreNotImages) {
    expectError(decodeImage({}), Kind::unsupportedFormat, "Not a PNG or JPEG image");
    const std::vector<uint8_t> garbage = {'G', 'I', 'F', '8', '9', 'a', 0, 0, 0, 0};
    expectError(decodeImage(garbage), Kind::unsupportedFormat);
}

TEST(ImageDecoderHostile, TruncationAnywhereFailsCleanly) {
    for (const auto& file : {pngOf(test::noiseImage(50, 40, 1)), jpegOf(test::noiseImage(50, 40, 1))}) {
        for (size_t cut = 1; cut < file.size(); cut += 1 + cut / 8) {
            const auto result = decodeImage(std::span(file.data(), cut));
            ASSERT_FALSE(result) << "cut at " << cut << " of " << file.size();
        }
    }
}

TEST(ImageDecoderHostile, DamagedDataIsReportedAsCorrupt) {
    std::vector<uint8_t> png = pngOf(test::noiseImage(20, 20, 2));
    png[png.size() / 2] ^= 0x55;  // inside IDAT: the chunk CRC no longer matches
    expectError(decodeImage(png), Kind::corrupt, "Damaged PNG image");
    std::vector<uint8_t> jpeg = jpegOf(test::noiseImage(64, 64, 2));
    jpeg.resize(jpeg.size() * 2 / 3);
    expectError(decodeImage(jpeg), Kind::corrupt, "Damaged JPEG image");
}

TEST(ImageDecoderHostile, HugeOrEmptyDeclaredSizesFailBeforeAllocating) {
    const std::vector<uint8_t> png = pngOf(test::noiseImage(8, 8, 3));
    expectError(decodeImage(withPngSize(png, 100000, 100000)), Kind::tooLarge, "100000x100000");
    expectError(decodeImage(withPngSize(png, 0, 8)), Kind::corrupt);
    // Within the pixel limit, but no deflate stream this short could fill it.
    expectError(decodeImage(withPngSize(png, 16384, 16384)), Kind::corrupt, "too short");

    const std::vector<uint8_t> jpeg = jpegOf(test::noiseImage(16, 16, 3));
    expectError(decodeImage(withJpegSize(jpeg, 65000, 65000)), Kind::tooLarge, "65000x65000");
    expectError(decodeImage(withJpegSize(jpeg, 16000, 16000)), Kind::corrupt, "too short");
    expectError(decodeImage(withJpegSize(jpeg, 0, 16)), Kind::corrupt);
}

// ---- files ----------------------------------------------------------------------

TEST(ImageDecoderFile, ReadsRegularFilesOnly) {
    test::TemporaryFolder folder;
    const Image image = test::noiseImage(31, 17, 4);
    test::writeFile(folder.path() / "shot.png", pngOf(image));
    const auto decoded = decodeImageFile(folder.path() / "shot.png");
    ASSERT_TRUE(decoded) << decoded.error().message;
    EXPECT_TRUE(test::samePixels(*decoded, image));

    expectError(decodeImageFile(folder.path() / "missing.png"), Kind::fileSystem, "No such file or directory");
    expectError(decodeImageFile(folder.path()), Kind::fileSystem, "not a regular file");
    const auto fifo = folder.path() / "fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    expectError(decodeImageFile(fifo), Kind::fileSystem, "not a regular file");  // and does not block
    expectError(decodeImageFile("/dev/zero"), Kind::fileSystem, "not a regular file");
    expectError(decodeImageFile(folder.path() / "shot.png", 100), Kind::tooLarge, "larger than");
}

}  // namespace
}  // namespace tessarin
