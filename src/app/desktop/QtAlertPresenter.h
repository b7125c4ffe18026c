#pragma once
// Warnings as the desktop shows them: a dialog with a title and a message,
// shown without blocking the event loop (shortcuts and links keep working
// while it is up) and deleted when dismissed.

#include <string>

#include "core/shell/AppState.h"

class QMessageBox;

namespace tessarin {

// The warning dialog itself, logged, not yet shown: deleted when dismissed,
// above other windows.
QMessageBox* makeWarningBox(const std::string& title, const std::string& message);

class QtAlertPresenter final : public AlertPresenter {
public:
    void showWarning(const std::string& title, const std::string& message) override;
};

}  // namespace tessarin
