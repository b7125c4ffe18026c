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
#include <cstdlib>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "core/recording/TextRecognition.h"
#include "ocr/ScreenTextImage.h"
#include "ocr/TextRecognizerModule.h"

namespace tessarin::ocr {
namespace {

using Kind = TextRecognitionError::Kind;

// The screen's resolution the engine is told, before upscaling.
constexpr int kScreenDpi = 96;
// Lines below this confidence from the Latin pass are read again with the
// Han models.
double hanRetryConfidence() {
    const char* value = std::getenv("TESSARIN_OCR_RETRY");
    return value ? std::atof(value) : 0.80;
}
uint32_t upscaleFactor(const GreyImage&) {
    const char* value = std::getenv("TESSARIN_OCR_SCALE");
    return value ? uint32_t(std::atoi(value)) : 2;
}
tesseract::PageSegMode pageSegmentation() {
    const char* value = std::getenv("TESSARIN_OCR_PSM");
    return value ? tesseract::PageSegMode(std::atoi(value)) : tesseract::PSM_AUTO;
}
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

bool isHanModel(const std::string& language) { return language.rfind("chi_", 0) == 0; }

std::string joined(const std::vector<std::string>& languages) {
    std::string text;
    for (const auto& language : languages) text += (text.empty() ? "" : "+") + language;
    return text;
}

struct Line {
    std::string text;
    int left = 0, top = 0, right = 0, bottom = 0;  // engine pixels
    double confidence = 0;
};

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

        GreyImage grey = darkTextOnLight(image);
        const bool accurate = request.level == RecognitionLevel::accurate;
        const uint32_t factor = accurate ? upscaleFactor(grey) : 1;
        auto prepared = upscaled(grey, factor, kMaxEnginePixels);
        if (!prepared) {
            prepared = std::move(grey);
        }
        const uint32_t scale = prepared->width / image.width();

        std::lock_guard lock(mutex_);
        // Without detection, or when only one script was asked for, one pass
        // with every model.
        const bool detect = request.automaticallyDetectsLanguage && !latin.empty() && !han.empty();
        std::vector<std::string> first = latin.empty() ? han : latin;
        if (!detect) {
            first = han;
            first.insert(first.end(), latin.begin(), latin.end());
        }
        auto lines = readPage(*prepared, scale, first);
        if (!lines) return unexpected(lines.error());

        if (detect && accurate) {
            std::vector<std::string> all = han;
            all.insert(all.end(), latin.begin(), latin.end());
            const double threshold = hanRetryConfidence();
            for (Line& line : *lines) {
                if (line.confidence >= threshold) continue;
                auto again = readLine(*prepared, scale, all, line);
                if (!again) return unexpected(again.error());
                if (again->confidence > line.confidence && !again->text.empty()) {
                    line.text = again->text;
                    line.confidence = again->confidence;
                }
            }
        }
        return blocks(*lines, *prepared);
    }

private:
    Expected<tesseract::TessBaseAPI*, TextRecognitionError> engine(const std::vector<std::string>& languages) {
        const std::string key = joined(languages);
        auto& slot = engines_[key];
        if (slot) return slot.get();
        auto api = std::make_unique<tesseract::TessBaseAPI>();
        api->SetVariable("debug_file", "/dev/null");
        if (api->Init(nullptr, key.c_str(), tesseract::OEM_LSTM_ONLY) != 0) {
            engines_.erase(key);
            return unexpected(TextRecognitionError(
                Kind::missingLanguageData, "could not load the language data " + key +
                                               " (install tesseract-ocr-" + languages.front() + ")"));
        }
        slot = std::move(api);
        return slot.get();
    }

    Expected<std::vector<Line>, TextRecognitionError> readPage(const GreyImage& image, uint32_t scale,
                                                               const std::vector<std::string>& languages) {
        auto api = engine(languages);
        if (!api) return unexpected(api.error());
        (*api)->SetPageSegMode(pageSegmentation());
        (*api)->SetImage(image.pixels.data(), int(image.width), int(image.height), 1, int(image.width));
        (*api)->SetSourceResolution(int(kScreenDpi * scale));
        return readLines(**api);
    }

    // The line's box, with a margin, read as one line.
    Expected<Line, TextRecognitionError> readLine(const GreyImage& image, uint32_t scale,
                                                  const std::vector<std::string>& languages, const Line& line) {
        auto api = engine(languages);
        if (!api) return unexpected(api.error());
        const int margin = int(4 * scale);
        const int left = std::max(0, line.left - margin);
        const int top = std::max(0, line.top - margin);
        const int right = std::min(int(image.width), line.right + margin);
        const int bottom = std::min(int(image.height), line.bottom + margin);
        (*api)->SetPageSegMode(tesseract::PSM_SINGLE_LINE);
        (*api)->SetImage(image.pixels.data(), int(image.width), int(image.height), 1, int(image.width));
        (*api)->SetSourceResolution(int(kScreenDpi * scale));
        (*api)->SetRectangle(left, top, right - left, bottom - top);
        auto lines = readLines(**api);
        if (!lines) return unexpected(lines.error());
        Line result{};
        double weighted = 0, length = 0;
        for (const Line& part : *lines) {
            result.text += (result.text.empty() ? "" : " ") + part.text;
            weighted += part.confidence * double(part.text.size());
            length += double(part.text.size());
        }
        result.confidence = length > 0 ? weighted / length : 0;
        return result;
    }

    static Expected<std::vector<Line>, TextRecognitionError> readLines(tesseract::TessBaseAPI& api) {
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
            iterator->BoundingBox(level, &line.left, &line.top, &line.right, &line.bottom);
            line.confidence = std::clamp(double(iterator->Confidence(level)) / 100.0, 0.0, 1.0);
            lines.push_back(std::move(line));
        } while (iterator->Next(level));
        return lines;
    }

    static std::vector<RecognizedBlock> blocks(const std::vector<Line>& lines, const GreyImage& image) {
        std::vector<RecognizedBlock> result;
        const double width = image.width;
        const double height = image.height;
        for (const Line& line : lines) {
            const Rect box{line.left / width, 1.0 - line.bottom / height, (line.right - line.left) / width,
                           (line.bottom - line.top) / height};
            result.push_back({line.text, box, line.confidence});
        }
        return result;
    }

    std::mutex mutex_;
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
