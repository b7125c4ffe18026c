#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>

#include "TestImages.h"
#include "render/ImageDecoder.h"
#include "support/TempDir.h"

namespace tessarin {
namespace {

using Kind = DecodeError::Kind;
using test::Bytes;

void expectError(const DecodeResult& result, Kind kind, const std::string& messagePart = {}) {
    ASSERT_FALSE(result);
    EXPECT_EQ(result.error().kind, kind) << result.error().message;
    EXPECT_NE(result.error().message.find(messagePart), std::string::npos) << result.error().message;
}

TEST(ImageDecoder, EveryPngFormBecomesEightBitRgba) {
    const auto grey = [](std::initializer_list<uint8_t> levels) {
        Bytes rgba;
        for (const uint8_t level : levels) rgba.insert(rgba.end(), {level, level, level, 255});
        return rgba;
    };
    const Bytes blackWhite = grey({0, 255}), colours = {10, 20, 30, 255, 200, 100, 50, 128};
    const struct {
        uint32_t width, height;
        uint8_t depth, colorType;
        bool interlaced;
        Bytes filtered, palette, transparency, expected;
    } cases[] = {
        {2, 1, 1, 0, false, {0, 0x40}, {}, {}, blackWhite},
        {2, 1, 4, 0, false, {0, 0x0F}, {}, {}, blackWhite},
        {2, 1, 16, 0, false, {0, 0x00, 0x00, 0xFF, 0xFF}, {}, {}, blackWhite},
        {2, 1, 16, 6, false, {0, 10, 1, 20, 2, 30, 3, 255, 255, 200, 9, 100, 9, 50, 9, 128, 0}, {}, {}, colours},
        {2, 1, 8, 3, false, {0, 0, 1}, {10, 20, 30, 200, 100, 50}, {255, 128}, colours},
        {1, 1, 8, 4, false, {0, 77, 9}, {}, {}, {77, 77, 77, 9}},
        // Adam7 passes 1, 4, 5, 6 (two scanlines) and 7 of a 3x3 image whose grey levels are 10y + x + 1.
        {3, 3, 8, 0, true, {0, 1, 0, 3, 0, 21, 23, 0, 2, 0, 22, 0, 11, 12, 13}, {}, {},
         grey({1, 2, 3, 11, 12, 13, 21, 22, 23})},
    };
    for (const auto& c : cases) {
        const auto result = decodeImage(test::pngFile(c.width, c.height, c.depth, c.colorType, c.interlaced, c.filtered,
                                                      c.palette, c.transparency));
        ASSERT_TRUE(result) << int(c.depth) << "/" << int(c.colorType) << ": " << result.error().message;
        EXPECT_EQ(Bytes(result->data(), result->data() + result->byteCount()), c.expected) << int(c.depth);
    }
}

TEST(ImageDecoder, GarbageTruncatedAndDamagedInputIsRefused) {
    expectError(decodeImage({}), Kind::unsupportedFormat, "Not a PNG or JPEG image");
    expectError(decodeImage(Bytes{'G', 'I', 'F', '8', '9', 'a', 0, 0, 0, 0}), Kind::unsupportedFormat);
    for (const Bytes& file : {test::pngOf(test::noiseImage(50, 40, 1)), test::jpegOf(test::noiseImage(50, 40, 1))}) {
        for (size_t cut = 1; cut < file.size(); cut += 1 + cut / 8) {
            ASSERT_FALSE(decodeImage(std::span(file.data(), cut))) << "cut at " << cut << " of " << file.size();
        }
    }
    Bytes png = test::pngOf(test::noiseImage(20, 20, 2));
    png[png.size() / 2] ^= 0x55;  // inside IDAT: the chunk CRC no longer matches
    expectError(decodeImage(png), Kind::corrupt, "Damaged PNG image");
    Bytes jpeg = test::jpegOf(test::noiseImage(64, 64, 2));
    jpeg.resize(jpeg.size() * 2 / 3);
    expectError(decodeImage(jpeg), Kind::corrupt, "Damaged JPEG image");
}

// The JPEG with its start-of-frame size replaced.
Bytes withJpegSize(Bytes file, uint16_t width, uint16_t height) {
    for (size_t i = 0; i + 8 < file.size(); ++i) {
        if (file[i] == 0xFF && file[i + 1] == 0xC0) {  // length, precision, height, width
            file[i + 5] = uint8_t(height >> 8), file[i + 6] = uint8_t(height);
            file[i + 7] = uint8_t(width >> 8), file[i + 8] = uint8_t(width);
            break;
        }
    }
    return file;
}

TEST(ImageDecoder, HugeOrEmptyDeclaredSizesFailBeforeAllocating) {
    // The middle sizes are within the pixel limit, but no data this short could fill them.
    const Bytes rows(8 * 33, 0), jpeg = test::jpegOf(test::noiseImage(16, 16, 3));
    const struct {
        Bytes file;
        Kind kind;
        const char* message;
    } cases[] = {
        {test::pngFile(100000, 100000, 8, 6, false, rows), Kind::tooLarge, "100000x100000"},
        {test::pngFile(16384, 16384, 8, 6, false, rows), Kind::corrupt, "too short"},
        {test::pngFile(0, 8, 8, 6, false, rows), Kind::corrupt, ""},
        {withJpegSize(jpeg, 65000, 65000), Kind::tooLarge, "65000x65000"},
        {withJpegSize(jpeg, 16000, 16000), Kind::corrupt, "too short"},
        {withJpegSize(jpeg, 0, 16), Kind::corrupt, ""},
    };
    for (const auto& c : cases) expectError(decodeImage(c.file), c.kind, c.message);
}

TEST(ImageDecoder, ReadsRegularFilesOnly) {
    const testing::TempDir folder;
    test::writeFile(folder / "shot.png", test::pngOf(test::noiseImage(31, 17, 4)));
    expectError(decodeImageFile(folder / "shot.png", 100), Kind::tooLarge, "larger than");
    expectError(decodeImageFile(folder / "missing.png"), Kind::fileSystem, "No such file or directory");
    ASSERT_EQ(mkfifo((folder / "fifo").c_str(), 0600), 0);
    for (const auto& path : {folder.path(), folder / "fifo", std::filesystem::path("/dev/zero")}) {
        expectError(decodeImageFile(path), Kind::fileSystem, "not a regular file");  // and a FIFO does not block
    }
}

}  // namespace
}  // namespace tessarin
