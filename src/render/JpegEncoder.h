#pragma once
// JPEG writer over libjpeg-turbo. Alpha is dropped (not composited): the
// colour channels go in as they are. Quality is 0...1 as everywhere else in
// the app (0.9 becomes libjpeg quality 90).

#include "core/common/Image.h"
#include "render/ByteSink.h"
#include "render/EncodeResult.h"

namespace tessarin {

EncodeResult encodeJpeg(const Image& image, double quality, ByteSink& sink);

}  // namespace tessarin
