#pragma once
// Lines as an engine read them, and the rules that combine several readings
// of one image: a second, larger reading of the lines the first was unsure
// of, and the Han models' reading of lines the Latin models could not read.
// Pure logic over boxes, texts and confidences; no engine needed.

#include <cstdint>
#include <string>
#include <vector>

#include "core/common/Geometry.h"

namespace tessarin::ocr {

// One glyph as the engine placed it, in source pixels.
struct ReadGlyph {
    std::string text;
    Rect box;
    double confidence = 0;  // 0..1
    bool startsWord = false;
};

struct Line {
    std::string text;
    Rect box;  // source pixels, top-left origin
    double confidence = 0;
    bool looksLikeHan = false;  // see looksLikeHan() below
    std::vector<ReadGlyph> glyphs;  // may be empty when the engine gave no glyph boxes
};

// Lines the Latin models read with less confidence than this are offered to
// the Han models: Han script is what the Latin models cannot read.
inline constexpr double kHanRetryConfidence = 0.80;
// Below this a line of the first reading is taken for Han script at once
// (the Latin models read Han lines at 0 to 0.3). Lines mixing Han and Latin
// read at 0.55 to 0.7, like Latin text the models stumble on in a busy
// screenshot; those are told apart by the shape of their words.
inline constexpr double kHanLikelyConfidence = 0.5;

inline bool isUnsure(const Line& line) { return line.confidence < kHanRetryConfidence; }
inline bool isHanLikely(const Line& line) { return line.confidence < kHanLikelyConfidence || line.looksLikeHan; }

// True when the UTF-8 text holds a CJK unified ideograph (the basic block,
// extension A or the compatibility block).
bool containsHan(const std::string& text);
size_t hanCharacterCount(const std::string& text);

// Han glyphs are about as wide as the line is tall; Latin letters about half
// that. A Latin model meeting Han glyphs reads a few unsure letters spread
// over as many squares, so an unsure word whose letters are each at least
// 0.9 of the line's height wide (1.2 and very unsure for a lone letter, as a
// capital M can be wide) is most likely Han. A wrong guess costs time only.
bool looksLikeHan(const std::string& word, const Rect& wordBox, double confidence, const Rect& lineBox);

// The part of both boxes they share, over the area either covers.
double overlap(const Rect& a, const Rect& b);
// The part of `inner` that lies inside `outer`.
double coverage(const Rect& inner, const Rect& outer);

// The line of another reading that covers most of the same place (at least
// half of the two boxes together), if any.
const Line* sameLine(const Line& line, const std::vector<Line>& others);

// The line of `readings` that covers most of `line` (more than half of it),
// if any. Two readings need not cut lines alike: the Latin models may split
// one Han line into several.
const Line* coveringLine(const Line& line, const std::vector<Line>& readings);

// Each chosen line takes the other reading of the same place when that one
// is more confident.
template <class Chosen>
void takeMoreConfident(std::vector<Line>& lines, const std::vector<Line>& others, Chosen chosen) {
    for (Line& line : lines) {
        if (!chosen(line)) continue;  // lines outside a re-read region may be cut in the other reading
        const Line* match = sameLine(line, others);
        if (match && match->confidence > line.confidence) {
            line.text = match->text;
            line.confidence = match->confidence;
            line.glyphs = match->glyphs;
        }
    }
}

// A Han model's mean confidence over the lines the Latin models were unsure
// of (a line it does not cover counts as 0).
double meanConfidenceOver(const std::vector<Line>& lines, const std::vector<Line>& readings);

// Whether a Han reading may stand for Latin lines, by the shape of its
// glyphs: Han glyphs are square, about as wide as the text is tall. A short
// Han reading (a few characters, no Latin letters) whose characters are far
// narrower than the image's other lines are tall is a Latin fragment, such
// as the last letter of a wrapped word, that the Han models made a character
// of. `textHeight` is the usual height of the image's lines.
bool hasHanShape(const Line& hanReading, double textHeight);

// The usual height of the lines' boxes (their median), 0 without lines.
double usualLineHeight(const std::vector<Line>& lines);

// A Han line that holds Han script and has Han shape replaces the Latin
// lines it covers when they include an unsure one and it is more confident
// than those (a Han model may read Latin text with confidence, but not
// better than the Latin models). It takes the place of the first line it
// replaces, so the reading order stays the engine's.
void takeHanReadings(std::vector<Line>& lines, const std::vector<Line>& readings);

// Whole pixels of an image.
struct PixelBounds {
    uint32_t left = 0, top = 0, right = 0, bottom = 0;
    bool isEmpty() const { return right <= left || bottom <= top; }
};

// The part of a width x height image holding the chosen lines, with a margin
// of one and a half times the tallest line's height (at least 16 pixels: the
// engine's layout analysis misreads lines cropped tighter). Empty when no
// line is chosen.
template <class Chosen>
PixelBounds regionAround(const std::vector<Line>& lines, uint32_t width, uint32_t height, Chosen chosen);

PixelBounds regionAroundBoxes(const std::vector<Rect>& boxes, uint32_t width, uint32_t height);

template <class Chosen>
PixelBounds regionAround(const std::vector<Line>& lines, uint32_t width, uint32_t height, Chosen chosen) {
    std::vector<Rect> boxes;
    for (const Line& line : lines) {
        if (chosen(line)) boxes.push_back(line.box);
    }
    return regionAroundBoxes(boxes, width, height);
}

}  // namespace tessarin::ocr
