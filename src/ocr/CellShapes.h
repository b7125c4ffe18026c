#pragma once
// What the ink of one character cell shows: the connected parts of its ink
// and the marks whose shape tells them apart beyond doubt where a text
// recognition engine confuses them (a dot is one blob on the baseline, a
// comma reaches below it, a colon is two blobs, a semicolon a dot over a
// comma). Measured in source pixels against the cell's line: its baseline,
// the cell's width (pitch) and the text's height.

#include <cmath>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "ocr/ScreenTextImage.h"

namespace tessarin::ocr {

// Ink pixels of a dark-text-on-light image: the pixels nearer the darkest
// value than the background's (its most common value) by a quarter of the
// way at least, so one-pixel dots and the faint underscores of smoothed
// fonts stay ink.
class InkMask {
public:
    explicit InkMask(const GreyImage& image);
    uint32_t width() const { return width_; }
    uint32_t height() const { return height_; }
    bool at(int x, int y) const {
        return x >= 0 && y >= 0 && uint32_t(x) < width_ && uint32_t(y) < height_ && ink_[size_t(y) * width_ + x];
    }

private:
    uint32_t width_ = 0, height_ = 0;
    std::vector<bool> ink_;
};

// A connected part of the ink in one cell, in source pixels.
struct InkBlob {
    int left = 0, top = 0, right = 0, bottom = 0;  // inclusive
    int pixels = 0;
    // The middle of the ink in its top and its bottom row: a comma's tail
    // ends left of where it starts, a dot is symmetric.
    double topMiddle = 0, bottomMiddle = 0;
    int width() const { return right - left + 1; }
    int height() const { return bottom - top + 1; }
};

// What one cell's ink says of the character, measured against the line's
// baseline (the lowest ink row of letters without descenders), the cell's
// width and the text's height: one of . , : ; when the blobs have that shape
// beyond doubt, nothing otherwise.
std::optional<char> punctuationOf(const std::vector<InkBlob>& blobs, int baseline, double pitch, double textHeight);

// Whether a cell's ink is a square bracket: a straight upright stroke with
// short strokes at both ends pointing to the right ('[') or the left (']').
// Nothing when it is some other shape ('{', '(' and the like).
std::optional<char> squareBracketOf(const InkMask& ink, int left, int right, int top, int bottom);

// The marks a cell's single stroke shows beyond doubt: a bar '|' (one
// straight upright at most two pixels wide, as tall as capitals), a rule
// ('_' below the baseline, '-' halfway up the lower-case letters) or a
// caret '^' (a small peak high above the baseline, its legs apart).
std::optional<char> strokeMarkOf(const InkMask& ink, const std::vector<InkBlob>& blobs, int baseline, double pitch,
                                 double textHeight);

// Whether a cell's single stroke is a curly brace: arms of one upright
// edge with a short point at mid-height facing one way ('{' left, '}'
// right) and hooks at both ends turned the other way.
std::optional<char> curlyBraceOf(const InkMask& ink, const std::vector<InkBlob>& blobs, double textHeight);

// Whether every row of a cell's ink starts in the same column, as a capital
// L's upright does (a lower-case l of many fonts has a serif or its stem
// further in).
bool hasStraightLeftSide(const InkMask& ink, int left, int right, int top, int bottom);

// The 8-connected parts of the ink in [left, right) x [top, bottom).
std::vector<InkBlob> blobsIn(const InkMask& ink, int left, int right, int top, int bottom);

// The most common value, if any (the smallest of equally common ones).
std::optional<int> mostCommon(const std::vector<int>& values);

}  // namespace tessarin::ocr
