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
//
// The rules that combine and check readings need no engine and live beside
// this file: LineReadings (second opinions, Han choice), WordGaps (words
// run together) and TerminalCells (terminal text read again cell by cell).

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
#include "ocr/LineReadings.h"
#include "ocr/ModuleRecognizerBarrier.h"
#include "ocr/ScreenTextImage.h"
#include "ocr/TerminalCells.h"
#include "ocr/TextRecognizerModule.h"
#include "ocr/WordGaps.h"

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
// Nearest-neighbour enlargement keeps the glyphs exact but reads worse and
// slower, smoothed or not (bench/ocr, terminal corpus); the cell check
// afterwards is what uses the exact glyphs.
constexpr uint32_t kBitmapScale = 4;
constexpr double kBitmapBlurPerScale = 0.375;  // a 1.5 pixel blur at four times
// Han text reads best at twice its size.
constexpr uint32_t kHanScale = 2;
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

bool isHanModel(const std::string& language) { return language.rfind("chi_", 0) == 0; }

std::string joined(const std::vector<std::string>& languages) {
    std::string text;
    for (const auto& language : languages) text += (text.empty() ? "" : "+") + language;
    return text;
}

// A part of the source image at one scale, as the engine reads it.
struct ScaledImage {
    GreyImage pixels;
    uint32_t scale = 1;
    Point origin;  // of the part, in source pixels
};

using Lines = Expected<std::vector<Line>, TextRecognitionError>;

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
        result.glyphs.push_back({symbol.get(), left, top, right, bottom, glyph.Confidence(tesseract::RIL_SYMBOL) / 100.0});
    } while (!glyph.IsAtFinalElement(tesseract::RIL_WORD, tesseract::RIL_SYMBOL) && glyph.Next(tesseract::RIL_SYMBOL));
    return result;
}

// The glyphs of a line's words in source pixels.
std::vector<ReadGlyph> sourceGlyphs(const std::vector<WordGlyphs>& words, double scale, Point origin) {
    std::vector<ReadGlyph> glyphs;
    for (const auto& word : words) {
        for (size_t i = 0; i < word.glyphs.size(); ++i) {
            const auto& glyph = word.glyphs[i];
            const Rect box{origin.x + glyph.left / scale, origin.y + glyph.top / scale, (glyph.right - glyph.left) / scale,
                           (glyph.bottom - glyph.top) / scale};
            glyphs.push_back({glyph.text, box, std::clamp(glyph.confidence, 0.0, 1.0), i == 0});
        }
    }
    return glyphs;
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

        // A terminal's cursor block is no text, and the engine joins it to
        // the line above (in smoothed fonts as in bitmap ones).
        ScaledImage original{darkTextOnLight(image), 1, {}};
        eraseSolidBlocks(original.pixels);
        const std::optional<ScaledImage> bitmap = smoothedBitmapText(original);
        std::lock_guard lock(mutex_);
        const bool detect = request.automaticallyDetectsLanguage && !latin.empty() && !han.empty();
        Lines lines = readPage(bitmap ? *bitmap : original, detect ? latin : all);
        if (!lines || request.level == RecognitionLevel::fast) return finished(std::move(lines), image, original);
        if (!detect) {
            if (auto error = bitmap ? std::nullopt : secondOpinion(*lines, original, all)) return unexpected(*error);
            return finished(std::move(lines), image, original);
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
            hanImage = scaledImage(part(original, regionAround(*lines, original.pixels.width, original.pixels.height, isUnsure)), kHanScale);
            hanThread = std::jthread([&] { preferred = guarded([&] { return readPage(*hanImage, {han.front()}); }); });
            if (han.size() > 1) nextHanThread = std::jthread([&] { preload({han[1]}); });
        };
        const bool hanLikely = std::any_of(lines->begin(), lines->end(), isHanLikely);
        if (hanLikely) startHan();
        auto error = bitmap ? std::nullopt : secondOpinion(*lines, original, latin, hanLikely);
        if (!error && !hanImage && std::any_of(lines->begin(), lines->end(), isUnsure)) startHan();
        if (hanThread.joinable()) hanThread.join();
        if (error) return unexpected(*error);
        if (!hanImage) return finished(std::move(lines), image, original);
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
        dropHanReadingsOfLatinCells(chosen, *lines, original.pixels);
        takeHanReadings(*lines, chosen);
        return finished(std::move(lines), image, original);
    }

private:
    // The given part of an image read at its size; the whole image when the
    // part is empty.
    static ScaledImage part(const ScaledImage& original, const PixelBounds& bounds) {
        if (bounds.isEmpty()) return original;
        return {cropped(original.pixels, bounds.left, bounds.top, bounds.right - bounds.left, bounds.bottom - bounds.top),
                1, Point{double(bounds.left), double(bounds.top)}};
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
        ScaledImage large = scaledImage(original, kBitmapScale);
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

    static RecognizedBlocks finished(Lines lines, const Image& image, const ScaledImage& original) {
        if (!lines) return unexpected(lines.error());
        readTerminalCells(*lines, original.pixels);
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
        const ScaledImage large = scaledImage(part(original, regionAround(lines, original.pixels.width, original.pixels.height, wanted)), kLatinScale);
        if (large.scale == 1) return std::nullopt;
        auto others = readPage(large, languages);
        if (!others) return others.error();
        takeMoreConfident(lines, *others, wanted);
        return std::nullopt;
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
            if (lines.empty()) return;
            lines.back().text = withWordGapsSplit(lines.back().text, words, grey, lineBox);
            lines.back().glyphs = sourceGlyphs(words, scale, image.origin);
            words.clear();
        };
        do {
            if (iterator->Empty(tesseract::RIL_WORD)) continue;
            if (iterator->IsAtBeginningOf(tesseract::RIL_TEXTLINE)) {
                if (inLine) finishLine();
                iterator->BoundingBox(tesseract::RIL_TEXTLINE, &lineBox[0], &lineBox[1], &lineBox[2], &lineBox[3]);
                const OwnedText text(iterator->GetUTF8Text(tesseract::RIL_TEXTLINE));
                Line line{trimmedLine(text.get()), box(tesseract::RIL_TEXTLINE),
                          std::clamp(double(iterator->Confidence(tesseract::RIL_TEXTLINE)) / 100.0, 0.0, 1.0), false, {}};
                inLine = !line.text.empty();
                if (inLine) lines.push_back(std::move(line));
            }
            if (!inLine) continue;
            words.push_back(wordGlyphs(*iterator));
            if (lines.back().looksLikeHan) continue;
            const double confidence = iterator->Confidence(tesseract::RIL_WORD) / 100.0;
            lines.back().looksLikeHan =
                looksLikeHan(words.back().text, box(tesseract::RIL_WORD), confidence, lines.back().box);
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
