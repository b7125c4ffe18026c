#include "render/PngDecoder.h"

#include <png.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <optional>
#include <string>

namespace tessarin {
namespace {

// Deflate never expands data by more than 1032:1, so a file whose pixel data
// would need more than that is a lie (or a decompression bomb) and is refused
// before its image is allocated.
constexpr uint64_t kMaxDeflateRatio = 1032;
constexpr png_alloc_size_t kMaxAncillaryChunkBytes = png_alloc_size_t{8} << 20;

// Everything libpng's callbacks touch: plain data, so the longjmp of an
// error skips no destructor.
struct ReadState {
    const uint8_t* data;
    size_t size;
    size_t offset;
    char message[256];
};

[[noreturn]] void onError(png_structp png, png_const_charp message) {
    auto* state = static_cast<ReadState*>(png_get_error_ptr(png));
    std::snprintf(state->message, sizeof state->message, "%s", message);
    png_longjmp(png, 1);
}

void onWarning(png_structp, png_const_charp) {}

void onRead(png_structp png, png_bytep out, size_t length) {
    auto* state = static_cast<ReadState*>(png_get_io_ptr(png));
    if (length > state->size - state->offset) png_error(png, "PNG data is truncated");
    std::memcpy(out, state->data + state->offset, length);
    state->offset += length;
}

struct Header {
    uint32_t width = 0;
    uint32_t height = 0;
    int bitDepth = 0;
    int colorType = 0;
    int passes = 1;
};

// The three setjmp functions below hold no C++ objects; a libpng error
// jumps back into them and they return false with the message in ReadState.
bool readInfo(png_structp png, png_infop info, Header* header) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_read_info(png, info);
    png_uint_32 width = 0, height = 0;
    int interlace = 0;
    png_get_IHDR(png, info, &width, &height, &header->bitDepth, &header->colorType, &interlace, nullptr, nullptr);
    header->width = width;
    header->height = height;
    return true;
}

// Asks libpng for 8-bit RGBA whatever the file holds; values are kept as
// stored (no gamma conversion), as every screenshot tool writes sRGB.
bool configureRgba(png_structp png, png_infop info, Header* header) {
    if (setjmp(png_jmpbuf(png))) return false;
    const int colorType = header->colorType;
    if (header->bitDepth == 16) png_set_strip_16(png);
    if (colorType == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(png);
    if (colorType == PNG_COLOR_TYPE_GRAY && header->bitDepth < 8) png_set_expand_gray_1_2_4_to_8(png);
    if (png_get_valid(png, info, PNG_INFO_tRNS)) png_set_tRNS_to_alpha(png);
    if (colorType == PNG_COLOR_TYPE_GRAY || colorType == PNG_COLOR_TYPE_GRAY_ALPHA) png_set_gray_to_rgb(png);
    if (!(colorType & PNG_COLOR_MASK_ALPHA) && !png_get_valid(png, info, PNG_INFO_tRNS)) {
        png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
    }
    header->passes = png_set_interlace_handling(png);
    png_read_update_info(png, info);
    if (png_get_rowbytes(png, info) != size_t{header->width} * 4 || png_get_channels(png, info) != 4) {
        png_error(png, "PNG colour conversion did not give RGBA");
    }
    return true;
}

bool readRows(png_structp png, png_infop info, const Header* header, Image* image) {
    if (setjmp(png_jmpbuf(png))) return false;
    // With interlace handling each pass fills in more pixels of the same
    // rows, so reading straight into the image needs no row-pointer table.
    for (int pass = 0; pass < header->passes; ++pass) {
        for (uint32_t y = 0; y < header->height; ++y) png_read_row(png, image->row(y), nullptr);
    }
    png_read_end(png, info);
    return true;
}

uint64_t storedBitsPerPixel(const Header& header) {
    switch (header.colorType) {
        case PNG_COLOR_TYPE_GRAY:
        case PNG_COLOR_TYPE_PALETTE: return uint64_t(header.bitDepth);
        case PNG_COLOR_TYPE_GRAY_ALPHA: return 2 * uint64_t(header.bitDepth);
        case PNG_COLOR_TYPE_RGB: return 3 * uint64_t(header.bitDepth);
        default: return 4 * uint64_t(header.bitDepth);
    }
}

struct ReadStructs {
    png_structp png = nullptr;
    png_infop info = nullptr;
    ReadStructs() = default;
    ReadStructs(const ReadStructs&) = delete;
    ReadStructs& operator=(const ReadStructs&) = delete;
    ~ReadStructs() { png_destroy_read_struct(&png, info ? &info : nullptr, nullptr); }
};

DecodeResult corrupt(const char* message) {
    return unexpected(DecodeError{DecodeError::Kind::corrupt, std::string("Damaged PNG image: ") + message});
}

}  // namespace

DecodeResult decodePng(std::span<const uint8_t> bytes) {
    auto state = std::make_unique<ReadState>();
    state->data = bytes.data();
    state->size = bytes.size();
    state->offset = 0;
    state->message[0] = '\0';

    ReadStructs structs;
    structs.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, state.get(), onError, onWarning);
    if (structs.png) structs.info = png_create_info_struct(structs.png);
    if (!structs.png || !structs.info) {
        return unexpected(DecodeError{DecodeError::Kind::tooLarge, "Out of memory while reading PNG"});
    }
    png_set_read_fn(structs.png, state.get(), onRead);
    // Our own size checks below are the real limits; libpng's default of a
    // million pixels per side would only reject some legitimate strips.
    png_set_user_limits(structs.png, PNG_UINT_31_MAX, PNG_UINT_31_MAX);
    png_set_chunk_malloc_max(structs.png, kMaxAncillaryChunkBytes);
    // Every chunk's CRC is still checked, which covers the pixel data; the
    // zlib stream's own Adler-32 over the same bytes only costs time.
#ifdef PNG_IGNORE_ADLER32
    png_set_option(structs.png, PNG_IGNORE_ADLER32, PNG_OPTION_ON);
#endif

    Header header;
    if (!readInfo(structs.png, structs.info, &header)) return corrupt(state->message);
    const uint64_t pixels = uint64_t{header.width} * header.height;
    if (pixels == 0) return corrupt("image has no pixels");
    if (pixels > Image::kMaxPixels) {
        return unexpected(DecodeError{DecodeError::Kind::tooLarge,
                                      "PNG image of " + std::to_string(header.width) + "x" +
                                          std::to_string(header.height) + " pixels is too large"});
    }
    // pixels <= 2^28 and at most 64 bits each: no overflow below.
    const uint64_t rowBytes = (uint64_t{header.width} * storedBitsPerPixel(header) + 7) / 8;
    if (rowBytes * header.height > uint64_t{bytes.size()} * kMaxDeflateRatio) {
        return corrupt("image data is too short for its declared size");
    }
    if (!configureRgba(structs.png, structs.info, &header)) return corrupt(state->message);

    std::optional<Image> image;
    try {
        image = Image::allocate(header.width, header.height);
    } catch (const std::bad_alloc&) {
    }
    if (!image) return unexpected(DecodeError{DecodeError::Kind::tooLarge, "Out of memory while reading PNG"});
    if (!readRows(structs.png, structs.info, &header, &*image)) return corrupt(state->message);
    return std::move(*image);
}

}  // namespace tessarin
