#pragma once
// The editor's way into the annotation renderer (Cairo and Pango), which
// lives in the loadable module libtessarin-annotation.so: the desktop
// application loads it when the first editor opens, so an idle application
// never maps those libraries. Nothing here names a drawing library.
//
// Calls cross the module boundary as virtual calls with plain data (images,
// annotations, strings); the module catches everything it throws.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/annotation/Annotation.h"
#include "core/annotation/AnnotationCanvasFrame.h"
#include "core/annotation/AnnotationEditorPorts.h"
#include "core/common/Expected.h"
#include "core/common/Image.h"

namespace tessarin {

class TextMeasurer;

// One session's canvas at 100%: the image with its annotations, kept as
// tiles redrawn only where an edit reached, inside the frame of the
// document's crop and background (AnnotationCanvasFrame). What it shows
// equals the export byte for byte.
class AnnotationEditorCanvas {
public:
    virtual ~AnnotationEditorCanvas() = default;
    // After every edit: the annotations as they are now and what is shown.
    // `holdBackdrop`: a pointer gesture is under way, so a blurred backdrop
    // keeps its last pixels until it ends (the canvas is then remade once).
    virtual void update(const std::vector<AnnotationPtr>& annotations, const AnnotationCanvasFrame& frame,
                        const std::optional<AnnotationBackgroundStyle>& background, bool holdBackdrop) = 0;
    // Draws everything again (a new session, a changed image).
    virtual void invalidateAll() = 0;
    // `area` (pixels of what is shown, inside it), drawn; nothing when
    // drawing failed.
    virtual std::optional<Image> render(const PixelRect& area) = 0;
    // The finished image for these inputs: from the tiles and the frame's
    // cache when the inputs are what the canvas last took (Done then costs
    // no second composite), drawn afresh otherwise.
    virtual Expected<Image, std::string> exportImage(const AnnotationCompositeInputs& inputs) = 0;
    // Tiles, frame and cached backdrops.
    virtual size_t memoryBytes() const = 0;
};

class AnnotationEditorRenderer {
public:
    virtual ~AnnotationEditorRenderer() = default;
    // Measures text as the renderer lays it out.
    virtual std::shared_ptr<const TextMeasurer> textMeasurer() = 0;
    // `imageDrawRect`: where the image lies in drawing space.
    virtual std::unique_ptr<AnnotationEditorCanvas> makeCanvas(std::shared_ptr<const Image> source,
                                                               const Rect& imageDrawRect) = 0;
    // The finished image: composited, cropped and framed.
    virtual Expected<Image, std::string> exportImage(const AnnotationCompositeInputs& inputs) = 0;
    // A picture file for the background, decoded through the hardened
    // decoder and reduced to cover outputWidth x outputHeight.
    virtual Expected<AnnotationBackgroundImage, std::string> loadPicture(const std::filesystem::path& path,
                                                                         uint32_t outputWidth,
                                                                         uint32_t outputHeight) = 0;
    // A small blurred copy for the blur swatch.
    virtual std::optional<Image> blurPreview(const Image& source, uint32_t maxSide) = 0;
};

inline constexpr const char* kAnnotationEditorRendererEntryPoint = "tessarin_annotation_editor_renderer";
// The module's single renderer, which lives as long as the process.
using AnnotationEditorRendererEntryPoint = AnnotationEditorRenderer*();

// Loads libtessarin-annotation.so (once) and returns its renderer, or why
// it could not be loaded.
Expected<AnnotationEditorRenderer*, std::string> loadAnnotationEditorRenderer();

}  // namespace tessarin
