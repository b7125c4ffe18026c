#include "platform/KeyCombination.h"

#include <gtest/gtest.h>

namespace tessarin {
namespace {

TEST(KeyCombinationParse, AcceptsAnyOrderAndCaseAndWritesTheCanonicalForm) {
    const struct { const char* input; const char* text; const char* shown; } rows[] = {
        {"Print", "Print", "Print"},
        {"shift+alt+ctrl+T", "Ctrl+Alt+Shift+t", "Ctrl+Alt+Shift+T"},
        {"Meta+Control+a", "Ctrl+Super+a", "Ctrl+Super+A"},
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

}  // namespace
}  // namespace tessarin
