#pragma once
// The lines that tell a person how to give each action a key of the
// desktop's own, where the application cannot take keys itself: an intro,
// one row per action with its command (selectable, to copy it), and a note
// on links. The settings' shortcut section and the first-run guide show it.

#include <QWidget>

namespace tessarin {

// Row labels are named "<prefix>.desktopShortcut.<name>" for the tests.
QWidget* desktopShortcutList(const QString& objectPrefix);

}  // namespace tessarin
