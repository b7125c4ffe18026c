#pragma once
// KeyPressWatcher on X11: XInput 2 raw key events from the root window, on
// a connection of its own. Raw events go to every client that asks for
// them, whoever holds the focus or a grab, so watching takes nothing away.
// A held key's auto-repeat is not reported (raw events carry a repeat flag).

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/common/Expected.h"
#include "platform/KeyPressWatcher.h"
#include "platform/x11/X11Connection.h"

namespace tessarin::x11 {

class X11RawKeyWatcher final : public KeyPressWatcher {
public:
    // Watches the key named `keyName` (an X keysym name, "Escape"). Fails
    // with a sentence when the display, XInput 2 or the key is missing.
    static Expected<std::unique_ptr<X11RawKeyWatcher>, std::string> open(const std::string& displayName,
                                                                      const std::string& keyName,
                                                                      std::function<void()> pressed);

    int eventDescriptor() const override;
    void processPendingEvents() override;

private:
    X11RawKeyWatcher(std::unique_ptr<X11Connection> connection, std::vector<uint8_t> keycodes, uint8_t xinputOpcode,
                     std::function<void()> pressed);

    std::unique_ptr<X11Connection> connection_;
    std::vector<uint8_t> keycodes_;
    uint8_t xinputOpcode_ = 0;
    std::function<void()> pressed_;
};

// The watcher for this session, or nothing with the reason in `whyNot`.
std::unique_ptr<KeyPressWatcher> watchKeyPresses(const std::string& keyName, std::function<void()> pressed,
                                                 std::string* whyNot = nullptr);

}  // namespace tessarin::x11
