#include "platform/KeyCombination.h"

#include <random>

#include <gtest/gtest.h>

namespace tessarin {
namespace {

TEST(KeyCombinationParse, AcceptsAnyOrderAndCaseAndWritesTheCanonicalForm) {
    const struct { const char* input; const char* text; const char* shown; } rows[] = {
        {"Print", "Print", "Print"},
        {"Shift+Print", "Shift+Print", "Shift+Print"},
        {"shift+alt+ctrl+T", "Ctrl+Alt+Shift+t", "Ctrl+Alt+Shift+T"},
        {"Meta+Control+a", "Ctrl+Super+a", "Ctrl+Super+A"},
        {"SUPER+F5", "Super+F5", "Super+F5"},
        {"Alt+space", "Alt+space", "Alt+space"},
        {"Ctrl+7", "Ctrl+7", "Ctrl+7"},
        {"Ctrl+Page_Up", "Ctrl+Page_Up", "Ctrl+Page_Up"},
    };
    for (const auto& [input, text, shown] : rows) {
        SCOPED_TRACE(input);
        const auto parsed = KeyCombination::parse(input);
        ASSERT_TRUE(parsed);
        EXPECT_EQ(parsed->text(), text);
        EXPECT_EQ(parsed->displayText(), shown);
        EXPECT_EQ(KeyCombination::parse(parsed->displayText()), parsed);
    }
}

TEST(KeyCombinationParse, RejectsWhatNamesNoSingleKey) {
    for (const char* input : {"", "+", "Ctrl+", "+a", "Ctrl++a", "Ctrl+Shift", "Shift", "Hyper+a", "Ctrl+Control+a",
                              "Meta+Super+a", "Ctrl+a+b", "Ctrl+ a", "Ctrl+a ", "Ctrl+ä", "Ctrl+-", "Ctrl+,"}) {
        SCOPED_TRACE(input);
        EXPECT_FALSE(KeyCombination::parse(input));
    }
}

// Any text: no crash, and what parses writes back to itself.
TEST(KeyCombinationParse, RandomTextNeverCrashesAndRoundTrips) {
    std::mt19937 random(20261206);
    const std::string alphabet = "+CtrlAltShiftSuperMetaControlPrint_aZ09 \t\xff-";
    const std::string words[] = {"Ctrl", "alt", "SHIFT", "Super", "meta", "Control", "Print", "a", "Q", "F12", ""};
    size_t parsed = 0;
    for (int round = 0; round < 20000; ++round) {
        std::string text;
        const int parts = static_cast<int>(random() % 6);
        for (int i = 0; i < parts; ++i) {
            if (i > 0) text += '+';
            if (random() % 3 == 0) {
                for (int n = static_cast<int>(random() % 5); n > 0; --n) text += alphabet[random() % alphabet.size()];
            } else {
                text += words[random() % std::size(words)];
            }
        }
        const auto combination = KeyCombination::parse(text);
        if (!combination) continue;
        ++parsed;
        EXPECT_FALSE(combination->key.empty()) << text;
        EXPECT_EQ(KeyCombination::parse(combination->text()), combination) << text;
    }
    EXPECT_GT(parsed, 100u);  // the generator does reach valid combinations
}

}  // namespace
}  // namespace tessarin
