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

    // Grabs every assigned name, logs each refusal ("shortcut.refused
    // name=<name> keys=<text> reason=<detail>"), and follows assignment
    // changes from then on.
    void registerAll();
    // Releases every grab and stops following changes (at quit).
    void releaseAll();

    ShortcutStatus status(ShortcutName name) const;
    // Whether a grab of this name was refused since start (first-run guide).
    bool wasRefused(ShortcutName name) const;
    // Why the name is not active, for the settings; empty when it is.
    std::string problem(ShortcutName name) const;

private:
    // implementation detail; see the .cpp
    struct NameState {
        ShortcutStatus status = ShortcutStatus::unassigned;
        bool everRefused = false;
        bool keyDown = false;
        std::string problem;
    };
    void grabName(ShortcutName name);
    void keyTransition(int id, KeyTransition transition);

    KeyboardShortcuts& shortcuts_;
    GlobalShortcutGrabber& grabber_;
    Action action_;
    std::array<NameState, allShortcutNames.size()> states_{};
    Subscription subscription_;
    bool registered_ = false;
};

}  // namespace tessarin
