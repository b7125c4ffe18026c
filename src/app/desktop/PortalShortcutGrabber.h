#pragma once
// Global shortcuts on Wayland, through the desktop portal's GlobalShortcuts
// interface: the compositor, not the application, owns the keys. The
// application proposes a trigger per shortcut name; the desktop binds it
// (possibly after asking the person, possibly to other keys) and reports
// each activation as a D-Bus signal.
//
// The session offers all seven shortcut names, so the desktop's own settings
// list every action; a name with a combination in our settings proposes it
// as its trigger. A name the person bound only in the desktop's settings
// reaches the unassigned listener when used.
//
// One portal session carries every shortcut. Grabs and releases only
// change the wanted set; the session is created afresh from the event loop
// with the whole set, once per burst of changes, because some portal back
// ends (KDE Plasma 5.27) register only the shortcuts passed when the
// session is created and ignore later BindShortcuts calls.
//
// A grab answers `grabbed` at once: the portal answers later. When the
// session cannot be had (the portal refuses, fails or does not answer in
// time), every wanted id hears `failed` with the reason through the regrab
// listener, so the settings show it.
//
// Activations come as one signal per use, not as key transitions: each is
// reported as a press followed by its release, which runs the action once.

#include <QDBusMessage>
#include <QObject>
#include <QTimer>
#include <QVariantMap>
#include <chrono>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "core/shell/ShortcutName.h"
#include "platform/GlobalShortcutGrabber.h"

namespace tessarin {

// The trigger text the portal expects for a combination ("CTRL+SHIFT+Print"):
// the portal's modifier names (CTRL, ALT, SHIFT, LOGO), then the keysym name.
std::string portalTriggerText(const KeyCombination& combination);

// What the settings and the guide say where the desktop has no shortcut
// portal: how to give each action a key of the desktop's own.
std::string missingShortcutPortalReason();

// Key grabs as the screen back end is chosen (choosePlatform): with the
// portal back end through the desktop's GlobalShortcuts portal, which only
// some desktops offer; otherwise makeGlobalShortcutGrabber's. `whyNot` says
// why no key can be grabbed; `throughDesktop` whether the person must bind
// our links to the desktop's own keys instead.
std::unique_ptr<GlobalShortcutGrabber> makeDesktopShortcutGrabber(std::string& whyNot, bool& throughDesktop);

class PortalShortcutGrabber final : public QObject, public GlobalShortcutGrabber {
    Q_OBJECT
public:
    // Null, with `whyNot` set, when there is no session bus or the desktop
    // portal has no GlobalShortcuts interface.
    static std::unique_ptr<PortalShortcutGrabber> open(std::string* whyNot);
    ~PortalShortcutGrabber() override;

    // The centre lets go of its listener when it releases every grab at
    // quit: the releases that follow make no new session.
    void setKeyListener(KeyListener listener) override;
    void setRegrabListener(RegrabListener listener) override { regrabListener_ = std::move(listener); }
    // Activations of names that have no combination in our settings.
    void setUnassignedListener(std::function<void(ShortcutName)> listener) { unassignedListener_ = std::move(listener); }
    GrabResult grab(int id, const KeyCombination& combination) override;
    void release(int id) override;
    // Activations arrive through Qt's own D-Bus connection and event loop.
    int eventDescriptor() const override { return -1; }
    void processPendingEvents() override {}

private Q_SLOTS:
    void createResponse(uint response, const QVariantMap& results);
    void bindResponse(uint response, const QVariantMap& results);
    // Activated(o session_handle, s shortcut_id, t timestamp, a{sv} options)
    void activated(const QDBusMessage& signal);

private:
    PortalShortcutGrabber();
    void scheduleSession();
    void startSession();
    void closeSession();
    // Calls `method` with `arguments` (the last one an a{sv} of options, to
    // which the request's token is added) and routes the Response to `slot`;
    // false with `error` set when the call itself failed.
    bool request(const QString& method, QVariantList arguments, const char* slot, std::string& error);
    void stopWaiting();
    void failAll(const std::string& reason);
    QVariant shortcutList() const;

    std::map<int, KeyCombination> wanted_;
    KeyListener keyListener_;
    RegrabListener regrabListener_;
    std::function<void(ShortcutName)> unassignedListener_;
    QTimer pendingChanges_;  // coalesces a burst of grabs into one session
    QTimer answerDeadline_;  // how long the portal may take to answer a request
    QString requestPath_;    // the request whose Response is awaited
    QString sessionPath_;
    int sessionsCreated_ = 0;
    bool changedWhileWaiting_ = false;
    bool retired_ = false;
};

}  // namespace tessarin
