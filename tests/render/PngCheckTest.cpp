#include <gtest/gtest.h>
#include <zlib.h>

#include <iterator>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "TestImages.h"
#include "render/PngCheck.h"

namespace tessarin {
namespace {

using test::Bytes;
using Chunks = std::vector<std::pair<std::string, Bytes>>;

Bytes assemble(const Chunks& chunks) {
    Bytes out = {137, 'P', 'N', 'G', 13, 10, 26, 10};
    for (const auto& [type, data] : chunks) {
        test::putBigEndian(out, uint32_t(data.size()));
        const size_t start = out.size();
        out.insert(out.end(), type.begin(), type.end());
        out.insert(out.end(), data.begin(), data.end());
        test::putBigEndian(out, uint32_t(crc32(0, &out[start], uInt(out.size() - start))));
    }
    return out;
}

Bytes header(uint32_t width, uint32_t height, uint8_t depth = 8, uint8_t colorType = 2, uint8_t interlace = 0) {
    Bytes data;
    test::putBigEndian(data, width), test::putBigEndian(data, height);
    data.insert(data.end(), {depth, colorType, 0, 0, interlace});
    return data;
}

Bytes deflated(const Bytes& raw) {
    Bytes out(compressBound(uLong(raw.size())));
    uLongf size = out.size();
    EXPECT_EQ(compress(out.data(), &size, raw.data(), uLong(raw.size())), Z_OK);
    out.resize(size);
    return out;
}

// `height` rows of `rowBytes` pixel bytes, each after filter byte `filter`.
Bytes rows(uint32_t height, size_t rowBytes, uint8_t filter = 0) {
    Bytes raw;
    for (uint32_t y = 0; y < height; ++y) {
        raw.push_back(filter);
        for (size_t x = 0; x < rowBytes; ++x) raw.push_back(uint8_t(x * 7 + y));
    }
    return raw;
}

// A 4x3 RGB image and the same with one thing changed.
Chunks rgb4x3() { return {{"IHDR", header(4, 3)}, {"IDAT", deflated(rows(3, 12))}, {"IEND", {}}}; }

TEST(PngCheck, IntactEightBitImagesPass) {
    const Chunks withText = {{"IHDR", header(4, 3)}, {"tEXt", {'a', 0, 'b'}}, {"IDAT", deflated(rows(3, 12, 4))},
                             {"IEND", {}}};
    const Bytes raw = deflated(rows(3, 16));
    const Chunks splitData = {{"IHDR", header(4, 3, 8, 6)}, {"IDAT", Bytes(raw.begin(), raw.begin() + 5)},
                              {"IDAT", Bytes(raw.begin() + 5, raw.end())}, {"IEND", {}}};
    const struct {
        const char* name;
        Bytes file;
        PngHeader expected;
    } cases[] = {
        {"RGB", assemble(rgb4x3()), {4, 3, 8, 2}},
        {"grey and alpha", assemble({{"IHDR", header(4, 3, 8, 4)}, {"IDAT", deflated(rows(3, 8))}, {"IEND", {}}}),
         {4, 3, 8, 4}},
        {"RGBA over two data chunks", assemble(splitData), {4, 3, 8, 6}},
        {"a text chunk and Paeth rows", assemble(withText), {4, 3, 8, 2}},
        {"our own encoder's", test::pngOf(test::noiseImage(300, 200, 5, false)), {300, 200, 8, 6}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto checked = checkIntactPng(c.file);
        ASSERT_TRUE(checked) << checked.error();
        EXPECT_EQ(std::tuple(checked->width, checked->height, checked->bitDepth, checked->colorType),
                  std::tuple(c.expected.width, c.expected.height, c.expected.bitDepth, c.expected.colorType));
    }
}

TEST(PngCheck, DamagedOrUnusualFilesSayWhatIsWrong) {
    const auto changed = [](auto change) {
        Chunks chunks = rgb4x3();
        change(chunks);
        return assemble(chunks);
    };
    const auto withHeader = [&](Bytes ihdr) { return changed([&](Chunks& c) { c[0].second = std::move(ihdr); }); };
    const auto withData = [&](const Bytes& raw) { return changed([&](Chunks& c) { c[1].second = deflated(raw); }); };
    Bytes badCrc = assemble(rgb4x3());
    badCrc[40] ^= 1;  // inside the image data
    Bytes trailing = assemble(rgb4x3());
    trailing.push_back(0);
    const Bytes intact = assemble(rgb4x3());
    const struct {
        const char* name;
        Bytes file;
        std::string problem;
    } cases[] = {
        {"empty", {}, "not a PNG file"},
        {"a JPEG", test::jpegOf(test::noiseImage(8, 8, 1)), "not a PNG file"},
        {"a wrong checksum", badCrc, "a chunk's checksum is wrong"},
        {"cut short", Bytes(intact.begin(), intact.end() - 5), "a chunk is cut off"},
        {"no end", Bytes(intact.begin(), intact.end() - 12), "the file has no end chunk"},
        {"bytes after the end", trailing, "data follows the end chunk"},
        {"data before the header", changed([](Chunks& c) { std::swap(c[0], c[1]); }),
         "the file does not start with a header"},
        {"a palette image", withHeader(header(4, 3, 8, 3)), "not an 8-bit grey, RGB or RGBA image"},
        {"interlaced", withHeader(header(4, 3, 8, 2, 1)), "interlaced or of an unknown method"},
        {"no width", withHeader(header(0, 3)), "the image size is out of range"},
        {"more pixels than any image may have", withHeader(header(1u << 15, 1u << 14)),
         "the image size is out of range"},
        {"one row short", withData(rows(2, 12)), "image data is shorter than the image"},
        {"one row long", withData(rows(4, 12)), "image data is longer than the image"},
        {"an unknown filter", withData(rows(3, 12, 5)), "row 0 has an unknown filter"},
        {"data that is no deflate stream", changed([](Chunks& c) { c[1].second = Bytes(40, 0xAB); }),
         "image data is damaged"},
        {"no data", changed([](Chunks& c) { c.erase(c.begin() + 1); }), "the file has no image data"},
        {"data split by another chunk",
         changed([](Chunks& c) {
             const Bytes data = c[1].second;
             c[1].second.assign(data.begin(), data.begin() + 4);
             c.insert(c.begin() + 2, {{"tEXt", {'k', 0}}, {"IDAT", Bytes(data.begin() + 4, data.end())}});
         }),
         "the image data is split by other chunks"},
        {"an unknown critical chunk", changed([](Chunks& c) { c.insert(c.begin() + 1, {"ABCD", {1}}); }),
         "an unexpected critical chunk ABCD"},
        {"an end chunk with data", changed([](Chunks& c) { c[2].second = {0}; }), "the end chunk is not empty"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto checked = checkIntactPng(c.file);
        ASSERT_FALSE(checked);
        EXPECT_EQ(checked.error(), c.problem);
    }
}

// Every byte is covered by the signature, a length or a CRC.
TEST(PngCheck, NoCutOrFlippedByteOfARealFilePasses) {
    const Bytes file = test::pngOf(test::noiseImage(40, 30, 9));
    ASSERT_TRUE(checkIntactPng(file));
    for (size_t cut = 0; cut < file.size(); ++cut) {
        ASSERT_FALSE(checkIntactPng(std::span(file.data(), cut))) << "cut at " << cut;
    }
    for (size_t at = 0; at < file.size(); ++at) {
        Bytes flipped = file;
        flipped[at] ^= 0x10;
        EXPECT_FALSE(checkIntactPng(flipped)) << "flip at " << at;
    }
}

// Chunk edits with right CRCs reach the checks behind the CRC: a header or a reason, never a crash.
TEST(PngCheck, RandomChunkEditsNeverCrash) {
    std::mt19937 random(23);
    const char* const types[] = {"IHDR", "IDAT", "IEND", "tEXt", "PLTE", "zzzz"};
    const auto randomBytes = [&random](size_t size) {
        Bytes data(size);
        for (auto& byte : data) byte = uint8_t(random());
        return data;
    };
    for (int file = 0; file < 3000; ++file) {
        Chunks chunks = rgb4x3();
        for (int edit = int(random() % 3); edit > 0; --edit) {
            const size_t at = random() % (chunks.size() + 1);
            switch (random() % 4) {
                case 0:
                    chunks.insert(chunks.begin() + long(at),
                                  {types[random() % std::size(types)], randomBytes(random() % 20)});
                    break;
                case 1:
                    if (at < chunks.size()) chunks.erase(chunks.begin() + long(at));
                    break;
                case 2:
                    if (at < chunks.size()) chunks[at].second = randomBytes(chunks[at].second.size());
                    break;
                default:  // one header field
                    if (!chunks.empty() && !chunks[0].second.empty()) {
                        chunks[0].second[random() % chunks[0].second.size()] ^= uint8_t(1 + random() % 255);
                    }
                    break;
            }
        }
        const auto checked = checkIntactPng(assemble(chunks));
        if (checked) {
            EXPECT_EQ(chunks.front().first, "IHDR");
            EXPECT_EQ(chunks.back().first, "IEND");
        } else {
            EXPECT_FALSE(checked.error().empty());
        }
    }
}

}  // namespace
}  // namespace tessarin
