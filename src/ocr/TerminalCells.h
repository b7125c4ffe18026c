#pragma once
// Terminal text read again cell by cell. In a terminal every character has
// the same advance, so the engine's glyphs can be laid on a grid of cells
// and checked against the ink of each cell: a glyph over a blank cell was
// invented, two glyphs in one cell are one too many, and the shape of the
// ink in a cell tells the punctuation the engine confuses apart (a dot is
// one blob on the baseline, a comma reaches below it, a colon is two blobs,
// a semicolon a dot over a comma). In a terminal the same character is the
// same picture wherever it stands, so the cells showing one picture are
// given the character most of them were read as. No word list is consulted:
// paths, hashes and identifiers are not words.

#include <optional>
#include <string>
#include <vector>

#include "ocr/LineReadings.h"
#include "ocr/ScreenTextImage.h"

namespace tessarin::ocr {

// Ink pixels of a dark-text-on-light image: the pixels nearer the darkest
// value than the background's (its most common value), by a third of the
// way from the background at least, so one-pixel dots stay ink and the
// soft edges of smoothed glyphs mostly do not join neighbours.
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

// The columns of a monospace text: column k spans
// [origin + k * pitch, origin + (k + 1) * pitch) in source pixels.
struct CellGrid {
    double origin = 0;
    double pitch = 0;
    int column(double x) const { return int(std::floor((x - origin) / pitch)); }
    double left(int column) const { return origin + column * pitch; }
};

// The grid the glyphs of the lines sit on, when they sit on one: the widest
// pitch (between a quarter of the lines' height and their height) on which
// the centres of at least 8 letters and digits fall near their cells'
// centres. Nothing for proportional text.
std::optional<CellGrid> monospaceGrid(const std::vector<Line>& lines);

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

// In a terminal a Han character takes two cells and its strokes cross the
// edge between them, while Latin letters keep to their cells. Of the Han
// models' readings, those whose place shows fewer such crossings than half
// their Han characters are dropped: the Han models made characters of Latin
// glyphs there. Nothing is dropped where `latinLines` show no monospace
// grid.
void dropHanReadingsOfLatinCells(std::vector<Line>& hanReadings, const std::vector<Line>& latinLines,
                                 const GreyImage& image);

// Whether every row of a cell's ink starts in the same column, as a capital
// L's upright does (a lower-case l of many fonts has a serif or its stem
// further in).
bool hasStraightLeftSide(const InkMask& ink, int left, int right, int top, int bottom);

// The lines read again on the cell grid of the image, when the image holds
// monospace text. A line whose glyphs cannot all be laid on cells (a glyph
// two cells wide, a character other than printable ASCII) keeps the engine's
// text. Spaces come out single, as the engine gives them.
void readTerminalCells(std::vector<Line>& lines, const GreyImage& image);

}  // namespace tessarin::ocr
