// Linked exactly like the program (its own static C++ runtime), it loads a
// module whose engine throws, and checks that every throw comes back as an
// engine failure instead of ending the process. Prints one line per case;
// exits 0 when all came back as expected.

#include <cstdio>
#include <string>
#include <vector>

#include "core/common/Image.h"
#include "ocr/TextRecognizerModule.h"

int main(int argc, char** argv) {
    using namespace tessarin;
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <module>\n", argv[0]);
        return 2;
    }
    ocr::ModuleTextRecognizer recognizer(argv[1]);
    auto image = Image::allocate(4, 4);
    if (!image) return 2;
    const struct {
        const char* thrown;
        const char* expected;  // an error's text, or the one line read
    } cases[] = {
        {"bad_alloc", "the recognition engine failed: out of memory"},
        {"system_error", "the recognition engine failed: Resource temporarily unavailable"},
        {"runtime_error", "the recognition engine failed: model file truncated"},
        {"int", "the recognition engine failed: an unknown exception"},
        {"nothing", "fine"},
    };
    int wrong = 0;
    for (const auto& c : cases) {
        const auto result = recognizer.recognize(*image, {{c.thrown}});
        const std::string got = result ? (result->empty() ? "" : result->front().text) : result.error().description();
        const bool right = got == c.expected &&
                           (result || result.error().kind() == TextRecognitionError::Kind::engineFailure);
        std::printf("%s %s: %s\n", right ? "ok" : "WRONG", c.thrown, got.c_str());
        wrong += right ? 0 : 1;
    }
    std::printf("%d passed, %d failed\n", int(std::size(cases)) - wrong, wrong);
    return wrong == 0 ? 0 : 1;
}
