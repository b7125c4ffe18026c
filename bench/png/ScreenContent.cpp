#include "ScreenContent.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <string>
#include <vector>

namespace tessarin::bench {
namespace {

struct Rgb {
    uint8_t r, g, b;
};

uint32_t hash(uint32_t x) {
    x ^= x >> 16;
    x *= 0x7feb352dU;
    x ^= x >> 15;
    x *= 0x846ca68bU;
    x ^= x >> 16;
    return x;
}

void put(Image& image, uint32_t x, uint32_t y, Rgb c) {
    if (x >= image.width() || y >= image.height()) return;
    uint8_t* p = image.row(y) + size_t{x} * 4;
    p[0] = c.r;
    p[1] = c.g;
    p[2] = c.b;
    p[3] = 255;
}

void fill(Image& image, uint32_t x0, uint32_t y0, uint32_t w, uint32_t h, Rgb c) {
    for (uint32_t y = y0; y < y0 + h; ++y) {
        for (uint32_t x = x0; x < x0 + w; ++x) put(image, x, y, c);
    }
}

Rgb mix(Rgb a, Rgb b, unsigned t) {  // t in 0..255
    const auto lerp = [t](uint8_t u, uint8_t v) { return static_cast<uint8_t>((u * (255 - t) + v * t + 127) / 255); };
    return {lerp(a.r, b.r), lerp(a.g, b.g), lerp(a.b, b.b)};
}

// A monospace font of 95 glyphs: coverage values 0..255 in 8x15 cells.
// Each glyph is a few thin strokes drawn at four times the resolution and
// box-filtered down, which gives the grey edges of anti-aliased text.
class Font {
public:
    static constexpr int kWidth = 8, kHeight = 15;

    Font() {
        constexpr int kSuper = 4, kW = kWidth * kSuper, kH = kHeight * kSuper;
        for (int g = 1; g < 95; ++g) {  // glyph 0 is the space
            std::array<uint8_t, kW * kH> ink{};
            for (int s = 0; s < 3; ++s) {
                const uint32_t h = hash(static_cast<uint32_t>(g * 31 + s));
                const int x0 = 4 + static_cast<int>(h % 22), y0 = 12 + static_cast<int>((h >> 5) % 36);
                const int x1 = 4 + static_cast<int>((h >> 10) % 22), y1 = 12 + static_cast<int>((h >> 15) % 36);
                for (int i = 0; i <= 64; ++i) {
                    const int x = x0 + (x1 - x0) * i / 64, y = y0 + (y1 - y0) * i / 64;
                    for (int dy = 0; dy < 4; ++dy) {
                        for (int dx = 0; dx < 4; ++dx) ink[static_cast<size_t>((y + dy) * kW + x + dx)] = 1;
                    }
                }
            }
            for (int y = 0; y < kHeight; ++y) {
                for (int x = 0; x < kWidth; ++x) {
                    int sum = 0;
                    for (int sy = 0; sy < kSuper; ++sy) {
                        for (int sx = 0; sx < kSuper; ++sx) sum += ink[static_cast<size_t>((y * kSuper + sy) * kW + x * kSuper + sx)];
                    }
                    coverage_[static_cast<size_t>(g)][static_cast<size_t>(y * kWidth + x)] =
                        static_cast<uint8_t>(sum * 255 / (kSuper * kSuper));
                }
            }
        }
    }

    void draw(Image& image, uint32_t x, uint32_t y, char ch, uint32_t scale, Rgb ink, Rgb paper) const {
        const auto g = static_cast<size_t>(std::clamp(ch - ' ', 0, 94));
        for (uint32_t py = 0; py < kHeight * scale; ++py) {
            for (uint32_t px = 0; px < kWidth * scale; ++px) {
                const uint8_t c = coverage_[g][static_cast<size_t>((py / scale) * kWidth + px / scale)];
                put(image, x + px, y + py, mix(paper, ink, c));
            }
        }
    }

private:
    std::array<std::array<uint8_t, kWidth * kHeight>, 95> coverage_{};
};

// Terminal and editor text: a directory listing whose lines share a long
// prefix, or source code built from a small vocabulary, with names nobody
// else on screen shares. Real screen text repeats in just these ways.
std::string uniqueName(uint32_t h) {
    std::string name;
    const uint32_t length = 4 + h % 18;
    for (uint32_t k = 0; k < length; ++k) {
        const uint32_t c = hash(h + k) % 30;
        name += c < 26 ? char('A' + c) : c < 28 ? '_' : char('0' + hash(h * 3 + k) % 10);
    }
    return name;
}

std::string listingLine(uint32_t n) {
    const uint32_t h = hash(n);
    std::string size = std::to_string(h % 5000);
    size.insert(0, 5 - size.size(), ' ');
    return "-rw-r--r-- 1 root root " + size + " Nov 30  2022 " + uniqueName(h >> 3) + (h % 4 ? ".rst" : ".txt");
}

std::string codeLine(uint32_t n) {
    static const char* const words[] = {"const", "return", "image", "width", "uint32_t", "auto", "{", "}",
                                        "std::vector", "if", "(", ")", "=", "0;", "for", "size_t", "->", "&&"};
    std::string line(4 * (hash(n) % 4), ' ');
    const uint32_t count = 2 + hash(n + 7) % 8;
    for (uint32_t i = 0; i < count; ++i) {
        const uint32_t h = hash(n * 131 + i);
        line += h % 4 == 0 ? uniqueName(h) : words[h % (sizeof words / sizeof *words)];
        line += ' ';
    }
    return line;
}

struct Window {
    uint32_t x, y, w, h;
    bool dark;
};

void drawWindow(Image& image, const Font& font, const Window& win, uint32_t scale, uint32_t seed) {
    const Rgb paper = win.dark ? Rgb{32, 32, 32} : Rgb{255, 255, 255};
    const Rgb ink = win.dark ? Rgb{208, 208, 208} : Rgb{0, 0, 0};
    const uint32_t title = 24 * scale;
    for (uint32_t y = 0; y < title; ++y) {
        fill(image, win.x, win.y + y, win.w, 1, mix({70, 90, 130}, {40, 55, 90}, y * 255 / title));
    }
    fill(image, win.x, win.y + title, win.w, win.h - title, paper);
    const uint32_t cellW = Font::kWidth * scale, cellH = Font::kHeight * scale;
    const uint32_t columns = win.w / cellW, rows = (win.h - title) / cellH;
    for (uint32_t r = 0; r < rows; ++r) {
        const std::string line = win.dark ? codeLine(seed + r) : listingLine(seed + r);
        for (uint32_t c = 0; c < columns && c < line.size(); ++c) {
            font.draw(image, win.x + c * cellW, win.y + title + r * cellH, line[c], scale, ink, paper);
        }
    }
}

void drawWallpaper(Image& image, uint32_t scale, Wallpaper wallpaper) {
    for (uint32_t y = 0; y < image.height(); ++y) {
        for (uint32_t x = 0; x < image.width(); ++x) {
            if (wallpaper == Wallpaper::pattern) {
                const bool line = (x / scale) % 4 == 0 || (y / scale) % 4 == 0;
                put(image, x, y, line ? Rgb{0x33, 0x66, 0x99} : Rgb{0x99, 0xaa, 0xcc});
            } else {
                // Smooth colour fields with sensor-like grain: photographs
                // are the content filters exist for.
                const double u = x / (240.0 * scale), v = y / (240.0 * scale);
                const double a = std::sin(u * 1.7 + std::sin(v * 2.3)) + std::cos(v * 1.3 - u * 0.7);
                const int grain = static_cast<int>(hash(y * 65537 + x) % 5) - 2;
                const auto channel = [&](double phase) {
                    return static_cast<uint8_t>(std::clamp(128 + 60 * std::sin(a + phase) + grain, 0.0, 255.0));
                };
                put(image, x, y, {channel(0), channel(2.1), channel(4.2)});
            }
        }
    }
}

}  // namespace

Image makeDesktop(uint32_t width, uint32_t height, uint32_t scale, Wallpaper wallpaper) {
    auto image = Image::allocate(width, height);
    drawWallpaper(*image, scale, wallpaper);
    static const Font font;
    const uint32_t third = width / 3;
    const std::vector<Window> windows = {
        {0, 0, third - 4, height / 2, false},
        {third, 0, third - 4, height / 2, false},
        {2 * third, 0, third, height / 2, false},
        {width / 20, height * 11 / 20, width * 2 / 5, height * 2 / 5, true},
    };
    uint32_t seed = 1;
    for (const Window& win : windows) drawWindow(*image, font, win, scale, seed += 1000);
    // A dialog with a flat panel and a button row, overlapping the rest.
    const Window dialog{width * 13 / 20, height * 3 / 5, width / 4, height / 4, false};
    fill(*image, dialog.x, dialog.y, dialog.w, dialog.h, {236, 236, 236});
    fill(*image, dialog.x + dialog.w - 100 * scale, dialog.y + dialog.h - 40 * scale, 80 * scale, 28 * scale, {52, 101, 164});
    return std::move(*image);
}

}  // namespace tessarin::bench
