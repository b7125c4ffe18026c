// Redrawing only invalidated tiles gives the export byte for byte; only visible tiles are drawn.

#include <gtest/gtest.h>

#include <random>

#include "../TestImages.h"
#include "EditScript.h"
#include "RandomAnnotations.h"
#include "core/annotation/RectAnnotations.h"
#include "render/annotation/AnnotationTileCanvas.h"

namespace tessarin {
namespace {

using test::EditScript;
using test::RandomAnnotations;
using TileIndex = AnnotationTileCanvas::TileIndex;

bool meets(const PixelRect& a, const PixelRect& b) {
    return a.x < b.x + b.width && b.x < a.x + a.width && a.y < b.y + b.height && b.y < a.y + a.height;
}

struct CanvasCase {
    const char* name;
    uint32_t width, height;
    Rect drawRect;
    uint32_t tileSide;
    bool opaque = false;
};

TEST(AnnotationTileCanvas, RedrawingOnlyInvalidatedTilesEqualsTheExport) {
    const auto text = std::make_shared<PangoTextEngine>();
    const CanvasCase setups[] = {
        {"one pixel per point", 200, 150, {0, 0, 200, 150}, 32},
        {"two pixels per point, moved origin", 200, 150, {-20, 10, 100, 75}, 48},
        {"tiles not dividing the image", 173, 91, {0, 0, 173, 91}, 40},
        {"an opaque screenshot", 190, 140, {0, 0, 190, 140}, 64, true},
    };
    constexpr int kSteps = 300;
    for (const CanvasCase& setup : setups) {
        const auto source = std::make_shared<const Image>(test::noiseImage(setup.width, setup.height, 7, setup.opaque));
        AnnotationTileCanvas canvas(source, setup.drawRect, *text, setup.tileSide);
        EditScript script(uint32_t(setup.width * 31 + setup.tileSide), {setup.drawRect.width, setup.drawRect.height}, text);
        std::vector<AnnotationPtr> doc = RandomAnnotations(11, {setup.drawRect.width, setup.drawRect.height}, text).sequence(12);
        for (auto& a : doc) a->applyGeometry(a->geometrySnapshot(), {setup.drawRect.x, setup.drawRect.y});
        canvas.update(doc);
        canvas.render();
        size_t redrawn = 0;
        for (int step = 0; step < kSteps; ++step) {
            const std::string edit = script.step(doc);
            const std::vector<PixelRect> changed = canvas.update(doc);
            const std::vector<TileIndex> drawn = canvas.render();
            for (const TileIndex& t : drawn) {
                const bool invalidated = std::any_of(changed.begin(), changed.end(),
                                                     [&](const PixelRect& r) { return meets(r, canvas.tileRect(t)); });
                ASSERT_TRUE(invalidated) << setup.name << ": step " << step << " (" << edit << ") redrew a clean tile";
            }
            redrawn += drawn.size();
            const auto shown = canvas.snapshot();
            const auto exported = ImageCompositor::composite(*source, doc, setup.drawRect, *text);
            ASSERT_TRUE(shown && exported);
            ASSERT_TRUE(test::samePixels(*shown, *exported))
                << setup.name << ": step " << step << " (" << edit << ") differs from the export";
        }
        EXPECT_LT(redrawn, size_t(kSteps) * canvas.columns() * canvas.rows() / 2)
            << setup.name << ": most tiles are left alone by most edits";
    }
}

TEST(AnnotationTileCanvas, ADragRedrawsOnlyTheTilesUnderTheShape) {
    const PangoTextEngine text;
    const auto source = std::make_shared<const Image>(test::gradientImage(1024, 1024));
    AnnotationTileCanvas canvas(source, {0, 0, 1024, 1024}, text);
    const auto box = std::make_shared<RectangleAnnotation>(Rect{10, 900, 100, 50}, AnnotationColor::systemRed(), 4, false);
    const auto far = std::make_shared<PixelateAnnotation>(Rect{600, 100, 300, 200}, AnnotationMosaicEffect::smoothBlur, 12);
    const std::vector<AnnotationPtr> doc = {far, box};
    canvas.update(doc);
    EXPECT_EQ(canvas.render().size(), 16u) << "first paint draws every tile";
    EXPECT_TRUE(canvas.update(doc).empty()) << "nothing changed";
    EXPECT_TRUE(canvas.render().empty());

    const uint64_t mosaics = canvas.mosaicRevision();
    box->rect = box->rect.offsetBy(5, 0);
    const auto changed = canvas.update(doc);
    EXPECT_EQ(canvas.mosaicRevision(), mosaics) << "a rectangle moved: the mosaics draw as before";
    ASSERT_EQ(changed.size(), 2u) << "where it was and where it is";
    EXPECT_EQ(canvas.render().size(), 1u) << "both inside the top-left tile";
    const size_t cached = canvas.mosaics().cachedRegionCount();
    far->rect = far->rect.offsetBy(0, 1);
    canvas.update(doc);
    EXPECT_EQ(canvas.render().size(), 4u);
    EXPECT_NE(canvas.mosaicRevision(), mosaics) << "a mosaic moved: a blurred backdrop must be made again";
    EXPECT_GE(canvas.mosaics().cachedRegionCount(), cached) << "the session's mosaic cache is kept";
}

TEST(AnnotationTileCanvas, OnlyVisibleTilesOfATallImageAreDrawn) {
    const PangoTextEngine text;
    const auto source = std::make_shared<const Image>(test::gradientImage(512, 20000));
    const size_t budget = size_t{8} << 20;
    AnnotationTileCanvas canvas(source, {0, 0, 512, 20000}, text, 256, budget);
    canvas.update({std::make_shared<RectangleAnnotation>(Rect{0, 0, 512, 20000}, AnnotationColor::black(), 2, false)});
    EXPECT_EQ(canvas.render(PixelRect{0, 0, 512, 700}).size(), 2u * 3);
    EXPECT_FALSE(canvas.tile({0, 10})) << "out of view: never drawn";
    for (int64_t y = 0; y + 700 <= 20000; y += 350) canvas.render(PixelRect{0, y, 512, 700});
    EXPECT_LE(canvas.memoryBytes(), budget + 3 * 256 * 256 * 4 * 2) << "tiles scrolled away are dropped";
    EXPECT_TRUE(canvas.tile({1, 77})) << "the last view is kept";
    EXPECT_TRUE(canvas.isDirty({0, 0})) << "a dropped tile is drawn again when it comes back";
}

TEST(AnnotationTileCanvas, TinyImagesAndStrangeRequests) {
    const PangoTextEngine text;
    const auto source = std::make_shared<const Image>(test::noiseImage(3, 2, 1));
    AnnotationTileCanvas canvas(source, {0, 0, 3, 2}, text);
    EXPECT_EQ(canvas.columns(), 1u);
    canvas.update({std::make_shared<RectangleAnnotation>(Rect{-1e300, 0, 1e301, 1}, AnnotationColor::black(), 2, true)});
    EXPECT_TRUE(canvas.render(PixelRect{-100, -100, 10, 10}).empty()) << "a view off the image draws nothing";
    const auto shown = canvas.snapshot();
    ASSERT_TRUE(shown);
    EXPECT_EQ(shown->width(), 3u);
    canvas.invalidate({1000, 1000, 5, 5});
    EXPECT_EQ(canvas.dirtyCount(), 0u);
}

}  // namespace
}  // namespace tessarin
