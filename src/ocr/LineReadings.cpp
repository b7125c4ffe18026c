#include "ocr/LineReadings.h"

#include <algorithm>
#include <cmath>
#include <optional>

namespace tessarin::ocr {

size_t hanCharacterCount(const std::string& text) {
    size_t count = 0;
    for (size_t i = 0; i + 2 < text.size(); ++i) {
        const auto b0 = static_cast<unsigned char>(text[i]);
        const auto b1 = static_cast<unsigned char>(text[i + 1]);
        count += (b0 == 0xe3 && b1 >= 0x90) || (b0 >= 0xe4 && b0 <= 0xe9) || (b0 == 0xef && b1 >= 0xa4 && b1 <= 0xab);
    }
    return count;
}

bool containsHan(const std::string& text) { return hanCharacterCount(text) > 0; }

namespace {

size_t characterCount(const std::string& text) {
    size_t count = 0;
    for (const char c : text) count += (static_cast<unsigned char>(c) & 0xc0) != 0x80;
    return count;
}

bool hasLatinLetter(const std::string& text) {
    return std::any_of(text.begin(), text.end(), [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); });
}

}  // namespace

bool looksLikeHan(const std::string& word, const Rect& wordBox, double confidence, const Rect& lineBox) {
    if (confidence >= 0.8 || lineBox.height <= 0) return false;
    const size_t letters = characterCount(word);
    if (letters == 0) return false;
    const double width = wordBox.width / double(letters) / lineBox.height;
    return letters == 1 ? width >= 1.2 && confidence < 0.5 : width >= 0.9;
}

double overlap(const Rect& a, const Rect& b) {
    const Rect common = a.intersection(b);
    const double area = common.width * common.height;
    const double either = a.width * a.height + b.width * b.height - area;
    return either > 0 ? area / either : 0;
}

double coverage(const Rect& inner, const Rect& outer) {
    const Rect common = inner.intersection(outer);
    const double area = inner.width * inner.height;
    return area > 0 ? common.width * common.height / area : 0;
}

// The line of `candidates` that scores best against `line`, above one half.
template <typename Score>
const Line* bestMatch(const Line& line, const std::vector<Line>& candidates, Score score) {
    const Line* match = nullptr;
    double best = 0.5;
    for (const Line& other : candidates) {
        const double value = score(line.box, other.box);
        if (value > best) {
            best = value;
            match = &other;
        }
    }
    return match;
}

const Line* sameLine(const Line& line, const std::vector<Line>& others) { return bestMatch(line, others, overlap); }

const Line* coveringLine(const Line& line, const std::vector<Line>& readings) {
    return bestMatch(line, readings, coverage);
}

double meanConfidenceOver(const std::vector<Line>& lines, const std::vector<Line>& readings) {
    double total = 0;
    size_t count = 0;
    for (const Line& line : lines) {
        if (!isUnsure(line)) continue;
        if (const Line* match = coveringLine(line, readings)) total += match->confidence;
        ++count;
    }
    return count > 0 ? total / double(count) : 0;
}

double usualLineHeight(const std::vector<Line>& lines) {
    if (lines.empty()) return 0;
    std::vector<double> heights;
    for (const Line& line : lines) heights.push_back(line.box.height);
    std::nth_element(heights.begin(), heights.begin() + heights.size() / 2, heights.end());
    return heights[heights.size() / 2];
}

bool hasHanShape(const Line& hanReading, double textHeight) {
    // Up to this many characters a reading counts as a fragment; longer
    // Han lines are trusted to the confidence rules.
    constexpr size_t kFragment = 3;
    // Han glyphs are 0.9 to 1.1 of the text's height wide, Latin letters of
    // a monospace font about 0.5 of it; a fragment between the two is
    // measured against this.
    constexpr double kNarrowestHan = 0.75;
    const size_t characters = characterCount(hanReading.text);
    if (characters == 0 || characters > kFragment || hasLatinLetter(hanReading.text)) return true;
    const double height = std::max(textHeight, hanReading.box.height);
    return height <= 0 || hanReading.box.width / double(characters) >= kNarrowestHan * height;
}

void takeHanReadings(std::vector<Line>& lines, const std::vector<Line>& readings) {
    const double textHeight = usualLineHeight(lines);
    std::vector<std::optional<Line>> merged(lines.begin(), lines.end());
    for (const Line& han : readings) {
        if (!containsHan(han.text) || !hasHanShape(han, textHeight)) continue;
        std::vector<size_t> covered;
        double unsureTotal = 0;
        size_t unsureCount = 0;
        for (size_t i = 0; i < lines.size(); ++i) {
            if (!merged[i] || coverage(lines[i].box, han.box) <= 0.5) continue;
            covered.push_back(i);
            if (isUnsure(lines[i])) {
                unsureTotal += lines[i].confidence;
                ++unsureCount;
            }
        }
        if (unsureCount == 0 || han.confidence <= unsureTotal / double(unsureCount)) continue;
        for (const size_t i : covered) merged[i].reset();
        merged[covered.front()] = han;
    }
    std::vector<Line> result;
    for (auto& line : merged) {
        if (line) result.push_back(std::move(*line));
    }
    lines = std::move(result);
}

PixelBounds regionAroundBoxes(const std::vector<Rect>& boxes, uint32_t width, uint32_t height) {
    if (boxes.empty()) return {};
    double x0 = width, y0 = height, x1 = 0, y1 = 0, tallest = 0;
    for (const Rect& box : boxes) {
        x0 = std::min(x0, box.minX());
        y0 = std::min(y0, box.minY());
        x1 = std::max(x1, box.maxX());
        y1 = std::max(y1, box.maxY());
        tallest = std::max(tallest, box.height);
    }
    const double margin = std::max(16.0, tallest * 1.5);
    const auto clampTo = [](double value, uint32_t size) { return uint32_t(std::clamp(value, 0.0, double(size))); };
    return {clampTo(std::floor(x0 - margin), width), clampTo(std::floor(y0 - margin), height),
            clampTo(std::ceil(x1 + margin), width), clampTo(std::ceil(y1 + margin), height)};
}

}  // namespace tessarin::ocr
