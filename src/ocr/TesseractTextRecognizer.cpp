// The Tesseract 5 engine (LSTM), built as the module TextRecognizerModule
// loads. Screen text is small, anti-aliased and often light on dark, so the
// image is made grey, dark-on-light and larger before the engine sees it.
//
// Chinese models are large and several times slower than English, so they
// are only paid for where needed: the whole image is read with the Latin
// models first, and only lines the Latin models could not read with
// confidence, which is how Han script shows up to them, are read again with
// the Chinese models. Every model loads once per process.

#include <leptonica/allheaders.h>
#include <tesseract/baseapi.h>
#include <tesseract/resultiterator.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "core/recording/TextRecognition.h"
#include "ocr/ScreenTextImage.h"
#include "ocr/TextRecognizerModule.h"

namespace tessarin::ocr {
namespace {

using Kind = TextRecognitionError::Kind;

// The screen's resolution the engine is told, before upscaling.
constexpr int kScreenDpi = 96;
// Reading sizes, measured on rendered UI, terminal and paragraph text at 11
// to 16 pixels (bench/ocr): Latin text reads best at three times its size
// (with the original size as a second opinion), Han text at twice.
constexpr uint32_t kLatinScale = 3;
constexpr uint32_t kHanScale = 2;
// Lines the Latin models read with less confidence than this are read again
// with the Han models: Han script is what the Latin models cannot read.
constexpr double kHanRetryConfidence = 0.80;
// Below this, a line of the quick first reading is taken for Han script
// (Latin models read Han lines at 0 to 0.3, and mixed Han and Latin lines or
// small Latin text they stumble on at 0.6 and above).
constexpr double kHanLikelyConfidence = 0.5;
// How much higher a later Han model's mean line confidence must be to be
// chosen over an earlier one.
constexpr double kLaterLanguageMargin = 0.03;
// Upscaled images stay far below what the engine can hold.
constexpr uint64_t kMaxEnginePixels = uint64_t{1} << 27;

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
};

// The source image at one scale, as the engine reads it.
struct ScaledImage {
    GreyImage pixels;
    uint32_t scale = 1;
};

bool isUnsure(const Line& line) { return line.confidence < kHanRetryConfidence; }

double overlap(const Rect& a, const Rect& b) {
    const Rect common = a.intersection(b);
    const double area = common.width * common.height;
    const double either = a.width * a.height + b.width * b.height - area;
    return either > 0 ? area / either : 0;
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

        const ScaledImage original{darkTextOnLight(image), 1};
        std::lock_guard lock(mutex_);
        if (request.level == RecognitionLevel::fast) return finished(readPage(original, all), image);


        const bool detect = request.automaticallyDetectsLanguage && !latin.empty() && !han.empty();
        if (!detect) return finished(readLatin(original, all, {}), image);

        // The Latin models at the original size are quick, and lines they
        // cannot read at all are most likely Han script: the Han models start
        // on their own threads at once, while the Latin reading is finished
        // here. Lines the finished Latin reading is still unsure of are
        // offered to the Han models too. An image without such lines never
        // loads them.
        auto quick = readPage(original, latin);
        if (!quick) return unexpected(quick.error());
        const ScaledImage hanImage = scaledImage(original, kHanScale);
        std::vector<HanReading> hanReadings(han.size());
        std::vector<std::thread> threads;
        const auto startHan = [&] {
            for (size_t model = 0; model < han.size(); ++model) {
                threads.emplace_back([this, &hanImage, &reading = hanReadings[model], language = han[model]] {
                    reading.lines = readPage(hanImage, {language});
                });
            }
        };
        const bool hanLikely = std::any_of(quick->begin(), quick->end(),
                                           [](const Line& line) { return line.confidence < kHanLikelyConfidence; });
        if (hanLikely) startHan();
        auto lines = readLatin(original, latin, std::move(*quick));
        if (lines && threads.empty() && std::any_of(lines->begin(), lines->end(), isUnsure)) startHan();
        for (auto& thread : threads) thread.join();
        if (!lines) return unexpected(lines.error());
        if (!threads.empty()) {
            for (const auto& reading : hanReadings) {
                if (!reading.lines) return unexpected(reading.lines.error());
            }
            takeHanReadings(*lines, hanReadings);
        }
        return finished(std::move(lines), image);
    }

private:
    static ScaledImage scaledImage(const ScaledImage& original, uint32_t factor) {
        auto pixels = upscaled(original.pixels, factor, kMaxEnginePixels);
        if (!pixels) return original;  // very large images are read as they are
        return {std::move(*pixels), factor};
    }

    static RecognizedBlocks finished(Expected<std::vector<Line>, TextRecognitionError> lines, const Image& image) {
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

    // Each line takes the other reading of the same place when that one is
    // more confident.
    static void keepMoreConfident(std::vector<Line>& lines, const std::vector<Line>& others) {
        for (Line& line : lines) {
            const Line* match = sameLine(line, others);
            if (match && match->confidence > line.confidence) {
                line.text = match->text;
                line.confidence = match->confidence;
            }
        }
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

    // Loaded once per process. Safe to call from the reading threads: the
    // map is guarded, loading runs outside the guard.
    Expected<tesseract::TessBaseAPI*, TextRecognitionError> engine(const std::vector<std::string>& languages) {
        const std::string key = joined(languages);
        {
            std::lock_guard lock(enginesMutex_);
            const auto found = engines_.find(key);
            if (found != engines_.end()) return found->second.get();
        }
        auto api = std::make_unique<tesseract::TessBaseAPI>();
        api->SetVariable("debug_file", "/dev/null");
        if (api->Init(nullptr, key.c_str(), tesseract::OEM_LSTM_ONLY) != 0) {
            return unexpected(TextRecognitionError(Kind::missingLanguageData,
                                                   "could not load the language data " + key +
                                                       " (install tesseract-ocr-" + languages.front() + ")"));
        }
        std::lock_guard lock(enginesMutex_);
        return (engines_[key] = std::move(api)).get();
    }

    Expected<std::vector<Line>, TextRecognitionError> readPage(const ScaledImage& image,
                                                               const std::vector<std::string>& languages) {
        auto api = engine(languages);
        if (!api) return unexpected(api.error());
        setImage(**api, image);
        (*api)->SetPageSegMode(tesseract::PSM_AUTO);
        return readLines(**api, image.scale);
    }

    // Latin text read large, where thin gaps between small glyphs survive,
    // and at the original size, which keeps underscores and tight monospace
    // runs together; each line keeps the more confident reading.
    Expected<std::vector<Line>, TextRecognitionError> readLatin(const ScaledImage& original,
                                                                const std::vector<std::string>& languages,
                                                                std::optional<std::vector<Line>> atOriginalSize) {
        const ScaledImage large = scaledImage(original, kLatinScale);
        auto lines = readPage(large, languages);
        if (!lines || large.scale == 1) return lines;
        if (!atOriginalSize) {
            auto small = readPage(original, languages);
            if (!small) return unexpected(small.error());
            atOriginalSize = std::move(*small);
        }
        keepMoreConfident(*lines, *atOriginalSize);
        return lines;
    }

    struct HanReading {
        Expected<std::vector<Line>, TextRecognitionError> lines = std::vector<Line>{};
    };

    // Lines the Latin models were unsure of take the Han reading of the same
    // place when it holds Han script and is more confident.
    static void takeHanReadings(std::vector<Line>& lines, const std::vector<HanReading>& readings) {
        // Simplified and traditional Chinese share most characters, and each
        // model reads the other's text in its own forms with high confidence.
        // Where a model meets many forms it does not know its confidence
        // drops, so a later language must be clearly ahead over the whole
        // image to replace the earlier (preferred) one.
        size_t chosen = 0;
        double chosenMean = -1;
        for (size_t model = 0; model < readings.size(); ++model) {
            double total = 0;
            size_t count = 0;
            for (const Line& line : lines) {
                if (!isUnsure(line)) continue;
                if (const Line* match = sameLine(line, *readings[model].lines)) total += match->confidence;
                ++count;
            }
            const double mean = count > 0 ? total / double(count) : 0;
            if (mean > chosenMean + (model == 0 ? 0.0 : kLaterLanguageMargin)) {
                chosenMean = mean;
                chosen = model;
            }
        }
        for (Line& line : lines) {
            if (!isUnsure(line)) continue;
            const Line* candidate = sameLine(line, *readings[chosen].lines);
            // A Han model may read Latin text with confidence, but not better
            // than the Latin models.
            if (candidate && containsHan(candidate->text) && candidate->confidence > line.confidence) {
                line.text = candidate->text;
                line.confidence = candidate->confidence;
            }
        }
    }

    static void setImage(tesseract::TessBaseAPI& api, const ScaledImage& image) {
        const GreyImage& grey = image.pixels;
        api.SetImage(grey.pixels.data(), int(grey.width), int(grey.height), 1, int(grey.width));
        api.SetSourceResolution(int(kScreenDpi * image.scale));
    }

    static Expected<std::vector<Line>, TextRecognitionError> readLines(tesseract::TessBaseAPI& api, uint32_t scale) {
        if (api.Recognize(nullptr) != 0) {
            return unexpected(TextRecognitionError(Kind::engineFailure, "the engine could not read the image"));
        }
        std::vector<Line> lines;
        std::unique_ptr<tesseract::ResultIterator> iterator(api.GetIterator());
        if (!iterator) return lines;
        constexpr auto level = tesseract::RIL_TEXTLINE;
        do {
            if (iterator->Empty(level)) continue;
            const OwnedText text(iterator->GetUTF8Text(level));
            Line line;
            line.text = trimmedLine(text.get());
            if (line.text.empty()) continue;
            int left = 0, top = 0, right = 0, bottom = 0;
            iterator->BoundingBox(level, &left, &top, &right, &bottom);
            line.box = Rect{double(left), double(top), double(right - left), double(bottom - top)};
            line.box = Rect{line.box.x / scale, line.box.y / scale, line.box.width / scale, line.box.height / scale};
            line.confidence = std::clamp(double(iterator->Confidence(level)) / 100.0, 0.0, 1.0);
            lines.push_back(std::move(line));
        } while (iterator->Next(level));
        return lines;
    }

    std::mutex mutex_;  // one recognition at a time
    std::mutex enginesMutex_;
    std::map<std::string, std::unique_ptr<tesseract::TessBaseAPI>> engines_;
};

}  // namespace
}  // namespace tessarin::ocr

extern "C" __attribute__((visibility("default"))) tessarin::TextRecognizer* tessarin_ocr_create_recognizer() {
    try {
        return new tessarin::ocr::TesseractTextRecognizer();
    } catch (...) {
        return nullptr;
    }
}
