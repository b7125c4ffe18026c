#pragma once
// Reading the text of a capture in the desktop application (the output
// action "ocr", the All-in-One toolbar's text button, the capture-text
// link): the engine module on the background executor, then the result
// window, or a warning when recognition failed.

#include <functional>
#include <memory>
#include <vector>

#include "core/common/Executor.h"
#include "core/flow/StandardCompletionPorts.h"
#include "core/recording/TextRecognitionManager.h"
#include "core/shell/AppState.h"

namespace tessarin {

class OCRResultWindow;

class DesktopTextRecognition final : public TextExtraction {
public:
    // `recognizer` runs on `background` and must outlive it.
    DesktopTextRecognition(TextRecognizer& recognizer, Executor& background, Executor& main, AlertPresenter& alerts);
    ~DesktopTextRecognition() override;

    void extract(SharedImage image, bool joinLines) override;
    // The boxes of the lines of text in `image` (normalised, origin at the
    // lower left), for the editor's highlighter; none when nothing was read.
    void findLines(const std::shared_ptr<const Image>& image, std::function<void(std::vector<Rect>)> done);

private:
    void present(const std::string& text);

    TextRecognitionManager manager_;
    ScreenTextExtractionPort port_;
    std::unique_ptr<OCRResultWindow> window_;  // one, shown again for each result
    bool closing_ = false;
};

}  // namespace tessarin
