#pragma once
// Terminal text read again cell by cell (the shapes of single cells are
// CellShapes'). In a terminal every character has the same advance, so the
// engine's glyphs can be laid on a grid of cells and checked against the ink of each cell: a glyph over a blank cell was
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

#include "ocr/CellShapes.h"
#include "ocr/LineReadings.h"
#include "ocr/ScreenTextImage.h"

namespace tessarin::ocr {

// The columns of a monospace text: column k spans
// [origin + k * pitch, origin + (k + 1) * pitch) in source pixels.
struct CellGrid {
    double origin = 0;
    double pitch = 0;
    int column(double x) const { return int(std::floor((x - origin) / pitch)); }
    double left(int column) const { return origin + column * pitch; }
};

// The grid the glyphs of the lines sit on, when they sit on one: the widest
// whole pitch (between a quarter of the lines' height and their height) on
// which the centres of at least 16 letters and digits fall near their
// cells' centres, refined to a fraction of a pixel for scaled screenshots.
// Nothing for proportional text.
std::optional<CellGrid> monospaceGrid(const std::vector<Line>& lines);

// In a terminal a Han character takes two cells and its strokes cross the
// edge between them, while Latin letters keep to their cells. Of the Han
// models' readings, those whose place shows fewer such crossings than half
// their Han characters are dropped: the Han models made characters of Latin
// glyphs there. Nothing is dropped where `latinLines` show no monospace
// grid.
void dropHanReadingsOfLatinCells(std::vector<Line>& hanReadings, const std::vector<Line>& latinLines,
                                 const GreyImage& image);

// The lines read again on the cell grid of the image, when the image holds
// monospace text. A line with Han script, a glyph of several characters or
// an inked cell that neither its shape, its picture's votes nor the engine
// can read keeps the engine's text. Runs of blank cells come out as one
// space, as the engine gives them.
void readTerminalCells(std::vector<Line>& lines, const GreyImage& image);

}  // namespace tessarin::ocr
