#pragma once
// Images and independent readers shared by the render tests.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "core/common/Image.h"

namespace tessarin::test {

struct Rgba {
    uint8_t r, g, b, a;
};

Image makeImage(uint32_t width, uint32_t height, const std::function<Rgba(uint32_t x, uint32_t y)>& pixel);
Image noiseImage(uint32_t width, uint32_t height, uint32_t seed, bool opaque = true);
Image gradientImage(uint32_t width, uint32_t height);
bool samePixels(const Image& a, const Image& b);

// The colour type and IDAT count of a PNG, read from its chunks.
struct PngLayout {
    int colorType = -1;
    int idatChunks = 0;
};
PngLayout pngLayout(const std::vector<uint8_t>& file);

// Decoded by libpng's simplified reader, which shares no code with ours and
// checks every CRC and the zlib checksum. Empty when it refuses the file.
Image readWithLibpng(const std::vector<uint8_t>& file);

// Writes a PNG with libpng in any form we must read back.
std::vector<uint8_t> libpngFile(uint32_t width, uint32_t height, int bitDepth, int colorType, bool interlaced,
                                const std::vector<uint8_t>& packedRows, const std::vector<uint8_t>& palette = {},
                                const std::vector<uint8_t>& transparency = {});

// A folder under the system temporary directory, removed with its contents.
class TemporaryFolder {
public:
    TemporaryFolder();
    ~TemporaryFolder();
    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;
    const std::filesystem::path& path() const { return path_; }
    std::vector<std::string> entries() const;  // names in the folder, sorted

private:
    std::filesystem::path path_;
};

std::vector<uint8_t> readFile(const std::filesystem::path& path);
void writeFile(const std::filesystem::path& path, const std::vector<uint8_t>& bytes);

}  // namespace tessarin::test
