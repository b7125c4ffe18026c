#include "render/TiffEncoder.h"

#include <array>
#include <vector>

namespace tessarin {
namespace {

enum Tag : uint16_t {
    imageWidth = 256,
    imageLength = 257,
    bitsPerSample = 258,
    compression = 259,
    photometric = 262,
    stripOffsets = 273,
    samplesPerPixel = 277,
    rowsPerStrip = 278,
    stripByteCounts = 279,
    planarConfiguration = 284,
    extraSamples = 338,
};
enum Type : uint16_t { typeShort = 3, typeLong = 4 };

struct Entry {
    uint16_t tag;
    uint16_t type;
    uint32_t count;
    uint32_t value;  // the value itself when it fits in four bytes, else its offset
};

class LittleEndian {
public:
    void u16(uint16_t v) { bytes.insert(bytes.end(), {uint8_t(v), uint8_t(v >> 8)}); }
    void u32(uint32_t v) { bytes.insert(bytes.end(), {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)}); }
    std::vector<uint8_t> bytes;
};

}  // namespace

EncodeResult encodeTiff(const Image& image, ByteSink& sink) {
    if (image.isEmpty()) return encodeFailed(EncodeError::Kind::invalidImage, "empty image");
    // Image caps pixels at 2^28, so the byte count fits the 32-bit offsets.
    const uint32_t pixelBytes = static_cast<uint32_t>(image.byteCount());
    const std::array<Entry, 11> entries{{
        {imageWidth, typeLong, 1, image.width()},
        {imageLength, typeLong, 1, image.height()},
        {bitsPerSample, typeShort, 4, 0},  // offset filled in below
        {compression, typeShort, 1, 1},
        {photometric, typeShort, 1, 2},  // RGB
        {stripOffsets, typeLong, 1, 0},  // filled in below
        {samplesPerPixel, typeShort, 1, 4},
        {rowsPerStrip, typeLong, 1, image.height()},
        {stripByteCounts, typeLong, 1, pixelBytes},
        {planarConfiguration, typeShort, 1, 1},
        {extraSamples, typeShort, 1, 2},  // unassociated alpha
    }};
    const uint32_t ifdOffset = 8;
    const uint32_t bitsOffset = ifdOffset + 2 + uint32_t(entries.size()) * 12 + 4;
    const uint32_t pixelOffset = bitsOffset + 8;

    LittleEndian header;
    header.bytes = {'I', 'I', 42, 0};
    header.u32(ifdOffset);
    header.u16(uint16_t(entries.size()));
    for (Entry entry : entries) {
        if (entry.tag == bitsPerSample) entry.value = bitsOffset;
        if (entry.tag == stripOffsets) entry.value = pixelOffset;
        header.u16(entry.tag);
        header.u16(entry.type);
        header.u32(entry.count);
        if (entry.type == typeShort && entry.count == 1) {
            header.u16(uint16_t(entry.value));  // left-justified in the value field
            header.u16(0);
        } else {
            header.u32(entry.value);
        }
    }
    header.u32(0);  // no further IFD
    for (int i = 0; i < 4; ++i) header.u16(8);
    if (!sink.write(header.bytes) || !sink.write(image.bytes())) {
        return encodeFailed(EncodeError::Kind::sinkFailed, "TIFF output refused");
    }
    return encodeSucceeded();
}

}  // namespace tessarin
