#include <gtest/gtest.h>

#include "platform/portal/PortalShortcutGrabber.h"
#include "app/desktop/PortalWindowSources.h"

namespace tessarin {
namespace {

// The GlobalShortcuts portal's trigger syntax: CTRL, ALT, SHIFT, LOGO in
// that order, then the keysym name as stored.
TEST(PortalTriggerTextTest, ModifiersInThePortalsOrderThenTheKey) {
    const struct {
        const char* stored;
        const char* trigger;
    } rows[] = {
        {"Print", "Print"},
        {"Shift+Print", "SHIFT+Print"},
        {"Ctrl+Alt+t", "CTRL+ALT+t"},
        {"Super+Shift+F5", "SHIFT+LOGO+F5"},
        {"Meta+Control+Alt+Shift+space", "CTRL+ALT+SHIFT+LOGO+space"},
    };
    for (const auto& row : rows) {
        const auto combination = KeyCombination::parse(row.stored);
        ASSERT_TRUE(combination) << row.stored;
        EXPECT_EQ(portalTriggerText(*combination), row.trigger) << row.stored;
    }
}

// What the window mode says names what is missing and what would provide it.
TEST(WindowPickReasonTest, NamesTheMissingPortalOrSourceType) {
    const std::string noPortal = windowPickUnavailableReason({});
    EXPECT_NE(noPortal.find("no screen-sharing portal (org.freedesktop.portal.ScreenCast)"), std::string::npos);
    const std::string screensOnly = windowPickUnavailableReason({true, false});
    EXPECT_NE(screensOnly.find("shares whole screens only"), std::string::npos);
    for (const std::string& reason : {noPortal, screensOnly}) {
        EXPECT_NE(reason.find("GNOME's and KDE Plasma's portals"), std::string::npos) << reason;
        EXPECT_NE(reason.find("Capture an area or the full screen instead."), std::string::npos) << reason;
    }
}

}  // namespace
}  // namespace tessarin
