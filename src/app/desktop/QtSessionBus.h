#pragma once
// The session bus through QtDBus: the single-instance protocol's seam
// (InstanceGuard.h), the org.freedesktop.Application object other starts
// forward their links to, and the signal that this copy lost the name to a
// newer one.

#include <QDBusAbstractAdaptor>
#include <QObject>
#include <QStringList>
#include <QVariantMap>
#include <functional>
#include <string>
#include <vector>

#include "core/shell/InstanceGuard.h"

namespace tessarin {

class QtSessionBus final : public QObject, public SessionBus {
    Q_OBJECT
public:
    QtSessionBus();

    bool connected() const override;
    std::optional<std::string> nameOwner() override;
    Claim claimName(bool replaceExisting) override;
    bool forwardLinks(const std::vector<std::string>& links) override;
    bool waitUntilGone(const std::string& uniqueName, std::chrono::milliseconds limit) override;

    // Exports the application object; `open` receives each forwarded link,
    // `activate` a plain activation, `action` a named action with its
    // parameters as text. False when the bus refused.
    using ActionHandler = std::function<void(const std::string& name, const std::vector<std::string>& parameters)>;
    bool exportApplication(std::function<void(const std::string& link)> open, std::function<void()> activate,
                           ActionHandler action = {});
    // Runs `lost` once the bus hands the name to another copy.
    void onNameLost(std::function<void()> lost);
    void releaseName();

private Q_SLOTS:
    void nameLost(const QString& name);

private:
    std::function<void()> lost_;
};

// org.freedesktop.Application on /io/tessarin/Tessarin.
class ApplicationAdaptor final : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Application")
public:
    ApplicationAdaptor(QObject* parent, std::function<void(const std::string&)> open, std::function<void()> activate,
                       QtSessionBus::ActionHandler action = {});

public Q_SLOTS:
    void Activate(const QVariantMap& platformData);
    void Open(const QStringList& uris, const QVariantMap& platformData);
    void ActivateAction(const QString& name, const QVariantList& parameters, const QVariantMap& platformData);

private:
    std::function<void(const std::string&)> open_;
    std::function<void()> activate_;
    QtSessionBus::ActionHandler action_;
};

}  // namespace tessarin
