#pragma once
// Which of our windows leave the screen before it is read. Every top-level
// window does (the tray menu just chosen from, a dialog, the editor), unless
// it carries the stays-on-screen mark: pins belong to the desktop being
// captured, a spare thumbnail waits far off every screen anyway, and the
// capture overlays are taken down by the capture flow that showed them (a
// trigger that arrives while one shows is dropped and must leave it).

#include <QVariant>
#include <QWindow>

#include <cstdint>
#include <vector>

namespace tessarin {

inline constexpr const char* kStaysOnScreenProperty = "tessarinStaysOnScreen";

inline void markStaysOnScreen(QWindow& window, bool stays) { window.setProperty(kStaysOnScreenProperty, stays); }

// The native ids of our windows on the screen that a capture must not see.
std::vector<uint32_t> ownWindowsToHide();

}  // namespace tessarin
