#pragma once
// Text metrics without a font: 10 units per character of the longest line,
// 1.25 x the font size per line.

#include <algorithm>

#include "core/annotation/OtherAnnotations.h"

namespace tessarin::testing {

struct FakeTextMeasurer final : TextMeasurer {
    Size measure(std::string_view text, double fontSize, std::optional<double>, bool) const override {
        ++calls;
        size_t lines = 1, longest = 0, current = 0;
        for (const char c : text) {
            if (c == '\n') {
                ++lines;
                current = 0;
            } else {
                longest = std::max(longest, ++current);
            }
        }
        return {10.0 * double(longest), 1.25 * fontSize * double(lines)};
    }
    mutable int calls = 0;
};

}  // namespace tessarin::testing
