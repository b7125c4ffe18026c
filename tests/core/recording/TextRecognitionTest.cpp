// The engine-free half of text recognition, against a scripted recogniser.

#include <gtest/gtest.h>

#include <random>
#include <stdexcept>
#include <thread>

#include "core/common/EventLoop.h"
#include "core/common/ThreadPool.h"
#include "core/recording/ScreenTextExtraction.h"
#include "core/recording/SingleResume.h"
#include "core/recording/TextRecognitionManager.h"
#include "support/ManualExecutor.h"

namespace tessarin {
namespace {

class ScriptedRecognizer : public TextRecognizer {
public:
    std::vector<RecognizedBlock> blocks;
    std::optional<TextRecognitionError> error;
    bool throws = false;
    std::optional<TextRecognitionRequest> lastRequest;
    uint32_t lastWidth = 0;

    RecognizedBlocks recognize(const Image& image, const TextRecognitionRequest& request) override {
        lastRequest = request;
        lastWidth = image.width();
        if (throws) throw std::runtime_error("model file truncated");
        if (error) return unexpected(*error);
        return blocks;
    }
};

Image blankImage(uint32_t width = 8) {
    auto image = Image::allocate(width, 4);
    std::fill(image->data(), image->data() + image->byteCount(), uint8_t(255));
    return std::move(*image);
}

struct Harness {
    ScriptedRecognizer recognizer;
    EventLoop loop;
    ThreadPool pool{1};
    TextRecognitionManager manager{recognizer, pool, loop};

    RecognizedText fullText(Image image) {
        return runAsyncOnMain<RecognizedText>(loop, [&, image = std::move(image)](Completion<RecognizedText> done) mutable {
            manager.extractFullText(std::move(image), std::move(done));
        });
    }
};

TEST(CollapsingLinebreaks, DropsEmptyPiecesAndJoinsWithOneSpace) {
    const std::pair<std::string, std::string> rows[] = {
        {"a\n\nb\r\nc", "a b c"},
        {"\n\r\n\r", ""},
        {"one  two\tthree", "one  two\tthree"},  // spaces inside a line stay
        {"\nlead and trail\n", "lead and trail"},
        {"v\vf\fn\xc2\x85l\xe2\x80\xa8p\xe2\x80\xa9q", "v f n l p q"},  // VT, FF, NEL, U+2028, U+2029
        {" \n ", "   "},  // a piece of spaces is not empty
        {"\xe2\x80\xa7x\xc2\x84", "\xe2\x80\xa7x\xc2\x84"},  // neighbours of the break characters
        {"设置\n打开", "设置 打开"},
    };
    for (const auto& [text, expected] : rows) {
        EXPECT_EQ(TextRecognitionManager::collapsingLinebreaks(text), expected) << text;
    }
}

TEST(CollapsingLinebreaks, RandomBytesLoseOnlyLineBreaks) {
    std::mt19937 random(7);
    const char alphabet[] = {'a', ' ', '\n', '\r', '\x0b', '\xc2', '\x85', '\xe2', '\x80', '\xa8'};
    for (int round = 0; round < 2000; ++round) {
        std::string text(random() % 24, ' ');
        for (char& c : text) c = alphabet[random() % sizeof alphabet];
        const std::string collapsed = TextRecognitionManager::collapsingLinebreaks(text);
        EXPECT_EQ(collapsed.find_first_of("\n\r\x0b"), std::string::npos);
        EXPECT_EQ(TextRecognitionManager::collapsingLinebreaks(collapsed), collapsed);  // idempotent
        EXPECT_LE(collapsed.size(), text.size());
    }
}

TEST(ExtractFullText, JoinsLinesInOrderAndDeliversEngineErrorsAndThrowsAsErrors) {
    using Kind = TextRecognitionError::Kind;
    const struct {
        std::vector<RecognizedBlock> blocks;
        std::optional<TextRecognitionError> error;
        bool throws;
        std::string expected;
    } cases[] = {
        {{{"Hello", {0, 0.5, 1, 0.5}, 0.9}, {"World", {0, 0, 1, 0.5}, 0.8}}, {}, false, "Hello\nWorld"},
        {{}, {}, false, ""},  // no text is not an error
        {{}, TextRecognitionError(Kind::missingLanguageData, "no chi_sim"), false, "error 1: no chi_sim"},
        {{}, {}, true, "error 3: model file truncated"},
    };
    for (const auto& c : cases) {
        Harness h;
        h.recognizer.blocks = c.blocks, h.recognizer.error = c.error, h.recognizer.throws = c.throws;
        const auto text = h.fullText(blankImage(32));
        const std::string got =
            text ? *text : "error " + std::to_string(int(text.error().kind())) + ": " + text.error().description();
        EXPECT_EQ(got, c.expected);
        ASSERT_TRUE(h.recognizer.lastRequest);
        EXPECT_EQ(h.recognizer.lastRequest->languages, (std::vector<std::string>{"zh-Hans", "zh-Hant", "en-US"}));
        EXPECT_EQ(h.recognizer.lastWidth, 32u);
    }
}

TEST(SingleResume, DeliversExactlyOnceAcrossThreads) {
    for (int round = 0; round < 50; ++round) {
        std::atomic<int> calls{0};
        SingleResume<std::optional<int>> guard([&](std::optional<int>) { ++calls; });
        std::atomic<int> delivered{0};
        std::thread other([&] { delivered += guard.resume(1); });
        delivered += guard.resume(2);
        other.join();
        EXPECT_EQ(calls.load(), 1);
        EXPECT_EQ(delivered.load(), 1);
        EXPECT_TRUE(guard.hasResumed());
    }
}

TEST(ScreenTextExtraction, CollapsesWhenAskedAndReportsFailuresWithTheirText) {
    std::vector<std::string> shown;
    const auto present = [&](const std::string& text) { shown.push_back(text); };
    const auto failure = [&](const std::string& title, const std::string& message) {
        shown.push_back(title + ": " + message);
    };
    const auto recognizeAs = [](RecognizedText result) {
        return [result = std::move(result)](Image, Completion<RecognizedText> done) mutable { done(std::move(result)); };
    };
    ScreenTextExtraction::extractAndPresent(blankImage(), true, recognizeAs(std::string("a\n\nb")), present, failure);
    ScreenTextExtraction::extractAndPresent(blankImage(), false, recognizeAs(std::string("a\nb")), present, failure);
    ScreenTextExtraction::extractAndPresent(
        blankImage(), true,
        recognizeAs(unexpected(TextRecognitionError(TextRecognitionError::Kind::engineFailure, "engine stopped"))),
        present, failure);
    EXPECT_EQ(shown, (std::vector<std::string>{"a b", "a\nb", "OCR failed: engine stopped"}));

    EXPECT_FALSE(OCRResultContent::forText("").offersCopyAll);
    EXPECT_EQ(OCRResultContent::forText("Hello").body, "Hello");
    EXPECT_TRUE(OCRResultContent::forText("Hello").offersCopyAll);
}

// Stopped or destroyed mid-recognition: the engine finishes without the manager; the caller hears "cancelled".
TEST(TextRecognitionManagerLifetime, WorkInFlightCompletesAsCancelledWhenTheManagerGoes) {
    ScriptedRecognizer recognizer;
    recognizer.blocks = {{"Hello", {0, 0, 1, 1}, 0.9}};
    testing::ManualExecutor main, background;
    std::vector<std::string> heard;
    const auto record = [&heard](RecognizedText text) { heard.push_back(text ? *text : text.error().description()); };
    auto manager = std::make_unique<TextRecognitionManager>(recognizer, background, main);
    manager->extractFullText(blankImage(), record);
    manager.reset();
    manager = std::make_unique<TextRecognitionManager>(recognizer, background, main);
    manager->extractFullText(blankImage(), record);
    manager->shutdown();
    manager->extractFullText(blankImage(), record);  // asked after shutdown
    while (background.runAll() + main.runAll() > 0) {
    }
    EXPECT_EQ(heard, std::vector<std::string>(3, std::string(kCancelled)));
    EXPECT_EQ(recognizer.lastWidth, 8u);  // the engine did run
}

}  // namespace
}  // namespace tessarin
