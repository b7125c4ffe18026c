#include "core/settings/ShortcutRecorder.h"

#include <gtest/gtest.h>

namespace tessarin {
namespace {

using Outcome = ShortcutRecorder::Outcome;
namespace M = KeyModifier;

struct ShortcutRecorderTest : ::testing::Test {
    InMemoryKeyValueStore store;
    KeyboardShortcuts shortcuts{store};
    std::string centreProblem;
    ShortcutRecorder recorder{ShortcutName::captureWindow, shortcuts, [this](ShortcutName) { return centreProblem; }};
    std::optional<KeyCombination> assigned() const { return shortcuts.shortcut(ShortcutName::captureWindow); }
};

TEST_F(ShortcutRecorderTest, KeysAreRecordedByTheirUnshiftedSymbol) {
    const struct { uint8_t modifiers; const char* keysym; const char* stored; } rows[] = {
        {M::control | M::shift, "exclam", "Ctrl+Shift+1"},
        {M::control | M::shift, "A", "Ctrl+Shift+a"},
        {M::alt, "question", "Alt+slash"},
        {0, "F5", "F5"},
        {M::super, "space", "Super+space"},
    };
    for (const auto& [modifiers, keysym, stored] : rows) {
        SCOPED_TRACE(keysym);
        recorder.startRecording();
        EXPECT_EQ(recorder.keyPressed(modifiers, keysym), Outcome::assigned);
        EXPECT_FALSE(recorder.isRecording());
        EXPECT_EQ(store.object("KeyboardShortcuts_captureWindow"), nlohmann::json(stored));
    }
}

TEST_F(ShortcutRecorderTest, ModifiersWaitCharacterKeysNeedACommandModifier) {
    recorder.startRecording();
    EXPECT_EQ(recorder.displayText(), "Type Shortcut");
    EXPECT_EQ(recorder.keyPressed(M::control, "Control_L"), Outcome::keepRecording);
    EXPECT_EQ(recorder.keyPressed(M::shift, "Shift_R"), Outcome::keepRecording);
    EXPECT_EQ(recorder.keyPressed(0, "a"), Outcome::keepRecording);
    EXPECT_EQ(recorder.keyPressed(M::shift, "exclam"), Outcome::keepRecording);
    EXPECT_EQ(recorder.message(), "Add Ctrl, Alt or Super to this key: on its own it types.");
    EXPECT_TRUE(recorder.isRecording());
    EXPECT_EQ(assigned(), std::nullopt);
    EXPECT_EQ(recorder.keyPressed(0, "a"), Outcome::keepRecording);
    EXPECT_EQ(recorder.keyPressed(M::control, "a"), Outcome::assigned);
    EXPECT_EQ(recorder.displayText(), "Ctrl+A");
    EXPECT_EQ(recorder.message(), "");
}

TEST_F(ShortcutRecorderTest, EscapeCancelsAndBackspaceClears) {
    shortcuts.setShortcut(ShortcutName::captureWindow, KeyCombination{M::alt, "w"});
    recorder.startRecording();
    EXPECT_EQ(recorder.keyPressed(0, "Escape"), Outcome::cancelled);
    EXPECT_EQ(assigned(), (KeyCombination{M::alt, "w"}));
    EXPECT_EQ(recorder.displayText(), "Alt+W");
    recorder.startRecording();
    EXPECT_EQ(recorder.keyPressed(0, "BackSpace"), Outcome::cleared);
    EXPECT_EQ(assigned(), std::nullopt);
    EXPECT_EQ(recorder.displayText(), "Record Shortcut");
    EXPECT_FALSE(store.contains("KeyboardShortcuts_captureWindow"));
    // Keys pressed while not recording are not the recorder's.
    EXPECT_EQ(recorder.keyPressed(M::control, "a"), Outcome::keepRecording);
    EXPECT_EQ(assigned(), std::nullopt);
}

TEST_F(ShortcutRecorderTest, AKeyAnotherNameHasIsRefusedAndAHeldOneShowsTheCentresReason) {
    shortcuts.setShortcut(ShortcutName::captureArea, KeyCombination{0, "Print"});
    recorder.startRecording();
    EXPECT_EQ(recorder.keyPressed(0, "Print"), Outcome::refused);
    EXPECT_EQ(recorder.message(), "Already used by “Capture Area”.");
    EXPECT_EQ(assigned(), std::nullopt);

    centreProblem = "held by another application";
    recorder.startRecording();
    EXPECT_EQ(recorder.keyPressed(M::shift, "Print"), Outcome::assigned);
    EXPECT_EQ(assigned(), (KeyCombination{M::shift, "Print"}));
    EXPECT_EQ(recorder.message(), "held by another application");
}

}  // namespace
}  // namespace tessarin
