#include "render/JpegEncoder.h"

#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstdio>  // jpeglib.h needs FILE
#include <memory>
#include <new>

#include <jpeglib.h>

namespace tessarin {
namespace {

constexpr size_t kOutputBufferBytes = size_t{64} << 10;
constexpr int kRowsPerCall = 16;

// libjpeg reports errors by calling error_exit, which must not return; we
// jump back to the setjmp in createCompressor() or compressImage(). Everything here is plain data
// so nothing with a destructor is skipped by the jump.
struct ErrorManager {
    jpeg_error_mgr library;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

struct Destination {
    jpeg_destination_mgr library;
    ByteSink* sink;
    JOCTET* buffer;
    bool sinkFailed;
};

[[noreturn]] void onError(j_common_ptr info) {
    auto* errors = reinterpret_cast<ErrorManager*>(info->err);
    (*info->err->format_message)(info, errors->message);
    std::longjmp(errors->jump, 1);
}

void onMessage(j_common_ptr, int) {}  // warnings and traces are not printed

void startDestination(j_compress_ptr info) {
    auto* destination = reinterpret_cast<Destination*>(info->dest);
    destination->library.next_output_byte = destination->buffer;
    destination->library.free_in_buffer = kOutputBufferBytes;
}

boolean flushDestination(j_compress_ptr info) {
    auto* destination = reinterpret_cast<Destination*>(info->dest);
    if (!destination->sink->write({destination->buffer, kOutputBufferBytes})) {
        destination->sinkFailed = true;
        std::snprintf(reinterpret_cast<ErrorManager*>(info->err)->message, JMSG_LENGTH_MAX, "Cannot write JPEG data");
        std::longjmp(reinterpret_cast<ErrorManager*>(info->err)->jump, 1);
    }
    startDestination(info);
    return TRUE;
}

void finishDestination(j_compress_ptr info) {
    auto* destination = reinterpret_cast<Destination*>(info->dest);
    const size_t pending = kOutputBufferBytes - destination->library.free_in_buffer;
    if (pending > 0 && !destination->sink->write({destination->buffer, pending})) {
        destination->sinkFailed = true;
        std::snprintf(reinterpret_cast<ErrorManager*>(info->err)->message, JMSG_LENGTH_MAX, "Cannot write JPEG data");
        std::longjmp(reinterpret_cast<ErrorManager*>(info->err)->jump, 1);
    }
}

// The two functions with a setjmp; no C++ object lives in either.
bool createCompressor(jpeg_compress_struct* info, ErrorManager* errors) {
    if (setjmp(errors->jump)) return false;  // only when out of memory
    jpeg_create_compress(info);
    return true;
}

bool compressImage(jpeg_compress_struct* info, ErrorManager* errors, const Image* image, int quality) {
    if (setjmp(errors->jump)) return false;
    info->image_width = image->width();
    info->image_height = image->height();
    info->input_components = 4;
    info->in_color_space = JCS_EXT_RGBX;  // libjpeg-turbo reads RGBA rows and ignores the fourth byte
    jpeg_set_defaults(info);
    jpeg_set_quality(info, quality, TRUE);
    // Screenshots are written while the user waits: the fast integer DCT is
    // visually identical at quality 90, and the default Huffman tables avoid
    // a second pass over the data.
    info->dct_method = JDCT_IFAST;
    info->optimize_coding = FALSE;
    jpeg_start_compress(info, TRUE);
    JSAMPROW rows[kRowsPerCall];
    while (info->next_scanline < info->image_height) {
        const JDIMENSION first = info->next_scanline;
        const JDIMENSION left = info->image_height - first;
        const JDIMENSION count = left < kRowsPerCall ? left : kRowsPerCall;
        for (JDIMENSION i = 0; i < count; ++i) {
            // libjpeg takes non-const rows but only reads input scanlines.
            rows[i] = const_cast<JSAMPROW>(image->row(first + i));
        }
        jpeg_write_scanlines(info, rows, count);
    }
    jpeg_finish_compress(info);
    return true;
}

struct CompressDeleter {
    void operator()(jpeg_compress_struct* info) const {
        jpeg_destroy_compress(info);
        delete info;
    }
};

}  // namespace

EncodeResult encodeJpeg(const Image& image, double quality, ByteSink& sink) {
    if (image.isEmpty()) return encodeFailed(EncodeError::Kind::invalidImage, "Cannot encode an empty image");
    if (!std::isfinite(quality)) return encodeFailed(EncodeError::Kind::invalidImage, "JPEG quality must be 0-1");
    if (image.width() > JPEG_MAX_DIMENSION || image.height() > JPEG_MAX_DIMENSION) {
        return encodeFailed(EncodeError::Kind::invalidImage, "Image is too large for JPEG (65500 pixels at most)");
    }
    const int libjpegQuality = static_cast<int>(std::lround(std::clamp(quality, 0.0, 1.0) * 100.0));

    auto errors = std::make_unique<ErrorManager>();
    auto buffer = std::make_unique_for_overwrite<JOCTET[]>(kOutputBufferBytes);
    auto destination = std::make_unique<Destination>();
    std::unique_ptr<jpeg_compress_struct, CompressDeleter> info(new jpeg_compress_struct{});
    info->err = jpeg_std_error(&errors->library);
    errors->library.error_exit = onError;
    errors->library.emit_message = onMessage;
    errors->message[0] = '\0';
    if (!createCompressor(info.get(), errors.get())) {
        return encodeFailed(EncodeError::Kind::encoderFailed, std::string("JPEG encoding failed: ") + errors->message);
    }

    destination->library.init_destination = startDestination;
    destination->library.empty_output_buffer = flushDestination;
    destination->library.term_destination = finishDestination;
    destination->sink = &sink;
    destination->buffer = buffer.get();
    destination->sinkFailed = false;
    info->dest = &destination->library;

    if (!compressImage(info.get(), errors.get(), &image, std::max(libjpegQuality, 1))) {
        if (destination->sinkFailed) return encodeFailed(EncodeError::Kind::sinkFailed, errors->message);
        return encodeFailed(EncodeError::Kind::encoderFailed, std::string("JPEG encoding failed: ") + errors->message);
    }
    return encodeSucceeded();
}

}  // namespace tessarin
