#include "ocr/WordGaps.h"

#include <algorithm>
#include <cctype>
#include <string_view>
#include <utility>

namespace tessarin::ocr {

// The engine's glyph boxes only roughly follow the ink (a word's last box
// may reach into the space after it), so gaps are measured on the image
// itself: a pixel is ink a quarter of the way from the area's lightest value
// to its darkest.
std::vector<int> blankRuns(const GreyImage& image, int x0, int x1, int y0, int y1) {
    x0 = std::max(x0, 0);
    y0 = std::max(y0, 0);
    x1 = std::min(x1, int(image.width));
    y1 = std::min(y1, int(image.height));
    std::vector<int> runs;
    if (x1 <= x0 || y1 <= y0) return runs;
    uint8_t lightest = 0, darkest = 255;
    for (int y = y0; y < y1; ++y) {
        for (int x = x0; x < x1; ++x) {
            lightest = std::max(lightest, image.at(x, y));
            darkest = std::min(darkest, image.at(x, y));
        }
    }
    const int ink = lightest - (lightest - darkest) / 4;
    int run = -1;  // -1 until the first ink column
    for (int x = x0; x < x1; ++x) {
        bool blank = true;
        for (int y = y0; y < y1 && blank; ++y) blank = image.at(x, y) > ink;
        if (!blank) {
            if (run > 0) runs.push_back(run);
            run = 0;
        } else if (run >= 0) {
            ++run;
        }
    }
    return runs;
}

namespace {

// The widest blank between a word's glyph and the one before it.
int gapBefore(const GreyImage& image, const WordGlyphs& word, size_t index) {
    const auto& before = word.glyphs[index - 1];
    const auto& after = word.glyphs[index];
    const auto runs = blankRuns(image, std::max(word.left, before.left), std::min(word.right, after.right),
                                std::min(before.top, after.top), std::max(before.bottom, after.bottom));
    return runs.empty() ? 0 : *std::max_element(runs.begin(), runs.end());
}

bool isLetterOrDigit(const std::string& glyph) {
    return glyph.size() == 1 && std::isalnum(static_cast<unsigned char>(glyph[0]));
}

// Lower-case letters without ascender or descender stand as tall as the x-height.
bool isXHeightLetter(const std::string& glyph) {
    return glyph.size() == 1 && std::string_view("acemnorsuvwxz").find(glyph[0]) != std::string_view::npos;
}

template <class Number>
Number median(std::vector<Number> values) {
    std::nth_element(values.begin(), values.begin() + values.size() / 2, values.end());
    return values[values.size() / 2];
}

}  // namespace

// The engine's line model sometimes runs two words of small UI text
// together where letters meet digits ("Col17" for "Col 17"): at 11 pixels
// the space between them leaves a gap of a few pixels only. Such a gap still
// stands out against the letter spacing of the line, so a word is split
// where the blank between two letters or digits is at least kGapOverXHeight
// of the line's x-height (a space with the glyphs' side bearings is about
// that wide in small proportional fonts and far wider in monospace ones,
// while letters of one word stay under two thirds of it apart, even in
// monospace) and kGapOverUsual times the line's usual letter spacing.
// Glyph boxes can be far off the ink, so words are split only when the
// line's image holds as many such blanks as the text would then have
// spaces, and not at all when the x-height the boxes give is out of
// proportion to the line. A word whose text is not its glyphs' text is
// left alone.
std::string withWordGapsSplit(const std::string& lineText, const std::vector<WordGlyphs>& words,
                              const GreyImage& image, const std::array<int, 4>& lineBox) {
    constexpr double kGapOverXHeight = 0.65;
    constexpr double kGapOverUsual = 2.0;
    constexpr double kSpaceOverXHeight = 0.5;
    constexpr std::pair<double, double> kXHeightOverLine{0.4, 0.8};
    std::vector<std::vector<int>> gapsOf;  // per word, before each glyph but the first
    std::vector<int> gaps, xHeights;
    for (const auto& word : words) {
        auto& wordGaps = gapsOf.emplace_back();
        for (size_t i = 0; i < word.glyphs.size(); ++i) {
            const auto& glyph = word.glyphs[i];
            if (isXHeightLetter(glyph.text)) xHeights.push_back(glyph.bottom - glyph.top);
            if (i > 0) gaps.push_back(wordGaps.emplace_back(gapBefore(image, word, i)));
        }
    }
    if (gaps.size() < 3 || xHeights.empty()) return lineText;
    const double usual = std::max(1, median(gaps));
    const double xHeight = median(xHeights);
    const auto [left, top, right, bottom] = lineBox;
    const double lineHeight = bottom - top;
    // Glyph boxes that make the x-height far from half the line's height
    // (0.4 to 0.8 of it, with or without ascenders and descenders) do not
    // follow the ink closely enough to be measured by.
    if (xHeight < kXHeightOverLine.first * lineHeight || xHeight > kXHeightOverLine.second * lineHeight) {
        return lineText;
    }

    const auto splitsBefore = [&](size_t w, size_t i) {
        const int gap = gapsOf[w][i - 1];
        return gap >= kGapOverXHeight * xHeight && gap >= kGapOverUsual * usual &&
               isLetterOrDigit(words[w].glyphs[i - 1].text) && isLetterOrDigit(words[w].glyphs[i].text);
    };
    size_t splits = 0;
    for (size_t w = 0; w < words.size(); ++w) {
        for (size_t i = 1; i < words[w].glyphs.size(); ++i) splits += splitsBefore(w, i);
    }
    if (splits == 0) return lineText;
    // Blanks a little narrower than the ones split at still count as spaces
    // (a space after a comma looks narrower beside the comma's tail).
    const auto lineBlanks = blankRuns(image, left, right, top, bottom);
    const auto blanks = size_t(std::count_if(lineBlanks.begin(), lineBlanks.end(), [&](int gap) {
        return gap >= kSpaceOverXHeight * xHeight && gap >= kGapOverUsual * usual;
    }));
    if (words.size() - 1 + splits > blanks) return lineText;

    std::string text = lineText;
    size_t from = 0;
    for (size_t w = 0; w < words.size(); ++w) {
        const auto& word = words[w];
        const size_t at = text.find(word.text, from);
        if (word.text.empty() || at == std::string::npos) continue;
        std::string split, whole;
        for (size_t i = 0; i < word.glyphs.size(); ++i) {
            if (i > 0 && splitsBefore(w, i)) split += ' ';
            split += word.glyphs[i].text;
            whole += word.glyphs[i].text;
        }
        if (whole != word.text) {
            from = at + word.text.size();
            continue;
        }
        text.replace(at, word.text.size(), split);
        from = at + split.size();
    }
    return text;
}

}  // namespace tessarin::ocr
