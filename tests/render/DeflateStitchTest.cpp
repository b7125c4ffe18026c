#include <gtest/gtest.h>
#include <libdeflate.h>
#include <zlib.h>

#include <memory>
#include <string>
#include <vector>

#include "render/DeflateStitch.h"

namespace tessarin {
namespace {

using Bytes = std::vector<uint8_t>;

// Assembles deflate streams bit by bit, least significant bit first.
class BitWriter {
public:
    BitWriter& bits(uint32_t value, unsigned count) {
        for (unsigned i = 0; i < count; ++i) put((value >> i) & 1);
        return *this;
    }
    // Huffman codes go most significant bit first.
    BitWriter& code(uint32_t value, unsigned length) {
        for (unsigned i = length; i-- > 0;) put((value >> i) & 1);
        return *this;
    }
    BitWriter& header(bool final, unsigned type) { return bits(final, 1).bits(type, 2); }
    // A dynamic block's code-length code lengths, in their transmitted order.
    BitWriter& codeLengthLengths(const std::vector<unsigned>& inOrder) {
        bits(static_cast<uint32_t>(inOrder.size() - 4), 4);
        for (const unsigned length : inOrder) bits(length, 3);
        return *this;
    }
    BitWriter& align() {
        while (position_ % 8 != 0) put(0);
        return *this;
    }
    BitWriter& bytes(const Bytes& values) {
        for (const uint8_t byte : values) bits(byte, 8);
        return *this;
    }
    // Fixed-code symbols.
    BitWriter& literal(uint8_t byte) { return byte < 144 ? code(0x30 + byte, 8) : code(0x190 + byte - 144, 9); }
    BitWriter& endOfBlock() { return code(0, 7); }
    BitWriter& match3(unsigned distanceSymbol) { return code(1, 7).code(distanceSymbol, 5); }  // length 3

    uint64_t position() const { return position_; }
    Bytes take() const { return out_; }

private:
    void put(uint32_t bit) {
        if (position_ % 8 == 0) out_.push_back(0);
        out_.back() |= static_cast<uint8_t>(bit << (position_ % 8));
        ++position_;
    }
    Bytes out_;
    uint64_t position_ = 0;
};

// A dynamic block whose only codes are 'a' and end-of-block, one bit each,
// and no distance code: "aa".
BitWriter& dynamicAa(BitWriter& w, bool final) {
    w.header(final, 2).bits(0, 5).bits(0, 5);  // 257 literal/length and 1 distance lengths
    // Code-length code: 18 -> "0", 0 -> "10", 1 -> "11".
    w.codeLengthLengths({0, 0, 1, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2});
    w.code(0, 1).bits(97 - 11, 7).code(3, 2);                    // 97 zeros, then 'a': 1
    w.code(0, 1).bits(138 - 11, 7).code(0, 1).bits(20 - 11, 7);  // 158 zeros
    w.code(3, 2).code(2, 2);                                     // end-of-block: 1, the distance: 0
    return w.code(0, 1).code(0, 1).code(1, 1);                   // 'a' 'a' end
}

Bytes inflateRaw(const Bytes& stream, size_t expectedSize) {
    Bytes out(expectedSize + 1);
    z_stream z{};
    if (inflateInit2(&z, -15) != Z_OK) return {};
    z.next_in = const_cast<Bytef*>(stream.data());
    z.avail_in = static_cast<uInt>(stream.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    const int status = inflate(&z, Z_FINISH);
    out.resize(z.total_out);
    inflateEnd(&z);
    return status == Z_STREAM_END ? out : Bytes{};
}

Bytes text(const std::string& s) { return {s.begin(), s.end()}; }

TEST(DeflateStitch, FindsTheFinalBlockOfHandMadeStreamsAndJoinsThem) {
    struct Case {
        const char* name;
        Bytes stream;
        uint64_t headerBit, endBit;
        Bytes content;
    };
    std::vector<Case> cases;
    {
        BitWriter w;
        w.header(true, 0).align().bytes({3, 0, 0xFC, 0xFF, 'a', 'b', 'c'});
        cases.push_back({"stored", w.take(), 0, 64, text("abc")});
    }
    {
        BitWriter w;
        w.header(true, 1).literal('a').literal(200).match3(1).endOfBlock();  // distance 2
        cases.push_back({"fixed, literals and a match", w.take(), 0, 3 + 8 + 9 + 12 + 7, {'a', 200, 'a', 200, 'a'}});
    }
    {
        // Padding after the last block may hold anything; joining must clear it.
        BitWriter w;
        w.header(true, 1).literal('a').endOfBlock().bits(0x3F, 6);
        cases.push_back({"fixed, padding set", w.take(), 0, 18, text("a")});
    }
    {
        BitWriter w;
        dynamicAa(w, true);
        cases.push_back({"dynamic", w.take(), 0, w.position(), text("aa")});
    }
    {
        // Every kind in turn; the match reaches back into the stored block.
        BitWriter w;
        w.header(false, 0).align().bytes({2, 0, 0xFD, 0xFF, 'x', 'y'});
        dynamicAa(w, false);
        w.header(false, 1).endOfBlock();
        const uint64_t last = w.position();
        w.header(true, 1).literal('z').match3(3).endOfBlock();  // distance 4
        cases.push_back({"several blocks", w.take(), last, w.position(), text("xyaazyaa")});
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(inflateRaw(c.stream, c.content.size()), c.content);  // the stream itself is valid
        const auto found = deflatestitch::findFinalBlock(c.stream);
        ASSERT_TRUE(found) << found.error();
        EXPECT_EQ(found->headerBit, c.headerBit);
        EXPECT_EQ(found->endBit, c.endBit);
        for (size_t cut = 0; cut < c.stream.size(); ++cut) {
            EXPECT_FALSE(deflatestitch::findFinalBlock(std::span(c.stream).first(cut))) << "cut at " << cut;
        }

        Bytes joined = c.stream;
        joined.resize(c.stream.size() + deflatestitch::kJoinSlack, 0xAA);  // slack must not leak in
        const auto size = deflatestitch::makeJoinable(joined, c.stream.size());
        ASSERT_TRUE(size) << size.error();
        joined.resize(*size);
        EXPECT_EQ(Bytes(joined.end() - 4, joined.end()), (Bytes{0, 0, 0xFF, 0xFF}));
        const Bytes finalStored = {0x01, 0x02, 0x00, 0xFD, 0xFF, 'q', 'r'};
        joined.insert(joined.end(), finalStored.begin(), finalStored.end());
        Bytes expected = c.content;
        expected.push_back('q');
        expected.push_back('r');
        EXPECT_EQ(inflateRaw(joined, expected.size()), expected);
    }
}

TEST(DeflateStitch, RejectsMalformedStreams) {
    struct Case {
        const char* name;
        BitWriter stream;
        const char* error;
    };
    const auto dynamicHeader = [](unsigned literalCodes) {
        return BitWriter().header(true, 2).bits(literalCodes - 257, 5).bits(0, 5);
    };
    const Case cases[] = {
        {"empty", BitWriter(), "deflate stream ends early"},
        {"not final and nothing after", BitWriter().header(false, 1).endOfBlock(), "deflate stream ends early"},
        {"stored bytes missing", BitWriter().header(true, 0).align().bytes({3, 0, 0xFC, 0xFF, 'a'}),
         "deflate stream ends early"},
        {"bytes after the final block", BitWriter().header(true, 1).endOfBlock().bytes({0}),
         "data after the final block"},
        {"block type 3", BitWriter().header(true, 3).bits(0, 5), "invalid block type"},
        {"stored length check", BitWriter().header(true, 0).align().bytes({1, 0, 0xFF, 0xFF, 'a'}),
         "stored block length check fails"},
        {"literal/length symbol 286", BitWriter().header(true, 1).code(0xC6, 8).endOfBlock(),
         "invalid literal/length symbol"},
        {"distance symbol 30", BitWriter().header(true, 1).literal('a').match3(30).endOfBlock(),
         "invalid distance symbol"},
        {"distance before the start", BitWriter().header(true, 1).literal('a').match3(1).endOfBlock(),
         "distance reaches before the start of the stream"},
        {"287 literal/length codes", dynamicHeader(287).bits(0, 4), "too many length or distance codes"},
        {"over-subscribed code-length code",
         dynamicHeader(257).codeLengthLengths({1, 1, 1, 0}), "invalid code length code"},
        {"repeat first",  // 0 -> "0", 16 -> "1"
         dynamicHeader(257).codeLengthLengths({1, 0, 0, 1}).code(1, 1), "repeat with no previous length"},
        {"no end-of-block code",  // 0 -> "0", 18 -> "1"
         dynamicHeader(257).codeLengthLengths({0, 0, 1, 1}).code(1, 1).bits(127, 7).code(1, 1).bits(109, 7),
         "no end-of-block code"},
        {"too many code lengths",
         dynamicHeader(257).codeLengthLengths({0, 0, 1, 1}).code(1, 1).bits(127, 7).code(1, 1).bits(127, 7),
         "too many code lengths"},
        {"incomplete literal/length code",  // 'a' and end-of-block two bits each
         dynamicHeader(257).codeLengthLengths({0, 0, 1, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2})
             .code(0, 1).bits(97 - 11, 7).code(3, 2)
             .code(0, 1).bits(138 - 11, 7).code(0, 1).bits(20 - 11, 7)
             .code(3, 2).code(2, 2),
         "invalid literal/length code lengths"},
    };
    for (const Case& c : cases) {
        const Bytes stream = c.stream.take();
        const auto found = deflatestitch::findFinalBlock(stream);
        ASSERT_FALSE(found) << c.name;
        EXPECT_EQ(found.error(), c.error) << c.name;
        Bytes buffer = stream;
        buffer.resize(stream.size() + deflatestitch::kJoinSlack);
        EXPECT_FALSE(deflatestitch::makeJoinable(buffer, stream.size())) << c.name;
    }
    Bytes valid = BitWriter().header(true, 1).endOfBlock().take();
    EXPECT_EQ(deflatestitch::makeJoinable(valid, valid.size()).error(), "no room after the deflate stream");
}

// Segments of the kinds libdeflate codes differently: incompressible
// (stored blocks), tiny (fixed codes), text and sparse runs (dynamic codes,
// several blocks when long), and empty.
Bytes segment(uint32_t seed) {
    uint32_t state = seed * 2654435761u + 7;
    const auto next = [&state] { return state ^= state << 13, state ^= state >> 17, state ^= state << 5; };
    Bytes out;
    const uint32_t size = seed % 7 == 6 ? 0 : next() % (seed / 4 % 2 ? 300000 : 20);
    static const std::string words[] = {"window ", "capture ", "screen ", "region ", "\n", "0x7f3a "};
    while (out.size() < size) {
        switch (seed % 4) {
            case 0: out.push_back(static_cast<uint8_t>(next())); break;
            case 1: {
                const std::string& word = words[next() % 6];
                out.insert(out.end(), word.begin(), word.end());
                break;
            }
            default: out.push_back(next() % 50 == 0 ? static_cast<uint8_t>(next()) : 0); break;
        }
    }
    return out;
}

TEST(DeflateStitch, JoinedLibdeflateStreamsFormOneZlibStream) {
    for (const int level : {0, 1, 6, 9, 12}) {
        std::unique_ptr<libdeflate_compressor, void (*)(libdeflate_compressor*)> compressor(
            libdeflate_alloc_compressor(level), libdeflate_free_compressor);
        ASSERT_TRUE(compressor);
        for (uint32_t count = 1; count <= 5; ++count) {
            Bytes stream = {0x78, 0x01}, content;
            for (uint32_t i = 0; i < count; ++i) {
                const Bytes piece = segment(uint32_t(level) * 100 + count * 10 + i);
                content.insert(content.end(), piece.begin(), piece.end());
                const size_t at = stream.size();
                stream.resize(at + libdeflate_deflate_compress_bound(compressor.get(), piece.size()) +
                              deflatestitch::kJoinSlack);
                size_t size = libdeflate_deflate_compress(compressor.get(), piece.data(), piece.size(),
                                                          stream.data() + at, stream.size() - at);
                ASSERT_NE(size, 0u);
                if (i + 1 < count) {
                    const auto joined = deflatestitch::makeJoinable(std::span(stream).subspan(at), size);
                    ASSERT_TRUE(joined) << joined.error();
                    size = *joined;
                }
                stream.resize(at + size);
            }
            const uint32_t adler = static_cast<uint32_t>(adler32_z(1, content.data(), content.size()));
            for (const int shift : {24, 16, 8, 0}) stream.push_back(static_cast<uint8_t>(adler >> shift));
            Bytes out(content.size() + 1);
            uLongf outSize = out.size();
            ASSERT_EQ(uncompress(out.data(), &outSize, stream.data(), stream.size()), Z_OK)
                << "level " << level << ", " << count << " segments";
            out.resize(outSize);
            EXPECT_TRUE(out == content) << "level " << level << ", " << count << " segments";
        }
    }
}

TEST(DeflateStitch, DamagedLibdeflateStreamsAreRejectedOrStillWellFormed) {
    // Flipping any bit of a real stream must never make the walker read out
    // of bounds; what it accepts must still end on the stream's last byte.
    Bytes content = segment(13);  // text: dynamic blocks
    content.resize(20000);
    std::unique_ptr<libdeflate_compressor, void (*)(libdeflate_compressor*)> compressor(
        libdeflate_alloc_compressor(6), libdeflate_free_compressor);
    Bytes stream(libdeflate_deflate_compress_bound(compressor.get(), content.size()));
    stream.resize(libdeflate_deflate_compress(compressor.get(), content.data(), content.size(), stream.data(),
                                              stream.size()));
    ASSERT_TRUE(deflatestitch::findFinalBlock(stream));
    size_t rejected = 0;
    for (size_t bit = 0; bit < stream.size() * 8; ++bit) {
        Bytes damaged = stream;
        damaged[bit / 8] ^= static_cast<uint8_t>(1u << (bit % 8));
        const auto found = deflatestitch::findFinalBlock(damaged);
        if (found) {
            EXPECT_EQ((found->endBit + 7) / 8, damaged.size());
        } else {
            ++rejected;
        }
        EXPECT_FALSE(deflatestitch::findFinalBlock(std::span(stream).first(bit / 8)));
    }
    EXPECT_GT(rejected, 0u);
}

}  // namespace
}  // namespace tessarin
