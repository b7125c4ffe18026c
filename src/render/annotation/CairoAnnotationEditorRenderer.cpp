#include "render/annotation/CairoAnnotationEditorRenderer.h"

#include <algorithm>
#include <cstring>

#include "core/annotation/AnnotationFingerprint.h"
#include "core/common/ModuleBarrier.h"
#include "render/annotation/AnnotationBackgroundRenderer.h"
#include "render/annotation/AnnotationExportPipeline.h"
#include "render/annotation/AnnotationTileCanvas.h"
#include "render/annotation/PangoTextEngine.h"

namespace tessarin {
namespace {

AnnotationExportInputs exportInputsOf(const AnnotationCompositeInputs& inputs) {
    return {inputs.source.get(), inputs.annotations, inputs.imageDrawRect, inputs.cropRect, inputs.background};
}

// Runs `render` behind the module barrier and turns its outcome into an image or a message.
template <class Render>
Expected<Image, std::string> exported(Render&& render) {
    std::optional<Image> image;
    std::string error;
    const auto thrown = runBehindModuleBarrier([&] {
        Expected<Image, AnnotationExportError> rendered = render();
        if (rendered) {
            image = std::move(*rendered);
        } else {
            error = rendered.error().message;
        }
    });
    if (thrown) return unexpected("The image could not be drawn: " + *thrown);
    if (!image) return unexpected(std::move(error));
    return std::move(*image);
}

// The tile canvas and, with a background on, the frame around what the
// crop keeps. The frame (fill and shadow) is drawn whole once per change of
// its style, size or backdrop; the image goes into it from the tiles with
// the export's own blend, so only the tiles an edit reached are redrawn.
class FramedTileCanvas final : public AnnotationEditorCanvas {
public:
    FramedTileCanvas(std::shared_ptr<const Image> source, const Rect& drawRect,
                     std::shared_ptr<const PangoTextEngine> text)
        : text_(std::move(text)), tiles_(std::move(source), drawRect, *text_) {}

    void update(const std::vector<AnnotationPtr>& annotations, const AnnotationCanvasFrame& frame,
                const std::optional<AnnotationBackgroundStyle>& background, bool holdBackdrop) override {
        (void)runBehindModuleBarrier([&] {
            annotations_ = annotations;
            tiles_.update(annotations);
            frame_ = frame;
            updateFrameLayer(background, holdBackdrop);
        });
    }

    void invalidateAll() override {
        tiles_.invalidateAll();
        frameKey_.reset();
        frameLayer_.reset();
    }

    std::optional<Image> render(const PixelRect& area) override {
        std::optional<Image> out;
        if (runBehindModuleBarrier([&] { out = draw(area); })) return std::nullopt;
        return out;
    }

    Expected<Image, std::string> exportImage(const AnnotationCompositeInputs& inputs) override {
        const AnnotationExportInputs in = exportInputsOf(inputs);
        if (!showsTheSame(inputs)) return exported([&] { return AnnotationExportPipeline::render(in, *text_); });
        // Showing exactly the finished image (the crop and the frame too):
        // what the canvas shows at 100% is the export.
        if (framesTheSame(inputs)) {
            std::optional<Image> shown;
            const auto thrown = runBehindModuleBarrier([&] { shown = draw({0, 0, frame_.width, frame_.height}); });
            if (!thrown && shown) return std::move(*shown);
        }
        return exported([&]() -> Expected<Image, AnnotationExportError> {
            std::optional<Image> composited = tiles_.snapshot();
            if (!composited) return AnnotationExportPipeline::render(in, *text_);
            return AnnotationExportPipeline::finish(std::move(*composited), in, *text_, &cache_, tiles_.mosaicRevision());
        });
    }

    size_t memoryBytes() const override { return tiles_.memoryBytes() + (frameLayer_ ? frameLayer_->byteCount() : 0); }

private:
    struct FrameKey {
        AnnotationCanvasFrame frame;
        AnnotationBackgroundStyle style;
        uint64_t backdropRevision;
        friend bool operator==(const FrameKey&, const FrameKey&) = default;
    };

    // Whether the inputs draw what the tiles last took: the same image, and
    // the same visible annotations in the same order, drawing the same.
    bool showsTheSame(const AnnotationCompositeInputs& inputs) const {
        if (inputs.source.get() != &tiles_.source() || !(inputs.imageDrawRect == tiles_.imageDrawRect())) return false;
        size_t next = 0;
        for (const auto& taken : annotations_) {
            if (!taken || taken->isHidden()) continue;
            if (next == inputs.annotations.size() || !inputs.annotations[next] ||
                annotationFingerprint(*taken) != annotationFingerprint(*inputs.annotations[next])) {
                return false;
            }
            ++next;
        }
        return next == inputs.annotations.size();
    }

    // Whether the canvas's frame is the one the inputs ask for, with a
    // backdrop made from the mosaics as they are (not held by a drag).
    bool framesTheSame(const AnnotationCompositeInputs& inputs) const {
        const Image& source = tiles_.source();
        const auto wanted = AnnotationCanvasFrame::of(source.width(), source.height(), tiles_.imageDrawRect(),
                                                      inputs.cropRect, inputs.background);
        if (!(wanted == frame_)) return false;
        if (!inputs.background) return !frameLayer_;
        if (!frameKey_ || !frameLayer_ || !(frameKey_->style == *inputs.background)) return false;
        const bool blur = std::holds_alternative<AnnotationBackgroundFill::Blur>(inputs.background->fill);
        return !blur || frameKey_->backdropRevision == tiles_.mosaicRevision();
    }

    double pixelsPerPoint() const {
        const Rect& draw = tiles_.imageDrawRect();
        return draw.width > 0 ? tiles_.source().width() / draw.width : 0;
    }

    void updateFrameLayer(const std::optional<AnnotationBackgroundStyle>& background, bool holdBackdrop) {
        if (!background || !frame_.layout) {
            frameKey_.reset();
            frameLayer_.reset();
            return;
        }
        const auto* blur = std::get_if<AnnotationBackgroundFill::Blur>(&background->fill);
        uint64_t revision = blur ? tiles_.mosaicRevision() : 0;
        // While the pointer is held the backdrop stays as it was: remaking
        // it from every step of a mosaic drag would stall the drag.
        if (blur && holdBackdrop && frameKey_ && frameKey_->frame == frame_ && frameKey_->style == *background) {
            revision = frameKey_->backdropRevision;
        }
        FrameKey key{frame_, *background, revision};
        if (frameKey_ && *frameKey_ == key && frameLayer_) return;
        frameKey_ = key;
        const double p = pixelsPerPoint();
        const Image* backdrop = nullptr;
        if (blur) {
            backdrop = cache_.backdrop(revision, frame_.crop, tiles_.imageDrawRect(), blur->amount, [&] {
                return AnnotationBackgroundRenderer::mosaicOnlyComposite(tiles_.source(), annotations_,
                                                                         tiles_.imageDrawRect(), *text_);
            });
        }
        const Size pointSize{frame_.content.width / p, frame_.content.height / p};
        const AnnotationBackgroundShadow* shadow = cache_.shadow(pointSize, *background);
        frameLayer_ = AnnotationBackgroundRenderer::framePreview(uint32_t(frame_.content.width),
                                                                 uint32_t(frame_.content.height), *background, p,
                                                                 backdrop, shadow);
        if (!frameLayer_) frameLayer_ = greyFrame();
    }

    // The frame of a background that could not be drawn (the export says why).
    std::optional<Image> greyFrame() const {
        auto grey = Image::allocate(frame_.width, frame_.height);
        if (grey) std::fill(grey->data(), grey->data() + grey->byteCount(), uint8_t{115});
        if (grey) {
            for (size_t i = 3; i < grey->byteCount(); i += 4) grey->data()[i] = 255;
        }
        return grey;
    }

    // Calls `row(imageY, imageX, count, pixels)` for each run of the image
    // pixels of `part` as the tiles hold them (the image beneath where a
    // tile failed to draw).
    template <class Row>
    void forEachRun(const PixelRect& part, Row&& row) {
        tiles_.render(part);
        const Image& source = tiles_.source();
        const uint32_t side = tiles_.tileSide();
        const int64_t right = part.x + part.width;
        for (int64_t y = part.y; y < part.y + part.height; ++y) {
            for (int64_t x = part.x; x < right;) {
                const AnnotationTileCanvas::TileIndex index{uint32_t(x / side), uint32_t(y / side)};
                const PixelRect tile = tiles_.tileRect(index);
                const int64_t end = std::min(right, tile.x + tile.width);
                const auto view = tiles_.tile(index);
                const uint8_t* pixels = view ? view->row(uint32_t(y - tile.y)) + size_t(x - tile.x) * 4
                                             : source.row(uint32_t(y)) + size_t(x) * 4;
                row(uint32_t(y), uint32_t(x), uint32_t(end - x), pixels);
                x = end;
            }
        }
    }

    std::optional<Image> draw(const PixelRect& area) {
        if (area.isEmpty() || area.x < 0 || area.y < 0 || area.x + area.width > frame_.width ||
            area.y + area.height > frame_.height) {
            return std::nullopt;
        }
        auto out = Image::allocate(uint32_t(area.width), uint32_t(area.height));
        if (!out) return std::nullopt;
        const PixelRect& content = frame_.content;
        if (!frameLayer_) {
            const PixelRect part{area.x + content.x, area.y + content.y, area.width, area.height};
            forEachRun(part, [&](uint32_t y, uint32_t x, uint32_t count, const uint8_t* pixels) {
                std::memcpy(out->row(uint32_t(y - part.y)) + size_t(x - part.x) * 4, pixels, size_t{count} * 4);
            });
            return out;
        }
        const PixelRect& place = frame_.layout->imagePlace;
        const int64_t left = std::max(area.x, place.x), top = std::max(area.y, place.y);
        const int64_t right = std::min(area.x + area.width, place.x + place.width);
        const int64_t bottom = std::min(area.y + area.height, place.y + place.height);
        const bool meetsImage = right > left && bottom > top;
        // The frame where the image does not go; the blend below writes the rest.
        for (int64_t y = 0; y < area.height; ++y) {
            const uint8_t* from = frameLayer_->row(uint32_t(area.y + y)) + size_t(area.x) * 4;
            uint8_t* to = out->row(uint32_t(y));
            const int64_t rowY = area.y + y;
            if (!meetsImage || rowY < top || rowY >= bottom) {
                std::memcpy(to, from, out->stride());
                continue;
            }
            std::memcpy(to, from, size_t(left - area.x) * 4);
            std::memcpy(to + size_t(right - area.x) * 4, from + size_t(right - area.x) * 4,
                        size_t(area.x + area.width - right) * 4);
        }
        if (!meetsImage) return out;
        // The overlap in image pixels.
        const PixelRect part{left - place.x + content.x, top - place.y + content.y, right - left, bottom - top};
        const double radius = frame_.layout->cornerRadius;
        forEachRun(part, [&](uint32_t y, uint32_t x, uint32_t count, const uint8_t* pixels) {
            const int64_t outX = x - content.x + place.x - area.x, outY = y - content.y + place.y - area.y;
            blendRowOverFrame(pixels, count, uint32_t(x - content.x), uint32_t(y - content.y),
                              uint32_t(content.width), uint32_t(content.height), radius,
                              frameLayer_->row(uint32_t(outY + area.y)) + size_t(outX + area.x) * 4,
                              out->row(uint32_t(outY)) + size_t(outX) * 4);
        });
        return out;
    }

    std::shared_ptr<const PangoTextEngine> text_;
    AnnotationTileCanvas tiles_;
    std::vector<AnnotationPtr> annotations_;
    AnnotationCanvasFrame frame_;
    std::optional<FrameKey> frameKey_;
    std::optional<Image> frameLayer_;
    AnnotationBackgroundBitmapCache cache_;
};

class CairoEditorRenderer final : public AnnotationEditorRenderer {
public:
    explicit CairoEditorRenderer(std::shared_ptr<const PangoTextEngine> text) : text_(std::move(text)) {}

    std::shared_ptr<const TextMeasurer> textMeasurer() override { return text_; }

    std::unique_ptr<AnnotationEditorCanvas> makeCanvas(std::shared_ptr<const Image> source,
                                                       const Rect& imageDrawRect) override {
        std::unique_ptr<AnnotationEditorCanvas> canvas;
        if (!source || source->isEmpty()) return canvas;
        (void)runBehindModuleBarrier(
            [&] { canvas = std::make_unique<FramedTileCanvas>(std::move(source), imageDrawRect, text_); });
        return canvas;
    }

    Expected<Image, std::string> exportImage(const AnnotationCompositeInputs& inputs) override {
        return exported([&] { return AnnotationExportPipeline::render(exportInputsOf(inputs), *text_); });
    }

    Expected<AnnotationBackgroundImage, std::string> loadPicture(const std::filesystem::path& path,
                                                                 uint32_t outputWidth, uint32_t outputHeight) override {
        std::optional<AnnotationBackgroundImage> picture;
        std::string error;
        const auto thrown = runBehindModuleBarrier([&] {
            auto loaded = AnnotationBackgroundRenderer::loadPicture(path, outputWidth, outputHeight);
            if (loaded) {
                picture = std::move(*loaded);
            } else {
                error = loaded.error().message;
            }
        });
        if (thrown) return unexpected("The picture could not be read: " + *thrown);
        if (!picture) return unexpected(std::move(error));
        return std::move(*picture);
    }

    std::optional<Image> blurPreview(const Image& source, uint32_t maxSide) override {
        std::optional<Image> preview;
        (void)runBehindModuleBarrier([&] { preview = AnnotationBackgroundRenderer::blurPreview(source, maxSide); });
        return preview;
    }

private:
    std::shared_ptr<const PangoTextEngine> text_;
};

}  // namespace

std::unique_ptr<AnnotationEditorRenderer> makeCairoAnnotationEditorRenderer(std::shared_ptr<const PangoTextEngine> text) {
    return std::make_unique<CairoEditorRenderer>(std::move(text));
}

std::unique_ptr<AnnotationEditorRenderer> makeCairoAnnotationEditorRenderer() {
    return makeCairoAnnotationEditorRenderer(std::make_shared<PangoTextEngine>());
}

}  // namespace tessarin
