#pragma once
// Whether the application starts when the user logs in. The registration
// itself (an autostart entry, a user service) is the only record of it, so
// the preferences ask the service rather than storing a copy that could
// disagree with it.

#include "core/common/Log.h"

namespace tessarin {

class LoginItemService {
public:
    virtual ~LoginItemService() = default;
    virtual bool isEnabled() = 0;
    // Failures are logged by the service; isEnabled() tells the outcome.
    virtual void setEnabled(bool enabled) = 0;
};

// For hosts that cannot start the application at login (the agent, tests).
class NullLoginItemService final : public LoginItemService {
public:
    bool isEnabled() override { return false; }
    void setEnabled(bool enabled) override {
        if (enabled) logLine(LogLevel::info, LogCategory::loginItem, "launch at login is not available here");
    }
};

}  // namespace tessarin
