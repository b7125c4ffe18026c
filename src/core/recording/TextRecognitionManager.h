#pragma once
// Runs the recogniser off the main thread and shapes what it returns: the
// full text of an image with the application's language preferences, and
// the optional collapsing of its line breaks.

#include <string>
#include <string_view>
#include <vector>

#include "core/common/Executor.h"
#include "core/common/Lifetime.h"
#include "core/recording/TextRecognition.h"

namespace tessarin {

class TextRecognitionManager {
public:
    // The recogniser runs on `background` and must outlive it; completions
    // arrive on `main`.
    TextRecognitionManager(TextRecognizer& recognizer, Executor& background, Executor& main)
        : recognizer_(recognizer), background_(background), main_(main) {}
    ~TextRecognitionManager() { shutdown(); }
    TextRecognitionManager(const TextRecognitionManager&) = delete;
    TextRecognitionManager& operator=(const TextRecognitionManager&) = delete;

    // On the main executor, before the background executor shuts down: a
    // recognition in flight, and any asked for later, completes as cancelled.
    void shutdown() { lifetime_.invalidate(); }

    void recognizeText(Image image, TextRecognitionRequest request, Completion<RecognizedBlocks> done);
    // Simplified Chinese, traditional Chinese, then US English; accurate,
    // with language detection and correction; lines joined by "\n".
    void extractFullText(Image image, Completion<RecognizedText> done);

    static TextRecognitionRequest fullTextRequest();
    static std::string joinedLines(const std::vector<RecognizedBlock>& blocks);
    // Splits at every line-break character (LF, VT, FF, CR, NEL, U+2028,
    // U+2029), drops the empty pieces and joins the rest with one space.
    static std::string collapsingLinebreaks(std::string_view text);

private:
    TextRecognizer& recognizer_;
    Executor& background_;
    Executor& main_;
    LifetimeToken lifetime_;
};

}  // namespace tessarin
