#pragma once
// System-wide key grabs: the platform side of global shortcuts. The
// application assigns each grab an id; the grabber reports the id's key
// going down and coming up, whichever window has the focus.
//
// Used on the main thread only. The grabber does no waiting of its own: it
// hands the event loop a descriptor to watch (eventDescriptor()), and the
// loop calls processPendingEvents() when it is readable, so an idle
// application runs no timer for its shortcuts.

#include <functional>
#include <string>

#include "platform/KeyCombination.h"

namespace tessarin {

enum class KeyTransition { pressed, released };

enum class GrabOutcome {
    grabbed,     // every variant (with Caps Lock and Num Lock on or off) is ours
    refused,     // another client holds the combination in at least one variant
    unknownKey,  // the keyboard has no key for this keysym name
    failed,      // no keyboard, no connection, the back end cannot grab
};

struct GrabResult {
    GrabOutcome outcome = GrabOutcome::failed;
    std::string detail;  // for the log and the settings, empty when grabbed
    bool ok() const { return outcome == GrabOutcome::grabbed; }
};

class GlobalShortcutGrabber {
public:
    // A held key reports repeated presses and one release: the listener
    // decides what a press without a release means.
    using KeyListener = std::function<void(int id, KeyTransition transition)>;
    // After the keyboard mapping changed, every id is grabbed again; the
    // listener hears each id's new result.
    using RegrabListener = std::function<void(int id, const GrabResult& result)>;

    virtual ~GlobalShortcutGrabber() = default;

    virtual void setKeyListener(KeyListener listener) = 0;
    virtual void setRegrabListener(RegrabListener listener) = 0;

    // Grabs `combination` for `id`, first releasing what `id` held. A
    // refused grab keeps the variants that were granted.
    virtual GrabResult grab(int id, const KeyCombination& combination) = 0;
    virtual void release(int id) = 0;

    // The keysym name the key with this hardware code types with no
    // modifier ("1" for the key that types "!" with Shift), for the
    // shortcut recorder; empty when it is not known.
    virtual std::string unshiftedKeyName(uint32_t /*keycode*/) const { return {}; }

    // -1 when there is nothing to watch.
    virtual int eventDescriptor() const = 0;
    virtual void processPendingEvents() = 0;
};

// For hosts without global shortcuts (no display, tests): every grab fails
// with the reason it was built with.
class NullGlobalShortcutGrabber final : public GlobalShortcutGrabber {
public:
    explicit NullGlobalShortcutGrabber(std::string reason = "global shortcuts are not available here")
        : reason_(std::move(reason)) {}
    void setKeyListener(KeyListener) override {}
    void setRegrabListener(RegrabListener) override {}
    GrabResult grab(int, const KeyCombination&) override { return {GrabOutcome::failed, reason_}; }
    void release(int) override {}
    int eventDescriptor() const override { return -1; }
    void processPendingEvents() override {}

private:
    std::string reason_;
};

}  // namespace tessarin
