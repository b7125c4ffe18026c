#pragma once
// How a mosaic box hides what lies under it.

namespace tessarin {

// Raw values 0...3 are persisted: append new effects only.
enum class AnnotationMosaicEffect { pixelate = 0, secureBlur = 1, smoothBlur = 2, blackOut = 3 };

}  // namespace tessarin
