// canvas_bench: the editor canvas on a 3840x2160 screenshot with 200
// annotations (20 mosaics, 20 texts): first paint, full redraw, a drag step
// of a plain shape and of a 600x400 blur, the Done composite, a 1920x60000
// scrolling capture opened and scrolled, and the memory of an open canvas.
// In the same run, a naive peer recomposites the whole image on every event.
//
//   cmake --build <dir> --target canvas_bench && <dir>/bench/canvas_bench [--steps N]

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "ScreenContent.h"
#include "core/annotation/OtherAnnotations.h"
#include "core/annotation/RectAnnotations.h"
#include "core/annotation/SegmentAnnotations.h"
#include "render/annotation/AnnotationExportPipeline.h"
#include "render/annotation/AnnotationTileCanvas.h"
#include "render/annotation/ImageCompositor.h"

namespace tessarin {
namespace {

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

struct Stats {
    double median = 0, p95 = 0, max = 0;
};

Stats statsOf(std::vector<double> samples) {
    if (samples.empty()) return {};
    std::sort(samples.begin(), samples.end());
    const auto at = [&](double q) { return samples[std::min(samples.size() - 1, size_t(q * double(samples.size())))]; };
    return {at(0.5), at(0.95), samples.back()};
}

double residentMiB() {
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return double(resident) * double(sysconf(_SC_PAGESIZE)) / (1 << 20);
}

// 200 annotations over a 3840x2160 image: 20 mosaics, 20 texts, the rest
// the other kinds, placed at random from a fixed seed.
std::vector<AnnotationPtr> makeAnnotations(std::shared_ptr<const TextMeasurer> text) {
    std::mt19937 random(2026);
    const auto uniform = [&](double a, double b) { return std::uniform_real_distribution<double>(a, b)(random); };
    const auto color = [&] { return AnnotationColor{uniform(0, 1), uniform(0, 1), uniform(0, 1), 1}; };
    const auto point = [&] { return Point{uniform(50, 3790), uniform(50, 2110)}; };
    std::vector<AnnotationPtr> shapes;
    for (int i = 0; i < 20; ++i) {
        const Point p = point();
        shapes.push_back(std::make_shared<PixelateAnnotation>(Rect{p.x, p.y, uniform(80, 300), uniform(60, 200)},
                                                              AnnotationMosaicEffect(i % 4), 12));
    }
    for (int i = 0; i < 20; ++i) {
        shapes.push_back(std::make_shared<TextAnnotation>("Step " + std::to_string(i + 1) + ": check this value",
                                                          point(), uniform(16, 36), color(), std::nullopt, text));
    }
    for (int i = 0; shapes.size() < 200; ++i) {
        const Point p = point();
        const Rect r{p.x, p.y, uniform(40, 400), uniform(30, 250)};
        switch (i % 7) {
            case 0: shapes.push_back(std::make_shared<RectangleAnnotation>(r, color(), 4, false)); break;
            case 1: shapes.push_back(std::make_shared<ArrowAnnotation>(p, Point{p.x + uniform(-300, 300), p.y + uniform(-200, 200)}, color(), 5)); break;
            case 2: shapes.push_back(std::make_shared<LineAnnotation>(p, Point{p.x + uniform(-300, 300), p.y + uniform(-200, 200)}, color(), 3)); break;
            case 3: shapes.push_back(std::make_shared<CircleAnnotation>(r, color(), 4, i % 2 == 0)); break;
            case 4: shapes.push_back(std::make_shared<NumberAnnotation>(i, p, color(), 36, true)); break;
            case 5: shapes.push_back(std::make_shared<HighlighterAnnotation>(r, AnnotationColor::systemYellow())); break;
            default: {
                std::vector<Point> points{p};
                for (int k = 0; k < 30; ++k) points.push_back({points.back().x + uniform(-15, 15), points.back().y + uniform(-15, 15)});
                shapes.push_back(std::make_shared<FreehandAnnotation>(std::move(points), color(), 4));
            }
        }
    }
    return shapes;
}

struct DragResult {
    Stats canvas;
    Stats naive;
    size_t maxTiles = 0;
};

// Moves `moving` step by step; after each step the canvas redraws what the
// edit invalidated, and the naive peer recomposites the whole image.
DragResult drag(AnnotationTileCanvas& canvas, const std::vector<AnnotationPtr>& doc, const AnnotationPtr& moving,
                int steps, int naiveSteps, const PangoTextEngine& text) {
    DragResult result;
    std::vector<double> canvasTimes, naiveTimes;
    for (int i = 0; i < steps; ++i) {
        // Every step lands somewhere new: no processed region can be reused.
        moving->applyGeometry(moving->geometrySnapshot(), {3, 1});
        const auto start = Clock::now();
        canvas.update(doc);
        result.maxTiles = std::max(result.maxTiles, canvas.render().size());
        canvasTimes.push_back(msSince(start));
    }
    for (int i = 0; i < naiveSteps; ++i) {
        moving->applyGeometry(moving->geometrySnapshot(), {i % 2 ? -3.0 : 3.0, 0});
        const auto start = Clock::now();
        const auto image = ImageCompositor::composite(canvas.source(), doc, canvas.imageDrawRect(), text);
        naiveTimes.push_back(msSince(start));
        if (!image) std::fprintf(stderr, "naive composite failed\n");
    }
    canvas.update(doc);
    canvas.render();
    result.canvas = statsOf(canvasTimes);
    result.naive = statsOf(naiveTimes);
    return result;
}

void row(const char* what, double value, const char* target, bool met) {
    std::printf("%-52s %10.2f   %-22s %s\n", what, value, target, met ? "met" : "MISSED");
}

int run(int steps) {
    const auto text = std::make_shared<PangoTextEngine>();
    const double baseline = residentMiB();
    const auto source = std::make_shared<const Image>(bench::makeDesktop(3840, 2160, 2, bench::Wallpaper::photo));
    const double rgbaMiB = double(source->byteCount()) / (1 << 20);
    const Rect drawRect{0, 0, 3840, 2160};
    std::vector<AnnotationPtr> doc = makeAnnotations(text);

    // First paint: the canvas made, every tile drawn (mosaic cache cold).
    auto start = Clock::now();
    AnnotationTileCanvas canvas(source, drawRect, *text);
    canvas.update(doc);
    const size_t firstTiles = canvas.render().size();
    const double firstPaint = msSince(start);
    const double openMiB = residentMiB() - baseline;

    // Full redraw: every tile again, mosaic regions warm.
    std::vector<double> redraws;
    for (int i = 0; i < 5; ++i) {
        start = Clock::now();
        canvas.invalidateAll();
        canvas.render();
        redraws.push_back(msSince(start));
    }
    const Stats fullRedraw = statsOf(redraws);

    // The plain shape: a 200x120 outlined rectangle; the blur: a 600x400 smooth blur box.
    const auto box = std::make_shared<RectangleAnnotation>(Rect{1500, 900, 200, 120}, AnnotationColor::systemRed(), 4, false);
    const auto blur = std::make_shared<PixelateAnnotation>(Rect{600, 700, 600, 400}, AnnotationMosaicEffect::smoothBlur, 12);
    doc.push_back(box);
    doc.push_back(blur);
    canvas.update(doc);
    canvas.render();
    const DragResult plain = drag(canvas, doc, box, steps, 10, *text);
    const DragResult blurDrag = drag(canvas, doc, blur, steps / 2, 0, *text);

    // Done: composite, no crop or frame; then with crop and a framed blurred background.
    std::vector<double> dones, framedDones;
    for (int i = 0; i < 3; ++i) {
        start = Clock::now();
        const auto image = AnnotationExportPipeline::render({source.get(), doc, drawRect, std::nullopt, std::nullopt}, *text);
        dones.push_back(msSince(start));
        if (!image) std::fprintf(stderr, "Done failed: %s\n", image.error().message.c_str());
        AnnotationBackgroundStyle style;
        style.fill = AnnotationBackgroundFill::Blur{0.5};
        start = Clock::now();
        const auto framed =
            AnnotationExportPipeline::render({source.get(), doc, drawRect, Rect{200, 200, 3000, 1700}, style}, *text);
        framedDones.push_back(msSince(start));
        if (!framed) std::fprintf(stderr, "framed Done failed: %s\n", framed.error().message.c_str());
    }
    const Stats done = statsOf(dones), framedDone = statsOf(framedDones);
    const double canvasMiB = double(canvas.memoryBytes()) / (1 << 20);

    // A 1920x60000 scrolling capture: open at the top, scroll to the bottom.
    const auto tallBaseline = residentMiB();
    std::shared_ptr<const Image> tall;
    {
        auto strip = Image::allocate(1920, 60000);
        const Image screen = bench::makeDesktop(1920, 1080, 1, bench::Wallpaper::pattern);
        for (uint32_t y = 0; y < 60000; ++y) std::memcpy(strip->row(y), screen.row(y % 1080), strip->stride());
        tall = std::make_shared<const Image>(std::move(*strip));
    }
    const std::vector<AnnotationPtr> tallDoc = {
        std::make_shared<RectangleAnnotation>(Rect{100, 59000, 800, 600}, AnnotationColor::systemRed(), 4, false),
        std::make_shared<PixelateAnnotation>(Rect{400, 30000, 600, 400}, AnnotationMosaicEffect::pixelate, 12)};
    start = Clock::now();
    AnnotationTileCanvas tallCanvas(tall, {0, 0, 1920, 60000}, *text);
    tallCanvas.update(tallDoc);
    const size_t tallFirstTiles = tallCanvas.render(PixelRect{0, 0, 1920, 1080}).size();
    const double tallOpen = msSince(start);
    std::vector<double> scrolls;
    size_t scrolledTiles = 0;
    for (int64_t y = 120; y + 1080 <= 60000; y += 120) {
        start = Clock::now();
        scrolledTiles += tallCanvas.render(PixelRect{0, y, 1920, 1080}).size();
        scrolls.push_back(msSince(start));
    }
    const Stats scroll = statsOf(scrolls);
    const double tallMiB = residentMiB() - tallBaseline;
    const double tallRgbaMiB = double(tall->byteCount()) / (1 << 20);

    std::printf("canvas_bench: 3840x2160, %zu annotations (20 mosaics, 20 texts), %u px tiles, %d drag steps\n\n",
                doc.size(), canvas.tileSide(), steps);
    std::printf("%-52s %10s   %-22s %s\n", "figure", "value", "target", "");
    row("first paint, all tiles (ms)", firstPaint, "<= 120", firstPaint <= 120);
    row("full redraw, median of 5 (ms)", fullRedraw.median, "<= 40", fullRedraw.median <= 40);
    row("plain drag step, p95 (ms)", plain.canvas.p95, "<= 4", plain.canvas.p95 <= 4);
    std::printf("%-52s %10.2f\n", "  plain drag step, median (ms)", plain.canvas.median);
    std::printf("%-52s %10.2f\n", "  naive peer: whole recomposite per event, median (ms)", plain.naive.median);
    const double speedup = plain.naive.median / std::max(plain.canvas.p95, 1e-6);
    row("  naive median / canvas p95 (x)", speedup, ">= 20", speedup >= 20);
    std::printf("%-52s %10zu\n", "  most tiles redrawn by one plain step", plain.maxTiles);
    row("600x400 blur drag step, p95 (ms)", blurDrag.canvas.p95, "<= 16", blurDrag.canvas.p95 <= 16);
    std::printf("%-52s %10.2f\n", "  blur drag step, median (ms)", blurDrag.canvas.median);
    std::printf("%-52s %10zu\n", "  most tiles redrawn by one blur step", blurDrag.maxTiles);
    row("Done composite, median of 3 (ms)", done.median, "<= 150", done.median <= 150);
    std::printf("%-52s %10.2f\n", "  Done with crop and blurred background (ms)", framedDone.median);
    const double memoryTarget = 3 * rgbaMiB + 64;
    row("open 4K canvas: resident growth (MiB)", openMiB, "<= 3 x RGBA + 64", openMiB <= memoryTarget);
    std::printf("%-52s %10.2f\n", "  image RGBA bytes (MiB)", rgbaMiB);
    std::printf("%-52s %10.2f\n", "  canvas tiles + mosaic cache after the run (MiB)", canvasMiB);
    std::printf("%-52s %10.2f   (%zu tiles)\n", "1920x60000: open, first view drawn (ms)", tallOpen, tallFirstTiles);
    std::printf("%-52s %10.2f   (%zu scrolls of 120 px, %zu tiles)\n", "  scroll step, p95 (ms)", scroll.p95,
                scrolls.size(), scrolledTiles);
    std::printf("%-52s %10.2f   (image itself %.0f)\n", "  resident growth after scrolling through (MiB)", tallMiB,
                tallRgbaMiB);
    std::printf("%-52s %10zu\n", "first paint tiles", firstTiles);
    return 0;
}

}  // namespace
}  // namespace tessarin

int main(int argc, char** argv) {
    int steps = 200;
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "--steps") == 0) steps = std::max(10, std::atoi(argv[i + 1]));
    }
    return tessarin::run(steps);
}
