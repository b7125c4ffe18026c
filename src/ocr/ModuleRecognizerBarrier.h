#pragma once
// Compiled into a text-recognition module: the recogniser the module hands
// to the program, with every call caught inside the module (see
// core/common/ModuleBarrier.h). Whatever the engine throws, an allocation
// failure in a large image or a thread that cannot start, comes back as an
// engine failure.

#include <memory>
#include <optional>
#include <utility>

#include "core/common/ModuleBarrier.h"
#include "core/recording/TextRecognition.h"

namespace tessarin::ocr {

class ModuleRecognizerBarrier final : public TextRecognizer {
public:
    explicit ModuleRecognizerBarrier(std::unique_ptr<TextRecognizer> engine) : engine_(std::move(engine)) {}

    RecognizedBlocks recognize(const Image& image, const TextRecognitionRequest& request) override {
        std::optional<RecognizedBlocks> result;
        const auto thrown = runBehindModuleBarrier([&] { result.emplace(engine_->recognize(image, request)); });
        if (!thrown) return std::move(*result);
        return unexpected(TextRecognitionError(TextRecognitionError::Kind::engineFailure,
                                               "the recognition engine failed: " + *thrown));
    }

private:
    std::unique_ptr<TextRecognizer> engine_;
};

// The body of a module's creation entry point: a new engine behind the
// barrier, or null when it could not be made.
template <class Engine>
TextRecognizer* createRecognizerBehindBarrier() noexcept {
    TextRecognizer* made = nullptr;
    (void)runBehindModuleBarrier([&] { made = new ModuleRecognizerBarrier(std::make_unique<Engine>()); });
    return made;
}

}  // namespace tessarin::ocr
