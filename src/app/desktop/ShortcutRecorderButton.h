#pragma once
// The shortcut recorder control: a button showing the combination (click
// to record, then press the keys), a clear button, and a line under them
// with the reason the shortcut does not work (another application holds it)
// or why a key was refused. A thin view over ShortcutRecorder.

#include <QLabel>
#include <QPushButton>
#include <QToolButton>
#include <QWidget>
#include <functional>
#include <string>

#include "core/settings/ShortcutRecorder.h"

namespace tessarin {

class ShortcutRecorderButton final : public QWidget {
public:
    using KeyNameLookup = std::function<std::string(uint32_t keycode)>;
    ShortcutRecorderButton(ShortcutName name, KeyboardShortcuts& shortcuts, ShortcutRecorder::ProblemLookup problem,
                           KeyNameLookup unshiftedKeyName = {}, QWidget* parent = nullptr);

    // Shows the assignment and the problem as they stand now.
    void refresh();
    const ShortcutRecorder& recorder() const { return recorder_; }
    QPushButton* recordButton() { return record_; }
    QToolButton* clearButton() { return clear_; }
    QLabel* messageLabel() { return message_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void startRecording();
    void stopRecording();

    ShortcutRecorder recorder_;
    KeyNameLookup unshiftedKeyName_;
    QPushButton* record_;
    QToolButton* clear_;
    QLabel* message_;
};

// The keysym name of the key a Qt key event names ("a", "Print", "exclam",
// "Shift_L"), or empty for a key it does not know; and its modifiers as
// KeyModifier bits.
std::string keysymNameOf(int qtKey);
uint8_t keyModifiersOf(Qt::KeyboardModifiers modifiers);

}  // namespace tessarin
