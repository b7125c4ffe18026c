#include "core/settings/ShortcutRecorder.h"

#include <array>
#include <utility>

#include "core/common/Localization.h"
#include "core/shell/StatusBarMenu.h"

namespace tessarin {
namespace {

constexpr std::array<std::pair<std::string_view, std::string_view>, 21> kShiftedSymbols{{
    {"exclam", "1"},       {"at", "2"},          {"numbersign", "3"},  {"dollar", "4"},     {"percent", "5"},
    {"asciicircum", "6"},  {"ampersand", "7"},   {"asterisk", "8"},    {"parenleft", "9"},  {"parenright", "0"},
    {"underscore", "minus"}, {"plus", "equal"},  {"braceleft", "bracketleft"}, {"braceright", "bracketright"},
    {"bar", "backslash"},  {"colon", "semicolon"}, {"quotedbl", "apostrophe"}, {"less", "comma"},
    {"greater", "period"}, {"question", "slash"}, {"asciitilde", "grave"},
}};

constexpr std::array<std::string_view, 20> kModifierKeys{
    "Shift_L", "Shift_R", "Control_L", "Control_R", "Alt_L", "Alt_R", "Meta_L", "Meta_R", "Super_L", "Super_R",
    "Hyper_L", "Hyper_R", "ISO_Level3_Shift", "ISO_Level5_Shift", "Mode_switch", "Caps_Lock", "Num_Lock",
    "Shift_Lock", "ISO_Next_Group", "Multi_key"};

// A key that types a character needs Ctrl, Alt or Super, or every text
// field would lose it: Shift alone still types.
bool typesACharacter(std::string_view key) {
    if (key.size() == 1) return true;
    for (const auto& [shifted, plain] : kShiftedSymbols) {
        if (plain == key) return true;
    }
    return key == "space" || key == "Return" || key == "Tab" || key == "BackSpace" || key == "Delete" ||
           key == "Escape";
}

}  // namespace

std::string unshiftedKeyName(std::string_view keysym) {
    if (keysym.size() == 1 && keysym[0] >= 'A' && keysym[0] <= 'Z') {
        return std::string(1, static_cast<char>(keysym[0] - 'A' + 'a'));
    }
    for (const auto& [shifted, plain] : kShiftedSymbols) {
        if (shifted == keysym) return std::string(plain);
    }
    return std::string(keysym);
}

bool isModifierKeyName(std::string_view keysym) {
    for (const auto modifier : kModifierKeys) {
        if (modifier == keysym) return true;
    }
    return false;
}

ShortcutRecorder::ShortcutRecorder(ShortcutName name, KeyboardShortcuts& shortcuts, ProblemLookup problem)
    : name_(name), shortcuts_(shortcuts), problem_(std::move(problem)) {}

void ShortcutRecorder::startRecording() {
    recording_ = true;
    refusal_.clear();
}

void ShortcutRecorder::cancelRecording() { recording_ = false; }

ShortcutRecorder::Outcome ShortcutRecorder::keyPressed(uint8_t modifiers, std::string_view keysym) {
    if (!recording_ || keysym.empty() || isModifierKeyName(keysym)) return Outcome::keepRecording;
    const std::string key = unshiftedKeyName(keysym);
    if (modifiers == 0 && key == "Escape") {
        recording_ = false;
        return Outcome::cancelled;
    }
    if (modifiers == 0 && (key == "BackSpace" || key == "Delete")) {
        clear();
        return Outcome::cleared;
    }
    const bool commandModifier = (modifiers & (KeyModifier::control | KeyModifier::alt | KeyModifier::super)) != 0;
    if (!commandModifier && typesACharacter(key)) {
        refusal_ = localized("Add Ctrl, Alt or Super to this key: on its own it types.");
        return Outcome::keepRecording;
    }
    const auto combination = KeyCombination::parse(KeyCombination{modifiers, key}.text());
    if (!combination) {
        refusal_ = localized("This key cannot be used in a shortcut.");
        return Outcome::keepRecording;
    }
    recording_ = false;
    const auto holder = shortcuts_.nameAssigned(*combination);
    if (holder && *holder != name_) {
        refusal_ = localized("Already used by “") + menuTitle(menuActionOf(*holder)) + localized("”.");
        return Outcome::refused;
    }
    refusal_.clear();
    shortcuts_.setShortcut(name_, *combination);
    return Outcome::assigned;
}

void ShortcutRecorder::clear() {
    recording_ = false;
    refusal_.clear();
    shortcuts_.setShortcut(name_, std::nullopt);
}

std::string ShortcutRecorder::displayText() const {
    if (recording_) return localized("Type Shortcut");
    const auto combination = shortcuts_.shortcut(name_);
    return combination ? combination->displayText() : localized("Record Shortcut");
}

std::string ShortcutRecorder::message() const {
    if (!refusal_.empty()) return refusal_;
    return problem_ ? problem_(name_) : std::string();
}

}  // namespace tessarin
