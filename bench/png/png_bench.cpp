// Times Tessarin's PNG writer against libpng on screen content, in one run:
// libpng at its defaults (what screenshot tools ship with) and libpng at zlib
// level 1. Prints a table of median and best times and sizes, with ratios to
// libpng's defaults (median time). On a shared machine the best time is the
// steadier figure.
//
//   png_bench [--runs N] [--tune] [screenshot.png ...]
//
// Without files it uses generated desktops; with files (real screenshots,
// e.g. from `xwd -root | convert xwd:- shot.png`) it times those as well.
// --tune also sweeps the writer's band size and libdeflate level.

#include <png.h>

#include <algorithm>
#include <chrono>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "ScreenContent.h"
#include "core/common/Image.h"
#include "render/ByteSink.h"
#include "render/ImageDecoder.h"
#include "render/PngEncoder.h"

using namespace tessarin;

namespace {

// ---- libpng as a typical screenshot tool drives it -------------------------

void libpngWrite(png_structp png, png_bytep data, size_t length) {
    static_cast<MemorySink*>(png_get_io_ptr(png))->write({data, length});
}
void libpngFlush(png_structp) {}

// Holds no C++ objects: libpng errors longjmp back here.
bool libpngEncode(png_structp png, png_infop info, const Image* image, bool opaque, int level) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_set_IHDR(png, info, image->width(), image->height(), 8, opaque ? PNG_COLOR_TYPE_RGB : PNG_COLOR_TYPE_RGBA,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (level >= 0) png_set_compression_level(png, level);
    png_write_info(png, info);
    if (opaque) png_set_filler(png, 0, PNG_FILLER_AFTER);  // drops the alpha byte of each RGBA pixel
    for (uint32_t y = 0; y < image->height(); ++y) png_write_row(png, const_cast<png_bytep>(image->row(y)));
    png_write_end(png, nullptr);
    return true;
}

size_t encodeWithLibpng(const Image& image, int level) {  // level -1: libpng's default
    bool opaque = true;
    for (size_t i = 3; i < image.byteCount() && opaque; i += 4) opaque = image.data()[i] == 255;
    MemorySink sink;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_set_write_fn(png, &sink, libpngWrite, libpngFlush);
    const bool ok = libpngEncode(png, info, &image, opaque, level);
    png_destroy_write_struct(&png, &info);
    if (!ok) {
        std::fprintf(stderr, "libpng failed\n");
        std::exit(1);
    }
    return sink.bytes().size();
}

size_t encodeWithTessarin(const Image& image, const PngEncodeOptions& options) {
    MemorySink sink;
    if (!encodePng(image, sink, options)) {
        std::fprintf(stderr, "encodePng failed\n");
        std::exit(1);
    }
    return sink.bytes().size();
}

// ---- timing ------------------------------------------------------------------

struct Measurement {
    double medianMs;
    double bestMs;  // what the code costs when nothing else competes for the cores
    size_t bytes;
};

struct Case {
    std::string name;
    Image image;
};

double timeMs(const std::function<size_t()>& encode) {
    const auto start = std::chrono::steady_clock::now();
    encode();
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

Measurement summarize(std::vector<double> times, size_t bytes) {
    std::sort(times.begin(), times.end());
    return {times[times.size() / 2], *std::min_element(times.begin(), times.end()), bytes};
}

Measurement measure(int runs, const std::function<size_t()>& encode) {
    const size_t bytes = encode();  // warm-up, also the size
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) times.push_back(timeMs(encode));
    return summarize(std::move(times), bytes);
}

void verifyRoundTrip(const Case& c) {
    MemorySink sink;
    (void)encodePng(c.image, sink);
    auto decoded = decodeImage(sink.bytes());
    if (!decoded || decoded->byteCount() != c.image.byteCount() ||
        std::memcmp(decoded->data(), c.image.data(), c.image.byteCount()) != 0) {
        std::fprintf(stderr, "%s: encoded PNG does not decode to the same pixels\n", c.name.c_str());
        std::exit(1);
    }
}

void printRow(const std::string& caseName, const std::string& encoder, const Measurement& m,
              const Measurement& reference) {
    std::printf("| %-24s | %-28s | %8.1f | %8.1f | %8.1f | %6.2f | %6.3f |\n", caseName.c_str(), encoder.c_str(),
                m.medianMs, m.bestMs, m.bytes / 1024.0, m.medianMs / reference.medianMs,
                double(m.bytes) / double(reference.bytes));
}

// Times every configuration once per pass rather than each in one burst, so
// load from elsewhere on the machine falls on all of them alike.
void tuneRows(const Case& c, int runs, const Measurement& reference) {
    struct Config {
        std::string name;
        PngEncodeOptions options;
        size_t bytes = 0;
        std::vector<double> times;
    };
    std::vector<Config> configs;
    for (int level : {4, 5, 6, 7, 8}) {
        for (size_t band : {size_t{512} << 10, size_t{1} << 20, size_t{2} << 20, size_t{4} << 20}) {
            for (unsigned threads : {1u, 2u}) {
                char name[64];
                std::snprintf(name, sizeof name, "level %d, %zu KiB bands, T%u", level, band >> 10, threads);
                configs.push_back({name, PngEncodeOptions{threads, level, band}, 0, {}});
            }
        }
    }
    for (Config& config : configs) config.bytes = encodeWithTessarin(c.image, config.options);
    for (int i = 0; i < runs; ++i) {
        for (Config& config : configs) {
            config.times.push_back(timeMs([&] { return encodeWithTessarin(c.image, config.options); }));
        }
    }
    for (const Config& config : configs) {
        printRow(c.name, config.name, summarize(config.times, config.bytes), reference);
    }
}

}  // namespace

int main(int argc, char** argv) {
    int runs = 9;
    bool tune = false;
    std::vector<Case> cases;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--runs" && i + 1 < argc) {
            runs = std::max(1, std::atoi(argv[++i]));
        } else if (arg == "--tune") {
            tune = true;
        } else {
            auto image = decodeImageFile(arg);
            if (!image) {
                std::fprintf(stderr, "%s: %s\n", arg.c_str(), image.error().message.c_str());
                return 1;
            }
            cases.push_back({arg.substr(arg.find_last_of('/') + 1), std::move(image).value()});
        }
    }
    if (cases.empty()) {
        cases.push_back({"desktop 1080p pattern", bench::makeDesktop(1920, 1080, 1, bench::Wallpaper::pattern)});
        cases.push_back({"desktop 1080p photo", bench::makeDesktop(1920, 1080, 1, bench::Wallpaper::photo)});
        cases.push_back({"desktop 4K@2x pattern", bench::makeDesktop(3840, 2160, 2, bench::Wallpaper::pattern)});
        cases.push_back({"desktop 4K@2x photo", bench::makeDesktop(3840, 2160, 2, bench::Wallpaper::photo)});
    }

    std::printf("| %-24s | %-28s | %8s | %8s | %8s | %6s | %6s |\n", "content", "encoder", "ms", "best ms", "KiB",
                "time×", "size×");
    std::printf("|%s|%s|%s|%s|%s|%s|%s|\n", std::string(26, '-').c_str(), std::string(30, '-').c_str(),
                std::string(10, '-').c_str(), std::string(10, '-').c_str(), std::string(10, '-').c_str(),
                std::string(8, '-').c_str(), std::string(8, '-').c_str());
    for (const Case& c : cases) {
        verifyRoundTrip(c);
        const Measurement reference = measure(std::max(1, runs / 3), [&] { return encodeWithLibpng(c.image, -1); });
        printRow(c.name, "libpng defaults", reference, reference);
        printRow(c.name, "libpng zlib level 1", measure(runs, [&] { return encodeWithLibpng(c.image, 1); }), reference);
        for (unsigned threads : {1u, 2u}) {
            PngEncodeOptions options;
            options.threads = threads;
            char name[64];
            std::snprintf(name, sizeof name, "tessarin %u thread%s", threads, threads > 1 ? "s" : "");
            printRow(c.name, name, measure(runs, [&] { return encodeWithTessarin(c.image, options); }), reference);
        }
        if (tune) tuneRows(c, runs, reference);
    }
    return 0;
}
