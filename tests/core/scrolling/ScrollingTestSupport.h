#pragma once
// Synthetic scrolling content for the scrolling tests and benchmark: a tall
// page of text-like lines, frames cut from it at any scroll offset (with an
// optional sticky header), a fake clock, an inline worker and a frame
// source that shows whatever a scripted viewer shows.

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <random>
#include <vector>

#include "core/common/Executor.h"
#include "core/common/Image.h"
#include "core/scrolling/ScrollingCaptureStitcher.h"
#include "platform/RegionFrameStream.h"

namespace tessarin::testing {

inline ScrollingFrameRaster rasterOf(std::shared_ptr<RegionFrame> frame) {
    return ScrollingFrameRaster::fromFrame(std::move(frame)).value();
}

// A stitcher over `first`, and one frame through it on the calling thread.
inline ScrollingCaptureStitcher stitcherFrom(const ScrollingFrameRaster& first) {
    return ScrollingCaptureStitcher(ScrollingCaptureComposer::make(first, 12).value(), first);
}
inline auto processFrame(ScrollingCaptureStitcher& stitcher, std::shared_ptr<RegionFrame> frame,
                         std::optional<ScrollingCapturePreviewRequest> preview = std::nullopt) {
    return stitcher.processRaster(rasterOf(std::move(frame)), 12, preview, ScrollingClock::now()).value();
}

// Pixels as 0xRRGGBB, row-major.
struct Page {
    int64_t width = 0;
    int64_t height = 0;
    std::vector<uint32_t> pixels;
    uint32_t at(int64_t x, int64_t y) const { return pixels[static_cast<size_t>(y * width + x)]; }
};

struct PageOptions {
    int64_t width = 320;
    int64_t lines = 300;
    int64_t lineHeight = 16;
    // Lines [repeatFrom, repeatFrom + repeatCount) all look like repeatFrom.
    int64_t repeatFrom = -1;
    int64_t repeatCount = 0;
    uint32_t seed = 1;
};

// Text-like lines: a blank gap, then rows of "glyph" runs in a per-line ink
// colour over a per-line background, different in every row.
inline Page makePage(const PageOptions& options) {
    Page page{options.width, options.lines * options.lineHeight, {}};
    page.pixels.resize(static_cast<size_t>(page.width * page.height));
    for (int64_t line = 0; line < options.lines; ++line) {
        const bool repeats = line >= options.repeatFrom && line < options.repeatFrom + options.repeatCount;
        std::mt19937 random(options.seed * 7919u + static_cast<uint32_t>(repeats ? options.repeatFrom : line));
        const uint32_t background = 0xf0f0f0 ^ (random() & 0x0f0f0f);
        const uint32_t ink = random() & 0x7f7f7f;
        for (int64_t r = 0; r < options.lineHeight; ++r) {
            const int64_t y = line * options.lineHeight + r;
            const bool glyphRow = r >= 3 && r < options.lineHeight - 2;
            uint32_t bits = random();
            for (int64_t x = 0; x < page.width; ++x) {
                if (x % 32 == 0) bits = random();
                const bool on = glyphRow && ((bits >> ((x / 3) % 32)) & 1) != 0;
                page.pixels[static_cast<size_t>(y * page.width + x)] = on ? ink : background;
            }
        }
    }
    return page;
}

enum class NumberEdge { left, right };

// 5x7 bitmaps of the digits 0 to 9, one byte a row, bit 4 leftmost.
inline constexpr uint8_t kDigitGlyphs[10][7] = {
    {0x0e, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0e}, {0x04, 0x0c, 0x04, 0x04, 0x04, 0x04, 0x0e},
    {0x0e, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1f}, {0x1f, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0e},
    {0x02, 0x06, 0x0a, 0x12, 0x1f, 0x02, 0x02}, {0x1f, 0x10, 0x1e, 0x01, 0x01, 0x11, 0x0e},
    {0x06, 0x08, 0x10, 0x1e, 0x11, 0x11, 0x0e}, {0x1f, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08},
    {0x0e, 0x11, 0x11, 0x0e, 0x11, 0x11, 0x0e}, {0x0e, 0x11, 0x11, 0x0f, 0x01, 0x02, 0x0c},
};

// A log whose lines are the same text except for a four-digit line number
// (1, 2, ...) hugging one edge, outside the columns a frame's signature
// samples: every line looks like every other one unless the number is seen.
inline Page makeLookAlikePage(int64_t width, int64_t lines, NumberEdge edge, int64_t lineHeight = 16) {
    Page page = makePage({.width = width, .lines = 1, .lineHeight = lineHeight, .seed = 3});
    const std::vector<uint32_t> line = page.pixels;
    page.height = lines * lineHeight;
    page.pixels.clear();
    for (int64_t l = 0; l < lines; ++l) page.pixels.insert(page.pixels.end(), line.begin(), line.end());
    const uint32_t background = line[0];
    const int64_t left = edge == NumberEdge::left ? 1 : width - 1 - 4 * 6;
    for (int64_t l = 0; l < lines; ++l) {
        const int64_t number = l + 1;
        const int64_t digits[4] = {number / 1000 % 10, number / 100 % 10, number / 10 % 10, number % 10};
        for (int64_t y = 0; y < lineHeight; ++y) {
            for (int64_t x = left; x < left + 4 * 6; ++x) {
                const int64_t glyphRow = y - (lineHeight - 7) / 2;
                const int64_t glyphColumn = (x - left) % 6;
                const bool ink = glyphRow >= 0 && glyphRow < 7 && glyphColumn < 5 &&
                                 ((kDigitGlyphs[digits[(x - left) / 6]][glyphRow] >> (4 - glyphColumn)) & 1) != 0;
                page.pixels[static_cast<size_t>((l * lineHeight + y) * width + x)] = ink ? 0x101010u : background;
            }
        }
    }
    return page;
}

// `tile` repeated `times` times, top to bottom.
inline Page tiledPage(const Page& tile, int64_t times) {
    Page page{tile.width, tile.height * times, {}};
    for (int64_t t = 0; t < times; ++t) page.pixels.insert(page.pixels.end(), tile.pixels.begin(), tile.pixels.end());
    return page;
}

inline std::shared_ptr<RegionFrame> blankFrame(int64_t width, int64_t height, size_t padding = 8) {
    auto frame = std::make_shared<RegionFrame>();
    frame->width = width;
    frame->height = height;
    frame->bytesPerRow = static_cast<size_t>(width) * 4 + padding;  // a stride wider than the row
    frame->bytes.assign(frame->bytesPerRow * static_cast<size_t>(height), 0);
    return frame;
}

inline std::shared_ptr<RegionFrame> frameOf(int64_t width, int64_t height,
                                            const std::function<uint32_t(int64_t, int64_t)>& rgb) {
    auto frame = blankFrame(width, height);
    for (int64_t y = 0; y < height; ++y) {
        for (int64_t x = 0; x < width; ++x) {
            const uint32_t c = rgb(x, y);  // stored as BGRA
            uint8_t* p = frame->bytes.data() + frame->bytesPerRow * static_cast<size_t>(y) + static_cast<size_t>(x) * 4;
            p[0] = uint8_t(c), p[1] = uint8_t(c >> 8), p[2] = uint8_t(c >> 16), p[3] = 0xff;
        }
    }
    return frame;
}

// What a viewer of `page` shows at `offset`: `header` rows of a fixed
// toolbar, then the page from `offset` on.
// `footer` rows of a fixed status bar close the frame.
inline uint32_t footerPixel(int64_t x, int64_t row) {
    return (row % 5 == 0 || x % 40 < 12) ? 0x405060u + uint32_t(row) : 0xe8e0d0u;
}
inline std::shared_ptr<RegionFrame> cutFrame(const Page& page, int64_t offset, int64_t frameHeight,
                                             int64_t header = 0, int64_t footer = 0) {
    return frameOf(page.width, frameHeight, [&](int64_t x, int64_t y) -> uint32_t {
        if (y < header) return (y % 7 == 0 || x % 50 < 25) ? 0x203040u + uint32_t(y) : 0xd0d8e0u;
        if (y >= frameHeight - footer) return footerPixel(x, y - (frameHeight - footer));
        return page.at(x, std::min(page.height - 1, offset + y - header));
    });
}

// The tall image a perfect stitch of frames [0, end) would give, as RGBA.
inline bool isPrefixOfStitchedPage(const Image& image, const Page& page, const std::shared_ptr<RegionFrame>& first,
                                   int64_t header) {
    if (static_cast<int64_t>(image.width()) != page.width || static_cast<int64_t>(image.height()) > page.height + header)
        return false;
    const auto bgr = [](const uint8_t* p) { return uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0]; };
    for (uint32_t y = 0; y < image.height(); ++y) {
        for (uint32_t x = 0; x < image.width(); ++x) {
            const uint32_t expected = int64_t(y) < header ? bgr(first->row(y) + x * 4) : page.at(x, y - header);
            const uint8_t* q = image.row(y) + x * 4;
            if ((uint32_t(q[0]) << 16 | uint32_t(q[1]) << 8 | q[2]) != expected || q[3] != 255) return false;
        }
    }
    return true;
}

struct FakeClock {
    ScrollingClock::time_point time{std::chrono::hours(1)};
    ScrollingClock::time_point now() const { return time; }
    void sleep(std::chrono::nanoseconds pause) { time += pause; }
    double secondsSince(ScrollingClock::time_point start) const {
        return std::chrono::duration<double>(time - start).count();
    }
};

// Runs each task inside post(): the stitcher's work becomes synchronous.
struct InlineExecutor final : Executor {
    void post(Task task) override { task(); }
};

// A stream at 30 frames a second of what `show` returns for the elapsed
// time; it stops with `failure` once `failAfterSeconds` have passed.
class ScriptedFrameSource final : public RegionFrameStream {
public:
    ScriptedFrameSource(FakeClock& clock, std::function<std::shared_ptr<RegionFrame>()> show)
        : clock_(clock), show_(std::move(show)) {}

    std::optional<double> failAfterSeconds;
    std::optional<double> firstFrameAfterSeconds;  // none: at once
    int* stopCount = nullptr;  // outlives the source, which the run owns

    std::optional<CaptureError> start() override {
        started_ = clock_.now();
        return std::nullopt;
    }
    void stop() override {
        if (stopCount != nullptr) ++*stopCount;
    }
    LatestRegionFrame latest() override {
        const double elapsed = clock_.secondsSince(started_);
        if (firstFrameAfterSeconds && elapsed < *firstFrameAfterSeconds) return {};
        if (failAfterSeconds && elapsed >= *failAfterSeconds) return {latest_.frame, latest_.frameID};
        const auto id = static_cast<uint64_t>(elapsed * 30) + 1;
        if (id != latest_.frameID) latest_ = {show_(), id};
        return latest_;
    }
    std::optional<CaptureError> stopError() override {
        if (failAfterSeconds && clock_.secondsSince(started_) >= *failAfterSeconds) {
            return CaptureError::captureFailed("the display went away");
        }
        return std::nullopt;
    }

private:
    FakeClock& clock_;
    std::function<std::shared_ptr<RegionFrame>()> show_;
    ScrollingClock::time_point started_{};
    LatestRegionFrame latest_;
};

}  // namespace tessarin::testing
