#pragma once
// Keeps the platform's key grabs in step with the shortcut assignments and
// turns key transitions into actions: an action runs once, when the key of
// a combination comes up after going down while grabbed. A held key
// (repeated presses, one release) runs it once; a release without its
// press (the key was down before the grab) runs nothing.
//
// Main thread. The status of each name is kept for the settings and the
// first-run guide: whether its combination is active, and whether any grab
// of it was ever refused because another client holds it.

#include <array>
#include <functional>
#include <optional>
#include <string>

#include "core/shell/KeyboardShortcuts.h"
#include "platform/GlobalShortcutGrabber.h"

namespace tessarin {

enum class ShortcutStatus {
    unassigned,
    active,       // grabbed in every variant
    refused,      // another client holds it (in at least one variant)
    unavailable,  // no such key, or the platform cannot grab
};

class GlobalShortcutCenter {
public:
    using Action = std::function<void(ShortcutName)>;

    GlobalShortcutCenter(KeyboardShortcuts& shortcuts, GlobalShortcutGrabber& grabber, Action action);
    ~GlobalShortcutCenter();  // releases every grab
    GlobalShortcutCenter(const GlobalShortcutCenter&) = delete;
    GlobalShortcutCenter& operator=(const GlobalShortcutCenter&) = delete;

    // Grabs every assigned name (the grab id is the name's index in
    // allShortcutNames), logs each refusal ("shortcut.refused name=<name>
    // keys=<text> reason=<detail>"), and follows assignment changes from
    // then on. A combination that an earlier-grabbed name already has is
    // not grabbed again: that name is unavailable until it changes.
    void registerAll();
    // Releases every grab and stops following changes (at quit).
    void releaseAll();

    ShortcutStatus status(ShortcutName name) const;
    // Whether a grab of this name was refused since start (first-run guide).
    bool wasRefused(ShortcutName name) const;
    // Why the name is not active, for the settings (localised); empty when
    // it is active or has no combination.
    std::string problem(ShortcutName name) const;

private:
    struct NameState {
        ShortcutStatus status = ShortcutStatus::unassigned;
        // What the grabber was last asked to grab for this name (whatever
        // it answered): what must be released when the assignment changes.
        std::optional<KeyCombination> requested;
        bool everRefused = false;
        bool keyDown = false;
        std::string problem;
    };
    // Brings every grab in line with the assignments.
    void synchronize();
    void releaseName(ShortcutName name);
    void grabName(ShortcutName name, const KeyCombination& combination);
    void applyResult(ShortcutName name, const GrabResult& result);
    void regrabbed(int id, const GrabResult& result);
    void keyTransition(int id, KeyTransition transition);
    NameState* stateOf(int id);

    KeyboardShortcuts& shortcuts_;
    GlobalShortcutGrabber& grabber_;
    Action action_;
    std::array<NameState, allShortcutNames.size()> states_{};
    Subscription subscription_;
    bool registered_ = false;
};

}  // namespace tessarin
