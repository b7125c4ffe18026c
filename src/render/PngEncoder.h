#pragma once
// PNG writer tuned for screenshots. An image whose alpha is 255 everywhere is
// written as 8-bit RGB, anything else as 8-bit RGBA; each row gets the
// cheapest-looking of four filters; rows are cut into bands that are deflated
// on several threads and joined into one zlib stream, and the file is handed
// to the sink band by band, so the encoder holds only a few bands at a time.

#include <cstddef>

#include "core/common/Image.h"
#include "render/ByteSink.h"
#include "render/EncodeResult.h"

namespace tessarin {

struct PngEncodeOptions {
    // Threads deflating bands at once; 0 picks the hardware's count, at most 4.
    unsigned threads = 0;
    // libdeflate level, 0-12 (0 stores, 12 is slowest). On screenshots 6 is
    // the lowest level within a few percent of libpng's default file size
    // (about 2% larger); 5 saves under a tenth of the time for files 6-10%
    // larger, 7 costs a quarter more time for 2-3% smaller ones.
    int compressionLevel = 6;
    // Filtered bytes per band. Each band starts with an empty history, so
    // small bands cost size; large ones leave a thread idle at the end of
    // the frame, and each worker holds one band's filtered rows and room for
    // their compressed form. 256 KiB bands cost about 1% in size against
    // 1 MiB ones and the same time on a whole 1080p or 4K frame, but keep
    // both threads busy on small captures: an 800x600 region of terminal
    // text encodes in 5.3 ms instead of 7.2 ms.
    size_t bandBytes = size_t{256} << 10;
};

EncodeResult encodePng(const Image& image, ByteSink& sink, const PngEncodeOptions& options = {});

}  // namespace tessarin
