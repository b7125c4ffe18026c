// Bands written into a window show up there exactly, through shared memory
// and through the socket, however many bands an area takes.

#include <cstdlib>

#include "InteractionTestSupport.h"
#include "TestDisplay.h"
#include "platform/x11/X11WindowImageWriter.h"

namespace tessarin::x11::testing {
namespace {

constexpr uint32_t kScreen = fnv1a32("screen");

// A different colour at every pixel of the window.
uint32_t patternAt(int64_t x, int64_t y) {
    return uint32_t(x * 7 % 256) << 16 | uint32_t(y * 5 % 256) << 8 | uint32_t((x + y) % 256);
}

class WindowImageWriter : public XServerTest {
protected:
    std::unique_ptr<X11WindowImageWriter> open(size_t bufferBytes, bool sharedMemory) {
        auto writer = X11WindowImageWriter::open(std::getenv("DISPLAY"), bufferBytes, sharedMemory);
        EXPECT_TRUE(writer) << writer.error();
        return writer ? std::move(writer.value()) : nullptr;
    }

    // Writes `area` of the window (window coordinates) band by band.
    void writePattern(X11WindowImageWriter& writer, uint32_t window, PixelRect area) {
        const int64_t rowsPerBand = writer.rowsPerBand(area.width);
        for (int64_t top = 0; top < area.height; top += rowsPerBand) {
            const int64_t rows = std::min(rowsPerBand, area.height - top);
            uint8_t* band = writer.nextBand(area.width);
            ASSERT_NE(band, nullptr);
            for (int64_t y = 0; y < rows; ++y) {
                for (int64_t column = 0; column < area.width; ++column) {
                    const uint32_t rgb = patternAt(area.x + column, area.y + top + y);
                    uint8_t* p = band + (y * area.width + column) * 4;
                    p[0] = uint8_t(rgb), p[1] = uint8_t(rgb >> 8), p[2] = uint8_t(rgb >> 16), p[3] = 0xff;
                }
            }
            const auto failure = writer.put(window, area.x, area.y + top, area.width, rows);
            ASSERT_FALSE(failure) << *failure;
        }
        writer.flush();
    }

    // Pixels of the window at (left, top) of the screen that differ from
    // the pattern inside `area` (window coordinates).
    size_t mismatches(int64_t left, int64_t top, PixelRect area) {
        x.sync();
        const auto image = backend->captureDisplayArea(kScreen, {left + area.x, top + area.y, area.width, area.height});
        EXPECT_TRUE(image) << image.error().description();
        if (!image) return size_t(area.width * area.height);
        size_t wrong = 0;
        for (uint32_t y = 0; y < image.value().height(); ++y) {
            for (uint32_t x0 = 0; x0 < image.value().width(); ++x0) {
                wrong += rgbAt(image.value(), x0, y) != patternAt(area.x + x0, area.y + y);
            }
        }
        return wrong;
    }
};

TEST_F(WindowImageWriter, BandsShowUpExactlyThroughEitherPath) {
    for (const bool sharedMemory : {true, false}) {
        SCOPED_TRACE(sharedMemory ? "shared memory" : "socket");
        const auto window = x.createWindow({.rect = {40, 50, 320, 240}, .colour = 0x000000, .overrideRedirect = true});
        // A buffer of a few rows: the window takes many bands, the last one short.
        const auto writer = open(320 * 4 * 7, sharedMemory);
        ASSERT_TRUE(writer);
        EXPECT_EQ(writer->rowsPerBand(320), 7);
        writePattern(*writer, window, {0, 0, 320, 240});
        EXPECT_EQ(writer->usesSharedMemory(), sharedMemory);
        EXPECT_EQ(mismatches(40, 50, {0, 0, 320, 240}), 0u);

        // A part of it, then the buffers released and taken again.
        writer->releaseBuffers();
        writePattern(*writer, window, {100, 30, 57, 101});
        EXPECT_EQ(mismatches(40, 50, {0, 0, 320, 240}), 0u);
        xcb_destroy_window(x.connection(), window);
    }
}

TEST_F(WindowImageWriter, WhatCannotBeWrittenIsAnError) {
    const auto writer = open(64 * 4 * 4, true);
    ASSERT_TRUE(writer);
    // Wider than the buffer: no band at all.
    EXPECT_EQ(writer->nextBand(65 * 4), nullptr);
    ASSERT_NE(writer->nextBand(64), nullptr);
    // More rows than the band holds, or a width it was not composed for.
    EXPECT_TRUE(writer->put(x.root(), 0, 0, 64, 5));
    EXPECT_TRUE(writer->put(x.root(), 0, 0, 32, 2));
    // A window that is not there.
    const auto missing = writer->put(0x7ffffff0, 0, 0, 64, 2);
    ASSERT_TRUE(missing);
    EXPECT_NE(missing->find("does not exist"), std::string::npos) << *missing;
}

}  // namespace
}  // namespace tessarin::x11::testing
