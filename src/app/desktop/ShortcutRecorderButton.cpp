#include "app/desktop/ShortcutRecorderButton.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QVBoxLayout>

#include "core/common/Localization.h"

namespace tessarin {
namespace {

QString qs(const std::string& text) { return QString::fromStdString(text); }

// X keysym names of the printable ASCII keys that are not letters or digits.
const char* punctuationKeysym(int key) {
    switch (key) {
        case Qt::Key_Space: return "space";
        case Qt::Key_Exclam: return "exclam";
        case Qt::Key_QuoteDbl: return "quotedbl";
        case Qt::Key_NumberSign: return "numbersign";
        case Qt::Key_Dollar: return "dollar";
        case Qt::Key_Percent: return "percent";
        case Qt::Key_Ampersand: return "ampersand";
        case Qt::Key_Apostrophe: return "apostrophe";
        case Qt::Key_ParenLeft: return "parenleft";
        case Qt::Key_ParenRight: return "parenright";
        case Qt::Key_Asterisk: return "asterisk";
        case Qt::Key_Plus: return "plus";
        case Qt::Key_Comma: return "comma";
        case Qt::Key_Minus: return "minus";
        case Qt::Key_Period: return "period";
        case Qt::Key_Slash: return "slash";
        case Qt::Key_Colon: return "colon";
        case Qt::Key_Semicolon: return "semicolon";
        case Qt::Key_Less: return "less";
        case Qt::Key_Equal: return "equal";
        case Qt::Key_Greater: return "greater";
        case Qt::Key_Question: return "question";
        case Qt::Key_At: return "at";
        case Qt::Key_BracketLeft: return "bracketleft";
        case Qt::Key_Backslash: return "backslash";
        case Qt::Key_BracketRight: return "bracketright";
        case Qt::Key_AsciiCircum: return "asciicircum";
        case Qt::Key_Underscore: return "underscore";
        case Qt::Key_QuoteLeft: return "grave";
        case Qt::Key_BraceLeft: return "braceleft";
        case Qt::Key_Bar: return "bar";
        case Qt::Key_BraceRight: return "braceright";
        case Qt::Key_AsciiTilde: return "asciitilde";
        default: return nullptr;
    }
}

const char* namedKeysym(int key) {
    switch (key) {
        case Qt::Key_Print: return "Print";
        case Qt::Key_Pause: return "Pause";
        case Qt::Key_ScrollLock: return "Scroll_Lock";
        case Qt::Key_Escape: return "Escape";
        case Qt::Key_Backspace: return "BackSpace";
        case Qt::Key_Delete: return "Delete";
        case Qt::Key_Insert: return "Insert";
        case Qt::Key_Return: return "Return";
        case Qt::Key_Enter: return "KP_Enter";
        case Qt::Key_Tab: return "Tab";
        case Qt::Key_Home: return "Home";
        case Qt::Key_End: return "End";
        case Qt::Key_PageUp: return "Prior";
        case Qt::Key_PageDown: return "Next";
        case Qt::Key_Left: return "Left";
        case Qt::Key_Right: return "Right";
        case Qt::Key_Up: return "Up";
        case Qt::Key_Down: return "Down";
        case Qt::Key_Shift: return "Shift_L";
        case Qt::Key_Control: return "Control_L";
        case Qt::Key_Alt: return "Alt_L";
        case Qt::Key_AltGr: return "ISO_Level3_Shift";
        case Qt::Key_Meta: return "Meta_L";
        case Qt::Key_Super_L: return "Super_L";
        case Qt::Key_Super_R: return "Super_R";
        case Qt::Key_CapsLock: return "Caps_Lock";
        case Qt::Key_NumLock: return "Num_Lock";
        default: return nullptr;
    }
}

}  // namespace

std::string keysymNameOf(int key) {
    if (key >= Qt::Key_A && key <= Qt::Key_Z) return std::string(1, static_cast<char>('a' + (key - Qt::Key_A)));
    if (key >= Qt::Key_0 && key <= Qt::Key_9) return std::string(1, static_cast<char>('0' + (key - Qt::Key_0)));
    if (key >= Qt::Key_F1 && key <= Qt::Key_F35) return "F" + std::to_string(key - Qt::Key_F1 + 1);
    if (const char* name = punctuationKeysym(key)) return name;
    if (const char* name = namedKeysym(key)) return name;
    return {};
}

uint8_t keyModifiersOf(Qt::KeyboardModifiers modifiers) {
    uint8_t bits = 0;
    if (modifiers & Qt::ControlModifier) bits |= KeyModifier::control;
    if (modifiers & Qt::AltModifier) bits |= KeyModifier::alt;
    if (modifiers & Qt::ShiftModifier) bits |= KeyModifier::shift;
    if (modifiers & Qt::MetaModifier) bits |= KeyModifier::super;
    return bits;
}

ShortcutRecorderButton::ShortcutRecorderButton(ShortcutName name, KeyboardShortcuts& shortcuts,
                                               ShortcutRecorder::ProblemLookup problem, KeyNameLookup unshiftedKeyName,
                                               QWidget* parent)
    : QWidget(parent),
      recorder_(name, shortcuts, std::move(problem)),
      unshiftedKeyName_(std::move(unshiftedKeyName)),
      record_(new QPushButton(this)),
      clear_(new QToolButton(this)),
      message_(new QLabel(this)) {
    setObjectName(qs("shortcut." + std::string(rawValue(name))));
    record_->setMinimumWidth(160);
    record_->installEventFilter(this);
    clear_->setText(QStringLiteral("×"));
    clear_->setToolTip(qs(localized("Clear Shortcut")));
    message_->setWordWrap(true);
    message_->setStyleSheet(QStringLiteral("color: #b3261e;"));
    auto* row = new QHBoxLayout;
    row->setContentsMargins(0, 0, 0, 0);
    row->addWidget(record_);
    row->addWidget(clear_);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->addLayout(row);
    column->addWidget(message_);
    QObject::connect(record_, &QPushButton::clicked, this, [this] {
        recorder_.isRecording() ? stopRecording() : startRecording();
    });
    QObject::connect(clear_, &QToolButton::clicked, this, [this] {
        stopRecording();
        recorder_.clear();
        refresh();
    });
    refresh();
}

void ShortcutRecorderButton::refresh() {
    record_->setText(qs(recorder_.displayText()));
    const std::string message = recorder_.message();
    message_->setText(qs(message));
    message_->setVisible(!message.empty());
    clear_->setEnabled(recorder_.displayText() != localized("Record Shortcut") || recorder_.isRecording());
}

void ShortcutRecorderButton::startRecording() {
    recorder_.startRecording();
    record_->setFocus(Qt::OtherFocusReason);
    record_->grabKeyboard();
    refresh();
}

void ShortcutRecorderButton::stopRecording() {
    if (recorder_.isRecording()) recorder_.cancelRecording();
    record_->releaseKeyboard();
    refresh();
}

bool ShortcutRecorderButton::eventFilter(QObject* watched, QEvent* event) {
    if (watched == record_ && event->type() == QEvent::FocusOut && recorder_.isRecording()) {
        stopRecording();
        return false;
    }
    if (watched != record_ || event->type() != QEvent::KeyPress || !recorder_.isRecording()) {
        return QWidget::eventFilter(watched, event);
    }
    const auto* key = static_cast<QKeyEvent*>(event);
    // The keyboard map knows what the key types unshifted on any layout;
    // Qt's key (shifted) is the fallback the recorder unshifts for US keys.
    std::string keysym;
    if (unshiftedKeyName_ && key->nativeScanCode() != 0) keysym = unshiftedKeyName_(key->nativeScanCode());
    if (keysym.empty()) keysym = keysymNameOf(key->key());
    const auto outcome = recorder_.keyPressed(keyModifiersOf(key->modifiers()), keysym);
    if (outcome != ShortcutRecorder::Outcome::keepRecording) record_->releaseKeyboard();
    refresh();
    return true;  // a recorded key never activates the button
}

}  // namespace tessarin
