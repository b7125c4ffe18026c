#include "app/desktop/DesktopLinks.h"

#include <QClipboard>
#include <QDBusConnection>
#include <QDBusInterface>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDir>
#include <QFileDialog>
#include <QGuiApplication>
#include <QImage>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QTimer>
#include <QVariantMap>
#include <cstring>
#include <vector>

#include "core/automation/URLLinkHandler.h"
#include "core/capture/CaptureHistoryAdmission.h"
#include "core/capture/CapturePersistenceTicket.h"
#include "core/common/Executor.h"
#include "core/common/Localization.h"
#include "core/common/Log.h"
#include "core/flow/CaptureFlowController.h"
#include "core/flow/CaptureFlowPorts.h"
#include "core/shell/TessarinApp.h"
#include "platform/OwnWindowHider.h"
#include "platform/ScreenBackend.h"
#include "render/ImageDecoder.h"

namespace tessarin {
namespace {

// Reads `path` on the background executor; the answer comes back on the main one.
void decodeInBackground(Executor& background, Executor& main, std::string path, Completion<DecodeResult> done) {
    runInBackground<DecodeResult>(background, main, [path = std::move(path)] { return decodeImageFile(path); },
                                  std::move(done));
}

std::optional<SharedImage> imageOf(const QImage& source) {
    if (source.isNull()) return std::nullopt;
    const QImage rgba = source.convertToFormat(QImage::Format_RGBA8888);
    auto image = Image::allocate(static_cast<uint32_t>(rgba.width()), static_cast<uint32_t>(rgba.height()));
    if (!image) return std::nullopt;
    for (uint32_t y = 0; y < image->height(); ++y) {
        std::memcpy(image->row(y), rgba.constScanLine(static_cast<int>(y)), image->stride());
    }
    return std::make_shared<const Image>(std::move(*image));
}

// Asks with our own dialog: "Cancel" is the default and Escape button, so a
// link that arrives while the user types cannot ride on the Enter key. The
// answer is given once the dialog is off the screen.
void askUser(OwnWindowHider& hider, const std::string& title, const std::string& message,
             const std::string& confirmTitle, std::function<void(bool)> answer) {
    auto* box = new QMessageBox(QMessageBox::Question, QString::fromStdString(title), QString::fromStdString(message));
    QPushButton* allow = box->addButton(QString::fromStdString(confirmTitle), QMessageBox::AcceptRole);
    QPushButton* cancel = box->addButton(QString::fromStdString(localized("Cancel")), QMessageBox::RejectRole);
    box->setDefaultButton(cancel);
    box->setEscapeButton(cancel);
    box->setWindowFlag(Qt::WindowStaysOnTopHint);
    box->setAttribute(Qt::WA_DeleteOnClose);
    QObject::connect(box, &QMessageBox::finished, box, [box, allow, &hider, answer = std::move(answer)] {
        const bool allowed = box->clickedButton() == allow;
        const std::vector<uint32_t> dialog{static_cast<uint32_t>(box->winId())};
        if (const auto hidden = hider.hide(dialog); !hidden) {
            logLine(LogLevel::error, LogCategory::app, "link.confirmation.hide " + hidden.error());
        }
        QTimer::singleShot(0, [answer, allowed] { answer(allowed); });
    });
    box->show();
    box->raise();
    box->activateWindow();
}

// Desktop icons through the desktop's own live setting.
class DesktopIcons {
public:
    explicit DesktopIcons(std::function<void(const std::string&, const std::string&)> warn) : warn_(std::move(warn)) {}

    void apply(DesktopIconAction action) {
        const QString desktop = qEnvironmentVariable("XDG_CURRENT_DESKTOP").toUpper();
        if (desktop.contains(QLatin1String("XFCE"))) {
            // 0: no icons; 2: file icons.
            readThenWrite(QStringLiteral("xfconf-query"),
                          {QStringLiteral("-c"), QStringLiteral("xfce4-desktop"), QStringLiteral("-p"),
                           QStringLiteral("/desktop-icons/style")},
                          action, [](const QString& value) { return value.trimmed() != QLatin1String("0"); },
                          [](bool show) {
                              return QStringList{QStringLiteral("-c"), QStringLiteral("xfce4-desktop"), QStringLiteral("-p"),
                                                 QStringLiteral("/desktop-icons/style"), QStringLiteral("-s"),
                                                 show ? QStringLiteral("2") : QStringLiteral("0")};
                          });
            return;
        }
        if (desktop.contains(QLatin1String("MATE"))) {
            readThenWrite(QStringLiteral("gsettings"),
                          {QStringLiteral("get"), QStringLiteral("org.mate.background"), QStringLiteral("show-desktop-icons")},
                          action, [](const QString& value) { return value.trimmed() == QLatin1String("true"); },
                          [](bool show) {
                              return QStringList{QStringLiteral("set"), QStringLiteral("org.mate.background"),
                                                 QStringLiteral("show-desktop-icons"),
                                                 show ? QStringLiteral("true") : QStringLiteral("false")};
                          });
            return;
        }
        if (desktop.contains(QLatin1String("GNOME"))) {
            applyGnomeExtension(action);
            return;
        }
        unavailable();
    }

private:
    static constexpr const char* kGnomeDesktopIcons = "ding@rastersoft.com";

    void unavailable() {
        warn_(localized("Desktop Icons Unavailable"), localized("Tessarin cannot hide or show desktop icons on this desktop."));
    }

    static bool visibleAfter(DesktopIconAction action, bool visibleNow) {
        switch (action) {
            case DesktopIconAction::hide: return false;
            case DesktopIconAction::show: return true;
            case DesktopIconAction::toggle: return !visibleNow;
        }
        return visibleNow;
    }

    // Reads the current setting with one run of `program`, then writes the new one.
    void readThenWrite(const QString& program, const QStringList& readArguments, DesktopIconAction action,
                       std::function<bool(const QString&)> visible, std::function<QStringList(bool)> writeArguments) {
        auto* reader = new QProcess;
        QObject::connect(reader, &QProcess::finished, reader, [this, reader, program, action, visible, writeArguments](int code) {
            reader->deleteLater();
            if (code != 0) return unavailable();
            const bool show = visibleAfter(action, visible(QString::fromUtf8(reader->readAllStandardOutput())));
            auto* writer = new QProcess;
            QObject::connect(writer, &QProcess::finished, writer, [writer] { writer->deleteLater(); });
            QObject::connect(writer, &QProcess::errorOccurred, writer, [writer] { writer->deleteLater(); });
            writer->start(program, writeArguments(show));
        });
        QObject::connect(reader, &QProcess::errorOccurred, reader, [this, reader](QProcess::ProcessError error) {
            if (error != QProcess::FailedToStart) return;
            reader->deleteLater();
            unavailable();
        });
        reader->start(program, readArguments);
    }

    void applyGnomeExtension(DesktopIconAction action) {
        QDBusInterface shell(QStringLiteral("org.gnome.Shell"), QStringLiteral("/org/gnome/Shell"),
                             QStringLiteral("org.gnome.Shell.Extensions"));
        if (!shell.isValid()) return unavailable();
        auto* watcher = new QDBusPendingCallWatcher(
            shell.asyncCall(QStringLiteral("GetExtensionInfo"), QString::fromLatin1(kGnomeDesktopIcons)));
        QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher, [this, watcher, action] {
            watcher->deleteLater();
            const QDBusPendingReply<QVariantMap> reply = *watcher;
            if (reply.isError() || reply.value().isEmpty()) return unavailable();
            // State 1 is "enabled".
            const bool visibleNow = reply.value().value(QStringLiteral("state")).toDouble() == 1.0;
            const bool show = visibleAfter(action, visibleNow);
            QDBusInterface extensions(QStringLiteral("org.gnome.Shell"), QStringLiteral("/org/gnome/Shell"),
                                      QStringLiteral("org.gnome.Shell.Extensions"));
            extensions.asyncCall(show ? QStringLiteral("EnableExtension") : QStringLiteral("DisableExtension"),
                                 QString::fromLatin1(kGnomeDesktopIcons));
        });
    }

    std::function<void(const std::string&, const std::string&)> warn_;
};

}  // namespace

DesktopLinks::DesktopLinks(Targets t) {
    auto warn = [&alerts = t.alerts](const std::string& title, const std::string& message) {
        alerts.showWarning(title, message);
    };
    auto icons = std::make_shared<DesktopIcons>(warn);
    URLCommandExecutor::Operations ops;
    auto start = t.startCapture;
    CaptureFlowController& flow = t.flow;
    AppState& state = t.app.appState();
    ops.startAllInOneCapture = [start, &flow] { start([&flow] { flow.startAllInOne(); }); };
    ops.startCapture = [start, &flow](CaptureMode mode, URLCommandExecutor::Action action) {
        start([&flow, mode, action] { flow.start(mode, action); });
    };
    ops.captureSelection = [start, &flow](const CaptureSelection& selection, URLCommandExecutor::Action action) {
        start([&flow, selection, action] { flow.captureSelection(selection, action); });
    };
    ops.replayLastCapture = [start, &flow](URLCommandExecutor::Action action) {
        start([&flow, action] { flow.replayLast(action); });
    };
    ops.startFullScreenCapture = [start, &flow](std::optional<uint32_t> id, URLCommandExecutor::Action action) {
        start([&flow, id, action] { flow.startFullScreen(id, action); });
    };
    ops.startSelfTimerCapture = [start, &flow](const CaptureSelection& selection, std::optional<int64_t> seconds,
                                               URLCommandExecutor::Action action) {
        std::optional<int> countdown;
        if (seconds) countdown = static_cast<int>(*seconds);  // already held to 1..60
        start([&flow, selection, countdown, action] { flow.startSelfTimer(selection, countdown, action); });
    };
    ops.startScrollingCapture = [start, &flow](std::optional<CaptureSelection> selection, std::optional<bool> autoscroll) {
        start([&flow, selection, autoscroll] { flow.startScrolling(selection, autoscroll); });
    };
    ops.startRecording = [&state] { state.perform(MenuAction::recordVideo, ActionSource::link); };
    ops.presentAnnotationEditor = [openEditor = t.openEditor](SharedImage image) { openEditor(std::move(image)); };
    ops.pinImage = [&pins = t.pins](SharedImage image) { pins.pin(std::move(image), nullptr); };
    ops.restoreRecentlyClosedPin = [&state] { state.perform(MenuAction::restoreRecentlyClosed, ActionSource::link); };
    ops.openHistory = [&state] { state.perform(MenuAction::openHistory, ActionSource::link); };
    ops.openSettings = [&state](std::optional<std::string> tab) {
        logLine(LogLevel::info, LogCategory::app, "link.open_settings tab=" + tab.value_or(""));
        state.openSettings(tab.value_or(""), ActionSource::link);
    };
    ops.applyDesktopIcons = [icons](DesktopIconAction action) { icons->apply(action); };
    ops.extractText = [&text = t.text](SharedImage image, bool collapse) { text.extract(std::move(image), collapse); };
    ops.addQuickAccessItem = [&admission = t.admission](SharedImage image,
                                                        std::function<void(std::optional<CaptureHistoryItem>)> done) {
        admission.admit(std::move(image), std::nullopt)->value([done](CapturePersistenceTicket::Result item) { done(item); });
    };
    ops.showQuickAccessOverlay = [&quickAccess = t.quickAccess, &main = t.main](const CaptureHistoryItem& item,
                                                                                SharedImage image) {
        quickAccess.present(std::move(image), CapturePersistenceTicket::resolved(main, item), ImageFormat::png(),
                            CaptureSessionInfo{item.captureID.value_or(item.id), CaptureMode::area});
    };
    ops.loadImage = [&background = t.background, &main = t.main](const std::string& path,
                                                                 URLCommandExecutor::ImageLoaded done) {
        decodeInBackground(background, main, path, [done](DecodeResult decoded) {
            if (!decoded) {
                done(unexpected(escapedForDisplay(decoded.error().message)));
                return;
            }
            done(std::make_shared<const Image>(std::move(*decoded)));
        });
    };
    ops.chooseImageFile = [&background = t.background, &main = t.main, warn](std::function<void(SharedImage)> use) {
        auto* dialog = new QFileDialog(nullptr, QString::fromStdString(localized("Open Image")), QDir::homePath(),
                                       QStringLiteral("Images (*.png *.jpg *.jpeg)"));
        dialog->setFileMode(QFileDialog::ExistingFile);
        dialog->setAttribute(Qt::WA_DeleteOnClose);
        QObject::connect(dialog, &QFileDialog::fileSelected, dialog, [&background, &main, warn, use](const QString& file) {
            decodeInBackground(background, main, file.toStdString(), [warn, use](DecodeResult decoded) {
                if (decoded) {
                    use(std::make_shared<const Image>(std::move(*decoded)));
                    return;
                }
                const bool unreadable = decoded.error().kind == DecodeError::Kind::fileSystem;
                warn(localized("Image Open Failed"), localized(unreadable ? "Failed to load screenshot image"
                                                                          : "Failed to decode screenshot image"));
            });
        });
        dialog->open();
    };
    ops.imageFromClipboard = [] { return imageOf(QGuiApplication::clipboard()->image()); };
    ops.resolveSelection = [&backend = t.backend](const CaptureTarget::PixelRect& rect,
                                                  const CaptureTarget::Display& display) -> CaptureTarget::SelectionResolution {
        const auto displays = backend.displays();
        if (!displays) return CaptureTarget::DisplayNotFound{};
        return CaptureTarget::resolveSelection(rect, display, *displays, backend.pointerLocation());
    };
    ops.resolveDisplayID = [&backend = t.backend](const CaptureTarget::Display& display) -> DisplayResolution {
        if (std::holds_alternative<CaptureTarget::Automatic>(display)) return CaptureTarget::Automatic{};
        const auto displays = backend.displays();
        if (!displays) return DisplayNotConnected{};
        const auto screen = CaptureTarget::explicitScreen(display, *displays);
        if (!screen || !screen->displayID) return DisplayNotConnected{};
        return *screen->displayID;
    };
    ops.warn = warn;

    URLLinkHandler::Ports ports;
    ports.confirmationRequired = [&preferences = t.app.preferences()] { return preferences.confirmURLSchemeActions(); };
    ports.presentConfirmation = [&hider = t.hider](const std::string& title, const std::string& message,
                                                   const std::string& confirmTitle, std::function<void(bool)> answer) {
        askUser(hider, title, message, confirmTitle, std::move(answer));
    };
    ports.warn = warn;
    handler_ = std::make_unique<URLLinkHandler>(std::move(ports), std::make_unique<URLCommandExecutor>(std::move(ops)));
}

DesktopLinks::~DesktopLinks() = default;

void DesktopLinks::handle(const std::string& link) {
    logLine(LogLevel::info, LogCategory::app, "link.received");
    handler_->handle(link);
}

}  // namespace tessarin
