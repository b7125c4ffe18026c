#include "render/DeflateStitch.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

namespace tessarin::deflatestitch {
namespace {

constexpr const char* kEndsEarly = "deflate stream ends early";

// Reads the stream least significant bit first. Bits past the end read as
// zero so decoding needs no bounds check per bit; overrun() tells when they
// were used, and callers check it before trusting any result.
class BitReader {
public:
    explicit BitReader(std::span<const uint8_t> data) : data_(data) {}

    uint64_t position() const { return uint64_t{next_} * 8 - count_; }
    bool overrun() const { return position() > uint64_t{data_.size()} * 8; }

    // Leaves at least 57 bits buffered: enough for any code plus its extra bits.
    void refill() {
        if (count_ > 56) return;
        if constexpr (std::endian::native == std::endian::little) {
            if (next_ <= data_.size() && data_.size() - next_ >= 8) {
                // One load instead of a byte at a time. The bits above count_
                // then hold the next byte's start, which the next load ORs in
                // again unchanged.
                uint64_t word;
                std::memcpy(&word, data_.data() + next_, 8);
                buffer_ |= word << count_;
                const unsigned bytes = (63 - count_) / 8;
                next_ += bytes;
                count_ += bytes * 8;
                return;
            }
        }
        while (count_ <= 56) {
            const uint64_t byte = next_ < data_.size() ? data_[next_] : 0;
            buffer_ |= byte << count_;
            ++next_;
            count_ += 8;
        }
    }
    uint32_t peek(unsigned n) const { return static_cast<uint32_t>(buffer_ & ((uint64_t{1} << n) - 1)); }
    void consume(unsigned n) {
        buffer_ >>= n;
        count_ -= n;
    }
    // Takes n bits from the buffer, which the caller has refilled.
    uint32_t take(unsigned n) {
        const uint32_t value = peek(n);
        consume(n);
        return value;
    }
    uint32_t bits(unsigned n) {
        refill();
        return take(n);
    }
    void alignToByte() { consume(count_ % 8); }

    // Skips whole bytes from a byte boundary; false if they are not all there.
    bool skipBytes(size_t n) {
        const uint64_t at = position() / 8;
        if (at > data_.size() || n > data_.size() - at) return false;
        next_ = static_cast<size_t>(at) + n;
        buffer_ = 0;
        count_ = 0;
        return true;
    }

private:
    std::span<const uint8_t> data_;
    size_t next_ = 0;  // next byte to load into buffer_
    uint64_t buffer_ = 0;
    unsigned count_ = 0;  // bits in buffer_
};

constexpr unsigned kMaxCodeBits = 15;
constexpr unsigned kFastBits = 10;
constexpr size_t kMaxSymbols = 288;

// A canonical Huffman code. Codes up to kFastBits long (nearly every symbol
// in practice) decode with one table look-up; longer ones walk the code
// lengths one bit at a time.
class Huffman {
public:
    // Accepts what zlib accepts: a complete code, no code at all (fails on
    // first use), or, if `allowLoneCode`, a single one-bit code.
    bool build(std::span<const uint8_t> lengths, bool allowLoneCode) {
        count_.fill(0);
        for (const uint8_t length : lengths) {
            if (length > kMaxCodeBits) return false;
            ++count_[length];
        }
        count_[0] = 0;
        int left = 1;
        unsigned longest = 0;
        for (unsigned length = 1; length <= kMaxCodeBits; ++length) {
            left = left * 2 - count_[length];
            if (left < 0) return false;  // over-subscribed
            if (count_[length] != 0) longest = length;
        }
        if (left > 0 && longest != 0 && !(allowLoneCode && longest == 1)) return false;

        std::array<uint16_t, kMaxCodeBits + 2> offset{};
        std::array<uint32_t, kMaxCodeBits + 1> nextCode{};
        uint32_t code = 0;
        for (unsigned length = 1; length <= kMaxCodeBits; ++length) {
            offset[length + 1] = static_cast<uint16_t>(offset[length] + count_[length]);
            code = (code + count_[length - 1]) << 1;
            nextCode[length] = code;
        }
        fast_.fill(0);
        for (size_t symbol = 0; symbol < lengths.size(); ++symbol) {
            const unsigned length = lengths[symbol];
            if (length == 0) continue;
            sorted_[offset[length]++] = static_cast<uint16_t>(symbol);
            if (length > kFastBits) continue;
            // Codes are sent most significant bit first, so the table is
            // indexed by the code's bits reversed.
            const uint32_t canonical = nextCode[length]++;
            uint32_t reversed = 0;
            for (unsigned i = 0; i < length; ++i) reversed |= ((canonical >> i) & 1) << (length - 1 - i);
            for (uint32_t i = reversed; i < (1u << kFastBits); i += 1u << length) {
                fast_[i] = static_cast<uint16_t>(symbol << 4 | length);
            }
        }
        return true;
    }

    // The next symbol, or -1 if the bits match no code. The caller has
    // refilled the reader.
    int decode(BitReader& in) const {
        const uint16_t entry = fast_[in.peek(kFastBits)];
        if (entry != 0) {
            in.consume(entry & 15);
            return entry >> 4;
        }
        const uint32_t bits = in.peek(kMaxCodeBits);
        int code = 0;   // bits read so far
        int first = 0;  // first code of the current length
        int index = 0;  // its position in sorted_
        for (unsigned length = 1; length <= kMaxCodeBits; ++length) {
            code |= static_cast<int>((bits >> (length - 1)) & 1);
            const int count = count_[length];
            if (code - first < count) {
                in.consume(length);
                return sorted_[static_cast<size_t>(index + code - first)];
            }
            index += count;
            first = (first + count) << 1;
            code <<= 1;
        }
        return -1;
    }

private:
    std::array<uint16_t, 1u << kFastBits> fast_{};  // symbol << 4 | length; 0: longer or no code
    std::array<uint16_t, kMaxCodeBits + 1> count_{};
    std::array<uint16_t, kMaxSymbols> sorted_{};  // symbols in code order
};

struct FixedCodes {
    Huffman literal;
    Huffman distance;
    FixedCodes() {
        std::array<uint8_t, 288> lengths{};
        std::fill(lengths.begin(), lengths.begin() + 144, 8);
        std::fill(lengths.begin() + 144, lengths.begin() + 256, 9);
        std::fill(lengths.begin() + 256, lengths.begin() + 280, 7);
        std::fill(lengths.begin() + 280, lengths.end(), 8);
        literal.build(lengths, false);
        lengths.fill(5);
        distance.build(std::span(lengths).first(32), false);
    }
};

const FixedCodes& fixedCodes() {
    static const FixedCodes codes;
    return codes;
}

constexpr std::array<uint16_t, 29> kLengthBase = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                                  31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr std::array<uint8_t, 29> kLengthExtra = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                                  2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr std::array<uint16_t, 30> kDistanceBase = {1,    2,    3,    4,    5,    7,     9,     13,    17,  25,
                                                    33,   49,   65,   97,   129,  193,   257,   385,   513, 769,
                                                    1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
constexpr std::array<uint8_t, 30> kDistanceExtra = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                                    6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
constexpr std::array<uint8_t, 19> kCodeLengthOrder = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

// Decodes one Huffman block's symbols up to its end-of-block code, counting
// the bytes they stand for so distances can be checked. nullptr on success.
const char* skipSymbols(BitReader& reader, const Huffman& literal, const Huffman& distance, uint64_t& produced) {
    // Worked on in locals: through the references the compiler must assume
    // `produced` may alias the reader's bit buffer and keeps both in memory.
    BitReader in = reader;
    uint64_t total = produced;
    const char* error = nullptr;
    for (;;) {
        if (in.overrun()) {
            error = kEndsEarly;
            break;
        }
        // Enough for the longest literal/length code, distance code and
        // their extra bits: 15 + 5 + 15 + 13.
        in.refill();
        const int symbol = literal.decode(in);
        if (symbol < 256) {
            if (symbol < 0) {
                error = "invalid literal/length code";
                break;
            }
            ++total;
            continue;
        }
        if (symbol == 256) break;
        const auto lengthIndex = static_cast<size_t>(symbol - 257);
        if (lengthIndex >= kLengthBase.size()) {
            error = "invalid literal/length symbol";
            break;
        }
        const uint32_t length = kLengthBase[lengthIndex] + in.take(kLengthExtra[lengthIndex]);
        const int distanceSymbol = distance.decode(in);
        if (distanceSymbol < 0) {
            error = "invalid distance code";
            break;
        }
        const auto distanceIndex = static_cast<size_t>(distanceSymbol);
        if (distanceIndex >= kDistanceBase.size()) {
            error = "invalid distance symbol";
            break;
        }
        const uint32_t distanceValue = kDistanceBase[distanceIndex] + in.take(kDistanceExtra[distanceIndex]);
        if (distanceValue > total) {
            error = "distance reaches before the start of the stream";
            break;
        }
        total += length;
    }
    reader = in;
    produced = total;
    return error;
}

const char* readDynamicCodes(BitReader& in, Huffman& literal, Huffman& distance) {
    const unsigned literalCount = in.bits(5) + 257;
    const unsigned distanceCount = in.bits(5) + 1;
    const unsigned codeLengthCount = in.bits(4) + 4;
    if (literalCount > 286 || distanceCount > 30) return "too many length or distance codes";

    std::array<uint8_t, 19> codeLengthLengths{};
    for (unsigned i = 0; i < codeLengthCount; ++i) {
        codeLengthLengths[kCodeLengthOrder[i]] = static_cast<uint8_t>(in.bits(3));
    }
    Huffman codeLengthCode;
    if (!codeLengthCode.build(codeLengthLengths, false)) return "invalid code length code";

    // Literal/length and distance code lengths form one sequence: a repeat
    // may run from one into the other.
    std::array<uint8_t, 286 + 30> lengths{};
    const unsigned total = literalCount + distanceCount;
    for (unsigned i = 0; i < total;) {
        in.refill();
        const int symbol = codeLengthCode.decode(in);
        if (symbol < 0) return "invalid code length code";
        if (symbol < 16) {
            lengths[i++] = static_cast<uint8_t>(symbol);
            continue;
        }
        uint8_t value = 0;
        unsigned repeat;
        if (symbol == 16) {
            if (i == 0) return "repeat with no previous length";
            value = lengths[i - 1];
            repeat = 3 + in.bits(2);
        } else if (symbol == 17) {
            repeat = 3 + in.bits(3);
        } else {
            repeat = 11 + in.bits(7);
        }
        if (repeat > total - i) return "too many code lengths";
        std::fill_n(lengths.begin() + i, repeat, value);
        i += repeat;
    }
    if (lengths[256] == 0) return "no end-of-block code";
    const std::span<const uint8_t> all(lengths.data(), total);
    if (!literal.build(all.first(literalCount), true)) return "invalid literal/length code lengths";
    if (!distance.build(all.subspan(literalCount), true)) return "invalid distance code lengths";
    return nullptr;
}

const char* skipStored(BitReader& in, uint64_t& produced) {
    in.alignToByte();
    const uint32_t length = in.bits(16);
    const uint32_t check = in.bits(16);
    if (in.overrun()) return kEndsEarly;
    if (length != (~check & 0xFFFF)) return "stored block length check fails";
    if (!in.skipBytes(length)) return kEndsEarly;
    produced += length;
    return nullptr;
}

}  // namespace

Expected<FinalBlock, std::string> findFinalBlock(std::span<const uint8_t> stream) {
    BitReader in(stream);
    uint64_t produced = 0;
    Huffman literal;
    Huffman distance;
    for (;;) {
        const uint64_t header = in.position();
        const bool final = in.bits(1) != 0;
        const char* error = nullptr;
        switch (in.bits(2)) {
            case 0: error = skipStored(in, produced); break;
            case 1: error = skipSymbols(in, fixedCodes().literal, fixedCodes().distance, produced); break;
            case 2:
                error = readDynamicCodes(in, literal, distance);
                if (error == nullptr) error = skipSymbols(in, literal, distance, produced);
                break;
            default: error = "invalid block type"; break;
        }
        // Whatever went wrong, running past the end is the first cause.
        if (in.overrun()) return unexpected(std::string(kEndsEarly));
        if (error != nullptr) return unexpected(std::string(error));
        if (final) {
            const uint64_t end = in.position();
            if ((end + 7) / 8 != stream.size()) return unexpected(std::string("data after the final block"));
            return FinalBlock{header, end};
        }
    }
}

Expected<size_t, std::string> makeJoinable(std::span<uint8_t> buffer, size_t streamSize) {
    if (streamSize > buffer.size() || buffer.size() - streamSize < kJoinSlack) {
        return unexpected(std::string("no room after the deflate stream"));
    }
    const auto found = findFinalBlock(buffer.first(streamSize));
    if (!found) return unexpected(found.error());
    const FinalBlock block = *found;

    buffer[block.headerBit / 8] &= static_cast<uint8_t>(~(1u << (block.headerBit % 8)));
    // From the end bit on everything is zero: the empty stored block's header
    // (not final, type 0) and the padding to the next byte.
    size_t at = static_cast<size_t>(block.endBit / 8);
    const unsigned usedBits = block.endBit % 8;
    buffer[at] = usedBits == 0 ? 0 : static_cast<uint8_t>(buffer[at] & ((1u << usedBits) - 1));
    ++at;
    if (usedBits + 3 > 8) buffer[at++] = 0;
    // LEN 0 and its complement.
    for (const uint8_t byte : {0x00, 0x00, 0xFF, 0xFF}) buffer[at++] = byte;
    return at;
}

}  // namespace tessarin::deflatestitch
