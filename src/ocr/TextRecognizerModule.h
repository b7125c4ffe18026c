#pragma once
// The engine lives in its own shared module, loaded the first time text is
// recognised. Two reasons: every other command starts without mapping the
// engine and its libraries (tens of milliseconds), and the engine's OpenMP
// runtime reads OMP_THREAD_LIMIT once, when it is loaded, so the limit can
// only be set before the module comes in.

#include <memory>
#include <mutex>
#include <string>

#include "core/recording/TextRecognition.h"

namespace tessarin::ocr {

// The entry point the module exports: a new recogniser owned by the caller.
inline constexpr const char* kModuleEntryPoint = "tessarin_ocr_create_recognizer";
inline constexpr const char* kModuleName = "ocr";  // libtessarin-ocr.so

// One engine thread per image: OpenMP's default starts more threads than a
// small machine has cores and runs several times slower. Sets
// OMP_THREAD_LIMIT=1 for the process, so call it from main() before any
// other thread starts (setenv is not safe beside threads reading the
// environment) and before the module is loaded.
void limitEngineThreads();

class ModuleTextRecognizer : public TextRecognizer {
public:
    // `modulePath` empty means the module's usual places (see
    // core/common/LoadableModule.h). Construct it after limitEngineThreads().
    explicit ModuleTextRecognizer(std::string modulePath = {});
    ~ModuleTextRecognizer() override;

    RecognizedBlocks recognize(const Image& image, const TextRecognitionRequest& request) override;

private:
    void load();

    std::string modulePath_;
    std::once_flag loaded_;
    std::unique_ptr<TextRecognizer> engine_;
    std::string loadError_;
};

}  // namespace tessarin::ocr
