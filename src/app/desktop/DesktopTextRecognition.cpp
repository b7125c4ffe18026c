#include "app/desktop/DesktopTextRecognition.h"

#include "app/desktop/OCRResultWindow.h"
#include "core/common/Log.h"

namespace tessarin {

DesktopTextRecognition::DesktopTextRecognition(TextRecognizer& recognizer, Executor& background, Executor& main,
                                               AlertPresenter& alerts)
    : manager_(recognizer, background, main),
      port_([this](Image image, Completion<RecognizedText> done) {
                manager_.extractFullText(std::move(image), std::move(done));
            },
            [this](const std::string& text) {
                if (!closing_) present(text);
            },
            [this, &alerts](const std::string& title, const std::string& message) {
                logLine(LogLevel::error, LogCategory::capture, "ocr.failed " + message);
                // Recognition cut short by quitting is nobody's concern.
                if (!closing_) alerts.showWarning(title, message);
            }) {}

DesktopTextRecognition::~DesktopTextRecognition() {
    closing_ = true;
    manager_.shutdown();
}

void DesktopTextRecognition::extract(SharedImage image, bool joinLines) {
    if (!image) return;
    logLine(LogLevel::info, LogCategory::capture,
            "ocr.start image=" + std::to_string(image->width()) + "x" + std::to_string(image->height()));
    port_.extract(std::move(image), joinLines);
}

void DesktopTextRecognition::findLines(const std::shared_ptr<const Image>& image,
                                       std::function<void(std::vector<Rect>)> done) {
    if (!image || closing_) return;
    manager_.recognizeText(image->clone(), TextRecognitionManager::fullTextRequest(),
                           [this, done = std::move(done)](RecognizedBlocks blocks) {
                               if (closing_ || !blocks) return;
                               std::vector<Rect> boxes;
                               for (const RecognizedBlock& block : *blocks) boxes.push_back(block.boundingBox);
                               done(std::move(boxes));
                           });
}

void DesktopTextRecognition::present(const std::string& text) {
    if (!window_) window_ = std::make_unique<OCRResultWindow>();
    window_->present(text);
}

}  // namespace tessarin
