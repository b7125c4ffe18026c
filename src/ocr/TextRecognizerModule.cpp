#include "ocr/TextRecognizerModule.h"

#include <dlfcn.h>

#include <cstdlib>
#include <filesystem>
#include <vector>

namespace tessarin::ocr {
namespace {

namespace fs = std::filesystem;

// Beside the executable (the build tree), then <prefix>/lib/tessarin.
std::vector<fs::path> defaultModulePaths() {
    std::error_code error;
    const fs::path executable = fs::read_symlink("/proc/self/exe", error);
    if (error) return {kModuleFileName};
    const fs::path folder = executable.parent_path();
    return {folder / kModuleFileName, folder.parent_path() / "lib" / "tessarin" / kModuleFileName};
}

}  // namespace

ModuleTextRecognizer::ModuleTextRecognizer(std::string modulePath) : modulePath_(std::move(modulePath)) {
    // One engine thread per image: OpenMP's default starts more threads than
    // a small machine has cores and runs several times slower.
    ::setenv("OMP_THREAD_LIMIT", "1", 1);
}

// The module stays mapped for the life of the process: its code runs the
// engine's destructor.
ModuleTextRecognizer::~ModuleTextRecognizer() = default;

void ModuleTextRecognizer::load() {
    const std::vector<fs::path> candidates = modulePath_.empty() ? defaultModulePaths()
                                                                 : std::vector<fs::path>{modulePath_};
    std::string reasons;
    for (const auto& candidate : candidates) {
        void* module = ::dlopen(candidate.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (module == nullptr) {
            if (!reasons.empty()) reasons += "; ";
            const char* reason = ::dlerror();
            reasons += reason != nullptr ? reason : candidate.string();
            continue;
        }
        const auto create = reinterpret_cast<ModuleEntryPoint>(::dlsym(module, kModuleEntryPoint));
        if (create == nullptr) {
            reasons += candidate.string() + " has no entry point";
            continue;
        }
        engine_.reset(create());
        if (engine_) return;
        reasons += candidate.string() + " did not start";
    }
    loadError_ = "the text recognition engine could not be loaded (" + reasons + ")";
}

RecognizedBlocks ModuleTextRecognizer::recognize(const Image& image, const TextRecognitionRequest& request) {
    std::call_once(loaded_, [this] { load(); });
    if (!engine_) return unexpected(TextRecognitionError(TextRecognitionError::Kind::engineUnavailable, loadError_));
    return engine_->recognize(image, request);
}

}  // namespace tessarin::ocr
