#include "render/annotation/ImageCompositor.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <deque>

#include "core/annotation/RectAnnotations.h"
#include "render/annotation/AnnotationDrawnBounds.h"
#include "render/annotation/AnnotationRenderContext.h"
#include "render/annotation/CairoAnnotationPainter.h"
#include "render/annotation/PixelBuffer.h"

namespace tessarin::ImageCompositor {

namespace {

// Shapes are built against the image within this many pixels of a tile.
// Cairo's fixed-point coordinates hold about 8 million pixels; geometry,
// strokes included, stays well inside that, and every image up to this
// size a side is built against as a whole, the same in every tile.
constexpr int64_t kGeometryReach = int64_t{1} << 19;

int64_t right(const PixelRect& r) { return r.x + r.width; }
int64_t bottom(const PixelRect& r) { return r.y + r.height; }

PixelRect intersection(const PixelRect& a, const PixelRect& b) {
    const int64_t x0 = std::max(a.x, b.x), y0 = std::max(a.y, b.y);
    const int64_t x1 = std::min(right(a), right(b)), y1 = std::min(bottom(a), bottom(b));
    if (x1 <= x0 || y1 <= y0) return {};
    return {x0, y0, x1 - x0, y1 - y0};
}

PixelRect unionOf(const PixelRect& a, const PixelRect& b) {
    if (a.isEmpty()) return b;
    if (b.isEmpty()) return a;
    const int64_t x0 = std::min(a.x, b.x), y0 = std::min(a.y, b.y);
    return {x0, y0, std::max(right(a), right(b)) - x0, std::max(bottom(a), bottom(b)) - y0};
}

// Drawing space (y up, the draw rectangle over the whole image) onto the
// target's pixels (origin top-left, y down).
class PixelMapping {
public:
    PixelMapping(const Image& image, const Rect& drawRect)
        : W_(image.width()), H_(image.height()), D_(drawRect), sx_(W_ / D_.width), sy_(H_ / D_.height) {}

    const Rect& drawRect() const { return D_; }
    PixelRect wholeImage() const { return {0, 0, int64_t(W_), int64_t(H_)}; }

    // The whole pixels `r` touches, and one more on every side for rounding,
    // inside the image. Geometry that is not a number touches everything.
    PixelRect touched(const Rect& r) const {
        const double x0 = (r.minX() - D_.minX()) * sx_ - 1;
        const double x1 = (r.maxX() - D_.minX()) * sx_ + 1;
        const double y0 = H_ - (r.maxY() - D_.minY()) * sy_ - 1;
        const double y1 = H_ - (r.minY() - D_.minY()) * sy_ + 1;
        if (std::isnan(x0) || std::isnan(x1) || std::isnan(y0) || std::isnan(y1)) return wholeImage();
        const auto column = [&](double v) { return int64_t(std::clamp(v, 0.0, W_)); };
        const auto row = [&](double v) { return int64_t(std::clamp(v, 0.0, H_)); };
        const int64_t left = column(std::floor(x0)), top = row(std::floor(y0));
        return {left, top, column(std::ceil(x1)) - left, row(std::ceil(y1)) - top};
    }

    Rect drawingArea(const PixelRect& p) const {
        if (p == wholeImage()) return D_;
        return {D_.x + double(p.x) / sx_, D_.y + (H_ - double(bottom(p))) / sy_, double(p.width) / sx_,
                double(p.height) / sy_};
    }

    // Makes drawing space land on the image's pixels.
    void apply(cairo_t* cr) const {
        cairo_translate(cr, 0, H_);
        cairo_scale(cr, sx_, -sy_);
        cairo_translate(cr, -D_.x, -D_.y);
    }

private:
    double W_, H_;
    Rect D_;
    double sx_, sy_;
};

using Placed = PlacedAnnotation;

std::vector<Placed> placed(const std::vector<AnnotationPtr>& annotations, const PixelMapping& mapping,
                           const PangoTextEngine& text) {
    std::vector<Placed> result;
    for (const auto& annotation : annotations) {
        if (!annotation || annotation->isHidden()) continue;
        const PixelRect pixels = mapping.touched(AnnotationDrawnBounds::of(*annotation, text));
        if (!pixels.isEmpty()) result.push_back({annotation.get(), pixels});
    }
    return result;
}

// How far from a tile its mosaic boxes read the source, or nothing when no
// box reads it.
std::optional<int64_t> mosaicReach(const std::vector<Placed>& shapes, const AnnotationMosaicSource& mosaics) {
    std::optional<int64_t> reach;
    for (const Placed& shape : shapes) {
        const auto* mosaic = dynamic_cast<const PixelateAnnotation*>(shape.annotation);
        if (!mosaic || mosaic->effect == AnnotationMosaicEffect::blackOut) continue;
        reach = std::max(reach.value_or(0), int64_t(mosaics.sourceReach(mosaic->effect, mosaic->radius)));
    }
    return reach;
}

struct DrawnTile {
    CairoSurfacePtr surface;  // over `area`
    PixelRect area;
    PixelRect tile;  // the part of it that is this tile's
};

// The source pixels of `area` premultiplied into a surface over `buffer`,
// which is grown as needed and reused from call to call: a canvas drawing
// many regions spares the allocation and clearing of each surface.
CairoSurfacePtr premultipliedSurfaceIn(std::vector<uint8_t>& buffer, const Image& source, const PixelRect& area) {
    if (area.width <= 0 || area.height <= 0 || area.width > Tiling::kLargestTile || area.height > Tiling::kLargestTile) {
        return nullptr;
    }
    const int stride = cairo_format_stride_for_width(CAIRO_FORMAT_ARGB32, int(area.width));
    if (stride <= 0) return nullptr;
    const size_t bytes = size_t(stride) * size_t(area.height);
    if (buffer.size() < bytes) buffer.resize(bytes);
    CairoSurfacePtr surface(cairo_image_surface_create_for_data(buffer.data(), CAIRO_FORMAT_ARGB32, int(area.width),
                                                                int(area.height), stride));
    if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS) return nullptr;
    premultiplyInto(source, uint32_t(area.x), uint32_t(area.y), viewOf(surface.get()));
    cairo_surface_mark_dirty(surface.get());
    return surface;
}

// The shapes that reach `tile` drawn over the source pixels of `area`, a
// rectangle that holds the tile; nothing on failure.
std::optional<DrawnTile> drawTile(const Image& source, const std::vector<Placed>& shapes, const PixelRect& tile,
                                  const PixelRect& area, const PixelMapping& mapping, const PangoTextEngine& text,
                                  AnnotationRenderContext* sharedMosaics = nullptr,
                                  std::vector<uint8_t>* scratch = nullptr) {
    CairoSurfacePtr surface =
        scratch ? premultipliedSurfaceIn(*scratch, source, area)
                : premultipliedSurface(source, uint32_t(area.x), uint32_t(area.y), uint32_t(area.width),
                                       uint32_t(area.height));
    if (!surface) return std::nullopt;
    // The surface's place goes in the device offset, so every tile works
    // with the same user-space transform and the same coordinates.
    cairo_surface_set_device_offset(surface.get(), -double(area.x), -double(area.y));
    CairoPtr cr(cairo_create(surface.get()));
    mapping.apply(cr.get());
    // Mosaic regions are cut to the tile, so they serve no other tile
    // (unless a caller keeps them for drawing the same tile again).
    std::optional<AnnotationRenderContext> ownMosaics;
    if (!sharedMosaics) ownMosaics.emplace(source, mapping.drawRect());
    AnnotationRenderContext& context = sharedMosaics ? *sharedMosaics : *ownMosaics;
    const auto grown = [&](int64_t by) { return PixelRect{tile.x - by, tile.y - by, tile.width + 2 * by, tile.height + 2 * by}; };
    const Rect geometryArea = mapping.drawingArea(intersection(grown(kGeometryReach), mapping.wholeImage()));
    // A context kept across calls gets whole boxes (inside the image), so
    // one processed region serves every tile a box covers, from call to call.
    const Rect mosaicArea = sharedMosaics ? mapping.drawRect() : mapping.drawingArea(grown(1));
    CairoAnnotationPainter painter(cr.get(), text, geometryArea, mosaicArea, &context);
    for (const Placed& shape : shapes) {
        if (intersection(shape.pixels, tile).isEmpty()) continue;
        cairo_save(cr.get());
        shape.annotation->draw(painter);
        cairo_restore(cr.get());
    }
    if (cairo_status(cr.get()) != CAIRO_STATUS_SUCCESS) return std::nullopt;
    cairo_surface_flush(surface.get());
    return DrawnTile{std::move(surface), area, tile};
}

// Where a tile is drawn: over every shape that reaches it, whole across,
// when a surface can be that wide. Cairo rounds a shape clipped at a
// surface's side a little differently from the same shape drawn whole, so
// a tile's sides must cut no shape for the tile to give one surface's pixels.
PixelRect surfaceAreaFor(const PixelRect& tile, const std::vector<Placed>& shapes) {
    PixelRect area = tile;
    const PixelRect rows{INT64_MIN / 4, tile.y, INT64_MAX / 2, tile.height};
    for (const Placed& shape : shapes) {
        if (!intersection(shape.pixels, tile).isEmpty()) area = unionOf(area, intersection(shape.pixels, rows));
    }
    return area.width <= Tiling::kLargestTile ? area : tile;
}

void writeBack(const DrawnTile& drawn, const Image& source, Image& target) {
    const PixelView part = viewOf(drawn.surface.get())
                               .part(uint32_t(drawn.tile.x - drawn.area.x), uint32_t(drawn.tile.y - drawn.area.y),
                                     uint32_t(drawn.tile.width), uint32_t(drawn.tile.height));
    writeChanged(part, source, uint32_t(drawn.tile.x), uint32_t(drawn.tile.y), target);
}

// Draws `shapes` over the parts of `target` they touch, band by band from
// the top and tile by tile within a band, reading the unannotated pixels
// from `source`. When the two are one image, a mosaic box reads pixels a
// little beyond its tile, so a drawn tile is held back until no tile still
// to be drawn can read its rows.
bool drawTiles(const Image& source, Image& target, const std::vector<Placed>& shapes, const PixelMapping& mapping,
               const PangoTextEngine& text, const Tiling& tiling) {
    // A tile's mosaic regions reach a pixel past it on every side, and are surfaces too.
    const int64_t largest = Tiling::kLargestTile - 2;
    const int64_t tileWidth = std::clamp<int64_t>(tiling.maxTileWidth, 1, largest);
    const int64_t tileHeight = std::clamp<int64_t>(tiling.maxTileHeight, 1, largest);
    PixelRect all;
    for (const Placed& shape : shapes) all = unionOf(all, shape.pixels);
    const int64_t bandRows =
        std::clamp<int64_t>(int64_t(std::min<size_t>(tiling.bandBytes / (size_t(all.width) * 4), INT64_MAX)), 1,
                            tileHeight);

    const std::optional<int64_t> reach =
        &source == &target ? mosaicReach(shapes, AnnotationRenderContext(source, mapping.drawRect())) : std::nullopt;
    std::deque<DrawnTile> held;
    const auto writeHeldAbove = [&](int64_t row) {
        while (!held.empty() && bottom(held.front().tile) <= row) {
            writeBack(held.front(), source, target);
            held.pop_front();
        }
    };

    for (int64_t y = all.y; y < bottom(all); y += bandRows) {
        const PixelRect band{all.x, y, all.width, std::min(bandRows, bottom(all) - y)};
        if (reach) writeHeldAbove(y - *reach);
        PixelRect area;
        for (const Placed& shape : shapes) area = unionOf(area, intersection(shape.pixels, band));
        for (int64_t x = area.x; x < right(area); x += tileWidth) {
            const PixelRect tile{x, area.y, std::min(tileWidth, right(area) - x), area.height};
            std::optional<DrawnTile> drawn = drawTile(source, shapes, tile, surfaceAreaFor(tile, shapes), mapping, text);
            if (!drawn) return false;
            if (reach) {
                held.push_back(std::move(*drawn));
            } else {
                writeBack(*drawn, source, target);
            }
        }
    }
    writeHeldAbove(INT64_MAX);
    return true;
}

bool usable(const Image& source, const Rect& imageDrawRect) {
    return !source.isEmpty() && imageDrawRect.width > 0 && imageDrawRect.height > 0 && imageDrawRect.isFinite();
}

}  // namespace

std::vector<PlacedAnnotation> placedAnnotations(const Image& source, const std::vector<AnnotationPtr>& annotations,
                                                const Rect& imageDrawRect, const PangoTextEngine& text) {
    if (!usable(source, imageDrawRect)) return {};
    return placed(annotations, PixelMapping(source, imageDrawRect), text);
}

PixelRect touchedPixels(const Image& source, const Annotation& annotation, const Rect& imageDrawRect,
                        const PangoTextEngine& text) {
    if (!usable(source, imageDrawRect) || annotation.isHidden()) return {};
    const PixelRect pixels = PixelMapping(source, imageDrawRect).touched(AnnotationDrawnBounds::of(annotation, text));
    return pixels.isEmpty() ? PixelRect{} : pixels;
}

bool compositeRegion(const Image& source, const std::vector<PlacedAnnotation>& shapes, const Rect& imageDrawRect,
                     const PangoTextEngine& text, const PixelRect& region, Image& out, uint32_t outX,
                     uint32_t outY, AnnotationRenderContext* mosaics, std::vector<uint8_t>* scratch,
                     bool sourceIsOpaque) {
    if (!usable(source, imageDrawRect) || region.isEmpty() || region.x < 0 || region.y < 0 ||
        right(region) > int64_t(source.width()) || bottom(region) > int64_t(source.height()) ||
        outX + region.width > int64_t(out.width()) || outY + region.height > int64_t(out.height())) {
        return false;
    }
    std::vector<Placed> reaching;
    for (const Placed& shape : shapes) {
        if (!intersection(shape.pixels, region).isEmpty()) reaching.push_back(shape);
    }
    if (reaching.empty()) {
        for (int64_t row = 0; row < region.height; ++row) {
            std::memcpy(out.row(uint32_t(outY + row)) + size_t{outX} * 4,
                        source.row(uint32_t(region.y + row)) + size_t(region.x) * 4, size_t(region.width) * 4);
        }
        return true;
    }
    const PixelMapping mapping(source, imageDrawRect);
    const std::optional<DrawnTile> drawn =
        drawTile(source, reaching, region, surfaceAreaFor(region, reaching), mapping, text, mosaics, scratch);
    if (!drawn) return false;
    const PixelView part = viewOf(drawn->surface.get())
                               .part(uint32_t(region.x - drawn->area.x), uint32_t(region.y - drawn->area.y),
                                     uint32_t(region.width), uint32_t(region.height));
    writeDrawn(part, source, uint32_t(region.x), uint32_t(region.y), out, outX, outY, sourceIsOpaque);
    return true;
}

std::optional<Image> composite(const Image& source, const std::vector<AnnotationPtr>& annotations,
                               const Rect& imageDrawRect, const PangoTextEngine& text, const Tiling& tiling) {
    if (!usable(source, imageDrawRect)) return std::nullopt;
    const PixelMapping mapping(source, imageDrawRect);
    const std::vector<Placed> shapes = placed(annotations, mapping, text);
    Image result = source.clone();
    if (!shapes.empty() && !drawTiles(source, result, shapes, mapping, text, tiling)) return std::nullopt;
    return result;
}

bool compositeInPlace(Image& image, const std::vector<AnnotationPtr>& annotations, const Rect& imageDrawRect,
                      const PangoTextEngine& text, const Tiling& tiling) {
    if (!usable(image, imageDrawRect)) return false;
    const PixelMapping mapping(image, imageDrawRect);
    const std::vector<Placed> shapes = placed(annotations, mapping, text);
    return shapes.empty() || drawTiles(image, image, shapes, mapping, text, tiling);
}

}  // namespace tessarin::ImageCompositor
