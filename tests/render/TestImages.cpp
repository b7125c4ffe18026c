#include "TestImages.h"

#include <png.h>
#include <zlib.h>

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

namespace {
uint32_t bigEndian(const uint8_t* p) { return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3]; }

ParsedPng failure(std::string error) {
    ParsedPng png;
    png.error = std::move(error);
    return png;
}

int paeth(int a, int b, int c) {
    const int pa = std::abs(b - c), pb = std::abs(a - c), pc = std::abs(a + b - 2 * c);
    return pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
}
}  // namespace

ParsedPng parsePng(const std::vector<uint8_t>& file) {
    ParsedPng png;
    static const uint8_t signature[8] = {137, 80, 78, 71, 13, 10, 26, 10};
    if (file.size() < 8 || std::memcmp(file.data(), signature, 8) != 0) return failure("bad signature");
    std::vector<uint8_t> zdata;
    bool ended = false;
    for (size_t at = 8; at < file.size() && !ended;) {
        if (file.size() - at < 12) return failure("truncated chunk");
        const uint32_t length = bigEndian(&file[at]);
        if (file.size() - at - 12 < length) return failure("chunk overruns file");
        const std::string type(reinterpret_cast<const char*>(&file[at + 4]), 4);
        const uint8_t* data = &file[at + 8];
        if (crc32(crc32(0, &file[at + 4], 4), data, length) != bigEndian(data + length)) return failure("bad CRC in " + type);
        if (type == "IHDR") {
            png.width = bigEndian(data), png.height = bigEndian(data + 4), png.colorType = data[9];
            if (data[8] != 8 || data[12] != 0) return failure("unexpected bit depth or interlace");
        } else if (type == "IDAT") {
            ++png.idatChunks;
            zdata.insert(zdata.end(), data, data + length);
        } else if (type == "IEND") {
            ended = true;
        }
        at += 12 + length;
    }
    if (!ended) return failure("no IEND");
    const unsigned bpp = png.colorType == 2 ? 3 : png.colorType == 6 ? 4 : 0;
    if (bpp == 0) return failure("unexpected colour type");
    const size_t rowBytes = size_t{png.width} * bpp;
    std::vector<uint8_t> filtered((rowBytes + 1) * png.height + 1);  // one spare byte detects excess data
    uLongf size = filtered.size();
    if (uncompress(filtered.data(), &size, zdata.data(), zdata.size()) != Z_OK) return failure("zlib stream invalid");
    if (size != filtered.size() - 1) return failure("wrong amount of image data");
    png.pixels.assign(rowBytes * png.height, 0);
    for (uint32_t y = 0; y < png.height; ++y) {
        const uint8_t filter = filtered[y * (rowBytes + 1)];
        const uint8_t* in = &filtered[y * (rowBytes + 1) + 1];
        uint8_t* out = &png.pixels[y * rowBytes];
        const uint8_t* up = y > 0 ? out - rowBytes : nullptr;
        for (size_t i = 0; i < rowBytes; ++i) {
            const int a = i >= bpp ? out[i - bpp] : 0, b = up ? up[i] : 0, c = up && i >= bpp ? up[i - bpp] : 0;
            const int predictions[5] = {0, a, b, (a + b) / 2, paeth(a, b, c)};
            if (filter > 4) return failure("bad filter type");
            out[i] = uint8_t(in[i] + predictions[filter]);
        }
    }
    return png;
}

namespace {
void appendBytes(png_structp png, png_bytep data, size_t length) {
    auto* out = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + length);
}

struct PngSpec {
    uint32_t width, height;
    int bitDepth, colorType;
    bool interlaced;
    const std::vector<uint8_t>* rows;
    const std::vector<uint8_t>* palette;
    const std::vector<uint8_t>* transparency;
};

// No C++ objects live here: libpng errors jump back into it.
bool writeWithLibpng(png_structp png, png_infop info, const PngSpec* spec) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_set_IHDR(png, info, spec->width, spec->height, spec->bitDepth, spec->colorType,
                 spec->interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    if (!spec->palette->empty()) {
        png_set_PLTE(png, info, reinterpret_cast<png_const_colorp>(spec->palette->data()), int(spec->palette->size() / 3));
    }
    if (!spec->transparency->empty()) {
        png_color_16 grey{};
        grey.gray = spec->transparency->at(0);
        png_set_tRNS(png, info, spec->transparency->data(), int(spec->transparency->size()), &grey);
    }
    png_write_info(png, info);
    const int passes = png_set_interlace_handling(png);
    const size_t rowBytes = spec->rows->size() / spec->height;
    for (int pass = 0; pass < passes; ++pass) {
        for (uint32_t y = 0; y < spec->height; ++y) {
            png_write_row(png, spec->rows->data() + y * rowBytes);
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
    const PngSpec spec{width, height, bitDepth, colorType, interlaced, &packedRows, &palette, &transparency};
    const bool ok = writeWithLibpng(png, info, &spec);
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
