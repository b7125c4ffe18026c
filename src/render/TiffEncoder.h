#pragma once
// Uncompressed baseline TIFF (one strip, 8-bit RGBA with unassociated alpha).
// The clipboard offers it beside PNG for applications that only take TIFF;
// it costs a copy of the pixels and no compression time.

#include "core/common/Image.h"
#include "render/ByteSink.h"
#include "render/EncodeResult.h"

namespace tessarin {

EncodeResult encodeTiff(const Image& image, ByteSink& sink);

}  // namespace tessarin
