#pragma once
// The annotation module's editor renderer: the tile canvas inside its
// frame, the export pipeline and the background's pictures, behind the
// toolkit-free AnnotationEditorRenderer. Tests build it directly; the
// application reaches it through the module (loadAnnotationEditorRenderer).

#include <memory>

#include "core/annotation/AnnotationEditorRenderer.h"

namespace tessarin {

class PangoTextEngine;

std::unique_ptr<AnnotationEditorRenderer> makeCairoAnnotationEditorRenderer();
// With a text engine of the caller's (tests measure with the same one).
std::unique_ptr<AnnotationEditorRenderer> makeCairoAnnotationEditorRenderer(std::shared_ptr<const PangoTextEngine> text);

}  // namespace tessarin
