#include <gtest/gtest.h>

#include "ocr/LineReadings.h"

namespace tessarin::ocr {
namespace {

Line line(std::string text, Rect box, double confidence) { return {std::move(text), box, confidence, false, {}}; }

TEST(LineReadings, HanIsCountedByCharacterNotByByte) {
    EXPECT_EQ(hanCharacterCount("\u4fdd\u5b58 Save \u8a2d\u5b9a"), 4u);
    EXPECT_EQ(hanCharacterCount("\u2018quoted\u2019 \u2014 text"), 0u);  // typographic marks are not Han
    EXPECT_TRUE(containsHan("ok \uf900"));
    EXPECT_FALSE(containsHan("plain"));
}

TEST(LineReadings, AHanFragmentNarrowerThanTheTextIsTallIsNoHan) {
    // Lines 13 pixels tall; a lone letter 6 pixels wide read as one Han
    // character, and a real Han character 14 pixels wide.
    EXPECT_FALSE(hasHanShape(line("\u5df2", {0, 0, 6, 9}, 0.9), 13));
    EXPECT_TRUE(hasHanShape(line("\u5df2", {0, 0, 14, 14}, 0.9), 13));
    // Longer readings and readings with Latin letters are left to confidence.
    EXPECT_TRUE(hasHanShape(line("\u4fdd\u5b58\u622a\u56fe", {0, 0, 20, 14}, 0.9), 13));
    EXPECT_TRUE(hasHanShape(line("\u4e0b Cat", {0, 0, 30, 14}, 0.9), 13));
}

TEST(LineReadings, HanReadingsReplaceOnlyUnsureLatinLinesTheyCoverInTheirPlace) {
    std::vector<Line> lines = {line("Settings", {0, 0, 100, 14}, 0.95), line("#@ ~~", {0, 20, 60, 14}, 0.3),
                               line("e", {0, 40, 6, 9}, 0.4), line("Open File", {0, 60, 100, 14}, 0.92)};
    const std::vector<Line> han = {line("\u6253\u5f00\u6587\u4ef6", {0, 19, 62, 16}, 0.85),
                                   line("\u5df2", {0, 40, 7, 10}, 0.9),        // a lone Latin letter
                                   line("\u8bbe\u7f6e", {0, 0, 100, 14}, 0.9)};  // over a sure line
    takeHanReadings(lines, han);
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0].text, "Settings");
    EXPECT_EQ(lines[1].text, "\u6253\u5f00\u6587\u4ef6");
    EXPECT_EQ(lines[2].text, "e");
    EXPECT_EQ(lines[3].text, "Open File");
}

TEST(LineReadings, TheMoreConfidentReadingOfTheSamePlaceWins) {
    std::vector<Line> lines = {line("Ln 42, Col17", {10, 10, 120, 12}, 0.7), line("UTF-8", {10, 30, 50, 12}, 0.95)};
    Line better = line("Ln 42, Col 17", {9, 10, 121, 13}, 0.9);
    better.glyphs = {{"L", {9, 10, 6, 9}, 0.9, true}};
    const std::vector<Line> others = {better, line("UTF-B", {10, 30, 50, 12}, 0.99)};
    takeMoreConfident(lines, others, [](const Line& l) { return l.confidence < 0.9; });
    EXPECT_EQ(lines[0].text, "Ln 42, Col 17");
    EXPECT_EQ(lines[0].glyphs.size(), 1u);
    EXPECT_EQ(lines[0].box, (Rect{10, 10, 120, 12}));  // the place stays the first reading's
    EXPECT_EQ(lines[1].text, "UTF-8");                  // not chosen: kept
}

TEST(LineReadings, TheRegionAroundChosenLinesHasAMarginAndStaysInTheImage) {
    const std::vector<Line> lines = {line("a", {100, 100, 50, 10}, 0.5), line("b", {10, 300, 20, 40}, 0.95)};
    const auto unsure = [](const Line& l) { return l.confidence < 0.8; };
    const PixelBounds around = regionAround(lines, 400, 400, unsure);
    EXPECT_EQ(around.left, 84u);  // a margin of 16 pixels at least
    EXPECT_EQ(around.top, 84u);
    EXPECT_EQ(around.right, 166u);
    EXPECT_EQ(around.bottom, 126u);
    const PixelBounds clipped = regionAround(lines, 400, 320, [](const Line&) { return true; });
    EXPECT_EQ(clipped.left, 0u);  // 10 - 60
    EXPECT_EQ(clipped.bottom, 320u);
    EXPECT_TRUE(regionAround(lines, 400, 400, [](const Line&) { return false; }).isEmpty());
}

}  // namespace
}  // namespace tessarin::ocr
