#pragma once
// The shape-spec renderer and the editor's renderer (core/annotation/
// AnnotationEditorRenderer.h) as a loadable module (libtessarin-annotation.so):
// Cairo and Pango come into a process only when it draws annotations.
// Nothing is thrown across the module boundary; the outcome carries the
// image or the error's message.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "core/common/Image.h"

namespace tessarin {

struct AnnotationRenderOutcome {
    std::optional<Image> image;
    std::string error;  // when there is no image
};

inline constexpr const char* kAnnotationModule = "annotation";
inline constexpr const char* kRenderAnnotationSpecEntryPoint = "tessarin_render_annotation_spec";
using RenderAnnotationSpecEntryPoint = void(const uint8_t* spec, size_t specSize, const char* imagePath,
                                            AnnotationRenderOutcome* outcome);

}  // namespace tessarin
