#pragma once
// Images, encoded files, an independent PNG reader and writer, and file
// helpers shared by the render tests.

#include <gtest/gtest.h>
#include <png.h>
#include <zlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "core/common/Image.h"
#include "render/JpegEncoder.h"
#include "render/PngEncoder.h"

namespace tessarin::test {

using Bytes = std::vector<uint8_t>;
struct Rgba {
    uint8_t r, g, b, a;
};

inline Image makeImage(uint32_t width, uint32_t height, const std::function<Rgba(uint32_t x, uint32_t y)>& pixel) {
    Image image = *Image::allocate(width, height);
    for (uint32_t y = 0; y < height; ++y) {
        for (uint32_t x = 0; x < width; ++x) {
            const Rgba c = pixel(x, y);
            uint8_t* p = image.row(y) + size_t{x} * 4;
            p[0] = c.r, p[1] = c.g, p[2] = c.b, p[3] = c.a;
        }
    }
    return image;
}

inline Image noiseImage(uint32_t width, uint32_t height, uint32_t seed, bool opaque = true) {
    uint32_t state = seed * 2654435761u + 1;
    return makeImage(width, height, [&](uint32_t, uint32_t) {
        state ^= state << 13, state ^= state >> 17, state ^= state << 5;
        return Rgba{uint8_t(state), uint8_t(state >> 8), uint8_t(state >> 16), uint8_t(opaque ? 255 : state >> 24)};
    });
}

inline Image gradientImage(uint32_t width, uint32_t height) {
    return makeImage(width, height, [&](uint32_t x, uint32_t y) {
        return Rgba{uint8_t(x * 255 / width), uint8_t(y * 255 / height), uint8_t((x + y) * 127 / (width + height)),
                    255};
    });
}

inline bool samePixels(const Image& a, const Image& b) {
    return a.width() == b.width() && a.height() == b.height() && std::ranges::equal(a.bytes(), b.bytes());
}

// Our encoders' output; a failure is reported to the running test.
inline Bytes pngOf(const Image& image, const PngEncodeOptions& options = {}) {
    MemorySink sink;
    const EncodeResult result = encodePng(image, sink, options);
    EXPECT_TRUE(result) << (result ? "" : result.error().message);
    return sink.take();
}

inline Bytes jpegOf(const Image& image, double quality = 0.9) {
    MemorySink sink;
    const EncodeResult result = encodeJpeg(image, quality, sink);
    EXPECT_TRUE(result) << (result ? "" : result.error().message);
    return sink.take();
}

inline uint32_t bigEndian(const uint8_t* p) {
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

// A PNG's colour type, its IDAT count and the inflated IDAT data: every
// row's filter byte and filtered bytes.
struct PngLayout {
    int colorType = -1;
    int idatChunks = 0;
    Bytes filtered;
};
inline PngLayout pngLayout(const Bytes& file) {
    PngLayout layout;
    Bytes idat;
    for (size_t at = 8; at + 12 <= file.size(); at += 12 + size_t{bigEndian(&file[at])}) {
        const std::string type(reinterpret_cast<const char*>(&file[at + 4]), 4);
        const uint8_t* data = &file[at + 8];
        if (type == "IHDR") {
            layout.colorType = data[9];
            layout.filtered.resize(size_t{bigEndian(data)} * bigEndian(data + 4) * 5);  // room for 8-bit RGB(A) rows
        }
        if (type == "IDAT") ++layout.idatChunks, idat.insert(idat.end(), data, data + bigEndian(&file[at]));
    }
    uLongf size = layout.filtered.size();
    EXPECT_EQ(uncompress(layout.filtered.data(), &size, idat.data(), uLong(idat.size())), Z_OK);
    layout.filtered.resize(size);
    return layout;
}

// Decoded by libpng's simplified reader, which shares no code with ours and
// checks every CRC and the zlib checksum. Empty when it refuses the file.
inline Image readWithLibpng(const Bytes& file) {
    png_image reader{};
    reader.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&reader, file.data(), file.size())) return {};
    reader.format = PNG_FORMAT_RGBA;
    auto image = Image::allocate(reader.width, reader.height);
    if (!image || !png_image_finish_read(&reader, nullptr, image->data(), 0, nullptr)) return {};
    return std::move(*image);
}

// A PNG assembled chunk by chunk around `filtered`, the scanlines with their
// filter bytes (pass after pass when interlaced); PLTE and tRNS if given.
inline void putBigEndian(Bytes& out, uint32_t value) {
    for (const int shift : {24, 16, 8, 0}) out.push_back(uint8_t(value >> shift));
}

inline Bytes pngFile(uint32_t width, uint32_t height, uint8_t bitDepth, uint8_t colorType, bool interlaced,
                     const Bytes& filtered, const Bytes& palette = {}, const Bytes& transparency = {}) {
    Bytes out = {137, 'P', 'N', 'G', 13, 10, 26, 10}, header, idat(compressBound(uLong(filtered.size())));
    const auto chunk = [&out](const char* type, const Bytes& data) {
        putBigEndian(out, uint32_t(data.size()));
        const size_t start = out.size();
        out.insert(out.end(), type, type + 4);
        out.insert(out.end(), data.begin(), data.end());
        putBigEndian(out, uint32_t(crc32(0, &out[start], uInt(out.size() - start))));
    };
    putBigEndian(header, width), putBigEndian(header, height);
    header.insert(header.end(), {bitDepth, colorType, 0, 0, uint8_t(interlaced)});
    chunk("IHDR", header);
    if (!palette.empty()) chunk("PLTE", palette);
    if (!transparency.empty()) chunk("tRNS", transparency);
    uLongf size = idat.size();
    EXPECT_EQ(compress(idat.data(), &size, filtered.data(), uLong(filtered.size())), Z_OK);
    idat.resize(size);
    chunk("IDAT", idat);
    chunk("IEND", {});
    return out;
}

inline Bytes readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void writeFile(const std::filesystem::path& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

}  // namespace tessarin::test
