#include "core/recording/ScreenTextExtraction.h"

#include "core/common/Localization.h"
#include "core/recording/TextRecognitionManager.h"

namespace tessarin {

void ScreenTextExtraction::extractAndPresent(Image image, bool collapsingLinebreaks, Recognize recognize,
                                             Present present, Failure failure) {
    recognize(std::move(image), [collapsingLinebreaks, present = std::move(present),
                                 failure = std::move(failure)](RecognizedText text) {
        if (!text) {
            failure(localized("OCR failed"), text.error().description());
            return;
        }
        present(collapsingLinebreaks ? TextRecognitionManager::collapsingLinebreaks(*text) : *text);
    });
}

OCRResultContent OCRResultContent::forText(const std::string& text) {
    if (text.empty()) {
        return {localized("OCR Result"), localized("No Text Found"),
                localized("No text was recognized in the screenshot."), false};
    }
    return {localized("OCR Result"), localized("Recognized Text"), text, true};
}

}  // namespace tessarin
