// The Tesseract 5 engine (LSTM), built as the module TextRecognizerModule
// loads. Screen text is small, anti-aliased and often light on dark, so the
// image is made grey, dark-on-light and larger before the engine sees it.
//
// Chinese models are large and several times slower than English, so they
// are only paid for where needed: the image is read with the Latin models
// first, and only when some lines could not be read with confidence, which
// is how Han script shows up to them, do the Chinese models read it. The
// same way, a second, larger reading is made only when the first one is
// unsure of some line. Every model loads once per process.

#include <leptonica/allheaders.h>
#include <tesseract/baseapi.h>
#include <tesseract/resultiterator.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "core/recording/TextRecognition.h"
#include "ocr/ModuleRecognizerBarrier.h"
#include "ocr/ScreenTextImage.h"
#include "ocr/TextRecognizerModule.h"

namespace tessarin::ocr {
namespace {

using Kind = TextRecognitionError::Kind;

// The screen's resolution the engine is told, before upscaling.
constexpr int kScreenDpi = 96;
// Reading sizes and confidence bars, measured on rendered UI, terminal and
// paragraph text at 11 to 16 pixels (bench/ocr). Latin text: the original
// size keeps underscores and tight monospace runs together, three times the
// size keeps the thin gaps between small glyphs open; lines read with less
// confidence than kSecondOpinion at the original size are read large too,
// and each keeps the more confident reading.
constexpr uint32_t kLatinScale = 3;
constexpr double kSecondOpinion = 0.90;
// Text in a bitmap font (no anti-aliasing, such as xterm's default 6 x 13)
// reads far better enlarged four times and then smoothed, which gives its
// stair-stepped strokes the soft edges of the print the models learnt from;
// it is read that way at once (at its original size it reads poorly).
constexpr uint32_t kBitmapScale = 4;
constexpr double kBitmapBlurPerScale = 0.375;  // a 1.5 pixel blur at four times
// Han text reads best at twice its size.
constexpr uint32_t kHanScale = 2;
// Lines the Latin models read with less confidence than this are offered to
// the Han models: Han script is what the Latin models cannot read.
constexpr double kHanRetryConfidence = 0.80;
// Below this a line of the first reading is taken for Han script at once
// (the Latin models read Han lines at 0 to 0.3). Lines mixing Han and Latin
// read at 0.55 to 0.7, like Latin text the models stumble on in a busy
// screenshot; those are told apart by the shape of their words.
constexpr double kHanLikelyConfidence = 0.5;
// The preferred Han model (simplified Chinese) is trusted when its mean
// confidence over the unsure lines reaches this; otherwise a later one
// (traditional) wins when it is ahead by kLaterLanguageMargin.
constexpr double kPreferredHanTrusted = 0.85;
constexpr double kLaterLanguageMargin = 0.03;
// Upscaled images stay below this many pixels (a 1920 x 1080 screen at twice
// its size is 8.3 million), which bounds both memory and the engine's
// layout analysis time.
constexpr uint64_t kMaxEnginePixels = uint64_t{10} << 20;

struct CharsDeleter {
    void operator()(char* text) const { delete[] text; }
};
using OwnedText = std::unique_ptr<char, CharsDeleter>;

std::string trimmedLine(const char* text) {
    std::string line = text ? text : "";
    const auto last = line.find_last_not_of(" \t\r\n");
    line.erase(last == std::string::npos ? 0 : last + 1);
    const auto first = line.find_first_not_of(" \t");
    return first == std::string::npos ? std::string() : line.substr(first);
}

// Tesseract's names for the languages we are asked for.
std::optional<std::string> tesseractLanguage(const std::string& tag) {
    static const std::map<std::string, std::string> table = {
        {"zh-Hans", "chi_sim"}, {"zh-Hant", "chi_tra"}, {"en-US", "eng"}, {"en", "eng"}, {"en-GB", "eng"}};
    const auto found = table.find(tag);
    if (found == table.end()) return std::nullopt;
    return found->second;
}

// CJK unified ideographs (the basic block, extension A and compatibility).
bool containsHan(const std::string& text) {
    for (size_t i = 0; i + 2 < text.size(); ++i) {
        const auto b0 = static_cast<unsigned char>(text[i]);
        const auto b1 = static_cast<unsigned char>(text[i + 1]);
        if ((b0 == 0xe3 && b1 >= 0x90) || (b0 >= 0xe4 && b0 <= 0xe9) || (b0 == 0xef && b1 >= 0xa4 && b1 <= 0xab)) {
            return true;
        }
    }
    return false;
}

bool isHanModel(const std::string& language) { return language.rfind("chi_", 0) == 0; }

std::string joined(const std::vector<std::string>& languages) {
    std::string text;
    for (const auto& language : languages) text += (text.empty() ? "" : "+") + language;
    return text;
}

struct Line {
    std::string text;
    Rect box;  // source pixels, top-left origin
    double confidence = 0;
    bool looksLikeHan = false;  // see looksLikeHan() below
};

// Han glyphs are about as wide as the line is tall; Latin letters about half
// that. A Latin model meeting Han glyphs reads a few unsure letters spread
// over as many squares, so an unsure word whose letters are each at least
// 0.9 of the line's height wide (1.2 and very unsure for a lone letter, as a
// capital M can be wide) is most likely Han. A wrong guess costs time only:
// Han readings replace a line only when they hold Han script and are more
// confident.
bool looksLikeHan(const char* word, const Rect& box, double confidence, const Line& line) {
    if (word == nullptr || confidence >= 0.8 || line.box.height <= 0) return false;
    size_t letters = 0;
    for (const char* c = word; *c != '\0'; ++c) letters += (static_cast<unsigned char>(*c) & 0xc0) != 0x80;
    if (letters == 0) return false;
    const double width = box.width / double(letters) / line.box.height;
    return letters == 1 ? width >= 1.2 && confidence < 0.5 : width >= 0.9;
}

// A part of the source image at one scale, as the engine reads it.
struct ScaledImage {
    GreyImage pixels;
    uint32_t scale = 1;
    Point origin;  // of the part, in source pixels
};

using Lines = Expected<std::vector<Line>, TextRecognitionError>;

bool isUnsure(const Line& line) { return line.confidence < kHanRetryConfidence; }
bool isHanLikely(const Line& line) { return line.confidence < kHanLikelyConfidence || line.looksLikeHan; }

double overlap(const Rect& a, const Rect& b) {
    const Rect common = a.intersection(b);
    const double area = common.width * common.height;
    const double either = a.width * a.height + b.width * b.height - area;
    return either > 0 ? area / either : 0;
}

// The part of `inner` that lies inside `outer`.
double coverage(const Rect& inner, const Rect& outer) {
    const Rect common = inner.intersection(outer);
    const double area = inner.width * inner.height;
    return area > 0 ? common.width * common.height / area : 0;
}

// One recognised word with the box of each of its glyphs, in the engine's
// pixels.
struct WordGlyphs {
    std::string text;
    struct Glyph {
        std::string text;
        int left = 0, top = 0, right = 0, bottom = 0;
    };
    std::vector<Glyph> glyphs;
    int left = 0, right = 0;  // of the whole word
};

WordGlyphs wordGlyphs(const tesseract::ResultIterator& word) {
    WordGlyphs result;
    const OwnedText text(word.GetUTF8Text(tesseract::RIL_WORD));
    result.text = text ? text.get() : "";
    int wordTop = 0, wordBottom = 0;
    if (!word.BoundingBox(tesseract::RIL_WORD, &result.left, &wordTop, &result.right, &wordBottom)) return result;
    tesseract::LTRResultIterator glyph(word);
    do {
        const OwnedText symbol(glyph.GetUTF8Text(tesseract::RIL_SYMBOL));
        int left = 0, top = 0, right = 0, bottom = 0;
        if (!symbol || !glyph.BoundingBox(tesseract::RIL_SYMBOL, &left, &top, &right, &bottom)) return result;
        result.glyphs.push_back({symbol.get(), left, top, right, bottom});
    } while (!glyph.IsAtFinalElement(tesseract::RIL_WORD, tesseract::RIL_SYMBOL) && glyph.Next(tesseract::RIL_SYMBOL));
    return result;
}

// The widths of the runs of blank columns with ink on both sides within
// [x0, x1) x [y0, y1). The engine's glyph boxes only roughly follow the ink
// (a word's last box may reach into the space after it), so gaps are
// measured on the image itself: a pixel is ink a quarter of the way from the
// area's lightest value to its darkest.
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

class TesseractTextRecognizer : public TextRecognizer {
public:
    TesseractTextRecognizer() {
        // The agent owns standard error: the engine and its image library
        // keep their notes to themselves.
        setMsgSeverity(L_SEVERITY_NONE);
    }

    RecognizedBlocks recognize(const Image& image, const TextRecognitionRequest& request) override {
        if (image.isEmpty()) return unexpected(TextRecognitionError(Kind::unreadableImage, "the image is empty"));
        std::vector<std::string> latin, han;
        for (const auto& tag : request.languages) {
            const auto language = tesseractLanguage(tag);
            if (!language) {
                return unexpected(TextRecognitionError(Kind::missingLanguageData, "unsupported language " + tag));
            }
            auto& group = isHanModel(*language) ? han : latin;
            if (std::find(group.begin(), group.end(), *language) == group.end()) group.push_back(*language);
        }
        if (latin.empty() && han.empty()) latin.push_back("eng");
        std::vector<std::string> all = han;
        all.insert(all.end(), latin.begin(), latin.end());

        const ScaledImage original{darkTextOnLight(image), 1, {}};
        const std::optional<ScaledImage> bitmap = smoothedBitmapText(original);
        std::lock_guard lock(mutex_);
        const bool detect = request.automaticallyDetectsLanguage && !latin.empty() && !han.empty();
        Lines lines = readPage(bitmap ? *bitmap : original, detect ? latin : all);
        if (!lines || request.level == RecognitionLevel::fast) return finished(std::move(lines), image);
        if (!detect) {
            if (auto error = bitmap ? std::nullopt : secondOpinion(*lines, original, all)) return unexpected(*error);
            return finished(std::move(lines), image);
        }

        // Lines taken for Han script start the preferred Han model at once,
        // on its own thread, while the Latin reading of the other lines is
        // finished here; lines still unsure after that start it then.
        // The next Han model loads meanwhile on another thread: loading costs
        // about as much as reading, and is wasted only on the second core.
        std::optional<ScaledImage> hanImage;
        Lines preferred = std::vector<Line>{};
        std::jthread hanThread, nextHanThread;  // joined however this function ends
        const auto startHan = [&] {
            hanImage = scaledImage(regionAround(original, *lines, isUnsure), kHanScale);
            hanThread = std::jthread([&] { preferred = guarded([&] { return readPage(*hanImage, {han.front()}); }); });
            if (han.size() > 1) nextHanThread = std::jthread([&] { preload({han[1]}); });
        };
        const bool hanLikely = std::any_of(lines->begin(), lines->end(), isHanLikely);
        if (hanLikely) startHan();
        auto error = bitmap ? std::nullopt : secondOpinion(*lines, original, latin, hanLikely);
        if (!error && !hanImage && std::any_of(lines->begin(), lines->end(), isUnsure)) startHan();
        if (hanThread.joinable()) hanThread.join();
        if (error) return unexpected(*error);
        if (!hanImage) return finished(std::move(lines), image);
        if (!preferred) return unexpected(preferred.error());

        // Simplified and traditional Chinese share most characters, and each
        // model reads the other's text in its own forms, confidently line by
        // line; over many forms it does not know, its confidence drops. So
        // the preferred model is kept when it is confident over the unsure
        // lines; only otherwise do the later ones read them (one after the
        // other: on two busy cores a parallel reading costs more than it
        // saves), and one clearly ahead takes its place.
        std::vector<Line> chosen = std::move(*preferred);
        double chosenMean = meanConfidenceOver(*lines, chosen);
        for (size_t model = 1; model < han.size() && chosenMean < kPreferredHanTrusted; ++model) {
            Lines other = readPage(*hanImage, {han[model]});
            if (!other) return unexpected(other.error());
            const double mean = meanConfidenceOver(*lines, *other);
            if (mean > chosenMean + kLaterLanguageMargin) {
                chosen = std::move(*other);
                chosenMean = mean;
            }
        }
        takeHanReadings(*lines, chosen);
        return finished(std::move(lines), image);
    }

private:
    // The part of the image holding the chosen lines, with a margin of one
    // and a half times the tallest line's height (at least 16 pixels; the
    // engine's layout analysis misreads lines cropped tighter): big
    // screenshots with a few doubtful lines are read again only there.
    template <class Chosen>
    static ScaledImage regionAround(const ScaledImage& original, const std::vector<Line>& lines, Chosen chosen) {
        double x0 = original.pixels.width, y0 = original.pixels.height, x1 = 0, y1 = 0, tallest = 0;
        for (const Line& line : lines) {
            if (!chosen(line)) continue;
            x0 = std::min(x0, line.box.minX());
            y0 = std::min(y0, line.box.minY());
            x1 = std::max(x1, line.box.maxX());
            y1 = std::max(y1, line.box.maxY());
            tallest = std::max(tallest, line.box.height);
        }
        const double margin = std::max(16.0, tallest * 1.5);
        const auto clampTo = [](double value, uint32_t size) {
            return uint32_t(std::clamp(value, 0.0, double(size)));
        };
        const uint32_t left = clampTo(std::floor(x0 - margin), original.pixels.width);
        const uint32_t top = clampTo(std::floor(y0 - margin), original.pixels.height);
        const uint32_t right = clampTo(std::ceil(x1 + margin), original.pixels.width);
        const uint32_t bottom = clampTo(std::ceil(y1 + margin), original.pixels.height);
        if (right <= left || bottom <= top) return original;
        return {cropped(original.pixels, left, top, right - left, bottom - top), 1, Point{double(left), double(top)}};
    }

    // The largest factor up to `factor` that keeps the image within
    // kMaxEnginePixels: a full screen is read at twice its size, not three
    // times, and very large images as they are.
    static ScaledImage scaledImage(const ScaledImage& original, uint32_t factor) {
        for (; factor > 1; --factor) {
            if (auto pixels = upscaled(original.pixels, factor, kMaxEnginePixels)) {
                return {std::move(*pixels), factor, original.origin};
            }
        }
        return original;
    }

    // The image enlarged and smoothed when it holds only bitmap-font text;
    // nothing otherwise (or when it cannot be enlarged).
    static std::optional<ScaledImage> smoothedBitmapText(const ScaledImage& original) {
        if (!hasOnlyBitmapText(original.pixels)) return std::nullopt;
        ScaledImage clean = original;
        eraseSolidBlocks(clean.pixels);
        ScaledImage large = scaledImage(clean, kBitmapScale);
        if (large.scale == 1) return std::nullopt;
        blur(large.pixels, kBitmapBlurPerScale * large.scale);
        return large;
    }

    // An exception on a reading thread would end the process; it becomes
    // the reading's error instead.
    template <class Read>
    static Lines guarded(Read read) {
        try {
            return read();
        } catch (const std::exception& error) {
            return unexpected(TextRecognitionError(Kind::engineFailure, error.what()));
        }
    }

    static RecognizedBlocks finished(Lines lines, const Image& image) {
        if (!lines) return unexpected(lines.error());
        std::vector<RecognizedBlock> result;
        const double width = image.width();
        const double height = image.height();
        for (const Line& line : *lines) {
            const Rect box{line.box.x / width, 1.0 - line.box.maxY() / height, line.box.width / width,
                           line.box.height / height};
            result.push_back({line.text, box, line.confidence});
        }
        return result;
    }

    // When some line is below kSecondOpinion, the part of the image around
    // those lines is read large as well, and each of them keeps the more
    // confident of its two readings. With `leaveUnsure` (the image holds Han
    // script, and the Han models are reading its unsure lines) only lines
    // the Latin models are nearly sure of are read again.
    std::optional<TextRecognitionError> secondOpinion(std::vector<Line>& lines, const ScaledImage& original,
                                                      const std::vector<std::string>& languages,
                                                      bool leaveUnsure = false) {
        const auto wanted = [&](const Line& line) {
            return line.confidence < kSecondOpinion && !(leaveUnsure && isUnsure(line));
        };
        if (std::none_of(lines.begin(), lines.end(), wanted)) return std::nullopt;
        const ScaledImage large = scaledImage(regionAround(original, lines, wanted), kLatinScale);
        if (large.scale == 1) return std::nullopt;
        auto others = readPage(large, languages);
        if (!others) return others.error();
        for (Line& line : lines) {
            if (!wanted(line)) continue;  // lines outside the region may be cut in the other reading
            const Line* match = sameLine(line, *others);
            if (match && match->confidence > line.confidence) {
                line.text = match->text;
                line.confidence = match->confidence;
            }
        }
        return std::nullopt;
    }

    // The line of another reading that covers most of the same place (at
    // least half of the two boxes together), if any.
    static const Line* sameLine(const Line& line, const std::vector<Line>& others) {
        const Line* match = nullptr;
        double best = 0.5;
        for (const Line& other : others) {
            const double common = overlap(line.box, other.box);
            if (common > best) {
                best = common;
                match = &other;
            }
        }
        return match;
    }

    // The Han line that covers most of a Latin line (more than half of it),
    // if any. The two readings need not cut lines alike: the Latin models may
    // split one Han line into several.
    static const Line* coveringLine(const Line& line, const std::vector<Line>& readings) {
        const Line* match = nullptr;
        double best = 0.5;
        for (const Line& other : readings) {
            const double covered = coverage(line.box, other.box);
            if (covered > best) {
                best = covered;
                match = &other;
            }
        }
        return match;
    }

    // A Han model's mean confidence over the lines the Latin models were
    // unsure of (a line it does not cover counts as 0).
    static double meanConfidenceOver(const std::vector<Line>& lines, const std::vector<Line>& readings) {
        double total = 0;
        size_t count = 0;
        for (const Line& line : lines) {
            if (!isUnsure(line)) continue;
            if (const Line* match = coveringLine(line, readings)) total += match->confidence;
            ++count;
        }
        return count > 0 ? total / double(count) : 0;
    }

    // A Han line that holds Han script replaces the Latin lines it covers
    // when they include an unsure one and it is more confident than those
    // (a Han model may read Latin text with confidence, but not better than
    // the Latin models). It takes the place of the first line it replaces,
    // so the reading order stays the engine's.
    static void takeHanReadings(std::vector<Line>& lines, const std::vector<Line>& readings) {
        std::vector<std::optional<Line>> merged(lines.begin(), lines.end());
        for (const Line& han : readings) {
            if (!containsHan(han.text)) continue;
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

    // Loads a model ahead of its use; a failure shows when it is used.
    void preload(const std::vector<std::string>& languages) {
        try {
            (void)engine(languages);
        } catch (const std::exception&) {
        }
    }

    // Loaded once per process. Safe to call from several threads: a model
    // another thread is loading is waited for rather than loaded twice.
    Expected<tesseract::TessBaseAPI*, TextRecognitionError> engine(const std::vector<std::string>& languages) {
        const std::string key = joined(languages);
        EngineSlot* slot = nullptr;
        {
            std::lock_guard lock(enginesMutex_);
            slot = &engines_[key];
        }
        std::lock_guard loading(slot->loading);
        if (slot->api) return slot->api.get();
        auto api = std::make_unique<tesseract::TessBaseAPI>();
        // A setting of the whole engine, not of one model: set once, by the
        // first load, which always runs before any other thread starts.
        std::call_once(quietEngine_, [&] { api->SetVariable("debug_file", "/dev/null"); });
        if (api->Init(nullptr, key.c_str(), tesseract::OEM_LSTM_ONLY) != 0) {
            return unexpected(TextRecognitionError(Kind::missingLanguageData,
                                                   "could not load the language data " + key +
                                                       " (install tesseract-ocr-" + languages.front() + ")"));
        }
        // The image is already dark text on light; without this the engine
        // reads every unsure line a second time inverted.
        api->SetVariable("tessedit_do_invert", "0");
        slot->api = std::move(api);
        return slot->api.get();
    }

    Lines readPage(const ScaledImage& image, const std::vector<std::string>& languages) {
        auto api = engine(languages);
        if (!api) return unexpected(api.error());
        const GreyImage& grey = image.pixels;
        // One block: the automatic layout takes the columns of a table (ls -l
        // in a terminal) for blocks of their own and gives them one after
        // the other; as one block, each screen row is one line, top to bottom.
        (*api)->SetPageSegMode(tesseract::PSM_SINGLE_BLOCK);
        (*api)->SetImage(grey.pixels.data(), int(grey.width), int(grey.height), 1, int(grey.width));
        (*api)->SetSourceResolution(int(kScreenDpi * image.scale));
        if ((*api)->Recognize(nullptr) != 0) {
            return unexpected(TextRecognitionError(Kind::engineFailure, "the engine could not read the image"));
        }
        std::vector<Line> lines;
        std::unique_ptr<tesseract::ResultIterator> iterator((*api)->GetIterator());
        if (!iterator) return lines;
        const double scale = image.scale;
        const auto box = [&](tesseract::PageIteratorLevel level) {
            int left = 0, top = 0, right = 0, bottom = 0;
            iterator->BoundingBox(level, &left, &top, &right, &bottom);
            return Rect{image.origin.x + left / scale, image.origin.y + top / scale, (right - left) / scale,
                        (bottom - top) / scale};
        };
        // Word by word, starting a line at each line's first word.
        bool inLine = false;
        std::vector<WordGlyphs> words;  // of the current line
        std::array<int, 4> lineBox{};   // left, top, right, bottom in the engine's pixels
        const auto finishLine = [&] {
            if (!lines.empty()) lines.back().text = withWordGapsSplit(lines.back().text, words, grey, lineBox);
            words.clear();
        };
        do {
            if (iterator->Empty(tesseract::RIL_WORD)) continue;
            if (iterator->IsAtBeginningOf(tesseract::RIL_TEXTLINE)) {
                if (inLine) finishLine();
                iterator->BoundingBox(tesseract::RIL_TEXTLINE, &lineBox[0], &lineBox[1], &lineBox[2], &lineBox[3]);
                const OwnedText text(iterator->GetUTF8Text(tesseract::RIL_TEXTLINE));
                Line line{trimmedLine(text.get()), box(tesseract::RIL_TEXTLINE),
                          std::clamp(double(iterator->Confidence(tesseract::RIL_TEXTLINE)) / 100.0, 0.0, 1.0), false};
                inLine = !line.text.empty();
                if (inLine) lines.push_back(std::move(line));
            }
            if (!inLine) continue;
            words.push_back(wordGlyphs(*iterator));
            if (lines.back().looksLikeHan) continue;
            const double confidence = iterator->Confidence(tesseract::RIL_WORD) / 100.0;
            lines.back().looksLikeHan =
                looksLikeHan(words.back().text.c_str(), box(tesseract::RIL_WORD), confidence, lines.back());
        } while (iterator->Next(tesseract::RIL_WORD));
        if (inLine) finishLine();
        return lines;
    }

    struct EngineSlot {
        std::mutex loading;
        std::unique_ptr<tesseract::TessBaseAPI> api;  // none until loaded
    };

    std::mutex mutex_;  // one recognition at a time
    std::mutex enginesMutex_;
    std::once_flag quietEngine_;
    std::map<std::string, EngineSlot> engines_;  // a node never moves once made
};

}  // namespace
}  // namespace tessarin::ocr

extern "C" __attribute__((visibility("default"))) tessarin::TextRecognizer* tessarin_ocr_create_recognizer() {
    return tessarin::ocr::createRecognizerBehindBarrier<tessarin::ocr::TesseractTextRecognizer>();
}
