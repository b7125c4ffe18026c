#pragma once
// Draws annotations over an image: the one rendering path the editor's
// export, the agent's annotate command and the tests share.

#include <optional>
#include <vector>

#include "core/annotation/Annotation.h"
#include "core/common/Image.h"
#include "render/annotation/PangoTextEngine.h"

namespace tessarin::ImageCompositor {

// The annotations drawn in list order (hidden ones skipped) over `source`,
// whose pixels cover `imageDrawRect` of drawing space. The result has the
// source's pixel size; nothing when the draw rectangle is empty or the
// image is larger than the drawing library can hold.
std::optional<Image> composite(const Image& source, const std::vector<AnnotationPtr>& annotations,
                               const Rect& imageDrawRect, const PangoTextEngine& text);
// The same drawn over `image` itself, sparing a third full-size buffer.
// False (and `image` untouched) when composite would give nothing.
bool compositeInPlace(Image& image, const std::vector<AnnotationPtr>& annotations, const Rect& imageDrawRect,
                      const PangoTextEngine& text);

}  // namespace tessarin::ImageCompositor
