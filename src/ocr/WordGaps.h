#pragma once
// Where the engine ran two words together. Its line model sometimes joins
// words of small UI text where letters meet digits ("Col17" for "Col 17"),
// though the image still shows the space between them; the blanks between
// glyphs, measured on the image, tell where.

#include <array>
#include <string>
#include <vector>

#include "ocr/ScreenTextImage.h"

namespace tessarin::ocr {

// One recognised word with the box of each of its glyphs, in the engine's
// pixels.
struct WordGlyphs {
    std::string text;
    struct Glyph {
        std::string text;
        int left = 0, top = 0, right = 0, bottom = 0;
        double confidence = 0;  // 0..1
    };
    std::vector<Glyph> glyphs;
    int left = 0, right = 0;  // of the whole word
};

// The widths of the runs of blank columns with ink on both sides within
// [x0, x1) x [y0, y1) of the image.
std::vector<int> blankRuns(const GreyImage& image, int x0, int x1, int y0, int y1);

// The line's text with a space put into each word where the image shows one
// between two of its letters or digits (see the .cpp for the measures).
// `lineBox` is left, top, right, bottom in the engine's pixels.
std::string withWordGapsSplit(const std::string& lineText, const std::vector<WordGlyphs>& words,
                              const GreyImage& image, const std::array<int, 4>& lineBox);

}  // namespace tessarin::ocr
