// A text-recognition module whose engine throws whatever its request's
// first language names, behind the same barrier as the real module.

#include <new>
#include <stdexcept>
#include <system_error>

#include "ocr/ModuleRecognizerBarrier.h"

namespace {

class ThrowingEngine final : public tessarin::TextRecognizer {
public:
    tessarin::RecognizedBlocks recognize(const tessarin::Image&, const tessarin::TextRecognitionRequest& request) override {
        const std::string what = request.languages.empty() ? "" : request.languages.front();
        if (what == "bad_alloc") throw std::bad_alloc();
        if (what == "system_error") throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
        if (what == "runtime_error") throw std::runtime_error("model file truncated");
        if (what == "int") throw 7;
        return std::vector<tessarin::RecognizedBlock>{{"fine", {0, 0, 1, 1}, 1.0}};
    }
};

}  // namespace

extern "C" __attribute__((visibility("default"))) tessarin::TextRecognizer* tessarin_ocr_create_recognizer() {
    return tessarin::ocr::createRecognizerBehindBarrier<ThrowingEngine>();
}
