#include <gtest/gtest.h>
#include <libdeflate.h>

#include <memory>
#include <string>
#include <vector>

#include "render/DeflateStitch.h"

namespace tessarin {
namespace {

using Bytes = std::vector<uint8_t>;

// Assembles deflate streams bit by bit, least significant bit first.
struct BitWriter {
    Bytes out;
    uint64_t position = 0;

    BitWriter& bits(uint32_t value, unsigned count) {
        for (unsigned i = 0; i < count; ++i, ++position) {
            if (position % 8 == 0) out.push_back(0);
            out.back() |= static_cast<uint8_t>(((value >> i) & 1) << (position % 8));
        }
        return *this;
    }
    // Huffman codes go most significant bit first.
    BitWriter& code(uint32_t value, unsigned length) {
        for (unsigned i = length; i-- > 0;) bits(value >> i, 1);
        return *this;
    }
    BitWriter& header(bool final, unsigned type) { return bits(final, 1).bits(type, 2); }
    // A stored block: its header, padding, LEN and NLEN (or the 32 bits given), then the bytes.
    BitWriter& stored(bool final, const std::string& content, uint32_t lengths = 0) {
        header(final, 0).bits(0, unsigned(-position % 8));
        bits(lengths ? lengths : uint32_t(~content.size() << 16 | content.size()), 32);
        for (const char c : content) bits(uint8_t(c), 8);
        return *this;
    }
    // A dynamic block's code-length code lengths, in their transmitted order.
    BitWriter& codeLengthLengths(const std::vector<unsigned>& inOrder) {
        bits(static_cast<uint32_t>(inOrder.size() - 4), 4);
        for (const unsigned length : inOrder) bits(length, 3);
        return *this;
    }
    // Fixed-code symbols.
    BitWriter& literal(uint8_t byte) { return byte < 144 ? code(0x30 + byte, 8) : code(0x190 + byte - 144, 9); }
    BitWriter& endOfBlock() { return code(0, 7); }
    BitWriter& match3(unsigned distanceSymbol) { return code(1, 7).code(distanceSymbol, 5); }  // length 3
};

// A dynamic block whose literal/length code is 'a' and end-of-block, one bit
// each (or two, leaving the code incomplete), and no distance code: "aa".
BitWriter dynamicAa(BitWriter w, bool final, bool complete = true) {
    w.header(final, 2).bits(0, 5).bits(0, 5);  // 257 literal/length and 1 distance lengths
    // Code-length code: 18 -> "0", 0 -> "10", 1 -> "11" (2 -> "11" when incomplete).
    w.codeLengthLengths({0, 0, 1, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, complete ? 0u : 2u, 0, complete ? 2u : 0u});
    w.code(0, 1).bits(97 - 11, 7).code(3, 2);                    // 97 zeros, then 'a'
    w.code(0, 1).bits(138 - 11, 7).code(0, 1).bits(20 - 11, 7);  // 158 zeros
    w.code(3, 2).code(2, 2);                                     // end-of-block, then the distance: 0
    return complete ? w.code(0, 1).code(0, 1).code(1, 1) : w;    // 'a' 'a' end-of-block
}

// Inflated by libdeflate, which stops after the first final block.
std::string inflateRaw(const Bytes& stream, size_t size) {
    const std::unique_ptr<libdeflate_decompressor, void (*)(libdeflate_decompressor*)> inflater(
        libdeflate_alloc_decompressor(), libdeflate_free_decompressor);
    std::string out(size, '\0');
    const auto status =
        libdeflate_deflate_decompress(inflater.get(), stream.data(), stream.size(), out.data(), size, nullptr);
    return status == LIBDEFLATE_SUCCESS ? out : "(invalid)";
}

TEST(DeflateStitch, FindsTheFinalBlockOfHandMadeStreamsAndJoinsThem) {
    const struct {
        const char* name;
        BitWriter stream;
        uint64_t headerBit, endBit;
        std::string content;
    } cases[] = {
        {"stored", BitWriter().stored(true, "abc"), 0, 64, "abc"},
        {"fixed, literals and a match of distance 2",
         BitWriter().header(true, 1).literal('a').literal(200).match3(1).endOfBlock(), 0, 3 + 8 + 9 + 12 + 7,
         "a\xC8" "a\xC8" "a"},
        // Padding after the last block may hold anything; joining must clear it.
        {"fixed, padding set", BitWriter().header(true, 1).literal('a').endOfBlock().bits(0x3F, 6), 0, 18, "a"},
        {"dynamic", dynamicAa(BitWriter(), true), 0, 104, "aa"},
        // Every kind in turn; the last match, of distance 4, reaches back into the stored block.
        {"several blocks",
         dynamicAa(BitWriter().stored(false, "xy"), false).header(false, 1).endOfBlock()
             .header(true, 1).literal('z').match3(3).endOfBlock(),
         56 + 104 + 10, 56 + 104 + 10 + 3 + 8 + 12 + 7, "xyaazyaa"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Bytes& stream = c.stream.out;
        ASSERT_EQ(inflateRaw(stream, c.content.size()), c.content);  // the stream itself is valid
        const auto found = deflatestitch::findFinalBlock(stream);
        ASSERT_TRUE(found) << found.error();
        EXPECT_EQ(found->headerBit, c.headerBit);
        EXPECT_EQ(found->endBit, c.endBit);
        for (size_t cut = 0; cut < stream.size(); ++cut) {
            EXPECT_FALSE(deflatestitch::findFinalBlock(std::span(stream).first(cut))) << "cut at " << cut;
        }
        // Joined to a copy of itself, with slack that must not leak in.
        Bytes joined = stream;
        joined.resize(stream.size() + deflatestitch::kJoinSlack, 0xAA);
        const auto size = deflatestitch::makeJoinable(joined, stream.size());
        ASSERT_TRUE(size) << size.error();
        joined.resize(*size);
        EXPECT_EQ(Bytes(joined.end() - 4, joined.end()), (Bytes{0, 0, 0xFF, 0xFF}));
        joined.insert(joined.end(), stream.begin(), stream.end());
        EXPECT_EQ(inflateRaw(joined, c.content.size() * 2), c.content + c.content);
    }
}

TEST(DeflateStitch, RejectsMalformedStreams) {
    const auto dynamicHeader = [](unsigned literalCodes) {
        return BitWriter().header(true, 2).bits(literalCodes - 257, 5).bits(0, 5);
    };
    const struct {
        const char* name;
        BitWriter stream;
        const char* error;
    } cases[] = {
        {"empty", BitWriter(), "deflate stream ends early"},
        {"not final and nothing after", BitWriter().header(false, 1).endOfBlock(), "deflate stream ends early"},
        {"stored bytes missing", BitWriter().stored(true, "a", 0xFFFC0003), "deflate stream ends early"},
        {"bytes after the final block", BitWriter().header(true, 1).endOfBlock().bits(0, 8),
         "data after the final block"},
        {"block type 3", BitWriter().header(true, 3).bits(0, 5), "invalid block type"},
        {"stored length check", BitWriter().stored(true, "a", 0xFFFF0001), "stored block length check fails"},
        {"literal/length symbol 286", BitWriter().header(true, 1).code(0xC6, 8).endOfBlock(),
         "invalid literal/length symbol"},
        {"distance symbol 30", BitWriter().header(true, 1).literal('a').match3(30).endOfBlock(),
         "invalid distance symbol"},
        {"distance before the start", BitWriter().header(true, 1).literal('a').match3(1).endOfBlock(),
         "distance reaches before the start of the stream"},
        {"287 literal/length codes", dynamicHeader(287).bits(0, 4), "too many length or distance codes"},
        {"over-subscribed code-length code", dynamicHeader(257).codeLengthLengths({1, 1, 1, 0}),
         "invalid code length code"},
        {"repeat first",  // 0 -> "0", 16 -> "1"
         dynamicHeader(257).codeLengthLengths({1, 0, 0, 1}).code(1, 1), "repeat with no previous length"},
        {"no end-of-block code",  // 0 -> "0", 18 -> "1"
         dynamicHeader(257).codeLengthLengths({0, 0, 1, 1}).code(1, 1).bits(127, 7).code(1, 1).bits(109, 7),
         "no end-of-block code"},
        {"too many code lengths",
         dynamicHeader(257).codeLengthLengths({0, 0, 1, 1}).code(1, 1).bits(127, 7).code(1, 1).bits(127, 7),
         "too many code lengths"},
        {"incomplete literal/length code", dynamicAa(BitWriter(), true, /*complete=*/false),
         "invalid literal/length code lengths"},
    };
    for (const auto& c : cases) {
        const auto found = deflatestitch::findFinalBlock(c.stream.out);
        ASSERT_FALSE(found) << c.name;
        EXPECT_EQ(found.error(), c.error) << c.name;
        Bytes buffer = c.stream.out;
        buffer.resize(buffer.size() + deflatestitch::kJoinSlack);
        EXPECT_FALSE(deflatestitch::makeJoinable(buffer, c.stream.out.size())) << c.name;
    }
    Bytes valid = BitWriter().header(true, 1).endOfBlock().out;
    EXPECT_EQ(deflatestitch::makeJoinable(valid, valid.size()).error(), "no room after the deflate stream");
}

Bytes deflateRaw(int level, const Bytes& data) {
    const std::unique_ptr<libdeflate_compressor, void (*)(libdeflate_compressor*)> compressor(
        libdeflate_alloc_compressor(level), libdeflate_free_compressor);
    Bytes out(libdeflate_deflate_compress_bound(compressor.get(), data.size()));
    out.resize(libdeflate_deflate_compress(compressor.get(), data.data(), data.size(), out.data(), out.size()));
    EXPECT_FALSE(out.empty());
    return out;
}

TEST(DeflateStitch, DamagedLibdeflateStreamsAreRejectedOrStillEndOnTheLastByte) {
    // Flipping any bit of a real stream must never make the walker read out of bounds.
    // Joining real libdeflate streams is covered by the PNG encoder's band tests.
    Bytes text;
    for (uint8_t line = 0; text.size() < 2000; ++line) {
        for (const char c : std::string("window capture screen region ")) text.push_back(uint8_t(c + line % 3));
    }
    const Bytes stream = deflateRaw(6, text);
    size_t rejected = 0;
    for (size_t bit = 0; bit < stream.size() * 8; ++bit) {
        Bytes damaged = stream;
        damaged[bit / 8] ^= uint8_t(1u << (bit % 8));
        const auto found = deflatestitch::findFinalBlock(damaged);
        EXPECT_TRUE(!found || (found->endBit + 7) / 8 == damaged.size()) << "bit " << bit;
        rejected += !found;
    }
    EXPECT_TRUE(deflatestitch::findFinalBlock(stream));
    EXPECT_GT(rejected, 0u);
}

}  // namespace
}  // namespace tessarin
