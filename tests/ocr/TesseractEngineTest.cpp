// The engine as the agent loads it, on text rendered as the desktop renders
// it. Floors sit well under what it reads (bench/ocr has the figures).

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "RenderedText.h"
#include "support/TempDir.h"
#include "core/recording/TextRecognitionManager.h"
#include "ocr/TextRecognizerModule.h"

namespace tessarin {
namespace {

using testing::renderedText;
using testing::wordAccuracy;

TextRecognizer& engine() {
    static const bool limited = (ocr::limitEngineThreads(), true);
    static ocr::ModuleTextRecognizer recognizer(TESSARIN_OCR_MODULE);
    (void)limited;
    return recognizer;
}

std::string joined(const RecognizedBlocks& blocks) {
    return blocks ? TextRecognitionManager::joinedLines(*blocks) : "error: " + blocks.error().description();
}

RecognizedBlocks fullText(const Image& image) {
    return engine().recognize(image, TextRecognitionManager::fullTextRequest());
}

TEST(TesseractEngine, ReadsUiTextAtScreenSizesDarkOnLightAndLightOnDark) {
    struct Row {
        std::string text, font;
        uint32_t foreground, background;
    };
    const Row rows[] = {
        {"File Edit View Selection Go Run Terminal Help", "DejaVu Sans 11px", 0x202020, 0xf2f2f2},
        {"user@host:~/src$ git status --short", "DejaVu Sans Mono 13px", 0xd0d0d0, 0x1e1e1e},
        // a narrow space between letters and digits in a status bar
        {"Ln 42, Col 17  Spaces: 4  UTF-8  LF  C++  Linux", "DejaVu Sans 11px", 0xe8e8e8, 0x3c3c3c},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.font + ": " + row.text);
        const auto blocks = fullText(renderedText(row.text, row.font, row.foreground, row.background));
        EXPECT_GE(wordAccuracy(row.text, joined(blocks)), 0.85) << joined(blocks);
    }
}

TEST(TesseractEngine, GivesOneBlockPerLineInReadingOrderWithBoxesFromTheLowerLeft) {
    const std::string paragraph =
        "Every screenshot is stored locally\n"
        "and never leaves the machine unless\n"
        "the user decides to share it.";
    const auto blocks = fullText(renderedText(paragraph, "DejaVu Serif 14px", 0x111111, 0xfdfdf8));
    ASSERT_TRUE(blocks) << blocks.error().description();
    ASSERT_EQ(blocks->size(), 3u) << joined(blocks);
    EXPECT_GE(wordAccuracy(paragraph, joined(blocks)), 0.9) << joined(blocks);
    for (size_t i = 0; i < blocks->size(); ++i) {
        const RecognizedBlock& block = (*blocks)[i];
        const Rect& box = block.boundingBox;
        EXPECT_TRUE(block.confidence > 0.5 && block.confidence <= 1.0) << block.confidence;
        // Inside the image, each line spanning most of it.
        EXPECT_TRUE(box.x >= 0 && box.y >= 0 && box.maxX() <= 1 && box.maxY() <= 1 && box.width > 0.5)
            << box.x << "," << box.y << " " << box.width << "x" << box.height;
        // The first line is the highest: its box is furthest from the bottom.
        if (i > 0) {
            EXPECT_LT(box.maxY(), (*blocks)[i - 1].boundingBox.minY() + 0.02);
        }
    }
}

TEST(TesseractEngine, ReadsChineseBesideEnglishTraditionalFormsAndNothingFromABlankImage) {
    const std::string mixed = "保存截图到桌面 Save to Desktop\n正在识别图片中的文字";
    const auto blocks = fullText(renderedText(mixed, "WenQuanYi Micro Hei 16px", 0x1a1a1a, 0xfafafa));
    EXPECT_GE(wordAccuracy(mixed, joined(blocks)), 0.8) << joined(blocks);
    // Read in traditional forms: the simplified model gives other characters.
    const std::string traditional = "開啟檔案總管並選擇資料夾\n視窗設定與鍵盤快捷鍵";
    const auto read = fullText(renderedText(traditional, "WenQuanYi Micro Hei 16px", 0x1a1a1a, 0xffffff));
    EXPECT_GE(wordAccuracy(traditional, joined(read)), 0.9) << joined(read);

    auto blank = Image::allocate(200, 60);
    std::fill(blank->data(), blank->data() + blank->byteCount(), uint8_t(240));
    const auto none = fullText(*blank);
    ASSERT_TRUE(none) << none.error().description();
    EXPECT_TRUE(none->empty());
}

TEST(TesseractEngine, ChineseDataIsOnlyLoadedForHanScript) {
    const std::filesystem::path system = "/usr/share/tesseract-ocr/5/tessdata";
    if (!std::filesystem::exists(system / "eng.traineddata")) GTEST_SKIP() << "no system tessdata at " << system;
    testing::TempDir data;
    std::filesystem::create_symlink(system / "eng.traineddata", data / "eng.traineddata");
    ::setenv("TESSDATA_PREFIX", data.path().c_str(), 1);
    ocr::ModuleTextRecognizer recognizer(TESSARIN_OCR_MODULE);
    const auto english = recognizer.recognize(
        renderedText("Save the changes you made\nOpen Recent Settings", "DejaVu Sans 13px", 0x1a1a1a, 0xffffff),
        TextRecognitionManager::fullTextRequest());
    const auto chinese = recognizer.recognize(renderedText("正在识别图片中的文字", "WenQuanYi Micro Hei 16px", 0, 0xffffff),
                                              TextRecognitionManager::fullTextRequest());
    ::unsetenv("TESSDATA_PREFIX");
    EXPECT_TRUE(english) << english.error().description();
    ASSERT_FALSE(chinese);
    EXPECT_NE(chinese.error().description().find("chi_"), std::string::npos) << chinese.error().description();
}

TEST(TesseractEngine, MissingLanguageDataIsAnErrorNotACrash) {
    // A fresh engine (its own model cache) looking in an empty folder.
    ::setenv("TESSDATA_PREFIX", "/nonexistent-tessdata", 1);
    ocr::ModuleTextRecognizer recognizer(TESSARIN_OCR_MODULE);
    const auto blocks =
        recognizer.recognize(renderedText("Hello", "DejaVu Sans 13px", 0, 0xffffff), TextRecognitionManager::fullTextRequest());
    ::unsetenv("TESSDATA_PREFIX");
    ASSERT_FALSE(blocks);
    EXPECT_EQ(blocks.error().kind(), TextRecognitionError::Kind::missingLanguageData);
    EXPECT_NE(blocks.error().description().find("eng"), std::string::npos) << blocks.error().description();

    ocr::ModuleTextRecognizer absent("/nonexistent/libtessarin-ocr.so");
    const auto unavailable = absent.recognize(renderedText("Hello", "DejaVu Sans 13px", 0, 0xffffff), {});
    ASSERT_FALSE(unavailable);
    EXPECT_EQ(unavailable.error().kind(), TextRecognitionError::Kind::engineUnavailable);
}

}  // namespace
}  // namespace tessarin
