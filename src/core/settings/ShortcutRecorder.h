#pragma once
// The shortcut recorder control's decisions, one per shortcut name. While
// recording, the first key that is not a modifier ends it: Escape alone
// cancels, Backspace or Delete alone clears the shortcut, any other key
// with its modifiers is assigned at once (the grabs follow the
// assignment). The key is recorded by its unshifted symbol, so Shift+1 is
// stored as "Shift+1", not "Shift+exclam", and reads the same on every
// layout of the same keys.
//
// A combination another of our names has is refused with a message; one
// another application holds is assigned, and the row shows the centre's
// reason ("held by another application") until it is freed.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "core/shell/KeyboardShortcuts.h"

namespace tessarin {

// The keysym name of the key with Shift released, for the keys a US layout
// shifts ("exclam" → "1", "A" → "a"); any other name unchanged.
std::string unshiftedKeyName(std::string_view keysym);
bool isModifierKeyName(std::string_view keysym);

class ShortcutRecorder {
public:
    enum class Outcome { keepRecording, cancelled, cleared, assigned, refused };
    // Why the name is not active (empty when it is), from the shortcut centre.
    using ProblemLookup = std::function<std::string(ShortcutName)>;

    ShortcutRecorder(ShortcutName name, KeyboardShortcuts& shortcuts, ProblemLookup problem);

    ShortcutName name() const { return name_; }
    bool isRecording() const { return recording_; }
    void startRecording();
    void cancelRecording();

    // A key pressed while recording; ignored (keepRecording) otherwise.
    Outcome keyPressed(uint8_t modifiers, std::string_view keysym);
    void clear();

    // What the control shows: the combination, "Record Shortcut" when there
    // is none, "Type Shortcut" while recording.
    std::string displayText() const;
    // The refusal of the last key, or the centre's reason the name is not
    // active; empty when all is well.
    std::string message() const;

private:
    ShortcutName name_;
    KeyboardShortcuts& shortcuts_;
    ProblemLookup problem_;
    bool recording_ = false;
    std::string refusal_;
};

}  // namespace tessarin
