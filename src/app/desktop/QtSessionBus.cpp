#include "app/desktop/QtSessionBus.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusServiceWatcher>
#include <QEventLoop>
#include <QTimer>

#include "core/common/Log.h"

namespace tessarin {
namespace {

const QString busName = QString::fromUtf8(applicationBusName.data(), static_cast<int>(applicationBusName.size()));
const QString objectPath =
    QString::fromUtf8(applicationObjectPath.data(), static_cast<int>(applicationObjectPath.size()));
const QString applicationInterface = QStringLiteral("org.freedesktop.Application");
constexpr int forwardTimeoutMs = 5000;

void logBus(LogLevel level, const std::string& message) { logLine(level, LogCategory::app, message); }

}  // namespace

QtSessionBus::QtSessionBus() = default;

bool QtSessionBus::connected() const { return QDBusConnection::sessionBus().isConnected(); }

std::optional<std::string> QtSessionBus::nameOwner() {
    auto* bus = QDBusConnection::sessionBus().interface();
    if (!bus) return std::nullopt;
    const QDBusReply<QString> owner = bus->serviceOwner(busName);
    if (!owner.isValid() || owner.value().isEmpty()) return std::nullopt;
    return owner.value().toStdString();
}

SessionBus::Claim QtSessionBus::claimName(bool replaceExisting) {
    auto* bus = QDBusConnection::sessionBus().interface();
    if (!bus) return Claim::failed;
    const auto reply = bus->registerService(
        busName,
        replaceExisting ? QDBusConnectionInterface::ReplaceExistingService
                        : QDBusConnectionInterface::DontQueueService,
        QDBusConnectionInterface::AllowReplacement);
    if (!reply.isValid()) {
        logBus(LogLevel::error, "instance.claim failed: " + reply.error().message().toStdString());
        return Claim::failed;
    }
    return reply.value() == QDBusConnectionInterface::ServiceRegistered ? Claim::owned : Claim::taken;
}

bool QtSessionBus::forwardLinks(const std::vector<std::string>& links) {
    QStringList uris;
    for (const auto& link : links) uris << QString::fromStdString(link);
    auto call = QDBusMessage::createMethodCall(busName, objectPath, applicationInterface, QStringLiteral("Open"));
    call << uris << QVariantMap{};
    const auto reply = QDBusConnection::sessionBus().call(call, QDBus::Block, forwardTimeoutMs);
    if (reply.type() == QDBusMessage::ErrorMessage) {
        logBus(LogLevel::error, "instance.forward failed: " + reply.errorMessage().toStdString());
        return false;
    }
    return true;
}

bool QtSessionBus::waitUntilGone(const std::string& uniqueName, std::chrono::milliseconds limit) {
    const QString name = QString::fromStdString(uniqueName);
    auto connection = QDBusConnection::sessionBus();
    QDBusServiceWatcher watcher(name, connection, QDBusServiceWatcher::WatchForUnregistration);
    QEventLoop loop;
    QObject::connect(&watcher, &QDBusServiceWatcher::serviceUnregistered, &loop, &QEventLoop::quit);
    QTimer timeout;
    timeout.setSingleShot(true);
    QObject::connect(&timeout, &QTimer::timeout, &loop, &QEventLoop::quit);
    // Asked after the watch is in place, so a departure in between is seen.
    if (!connection.interface()->isServiceRegistered(name).value()) return true;
    timeout.start(static_cast<int>(limit.count()));
    loop.exec();
    return !connection.interface()->isServiceRegistered(name).value();
}

bool QtSessionBus::exportApplication(std::function<void(const std::string&)> open, std::function<void()> activate,
                                     ActionHandler action) {
    new ApplicationAdaptor(this, std::move(open), std::move(activate), std::move(action));
    return QDBusConnection::sessionBus().registerObject(objectPath, this);
}

void QtSessionBus::onNameLost(std::function<void()> lost) {
    lost_ = std::move(lost);
    QDBusConnection::sessionBus().connect(QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
                                          QStringLiteral("org.freedesktop.DBus"), QStringLiteral("NameLost"), this,
                                          SLOT(nameLost(QString)));
}

void QtSessionBus::releaseName() {
    if (auto* bus = QDBusConnection::sessionBus().interface()) bus->unregisterService(busName);
}

void QtSessionBus::nameLost(const QString& name) {
    if (name != busName || !lost_) return;
    logBus(LogLevel::info, "instance.replaced a newer copy took over; quitting");
    auto lost = std::move(lost_);
    lost_ = nullptr;
    lost();
}

ApplicationAdaptor::ApplicationAdaptor(QObject* parent, std::function<void(const std::string&)> open,
                                       std::function<void()> activate, QtSessionBus::ActionHandler action)
    : QDBusAbstractAdaptor(parent), open_(std::move(open)), activate_(std::move(activate)), action_(std::move(action)) {}

void ApplicationAdaptor::Activate(const QVariantMap&) {
    if (activate_) activate_();
}

void ApplicationAdaptor::Open(const QStringList& uris, const QVariantMap&) {
    for (const auto& uri : uris) {
        if (open_) open_(uri.toStdString());
    }
}

void ApplicationAdaptor::ActivateAction(const QString& name, const QVariantList& parameters, const QVariantMap&) {
    if (!action_) {
        logBus(LogLevel::info, "instance.action ignored name=" + name.toStdString());
        return;
    }
    std::vector<std::string> texts;
    for (const auto& parameter : parameters) texts.push_back(parameter.toString().toStdString());
    action_(name.toStdString(), texts);
}

}  // namespace tessarin
