#pragma once
// Where drawing an annotation can change pixels. Usually its visual bounds;
// text can reach past its measured box (overhanging glyphs, stacked marks,
// a character wider than the wrap width) and a badge's digits past its
// circle (a long number in a small badge), so for those the drawn glyphs'
// ink is added. The compositor draws a shape only into the tiles these
// bounds touch, and writes back only what drawing changed.

#include "core/annotation/Annotation.h"
#include "render/annotation/PangoTextEngine.h"

namespace tessarin::AnnotationDrawnBounds {

// In drawing space. Not finite when the geometry is not: callers then
// treat the whole target as touched.
Rect of(const Annotation& annotation, const PangoTextEngine& text);

}  // namespace tessarin::AnnotationDrawnBounds
