#pragma once
// The annotate command's engine: a JSON shape spec drawn onto an image file.

#include <cstdint>
#include <filesystem>
#include <span>

#include "core/annotation/AnnotationSpec.h"
#include "core/common/Image.h"

namespace tessarin::AnnotationSpecRendering {

// Decodes the spec (every spec error comes before the image is read), loads
// the image and composites the shapes onto it, one drawing unit per pixel.
// Throws AnnotationSpecError.
Image renderToImage(std::span<const uint8_t> specData, const std::filesystem::path& imagePath);

}  // namespace tessarin::AnnotationSpecRendering
