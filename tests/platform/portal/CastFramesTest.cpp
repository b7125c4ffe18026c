// Screen-cast frames as readers get them: formats, the wanted area cut from
// a buffer, the pointer drawn from metadata, the cursor mode asked for.

#include <gtest/gtest.h>

#include <spa/param/video/raw.h>

#include <array>
#include <tuple>
#include <vector>

#include "platform/portal/CastFrames.h"
#include "platform/portal/PipeWireParams.h"

namespace tessarin::portal {
namespace {

// A buffer whose pixel (x, y) is B = x, G = y, R = 7, A = 9, rows `stride` apart.
struct TestBuffer {
    TestBuffer(int64_t width, int64_t height, int64_t stride) : bytes(static_cast<size_t>(stride * height), 0xee) {
        buffer.width = width;
        buffer.height = height;
        buffer.stride = stride;
        for (int64_t y = 0; y < height; ++y) {
            for (int64_t x = 0; x < width; ++x) {
                uint8_t* pixel = bytes.data() + y * stride + x * 4;
                pixel[0] = static_cast<uint8_t>(x);
                pixel[1] = static_cast<uint8_t>(y);
                pixel[2] = 7;
                pixel[3] = 9;
            }
        }
        buffer.bytes = bytes.data();
        buffer.size = bytes.size();
    }
    std::vector<uint8_t> bytes;
    CastBuffer buffer;
};

RegionFrame frameOf(int64_t width, int64_t height) {
    RegionFrame frame;
    frame.width = width;
    frame.height = height;
    frame.bytesPerRow = static_cast<size_t>(width) * 4;
    frame.bytes.assign(frame.bytesPerRow * static_cast<size_t>(height), 0x55);
    return frame;
}

using Pixel = std::array<uint8_t, 4>;

Pixel pixelAt(const RegionFrame& frame, int64_t x, int64_t y) {
    const uint8_t* p = frame.row(y) + x * 4;
    return {p[0], p[1], p[2], p[3]};
}

TEST(CastPixelOrder, ReadsThe32BitRgbFormatsOnly) {
    const struct {
        uint32_t format;
        std::optional<CastPixelOrder> order;
    } cases[] = {
        {SPA_VIDEO_FORMAT_BGRx, CastPixelOrder::bgra}, {SPA_VIDEO_FORMAT_BGRA, CastPixelOrder::bgra},
        {SPA_VIDEO_FORMAT_RGBx, CastPixelOrder::rgba}, {SPA_VIDEO_FORMAT_RGBA, CastPixelOrder::rgba},
        {SPA_VIDEO_FORMAT_RGB, std::nullopt},          {SPA_VIDEO_FORMAT_xRGB, std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(castPixelOrderOf(c.format), c.order) << c.format;
    for (const uint32_t format : offeredCastFormats()) EXPECT_TRUE(castPixelOrderOf(format)) << format;
    EXPECT_EQ(offeredCastFormats().front(), uint32_t(SPA_VIDEO_FORMAT_BGRx));
}

TEST(CastSourceRect, ClipsTheAreaToThePicture) {
    TestBuffer test(100, 50, 400);
    const struct {
        std::optional<PixelRect> crop;
        PixelRect area;
        PixelRect source;
    } cases[] = {
        {std::nullopt, {10, 5, 20, 10}, {10, 5, 20, 10}},
        {std::nullopt, {90, 45, 20, 10}, {90, 45, 10, 5}},      // over the bottom-right corner
        {std::nullopt, {-5, -5, 10, 10}, {0, 0, 5, 5}},         // over the top-left corner
        {std::nullopt, {200, 0, 10, 10}, {}},                   // wholly outside
        {PixelRect{20, 10, 40, 30}, {0, 0, 10, 10}, {20, 10, 10, 10}},  // the crop moves the origin
        {PixelRect{20, 10, 40, 30}, {35, 25, 10, 10}, {55, 35, 5, 5}},  // and bounds the picture
        {PixelRect{90, 40, 40, 30}, {0, 0, 20, 20}, {90, 40, 10, 10}},  // a crop past the buffer is cut to it
        {PixelRect{0, 0, 0, 0}, {10, 5, 20, 10}, {10, 5, 20, 10}},      // an empty crop means none
    };
    for (const auto& c : cases) {
        test.buffer.videoCrop = c.crop;
        EXPECT_EQ(castSourceRect(test.buffer, c.area), c.source) << c.area.x << "," << c.area.y;
    }
}

// The whole picture a window's stream gives: what the frame's size follows.
TEST(CastPictureRect, TheCropCutToTheBufferOrTheWholeBuffer) {
    TestBuffer test(100, 50, 400);
    const struct {
        std::optional<PixelRect> crop;
        PixelRect picture;
    } cases[] = {
        {std::nullopt, {0, 0, 100, 50}},
        {PixelRect{20, 10, 40, 30}, {20, 10, 40, 30}},
        {PixelRect{90, 40, 40, 30}, {90, 40, 10, 10}},   // reaching past the buffer
        {PixelRect{-10, -5, 30, 20}, {0, 0, 20, 15}},    // starting before it
        {PixelRect{200, 0, 10, 10}, {0, 0, 100, 50}},    // wholly outside: no crop
        {PixelRect{0, 0, 0, 0}, {0, 0, 100, 50}},        // empty: no crop
    };
    for (const auto& c : cases) {
        test.buffer.videoCrop = c.crop;
        EXPECT_EQ(castPictureRect(test.buffer), c.picture) << (c.crop ? c.crop->x : -1);
    }
}

// Row by row past the stride padding, red and blue swapped for RGB order,
// through the sender's crop, and opaque black outside the picture.
TEST(CopyCastArea, CopiesTheAreaOfThePictureInBlueGreenRedOrder) {
    const struct {
        int64_t width, height, stride;
        CastPixelOrder order;
        std::optional<PixelRect> crop;
        PixelRect area;
        std::vector<std::tuple<int64_t, int64_t, Pixel>> samples;
    } cases[] = {
        {64, 32, 64 * 4 + 32, CastPixelOrder::bgra, std::nullopt, {10, 20, 5, 3},
         {{0, 0, {10, 20, 7, 9}}, {4, 2, {14, 22, 7, 9}}}},
        {8, 8, 32, CastPixelOrder::rgba, std::nullopt, {3, 4, 2, 2}, {{1, 1, {7, 5, 4, 9}}}},
        {64, 32, 256, CastPixelOrder::bgra, PixelRect{16, 8, 32, 16}, {1, 2, 2, 2}, {{0, 0, {17, 10, 7, 9}}}},
        {8, 8, 32, CastPixelOrder::bgra, std::nullopt, {6, 6, 4, 4},
         {{1, 1, {7, 7, 7, 9}}, {2, 0, {0, 0, 0, 255}}, {3, 3, {0, 0, 0, 255}}}},
    };
    for (const auto& c : cases) {
        TestBuffer test(c.width, c.height, c.stride);
        test.buffer.order = c.order;
        test.buffer.videoCrop = c.crop;
        RegionFrame frame = frameOf(c.area.width, c.area.height);
        ASSERT_TRUE(copyCastArea(test.buffer, c.area, frame));
        for (const auto& [x, y, pixel] : c.samples) EXPECT_EQ(pixelAt(frame, x, y), pixel) << x << "," << y;
    }
}

TEST(CopyCastArea, RefusesBuffersShorterThanTheirFormatAndMismatchedFrames) {
    TestBuffer test(8, 8, 32);
    RegionFrame frame = frameOf(2, 2);
    const auto copies = [&](auto change) {
        CastBuffer changed = test.buffer;
        change(changed);
        return copyCastArea(changed, {0, 0, 2, 2}, frame);
    };
    EXPECT_FALSE(copies([](CastBuffer& b) { b.size = 32 * 7 + 31; })) << "the last row one byte short";
    EXPECT_TRUE(copies([](CastBuffer& b) { b.size = 32 * 7 + 32; }));
    EXPECT_FALSE(copies([](CastBuffer& b) { b.stride = 16; }));
    EXPECT_FALSE(copies([](CastBuffer& b) { b.bytes = nullptr; }));
    EXPECT_FALSE(copyCastArea(test.buffer, {0, 0, 3, 2}, frame)) << "the frame is not the area's size";
}

CastCursorImage squareCursor(int64_t side, Pixel bgra, int64_t hotspot) {
    std::vector<uint8_t> bytes;
    for (int64_t i = 0; i < side * side; ++i) bytes.insert(bytes.end(), bgra.begin(), bgra.end());
    auto image = castCursorImage(bytes.data(), bytes.size(), side, side, side * 4, CastPixelOrder::bgra, hotspot, hotspot);
    return *image;
}

TEST(CastCursor, ReadsBitmapsAndRefusesBrokenHeaders) {
    std::vector<uint8_t> rgba = {1, 2, 3, 4, 5, 6, 7, 8, 0, 0, 0, 0, 0, 0, 0, 0};  // 2x1, stride 16
    auto image = castCursorImage(rgba.data(), rgba.size(), 2, 1, 16, CastPixelOrder::rgba, 1, 0);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->bgra, (std::vector<uint8_t>{3, 2, 1, 4, 7, 6, 5, 8}));
    EXPECT_EQ(image->hotspotX, 1);
    EXPECT_FALSE(castCursorImage(rgba.data(), rgba.size(), 2, 2, 16, CastPixelOrder::rgba, 0, 0)) << "too few bytes";
    EXPECT_FALSE(castCursorImage(rgba.data(), rgba.size(), 5, 1, 16, CastPixelOrder::rgba, 0, 0)) << "stride too small";
    EXPECT_FALSE(castCursorImage(rgba.data(), rgba.size(), 0, 1, 16, CastPixelOrder::rgba, 0, 0));
    EXPECT_FALSE(castCursorImage(nullptr, 0, 1, 1, 4, CastPixelOrder::rgba, 0, 0));
    EXPECT_FALSE(castCursorImage(rgba.data(), rgba.size(), 100000, 1, 400000, CastPixelOrder::rgba, 0, 0));
}

TEST(CastCursor, DrawsAtTheHotspotRelativeToTheArea) {
    RegionFrame frame = frameOf(10, 10);
    const CastCursorImage cursor = squareCursor(2, {200, 100, 50, 255}, 1);
    // Hot spot at picture (21, 31), area origin (15, 25): the image covers frame pixels 5..6.
    drawCastCursor(cursor, {21, 31}, {15, 25, 10, 10}, frame);
    for (const auto& [x, y, pixel] : {std::tuple{5, 5, Pixel{200, 100, 50, 0x55}}, {6, 6, Pixel{200, 100, 50, 0x55}},
                                      {4, 5, Pixel{0x55, 0x55, 0x55, 0x55}}, {7, 7, Pixel{0x55, 0x55, 0x55, 0x55}}}) {
        EXPECT_EQ(pixelAt(frame, x, y), pixel) << x << "," << y;
    }
}

TEST(CastCursor, BlendsByAlphaAndClipsAtTheEdges) {
    RegionFrame frame = frameOf(4, 4);
    drawCastCursor(squareCursor(3, {255, 255, 255, 128}, 0), {-1, -1}, {0, 0, 4, 4}, frame);
    // 255 * 128/255 + 0x55 * 127/255, rounded.
    EXPECT_EQ(pixelAt(frame, 0, 0)[0], 170);
    EXPECT_EQ(pixelAt(frame, 2, 2)[0], 0x55);
    RegionFrame untouched = frameOf(4, 4);
    drawCastCursor(squareCursor(3, {255, 255, 255, 0}, 0), {1, 1}, {0, 0, 4, 4}, untouched);
    EXPECT_EQ(untouched.bytes, frameOf(4, 4).bytes) << "transparent pixels change nothing";
    drawCastCursor(squareCursor(3, {255, 255, 255, 255}, 0), {50, 50}, {0, 0, 4, 4}, untouched);
    EXPECT_EQ(untouched.bytes, frameOf(4, 4).bytes) << "a pointer off the area draws nothing";
}

TEST(CastCursorMode, PrefersTheSendersDrawingThenMetadata) {
    const struct {
        uint32_t available;
        bool showsCursor;
        CastCursorChoice choice;
    } cases[] = {
        {7, true, {kCastCursorEmbedded, false}},
        {kCastCursorHidden | kCastCursorMetadata, true, {kCastCursorMetadata, true}},
        {kCastCursorHidden, true, {}},
        {7, false, {kCastCursorHidden, false}},
        {kCastCursorEmbedded | kCastCursorMetadata, false, {kCastCursorMetadata, false}},
        {kCastCursorEmbedded, false, {}},
        {0, true, {}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(chooseCastCursorMode(c.available, c.showsCursor), c.choice) << c.available << " " << c.showsCursor;
    }
}

TEST(CastParams, FormatAndMetaParametersFitOneBuffer) {
    PodBuffer pod;
    const spa_pod* format = castFormatParam(pod, 30);
    const spa_pod* buffers = castBuffersParam(pod);
    const spa_pod* crop = castCropMetaParam(pod);
    const spa_pod* cursor = castCursorMetaParam(pod);
    for (const spa_pod* param : {format, buffers, crop, cursor}) ASSERT_NE(param, nullptr);
    EXPECT_LT(static_cast<const void*>(format), static_cast<const void*>(buffers));
    EXPECT_LE(pod.used, sizeof pod.bytes);
}

}  // namespace
}  // namespace tessarin::portal
