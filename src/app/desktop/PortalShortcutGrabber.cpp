#include "app/desktop/PortalShortcutGrabber.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusVariant>

#include "core/common/Log.h"
#include "core/shell/DesktopShortcutLinks.h"
#include "core/shell/ShortcutName.h"
#include "core/shell/StatusBarMenu.h"
#include "platform/PlatformChoice.h"
#include "platform/ShortcutGrabberFactory.h"

namespace tessarin {
namespace {

const QString kPortalService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString kPortalPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString kShortcutsInterface = QStringLiteral("org.freedesktop.portal.GlobalShortcuts");

// A method call gets this long; the portal's answer (which may wait for the
// person in a dialog) the longer deadline.
constexpr int kCallTimeoutMs = 5000;
constexpr std::chrono::milliseconds kAnswerTimeout{60000};
// Grabs made in one turn of the loop (all seven at start) make one session.
constexpr int kCoalesceMs = 0;

// One entry of the portal's a(sa{sv}) shortcut lists.
struct PortalShortcut {
    QString id;
    QVariantMap properties;
};
using PortalShortcutList = QList<PortalShortcut>;

QDBusArgument& operator<<(QDBusArgument& argument, const PortalShortcut& shortcut) {
    argument.beginStructure();
    argument << shortcut.id << shortcut.properties;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, PortalShortcut& shortcut) {
    argument.beginStructure();
    argument >> shortcut.id >> shortcut.properties;
    argument.endStructure();
    return argument;
}

}  // namespace
}  // namespace tessarin

Q_DECLARE_METATYPE(tessarin::PortalShortcut)
Q_DECLARE_METATYPE(tessarin::PortalShortcutList)

namespace tessarin {
namespace {

void registerTypes() {
    static const bool registered = [] {
        qDBusRegisterMetaType<PortalShortcut>();
        qDBusRegisterMetaType<PortalShortcutList>();
        return true;
    }();
    (void)registered;
}

// The shortcut's id towards the portal: the name the preferences use.
QString portalIdOf(int id) {
    if (id >= 0 && static_cast<size_t>(id) < allShortcutNames.size()) {
        return QString::fromUtf8(rawValue(allShortcutNames[static_cast<size_t>(id)]).data());
    }
    return QStringLiteral("shortcut-%1").arg(id);
}

QString descriptionOf(int id) {
    if (id >= 0 && static_cast<size_t>(id) < allShortcutNames.size()) {
        return QString::fromStdString(menuTitle(menuActionOf(allShortcutNames[static_cast<size_t>(id)])));
    }
    return portalIdOf(id);
}

// ":1.42" -> "1_42", as the portal names our request objects.
QString senderPart(const QDBusConnection& bus) {
    QString name = bus.baseService();
    if (name.startsWith(QLatin1Char(':'))) name.remove(0, 1);
    return name.replace(QLatin1Char('.'), QLatin1Char('_'));
}

QString pathOf(const QVariant& value) {
    if (value.canConvert<QDBusObjectPath>()) return value.value<QDBusObjectPath>().path();
    return value.toString();
}

std::string responseReason(uint response) {
    return response == 1 ? "the request was cancelled" : "the portal could not do it (response " + std::to_string(response) + ")";
}

}  // namespace

std::string portalTriggerText(const KeyCombination& combination) {
    static constexpr std::pair<uint8_t, std::string_view> names[] = {
        {KeyModifier::control, "CTRL"}, {KeyModifier::alt, "ALT"}, {KeyModifier::shift, "SHIFT"},
        {KeyModifier::super, "LOGO"}};
    std::string text;
    for (const auto& [bit, name] : names) {
        if ((combination.modifiers & bit) == 0) continue;
        text += name;
        text += '+';
    }
    return text + combination.key;
}

std::string missingShortcutPortalReason() {
    return "this desktop has no global shortcuts portal (org.freedesktop.portal.GlobalShortcuts); bind each "
           "action's link to a key in the desktop's own keyboard settings instead";
}

std::unique_ptr<GlobalShortcutGrabber> makeDesktopShortcutGrabber(std::string& whyNot, bool& throughDesktop) {
    throughDesktop = false;
    if (choosePlatform(processEnvironment()).kind != PlatformChoice::Kind::portal) {
        return makeGlobalShortcutGrabber(&whyNot);
    }
    if (auto portal = PortalShortcutGrabber::open(&whyNot)) return portal;
    throughDesktop = true;
    return std::make_unique<NullGlobalShortcutGrabber>(whyNot);
}

PortalShortcutGrabber::PortalShortcutGrabber() {
    pendingChanges_.setSingleShot(true);
    pendingChanges_.setInterval(kCoalesceMs);
    connect(&pendingChanges_, &QTimer::timeout, this, [this] { startSession(); });
    answerDeadline_.setSingleShot(true);
    answerDeadline_.setInterval(kAnswerTimeout);
    connect(&answerDeadline_, &QTimer::timeout, this, [this] {
        stopWaiting();
        failAll("the shortcuts portal did not answer within " +
                std::to_string(std::chrono::duration_cast<std::chrono::seconds>(kAnswerTimeout).count()) + " s");
    });
}

std::unique_ptr<PortalShortcutGrabber> PortalShortcutGrabber::open(std::string* whyNot) {
    auto fail = [whyNot](std::string reason) {
        if (whyNot) *whyNot = std::move(reason);
        return std::unique_ptr<PortalShortcutGrabber>();
    };
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) return fail("no session bus, so no desktop portal: " + missingShortcutPortalReason());
    QDBusMessage ask = QDBusMessage::createMethodCall(kPortalService, kPortalPath,
                                                      QStringLiteral("org.freedesktop.DBus.Properties"),
                                                      QStringLiteral("Get"));
    ask.setArguments({kShortcutsInterface, QStringLiteral("version")});
    const QDBusMessage answer = bus.call(ask, QDBus::Block, kCallTimeoutMs);
    if (answer.type() != QDBusMessage::ReplyMessage) {
        logLine(LogLevel::info, LogCategory::app,
                "shortcuts.portal missing error=" + answer.errorName().toStdString() + " message=\"" +
                    answer.errorMessage().toStdString() + "\"");
        return fail(missingShortcutPortalReason());
    }
    registerTypes();
    std::unique_ptr<PortalShortcutGrabber> grabber(new PortalShortcutGrabber);
    const bool listening = bus.connect(kPortalService, kPortalPath, kShortcutsInterface, QStringLiteral("Activated"),
                                       grabber.get(), SLOT(activated(QDBusMessage)));
    if (!listening) return fail("cannot listen to the shortcuts portal's activations: " + bus.lastError().message().toStdString());
    const QVariant version = answer.arguments().value(0).value<QDBusVariant>().variant();
    logLine(LogLevel::info, LogCategory::app, "shortcuts.portal version=" + std::to_string(version.toUInt()));
    // Every name is offered, even before (or without) any grab.
    grabber->scheduleSession();
    if (whyNot) whyNot->clear();
    return grabber;
}

PortalShortcutGrabber::~PortalShortcutGrabber() {
    stopWaiting();
    closeSession();
}

void PortalShortcutGrabber::setKeyListener(KeyListener listener) {
    if (keyListener_ && !listener) {
        retired_ = true;
        pendingChanges_.stop();
    }
    keyListener_ = std::move(listener);
}

GrabResult PortalShortcutGrabber::grab(int id, const KeyCombination& combination) {
    wanted_[id] = combination;
    scheduleSession();
    return {GrabOutcome::grabbed, {}};
}

void PortalShortcutGrabber::release(int id) {
    if (wanted_.erase(id) == 0) return;
    scheduleSession();
}

void PortalShortcutGrabber::scheduleSession() {
    if (retired_) return;
    // A session being set up is replaced once it has answered.
    if (!requestPath_.isEmpty()) {
        changedWhileWaiting_ = true;
        return;
    }
    pendingChanges_.start();
}

void PortalShortcutGrabber::closeSession() {
    if (sessionPath_.isEmpty()) return;
    QDBusMessage close = QDBusMessage::createMethodCall(kPortalService, sessionPath_,
                                                        QStringLiteral("org.freedesktop.portal.Session"),
                                                        QStringLiteral("Close"));
    QDBusConnection::sessionBus().call(close, QDBus::NoBlock);
    sessionPath_.clear();
}

QVariant PortalShortcutGrabber::shortcutList() const {
    PortalShortcutList list;
    for (size_t i = 0; i < allShortcutNames.size(); ++i) {
        const int id = static_cast<int>(i);
        PortalShortcut shortcut{portalIdOf(id), {{QStringLiteral("description"), descriptionOf(id)}}};
        if (const auto found = wanted_.find(id); found != wanted_.end()) {
            shortcut.properties.insert(QStringLiteral("preferred_trigger"),
                                       QString::fromStdString(portalTriggerText(found->second)));
        }
        list.push_back(std::move(shortcut));
    }
    return QVariant::fromValue(list);
}

void PortalShortcutGrabber::startSession() {
    closeSession();
    changedWhileWaiting_ = false;
    ++sessionsCreated_;
    QVariantMap options;
    options.insert(QStringLiteral("session_handle_token"), QStringLiteral("tessarin%1").arg(sessionsCreated_));
    // Back ends that follow an early draft of the interface register only
    // the shortcuts named here; BindShortcuts below covers the others.
    options.insert(QStringLiteral("shortcuts"), shortcutList());
    std::string error;
    if (!request(QStringLiteral("CreateSession"), {options}, SLOT(createResponse(uint, QVariantMap)), error)) {
        failAll("the shortcuts portal refused the session: " + error);
    }
}

bool PortalShortcutGrabber::request(const QString& method, QVariantList arguments, const char* slot,
                                    std::string& error) {
    static int counter = 0;
    const QString token = QStringLiteral("tessarin_shortcuts%1").arg(++counter);
    QDBusConnection bus = QDBusConnection::sessionBus();
    const QString path = kPortalPath + QStringLiteral("/request/") + senderPart(bus) + QLatin1Char('/') + token;
    // Listening before asking: the answer may come before the call returns.
    bus.connect(kPortalService, path, QStringLiteral("org.freedesktop.portal.Request"), QStringLiteral("Response"),
                this, slot);
    QVariantMap options = arguments.takeLast().toMap();
    options.insert(QStringLiteral("handle_token"), token);
    arguments.push_back(options);
    QDBusMessage call = QDBusMessage::createMethodCall(kPortalService, kPortalPath, kShortcutsInterface, method);
    call.setArguments(arguments);
    const QDBusMessage reply = bus.call(call, QDBus::Block, kCallTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage) {
        bus.disconnect(kPortalService, path, QStringLiteral("org.freedesktop.portal.Request"),
                       QStringLiteral("Response"), this, slot);
        error = reply.errorName().toStdString() + ": " + reply.errorMessage().toStdString();
        return false;
    }
    requestPath_ = path;
    answerDeadline_.start();
    return true;
}

void PortalShortcutGrabber::stopWaiting() {
    answerDeadline_.stop();
    if (requestPath_.isEmpty()) return;
    QDBusConnection bus = QDBusConnection::sessionBus();
    for (const char* slot : {SLOT(createResponse(uint, QVariantMap)), SLOT(bindResponse(uint, QVariantMap))}) {
        bus.disconnect(kPortalService, requestPath_, QStringLiteral("org.freedesktop.portal.Request"),
                       QStringLiteral("Response"), this, slot);
    }
    requestPath_.clear();
}

void PortalShortcutGrabber::createResponse(uint response, const QVariantMap& results) {
    stopWaiting();
    if (response != 0) return failAll("the shortcuts portal gave no session: " + responseReason(response));
    sessionPath_ = pathOf(results.value(QStringLiteral("session_handle")));
    logLine(LogLevel::info, LogCategory::app,
            "shortcuts.session handle=" + sessionPath_.toStdString() + " triggers=" + std::to_string(wanted_.size()));
    if (changedWhileWaiting_) return scheduleSession();
    std::string error;
    const QVariantList arguments{QVariant::fromValue(QDBusObjectPath(sessionPath_)), shortcutList(), QString(),
                                 QVariantMap()};
    if (!request(QStringLiteral("BindShortcuts"), arguments, SLOT(bindResponse(uint, QVariantMap)), error)) {
        failAll("the shortcuts portal did not bind the shortcuts: " + error);
    }
}

void PortalShortcutGrabber::bindResponse(uint response, const QVariantMap&) {
    stopWaiting();
    if (response != 0) return failAll("the desktop did not bind the shortcuts: " + responseReason(response));
    logLine(LogLevel::info, LogCategory::app, "shortcuts.bound session=" + sessionPath_.toStdString());
    if (changedWhileWaiting_) scheduleSession();
}

void PortalShortcutGrabber::activated(const QDBusMessage& signal) {
    const QVariantList arguments = signal.arguments();
    if (arguments.size() < 2 || pathOf(arguments[0]) != sessionPath_) return;
    const QString shortcutId = arguments[1].toString();
    logLine(LogLevel::info, LogCategory::app, "shortcuts.activated id=" + shortcutId.toStdString());
    for (const auto& [id, combination] : wanted_) {
        if (portalIdOf(id) != shortcutId) continue;
        // Copies: the listener may grab or release, changing what we hold.
        const KeyListener listener = keyListener_;
        const int which = id;
        if (!listener) return;
        listener(which, KeyTransition::pressed);
        listener(which, KeyTransition::released);
        return;
    }
    const auto name = shortcutNameFromRawValue(shortcutId.toStdString());
    const auto listener = unassignedListener_;
    if (name && listener) listener(*name);
}

void PortalShortcutGrabber::failAll(const std::string& reason) {
    logLine(LogLevel::error, LogCategory::app, "shortcuts.portal_failed reason=\"" + reason + "\"");
    const RegrabListener listener = regrabListener_;
    if (!listener) return;
    const auto ids = wanted_;
    for (const auto& [id, combination] : ids) listener(id, {GrabOutcome::failed, reason});
}

}  // namespace tessarin
