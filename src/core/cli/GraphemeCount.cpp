#include "core/cli/GraphemeCount.h"

#include <cstdint>

namespace tessarin {
namespace {

constexpr char32_t kInvalid = 0xFFFFFFFF;

// The code point at text[i] and its length; an invalid sequence reads as one byte.
char32_t decode(std::string_view text, size_t i, size_t& length) {
    const auto byte = [&](size_t k) { return static_cast<uint8_t>(text[k]); };
    const uint8_t lead = byte(i);
    length = 1;
    size_t count = 0;
    char32_t value = 0;
    if (lead < 0x80) return lead;
    if (lead >= 0xC2 && lead <= 0xDF) {
        count = 1;
        value = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        count = 2;
        value = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        count = 3;
        value = lead & 0x07;
    } else {
        return kInvalid;
    }
    if (i + count >= text.size()) return kInvalid;
    for (size_t k = 1; k <= count; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80) return kInvalid;
        value = value << 6 | (byte(i + k) & 0x3F);
    }
    static constexpr char32_t kSmallest[] = {0, 0x80, 0x800, 0x10000};
    if (value < kSmallest[count] || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return kInvalid;
    length = count + 1;
    return value;
}

bool in(char32_t c, char32_t low, char32_t high) { return c >= low && c <= high; }

// Marks and joiners that never start a character of their own.
bool extends(char32_t c) {
    return in(c, 0x0300, 0x036F) || in(c, 0x0483, 0x0489) || in(c, 0x0591, 0x05BD) || in(c, 0x0610, 0x061A) ||
           in(c, 0x064B, 0x065F) || in(c, 0x0900, 0x0903) || in(c, 0x093A, 0x094F) || in(c, 0x0E31, 0x0E31) ||
           in(c, 0x0E34, 0x0E3A) || in(c, 0x0E47, 0x0E4E) || in(c, 0x1AB0, 0x1AFF) || in(c, 0x1DC0, 0x1DFF) ||
           in(c, 0x200C, 0x200D) || in(c, 0x20D0, 0x20FF) || in(c, 0x302A, 0x302F) || in(c, 0x3099, 0x309A) ||
           in(c, 0xFE00, 0xFE0F) || in(c, 0xFE20, 0xFE2F) || in(c, 0x1F3FB, 0x1F3FF) || in(c, 0xE0020, 0xE007F) ||
           in(c, 0xE0100, 0xE01EF);
}

bool isRegionalIndicator(char32_t c) { return in(c, 0x1F1E6, 0x1F1FF); }
bool isPictographic(char32_t c) {
    return in(c, 0x2600, 0x27BF) || in(c, 0x1F300, 0x1FAFF) || c == 0x00A9 || c == 0x00AE || in(c, 0x2190, 0x21FF);
}

}  // namespace

size_t graphemeCount(std::string_view utf8) {
    size_t count = 0;
    char32_t previous = kInvalid;
    bool oddRegionalIndicators = false;
    for (size_t i = 0; i < utf8.size();) {
        size_t length = 1;
        const char32_t c = decode(utf8, i, length);
        i += length;
        bool joins = false;
        if (previous != kInvalid && c != kInvalid) {
            if (previous == '\r' && c == '\n') {
                joins = true;
            } else if (extends(c)) {
                joins = previous != '\r' && previous != '\n';
            } else if (previous == 0x200D && isPictographic(c)) {
                joins = true;
            } else if (isRegionalIndicator(c) && isRegionalIndicator(previous) && oddRegionalIndicators) {
                joins = true;
            }
        }
        oddRegionalIndicators = isRegionalIndicator(c) && !(joins && isRegionalIndicator(previous));
        if (!joins) ++count;
        previous = c;
    }
    return count;
}

}  // namespace tessarin
