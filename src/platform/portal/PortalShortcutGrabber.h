#pragma once
// Global shortcuts on Wayland, through the desktop portal's GlobalShortcuts
// interface: the compositor, not the application, owns the keys. The
// application proposes a trigger per shortcut; the desktop binds it
// (possibly after asking the person, possibly to other keys) and reports
// each activation as a D-Bus signal.
//
// The session offers every shortcut it was opened with, so the desktop's
// own settings list every action; a shortcut with a combination grabbed
// proposes it as its trigger. A shortcut the person bound only in the
// desktop's settings reaches the unassigned listener when used.
//
// One portal session carries every shortcut. Grabs and releases only change
// the wanted set; the session is created afresh with the whole set, once per
// turn of the caller's event loop, because some portal back ends (KDE
// Plasma 5.27) register only the shortcuts passed when the session is
// created and ignore later BindShortcuts calls.
//
// The portal is talked to on a thread of the grabber's own (its requests
// may wait a minute for the person); what it reports reaches the caller's
// thread through eventDescriptor()/processPendingEvents(), like key events
// from the X server. A grab answers `grabbed` at once: the portal answers
// later. When the session cannot be had (the portal refuses, fails or does
// not answer in time), every wanted id hears `failed` with the reason
// through the regrab listener, so the settings show it.
//
// Activations come as one signal per use, not as key transitions: each is
// reported as a press followed by its release, which runs the action once.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/GlobalShortcutGrabber.h"

namespace tessarin {

// The trigger text the portal expects for a combination ("CTRL+SHIFT+Print"):
// the portal's modifier names (CTRL, ALT, SHIFT, LOGO), then the keysym name.
std::string portalTriggerText(const KeyCombination& combination);

// What the settings and the guide say where the desktop has no shortcut
// portal: how to give each action a key of the desktop's own.
std::string missingShortcutPortalReason();

// One shortcut the session offers: its id towards the portal (stable across
// starts: the desktop keeps the person's keys under it) and what the
// desktop's settings show for it.
struct PortalShortcutOffer {
    std::string id;
    std::string description;
};

class PortalShortcutGrabber final : public GlobalShortcutGrabber {
public:
    // `offered[i]` is the shortcut of grab id i. Null, with `whyNot` set,
    // when there is no session bus or the desktop portal has no
    // GlobalShortcuts interface.
    static std::unique_ptr<PortalShortcutGrabber> open(std::vector<PortalShortcutOffer> offered, std::string* whyNot);
    ~PortalShortcutGrabber() override;

    // The caller lets go of its listener when it releases every grab at
    // quit: the releases that follow make no new session.
    void setKeyListener(KeyListener listener) override;
    void setRegrabListener(RegrabListener listener) override { regrabListener_ = std::move(listener); }
    // Activations of offered shortcuts that have no grab, by their grab id.
    void setUnassignedListener(std::function<void(int id)> listener) { unassignedListener_ = std::move(listener); }
    GrabResult grab(int id, const KeyCombination& combination) override;
    void release(int id) override;
    int eventDescriptor() const override;
    void processPendingEvents() override;

    class Worker;

private:
    PortalShortcutGrabber(std::vector<PortalShortcutOffer> offered, std::unique_ptr<Worker> worker);
    void changed();
    void failAll(const std::string& reason);

    std::vector<PortalShortcutOffer> offered_;
    std::unique_ptr<Worker> worker_;
    std::map<int, KeyCombination> wanted_;
    KeyListener keyListener_;
    RegrabListener regrabListener_;
    std::function<void(int)> unassignedListener_;
    bool changesPending_ = false;
    bool retired_ = false;
    uint64_t requested_ = 0;  // the generation of the newest session asked for
};

}  // namespace tessarin
