#include "TestImages.h"

#include <png.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace tessarin::test {
namespace fs = std::filesystem;

Image makeImage(uint32_t width, uint32_t height, const std::function<Rgba(uint32_t, uint32_t)>& pixel) {
    auto image = Image::allocate(width, height);
    if (!image) throw std::runtime_error("test image too large");
    for (uint32_t y = 0; y < height; ++y) {
        for (uint32_t x = 0; x < width; ++x) {
            const Rgba c = pixel(x, y);
            uint8_t* p = image->row(y) + size_t{x} * 4;
            p[0] = c.r, p[1] = c.g, p[2] = c.b, p[3] = c.a;
        }
    }
    return std::move(*image);
}

Image noiseImage(uint32_t width, uint32_t height, uint32_t seed, bool opaque) {
    uint32_t state = seed * 2654435761u + 1;
    return makeImage(width, height, [&](uint32_t, uint32_t) {
        state ^= state << 13, state ^= state >> 17, state ^= state << 5;
        return Rgba{uint8_t(state), uint8_t(state >> 8), uint8_t(state >> 16), opaque ? uint8_t(255) : uint8_t(state >> 24)};
    });
}

Image gradientImage(uint32_t width, uint32_t height) {
    return makeImage(width, height, [&](uint32_t x, uint32_t y) {
        return Rgba{uint8_t(x * 255 / width), uint8_t(y * 255 / height), uint8_t((x + y) * 127 / (width + height)), 255};
    });
}

bool samePixels(const Image& a, const Image& b) {
    return a.width() == b.width() && a.height() == b.height() &&
           std::memcmp(a.data(), b.data(), a.byteCount()) == 0;
}

PngLayout pngLayout(const std::vector<uint8_t>& file) {
    PngLayout layout;
    for (size_t at = 8; at + 12 <= file.size();) {
        const uint32_t length = uint32_t(file[at]) << 24 | uint32_t(file[at + 1]) << 16 | uint32_t(file[at + 2]) << 8 | file[at + 3];
        const std::string type(reinterpret_cast<const char*>(&file[at + 4]), 4);
        if (type == "IHDR") layout.colorType = file[at + 17];
        layout.idatChunks += type == "IDAT";
        at += 12 + size_t{length};
    }
    return layout;
}

Image readWithLibpng(const std::vector<uint8_t>& file) {
    png_image reader{};
    reader.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&reader, file.data(), file.size())) return {};
    reader.format = PNG_FORMAT_RGBA;
    auto image = Image::allocate(reader.width, reader.height);
    if (!image || !png_image_finish_read(&reader, nullptr, image->data(), 0, nullptr)) return {};
    return std::move(*image);
}

namespace {
void appendBytes(png_structp png, png_bytep data, size_t length) {
    auto* out = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + length);
}

struct PngToWrite {
    uint32_t width, height;
    int bitDepth, colorType;
    bool interlaced;
    const std::vector<uint8_t>* rows;
    const std::vector<uint8_t>* palette;
    const std::vector<uint8_t>* transparency;
};

// No C++ objects live here: libpng errors jump back into it.
bool writeWithLibpng(png_structp png, png_infop info, const PngToWrite* request) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_set_IHDR(png, info, request->width, request->height, request->bitDepth, request->colorType,
                 request->interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    if (!request->palette->empty()) {
        png_set_PLTE(png, info, reinterpret_cast<png_const_colorp>(request->palette->data()), int(request->palette->size() / 3));
    }
    if (!request->transparency->empty()) {
        png_color_16 grey{};
        grey.gray = request->transparency->at(0);
        png_set_tRNS(png, info, request->transparency->data(), int(request->transparency->size()), &grey);
    }
    png_write_info(png, info);
    const int passes = png_set_interlace_handling(png);
    const size_t rowBytes = request->rows->size() / request->height;
    for (int pass = 0; pass < passes; ++pass) {
        for (uint32_t y = 0; y < request->height; ++y) {
            png_write_row(png, request->rows->data() + y * rowBytes);
        }
    }
    png_write_end(png, nullptr);
    return true;
}
}  // namespace

std::vector<uint8_t> libpngFile(uint32_t width, uint32_t height, int bitDepth, int colorType, bool interlaced,
                                const std::vector<uint8_t>& packedRows, const std::vector<uint8_t>& palette,
                                const std::vector<uint8_t>& transparency) {
    std::vector<uint8_t> out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_set_write_fn(png, &out, appendBytes, nullptr);
    const PngToWrite request{width, height, bitDepth, colorType, interlaced, &packedRows, &palette, &transparency};
    const bool ok = writeWithLibpng(png, info, &request);
    png_destroy_write_struct(&png, &info);
    if (!ok) throw std::runtime_error("libpng could not write the test file");
    return out;
}

TemporaryFolder::TemporaryFolder() {
    std::string pattern = (fs::temp_directory_path() / "tessarin-render-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

TemporaryFolder::~TemporaryFolder() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
}

std::vector<std::string> TemporaryFolder::entries() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(path_)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<uint8_t> readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeFile(const fs::path& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

}  // namespace tessarin::test
