#include "render/JpegDecoder.h"

#include <csetjmp>
#include <cstdio>  // jpeglib.h needs FILE
#include <memory>
#include <new>
#include <optional>
#include <string>

#include <jpeglib.h>
#include <jerror.h>

namespace tessarin {
namespace {

// Huffman coding spends at least one bit on every 8x8 block of the largest
// component, so a file of N bytes holds at most 512 * N pixels. A header
// claiming more is refused before allocating (arithmetic-coded files can beat
// this bound only for near-blank images, which we refuse too).
constexpr uint64_t kMaxPixelsPerByte = 8 * 64;
constexpr uint64_t kPixelAllowance = 1 << 16;  // headers make tiny files look worse than they are
// Progressive files can hold thousands of scans that each cost a full pass.
constexpr int kMaxScans = 256;
constexpr JDIMENSION kRowsPerCall = 16;

struct ErrorManager {
    jpeg_error_mgr library;
    jpeg_progress_mgr progress;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

[[noreturn]] void onError(j_common_ptr info) {
    auto* errors = reinterpret_cast<ErrorManager*>(info->err);
    (*info->err->format_message)(info, errors->message);
    std::longjmp(errors->jump, 1);
}

// libjpeg reports damaged entropy data as a warning and fills in grey; for us
// a half-grey image is a failure.
void onMessage(j_common_ptr info, int level) {
    if (level >= 0) return;  // trace output
    switch (info->err->msg_code) {
        case JWRN_JPEG_EOF:
        case JWRN_HIT_MARKER:
        case JWRN_MUST_RESYNC:
        case JWRN_HUFF_BAD_CODE:
        case JWRN_ARITH_BAD_CODE:
            onError(info);
        default:
            return;  // e.g. stray bytes between markers, common and harmless
    }
}

void onProgress(j_common_ptr info) {
    if (!info->is_decompressor) return;
    if (reinterpret_cast<j_decompress_ptr>(info)->input_scan_number > kMaxScans) {
        auto* errors = reinterpret_cast<ErrorManager*>(info->err);
        std::snprintf(errors->message, sizeof errors->message, "too many progressive scans");
        std::longjmp(errors->jump, 1);
    }
}

// The setjmp functions hold no C++ objects; errors jump back into them.
bool readHeader(jpeg_decompress_struct* info, ErrorManager* errors, const uint8_t* data, size_t size) {
    if (setjmp(errors->jump)) return false;
    jpeg_create_decompress(info);
    info->progress = &errors->progress;
    jpeg_mem_src(info, data, static_cast<unsigned long>(size));
    jpeg_read_header(info, TRUE);
    return true;
}

bool start(jpeg_decompress_struct* info, ErrorManager* errors) {
    if (setjmp(errors->jump)) return false;
    jpeg_start_decompress(info);
    if (info->output_components != 4) {
        info->err->msg_code = JERR_BAD_J_COLORSPACE;
        onError(reinterpret_cast<j_common_ptr>(info));
    }
    return true;
}

bool readRows(jpeg_decompress_struct* info, ErrorManager* errors, Image* image) {
    if (setjmp(errors->jump)) return false;
    JSAMPROW rows[kRowsPerCall];
    while (info->output_scanline < info->output_height) {
        const JDIMENSION first = info->output_scanline;
        const JDIMENSION left = info->output_height - first;
        const JDIMENSION count = left < kRowsPerCall ? left : kRowsPerCall;
        for (JDIMENSION i = 0; i < count; ++i) rows[i] = image->row(first + i);
        jpeg_read_scanlines(info, rows, count);
    }
    jpeg_finish_decompress(info);
    return true;
}

// Nearly every CMYK JPEG comes from Adobe software, which stores the
// channels inverted; libjpeg hands them over as stored.
void cmykToRgba(Image& image, bool inverted) {
    uint8_t* p = image.data();
    const size_t pixels = size_t{image.width()} * image.height();
    for (size_t i = 0; i < pixels; ++i, p += 4) {
        const unsigned flip = inverted ? 0 : 255;
        const unsigned k = p[3] ^ flip;
        for (int channel = 0; channel < 3; ++channel) p[channel] = static_cast<uint8_t>((p[channel] ^ flip) * k / 255);
        p[3] = 255;
    }
}

struct DecompressDeleter {
    void operator()(jpeg_decompress_struct* info) const {
        jpeg_destroy_decompress(info);
        delete info;
    }
};

DecodeResult corrupt(const std::string& message) {
    return unexpected(DecodeError{DecodeError::Kind::corrupt, "Damaged JPEG image: " + message});
}

}  // namespace

DecodeResult decodeJpeg(std::span<const uint8_t> bytes) {
    auto errors = std::make_unique<ErrorManager>();
    std::unique_ptr<jpeg_decompress_struct, DecompressDeleter> info(new jpeg_decompress_struct{});
    info->err = jpeg_std_error(&errors->library);
    errors->library.error_exit = onError;
    errors->library.emit_message = onMessage;
    errors->progress = {};
    errors->progress.progress_monitor = onProgress;
    errors->message[0] = '\0';

    if (!readHeader(info.get(), errors.get(), bytes.data(), bytes.size())) return corrupt(errors->message);
    const uint64_t pixels = uint64_t{info->image_width} * info->image_height;
    if (pixels == 0) return corrupt("image has no pixels");
    if (pixels > Image::kMaxPixels) {
        return unexpected(DecodeError{DecodeError::Kind::tooLarge,
                                      "JPEG image of " + std::to_string(info->image_width) + "x" +
                                          std::to_string(info->image_height) + " pixels is too large"});
    }
    if (pixels > uint64_t{bytes.size()} * kMaxPixelsPerByte + kPixelAllowance) {
        return corrupt("image data is too short for its declared size");
    }
    const bool cmyk = info->jpeg_color_space == JCS_CMYK || info->jpeg_color_space == JCS_YCCK;
    info->out_color_space = cmyk ? JCS_CMYK : JCS_EXT_RGBA;
    if (!start(info.get(), errors.get())) return corrupt(errors->message);

    std::optional<Image> image;
    try {
        image = Image::allocate(info->output_width, info->output_height);
    } catch (const std::bad_alloc&) {
    }
    if (!image) return unexpected(DecodeError{DecodeError::Kind::tooLarge, "Out of memory while reading JPEG"});
    if (!readRows(info.get(), errors.get(), &*image)) return corrupt(errors->message);
    if (cmyk) cmykToRgba(*image, info->saw_Adobe_marker);
    return std::move(*image);
}

}  // namespace tessarin
