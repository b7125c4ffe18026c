#pragma once
// What the application asks of a text-recognition engine: lines of text in
// reading order, each with where it is and how sure the engine is. The
// engine itself (src/ocr) sits behind TextRecognizer so the flows around it
// run against substitutes.

#include <string>
#include <vector>

#include "core/common/Expected.h"
#include "core/common/Geometry.h"
#include "core/common/Image.h"

namespace tessarin {

struct RecognizedBlock {
    std::string text;  // UTF-8, one line, no line break
    Rect boundingBox;  // normalised to 0..1 of the image, origin at the lower left
    double confidence = 0;  // 0..1
    friend bool operator==(const RecognizedBlock&, const RecognizedBlock&) = default;
};

enum class RecognitionLevel { fast, accurate };

struct TextRecognitionRequest {
    // BCP 47 tags in order of preference, e.g. "zh-Hans", "zh-Hant", "en-US".
    std::vector<std::string> languages;
    RecognitionLevel level = RecognitionLevel::accurate;
    bool automaticallyDetectsLanguage = true;
    bool usesLanguageCorrection = true;
};

class TextRecognitionError {
public:
    enum class Kind { engineUnavailable, missingLanguageData, unreadableImage, engineFailure };

    TextRecognitionError(Kind kind, std::string message) : kind_(kind), message_(std::move(message)) {}
    // Recognition cancelled or stopped by an internal failure.
    static TextRecognitionError interrupted(std::string reason) { return {Kind::engineFailure, std::move(reason)}; }

    Kind kind() const { return kind_; }
    const std::string& description() const { return message_; }

private:
    Kind kind_;
    std::string message_;
};

using RecognizedBlocks = Expected<std::vector<RecognizedBlock>, TextRecognitionError>;
using RecognizedText = Expected<std::string, TextRecognitionError>;

class TextRecognizer {
public:
    virtual ~TextRecognizer() = default;
    // Synchronous and possibly slow: callers run it off the main thread. An
    // image without text gives no blocks, not an error. Every failure comes
    // back as an error value, never as an exception: an engine in a loadable
    // module runs behind the module's own exception barrier (an exception
    // cannot cross into the program, whose C++ runtime is a separate copy),
    // and TextRecognitionManager still catches what an in-process
    // implementation throws.
    virtual RecognizedBlocks recognize(const Image& image, const TextRecognitionRequest& request) = 0;
};

}  // namespace tessarin
