// Random shape sequences: drawing stays within the drawn bounds; any tiling gives one surface's pixels.

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "../TestImages.h"
#include "RandomAnnotations.h"
#include "core/annotation/AnnotationTools.h"
#include "render/annotation/AnnotationDrawnBounds.h"
#include "render/annotation/ImageCompositor.h"

namespace tessarin {
namespace {

using ImageCompositor::Tiling;
using test::RandomAnnotations;

// Pixels (top-left, y down) a drawing-space rectangle overlaps, drawn 1:1 at the origin.
struct PixelArea {
    int64_t x0, y0, x1, y1;
    bool holds(int64_t x, int64_t y) const { return x >= x0 && x < x1 && y >= y0 && y < y1; }
};

PixelArea pixelsOf(const Rect& r, double imageHeight) {
    if (!r.isFinite()) return {INT64_MIN, INT64_MIN, INT64_MAX, INT64_MAX};
    return {int64_t(std::floor(r.minX())), int64_t(std::floor(imageHeight - r.maxY())), int64_t(std::ceil(r.maxX())),
            int64_t(std::ceil(imageHeight - r.minY()))};
}

std::string describe(const std::vector<AnnotationPtr>& shapes) {
    std::string out;
    for (const auto& s : shapes) out += std::string(AnnotationTools::title(s->toolType())) + " ";
    return out;
}

class Compositor : public ::testing::Test {
protected:
    // The first pixel that differs between the images, as "x,y", or "".
    static std::string firstDifference(const Image& a, const Image& b) {
        for (uint32_t y = 0; y < a.height(); ++y) {
            for (uint32_t x = 0; x < a.width(); ++x) {
                if (std::memcmp(a.row(y) + x * 4, b.row(y) + x * 4, 4) != 0) {
                    return std::to_string(x) + "," + std::to_string(y);
                }
            }
        }
        return "";
    }

    std::shared_ptr<PangoTextEngine> text = std::make_shared<PangoTextEngine>();
};

TEST_F(Compositor, NoPixelOutsideTheDrawnBoundsChanges) {
    constexpr uint32_t W = 160, H = 120;
    for (uint32_t seed = 1; seed <= 150; ++seed) {
        RandomAnnotations random(seed, {W, H}, text);
        const auto shapes = random.sequence(1 + seed % 12);
        const Image source = test::noiseImage(W, H, seed, seed % 2 == 0);
        // Some sequences through small tiles, so shapes are redrawn tile by tile.
        const Tiling tiling = seed % 3 == 0 ? Tiling{41, 29, SIZE_MAX} : seed % 3 == 1 ? Tiling{W, 7, SIZE_MAX} : Tiling{};
        const auto out = ImageCompositor::composite(source, shapes, {0, 0, W, H}, *text, tiling);
        ASSERT_TRUE(out) << seed;
        std::vector<PixelArea> allowed;
        for (const auto& shape : shapes) allowed.push_back(pixelsOf(AnnotationDrawnBounds::of(*shape, *text), H));
        for (uint32_t y = 0; y < H; ++y) {
            for (uint32_t x = 0; x < W; ++x) {
                if (std::memcmp(out->row(y) + x * 4, source.row(y) + x * 4, 4) == 0) continue;
                const bool inside = std::any_of(allowed.begin(), allowed.end(), [&](const PixelArea& a) { return a.holds(x, y); });
                ASSERT_TRUE(inside) << "seed " << seed << ": pixel " << x << "," << y << " changed; shapes "
                                    << describe(shapes);
            }
        }
    }
}

TEST_F(Compositor, AnyTilingGivesTheSingleSurfacePixels) {
    constexpr uint32_t W = 257, H = 181;
    const Tiling tilings[] = {{W, 23, SIZE_MAX}, {W, 2, SIZE_MAX},  {W, H, 0}, {Tiling::kLargestTile, 4096, 64 * 4 * 9},
                              {40, 23, SIZE_MAX}, {13, H, SIZE_MAX}};
    const Rect drawRects[] = {{0, 0, W, H}, {-20, 30, W / 2.0, H / 2.0}};
    for (uint32_t seed = 1; seed <= 24; ++seed) {
        RandomAnnotations random(seed * 7919, {W, H}, text);
        auto shapes = random.sequence(6);
        // Every mosaic effect, reaching across tile edges.
        for (int i = 0; i < 3; ++i) shapes.push_back(random.of(RandomAnnotations::Kind::mosaic));
        shapes.push_back(random.of(RandomAnnotations::Kind::text));
        const Image source = test::noiseImage(W, H, seed, seed % 2 == 0);
        const Rect& D = drawRects[seed % 2];
        const auto single = ImageCompositor::composite(source, shapes, D, *text, Tiling::singleSurface());
        ASSERT_TRUE(single);
        for (const Tiling& tiling : tilings) {
            const auto tiled = ImageCompositor::composite(source, shapes, D, *text, tiling);
            ASSERT_TRUE(tiled);
            EXPECT_EQ(firstDifference(*single, *tiled), "")
                << "seed " << seed << ", tiles " << tiling.maxTileWidth << "x" << tiling.maxTileHeight << ": "
                << describe(shapes);
            Image inPlace = source.clone();
            ASSERT_TRUE(ImageCompositor::compositeInPlace(inPlace, shapes, D, *text, tiling));
            EXPECT_EQ(firstDifference(*single, inPlace), "")
                << "in place, seed " << seed << ", tiles " << tiling.maxTileWidth << "x" << tiling.maxTileHeight;
        }
    }
}

// Images taller than a surface are annotated end to end (AgentAnnotate).
TEST_F(Compositor, ImagesWiderThanASurfaceAreDrawnEverywhere) {
    // A box past the limit, a blur near the origin and a diagonal over the whole image.
    constexpr double W = 40000, H = 24;
    Image image = test::noiseImage(uint32_t(W), uint32_t(H), 3);
    const Image before = image.clone();
    const Rect pastLimit{W - 12, 2, 10, 10}, nearOrigin{2, 2, 10, 10};
    const auto box = std::make_shared<RectangleAnnotation>(pastLimit, AnnotationColor::black(), 1, true);
    const auto blur = std::make_shared<PixelateAnnotation>(nearOrigin, AnnotationMosaicEffect::smoothBlur, 12);
    const auto across = std::make_shared<LineAnnotation>(Point{0, 0}, Point{W, H}, AnnotationColor::white(), 3);
    ASSERT_TRUE(ImageCompositor::compositeInPlace(image, {box, blur, across}, {0, 0, W, H}, *text));
    // In drawing space, y up.
    const auto pixel = [&](const Image& img, double x, double y) { return img.row(uint32_t(H - 1 - y)) + uint32_t(x) * 4; };
    EXPECT_EQ(pixel(image, pastLimit.midX(), pastLimit.midY())[0], 0);
    EXPECT_NE(std::memcmp(pixel(image, nearOrigin.midX(), nearOrigin.midY()),
                          pixel(before, nearOrigin.midX(), nearOrigin.midY()), 4), 0);
    EXPECT_EQ(pixel(image, W / 2, H / 2)[1], 255) << "the diagonal crosses the middle";
}

TEST_F(Compositor, MosaicsWiderThanASurfaceAreProcessedWhole) {
    // The first column tile's work area (its box and the blur's margin) is wider than any Cairo surface.
    constexpr uint32_t W = 40000, H = 8, edge = 32700;
    Image image = test::makeImage(W, H, [](uint32_t x, uint32_t) {
        return x < edge ? test::Rgba{255, 255, 255, 255} : test::Rgba{0, 0, 0, 255};
    });
    const auto blur = std::make_shared<PixelateAnnotation>(Rect{0, 0, W, H}, AnnotationMosaicEffect::smoothBlur, 12);
    ASSERT_TRUE(ImageCompositor::compositeInPlace(image, {blur}, {0, 0, W, H}, *text));
    for (uint32_t y = 0; y < H; ++y) {
        EXPECT_EQ(image.row(y)[(edge - 200) * 4], 255) << "white far from the edge stays white";
        EXPECT_EQ(image.row(y)[(edge + 60) * 4], 0);
        const uint8_t atEdge = image.row(y)[edge * 4];
        EXPECT_TRUE(atEdge > 60 && atEdge < 200) << "the edge is blurred: " << int(atEdge);
    }
}

}  // namespace
}  // namespace tessarin
