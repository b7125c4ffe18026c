#pragma once
// The application's "recognise text" flow: recognise, collapse line breaks
// when asked, then present the text, or report the failure. Recognition,
// presentation and the failure report are injected; the desktop application
// passes TextRecognitionManager::extractFullText, the result window and a
// warning alert.

#include <functional>
#include <string>

#include "core/common/Executor.h"
#include "core/common/Image.h"
#include "core/recording/TextRecognition.h"

namespace tessarin {

namespace ScreenTextExtraction {

using Recognize = UniqueFunction<void(Image, Completion<RecognizedText>)>;
using Present = std::function<void(const std::string& text)>;
// Receives the alert's title ("OCR failed") and the error's text.
using Failure = std::function<void(const std::string& title, const std::string& message)>;

void extractAndPresent(Image image, bool collapsingLinebreaks, Recognize recognize, Present present, Failure failure);

}  // namespace ScreenTextExtraction

// What the result window shows for a text: the recognised text with a copy
// button, or the empty-result note.
struct OCRResultContent {
    std::string windowTitle;
    std::string heading;
    std::string body;
    bool offersCopyAll = false;

    static OCRResultContent forText(const std::string& text);
};

}  // namespace tessarin
