#include "app/desktop/QtAlertPresenter.h"

#include <QMessageBox>

#include "core/common/Log.h"

namespace tessarin {

QMessageBox* makeWarningBox(const std::string& title, const std::string& message) {
    logLine(LogLevel::info, LogCategory::app, "alert.warning title=" + title + " message=" + message);
    auto* box = new QMessageBox(QMessageBox::Warning, QString::fromStdString(title), QString::fromStdString(message),
                                QMessageBox::Ok);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowFlag(Qt::WindowStaysOnTopHint);
    return box;
}

void QtAlertPresenter::showWarning(const std::string& title, const std::string& message) {
    QMessageBox* box = makeWarningBox(title, message);
    box->show();
    box->raise();
    box->activateWindow();
}

}  // namespace tessarin
