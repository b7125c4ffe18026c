#include "app/desktop/QtFileManager.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QProcess>
#include <QStringList>
#include <memory>

#include "core/common/Log.h"

namespace tessarin {
namespace {

constexpr int showItemsTimeoutMs = 5000;

}  // namespace

void QtFileManager::showItems(const std::vector<std::string>& uris, Completion<bool> done) {
    auto answer = std::make_shared<Completion<bool>>(std::move(done));
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) return (*answer)(false);
    QStringList list;
    for (const auto& uri : uris) list << QString::fromStdString(uri);
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("/org/freedesktop/FileManager1"),
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
    // No startup notification id: we have none to hand over.
    call << list << QString();
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, showItemsTimeoutMs));
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, [answer](QDBusPendingCallWatcher* finished) {
        const QDBusPendingReply<> reply = *finished;
        if (reply.isError()) {
            logLine(LogLevel::info, LogCategory::app,
                    "history.reveal show_items error=" + reply.error().name().toStdString());
        }
        (*answer)(!reply.isError());
        finished->deleteLater();
    });
}

bool QtFileManager::openFolder(const std::string& uri) {
    return QProcess::startDetached(QStringLiteral("xdg-open"), {QString::fromStdString(uri)});
}

}  // namespace tessarin
