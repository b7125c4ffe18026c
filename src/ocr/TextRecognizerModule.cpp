#include "ocr/TextRecognizerModule.h"

#include <cstdlib>

#include "core/common/LoadableModule.h"

namespace tessarin::ocr {

void limitEngineThreads() { ::setenv("OMP_THREAD_LIMIT", "1", 1); }

ModuleTextRecognizer::ModuleTextRecognizer(std::string modulePath) : modulePath_(std::move(modulePath)) {}

// The module stays mapped for the life of the process: its code runs the
// engine's destructor.
ModuleTextRecognizer::~ModuleTextRecognizer() = default;

void ModuleTextRecognizer::load() {
    auto create = functionFrom<TextRecognizer*()>(modulePath_.empty()
                                                      ? loadModuleSymbol(kModuleName, kModuleEntryPoint)
                                                      : loadModuleSymbolFromFile(modulePath_, kModuleEntryPoint));
    if (!create) {
        loadError_ = "the text recognition engine could not be loaded (" + create.error() + ")";
        return;
    }
    engine_.reset((*create)());
    if (!engine_) loadError_ = "the text recognition engine did not start";
}

RecognizedBlocks ModuleTextRecognizer::recognize(const Image& image, const TextRecognitionRequest& request) {
    std::call_once(loaded_, [this] { load(); });
    if (!engine_) return unexpected(TextRecognitionError(TextRecognitionError::Kind::engineUnavailable, loadError_));
    return engine_->recognize(image, request);
}

}  // namespace tessarin::ocr
