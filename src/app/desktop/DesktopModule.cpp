// The desktop application, loaded by the program as libtessarin-desktop.so
// so agent commands never load Qt. Its one entry point runs the whole
// application behind the module barrier.

#include <QApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QSocketNotifier>
#include <QTimer>
#include <csignal>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "app/desktop/QtAlertPresenter.h"
#include "app/desktop/QtMainExecutor.h"
#include "app/desktop/QtSessionBus.h"
#include "app/desktop/QtWindowing.h"
#include "app/desktop/QuitSignals.h"
#include "app/desktop/DesktopCapture.h"
#include "app/desktop/DesktopWindows.h"
#include "app/desktop/SelectionOverlay.h"
#include "app/desktop/TrayIcon.h"
#include "core/capture/CaptureArtifactDirectory.h"
#include "core/common/Log.h"
#include "core/common/ModuleBarrier.h"
#include "core/common/ThreadPool.h"
#include "core/preferences/JsonFileStore.h"
#include "core/preferences/WriteBehindStore.h"
#include "core/shell/AppRelauncher.h"
#include "core/shell/InstanceGuard.h"
#include "core/shell/ShortcutName.h"
#include "core/shell/StatusBarMenu.h"
#include "core/shell/TessarinApp.h"
#include "core/shell/XdgAutostartLoginItem.h"
#include "ocr/TextRecognizerModule.h"
#include "platform/PlatformFactory.h"
#include "platform/ShortcutGrabberFactory.h"
#include "platform/ThreadPriority.h"

namespace tessarin {
namespace {

// $XDG_DATA_HOME/io.tessarin.Tessarin; without a home folder, one in the
// temporary folder, so the application still runs.
std::filesystem::path dataFolder() {
    auto folder = CaptureArtifactDirectory::applicationSupportRoot("");
    if (folder) return *folder;
    logLine(LogLevel::error, LogCategory::storage, "history unavailable in the data folder: " + folder.error());
    return std::filesystem::temp_directory_path() / "io.tessarin.Tessarin";
}

std::unique_ptr<LoginItemService> makeLoginItems(const std::string& program) {
    auto folder = XdgAutostartLoginItem::defaultFolder();
    if (!folder) {
        logLine(LogLevel::error, LogCategory::loginItem, "launch at login unavailable: " + folder.error());
        return std::make_unique<NullLoginItemService>();
    }
    return std::make_unique<XdgAutostartLoginItem>(*folder, program);
}

PreferencesMigrator::DisplayFrameLookup liveDisplayFrames() {
    return [](uint32_t displayID) -> std::optional<Rect> {
        const auto backend = makeScreenBackend();
        const auto displays = backend->displays();
        if (!displays) return std::nullopt;
        for (const auto& display : *displays) {
            if (display.displayID == displayID) return display.frame;
        }
        return std::nullopt;
    };
}

// The main thread's scheduler accounting, in milliseconds: how long it ran
// and how long it was ready to run but waited for a processor.
struct ThreadTimes {
    double ran = 0;
    double queued = 0;

    static ThreadTimes now() {
        ThreadTimes times;
        if (std::FILE* stats = std::fopen("/proc/thread-self/schedstat", "r")) {
            unsigned long long ran = 0, queued = 0;
            if (std::fscanf(stats, "%llu %llu", &ran, &queued) == 2) {
                times.ran = static_cast<double>(ran) / 1e6;
                times.queued = static_cast<double>(queued) / 1e6;
            }
            std::fclose(stats);
        }
        return times;
    }
};

// TESSARIN_TRACE_STALLS=1: a 1 ms timer on the main thread logs how late
// it fired when that is over 1 ms, to see how long the loop was blocked
// (bench/flow). Of a stall, busy_ms is how long the thread itself ran and
// queued_ms how long it was ready but got no processor (a loaded machine);
// the rest it waited, for the X server mostly. Off by default: an idle
// application keeps no timer.
void startStallProbe(QObject& parent) {
    if (qEnvironmentVariableIntValue("TESSARIN_TRACE_STALLS") != 1) return;
    struct Probe {
        QElapsedTimer clock;
        ThreadTimes last;
    };
    auto probe = std::make_shared<Probe>();
    probe->clock.start();
    probe->last = ThreadTimes::now();
    auto* timer = new QTimer(&parent);
    timer->setTimerType(Qt::PreciseTimer);
    timer->setInterval(1);
    QObject::connect(timer, &QTimer::timeout, [probe] {
        const double lateness = static_cast<double>(probe->clock.nsecsElapsed()) / 1e6 - 1.0;
        probe->clock.restart();
        const ThreadTimes times = ThreadTimes::now();
        if (lateness > 1.0) {
            logLine(LogLevel::info, LogCategory::app,
                    "mainloop.stall ms=" + std::to_string(lateness) + " busy_ms=" +
                        std::to_string(times.ran - probe->last.ran) +
                        " queued_ms=" + std::to_string(times.queued - probe->last.queued));
        }
        probe->last = times;
    });
    timer->start();
}

// The program's own absolute path, for the autostart entry.
// What a desktop shortcuts portal offers: every action that takes a
// shortcut, in grab-id order, under the name the preferences use.
std::vector<PortalShortcutOffer> portalShortcutOffers() {
    std::vector<PortalShortcutOffer> offers;
    for (const ShortcutName name : allShortcutNames) {
        offers.push_back({std::string(rawValue(name)), menuTitle(menuActionOf(name))});
    }
    return offers;
}

std::string programPath(const char* argv0) {
    std::error_code error;
    const auto self = std::filesystem::read_symlink("/proc/self/exe", error);
    if (!error) return self.string();
    return argv0 ? argv0 : "tessarin";
}

int runApplication(int argc, char** argv) {
    configureLoggingFromEnvironment();
    // Before any other thread starts, and before the text engine loads.
    ocr::limitEngineThreads();
    QApplication::setApplicationName(QStringLiteral("Tessarin"));
    QApplication::setOrganizationDomain(QStringLiteral("tessarin.io"));
    QGuiApplication::setDesktopFileName(QStringLiteral("io.tessarin.Tessarin"));
    chooseQtPlatformForSession();
    QApplication qt(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    QApplication::setWindowIcon(applicationIcon());
    logLine(LogLevel::info, LogCategory::app, "app.platform qt=" + QGuiApplication::platformName().toStdString());

    std::vector<std::string> arguments;
    for (int i = 1; i < argc; ++i) arguments.emplace_back(argv[i]);
    const auto request = classifyLaunch(arguments);
    for (const auto& ignored : request.ignoredArguments) {
        logLine(LogLevel::info, LogCategory::app, "launch.ignored argument=" + ignored);
    }

    QtSessionBus bus;
    const auto decision = decideLaunch(request, bus);
    if (decision.kind == LaunchDecision::Kind::exit) {
        if (!decision.message.empty()) std::fprintf(stderr, "%s\n", decision.message.c_str());
        return decision.exitStatus;
    }

    QtMainExecutor mainExecutor;
    const auto backingStore = openUserPreferences();
    std::string shortcutsUnavailable;
    bool shortcutsThroughDesktop = false;
    auto grabber = makeDesktopShortcutGrabber(portalShortcutOffers(), shortcutsUnavailable, shortcutsThroughDesktop);
    if (!shortcutsUnavailable.empty()) {
        logLine(LogLevel::info, LogCategory::app, "shortcuts.unavailable reason=" + shortcutsUnavailable);
    }
    QtAlertPresenter alerts;
    const std::string program = programPath(argc > 0 ? argv[0] : nullptr);
    const auto loginItems = makeLoginItems(program);
    // A relaunch starts the program plainly: links given to this start
    // have been handled already.
    AppRelauncher relauncher(program, {});
    int status = 0;
    // Loaded the first time text is read; used on the background executor,
    // so it outlives it.
    ocr::ModuleTextRecognizer recognizer;
    {
        ThreadPool background(2, lowerCurrentThreadPriority);
        WriteBehindStore preferencesStore(backingStore, background);
        auto app = std::make_unique<TessarinApp>(DesktopPlatform{preferencesStore, *loginItems, *grabber, alerts,
                                                                 mainExecutor, background, dataFolder(),
                                                                 liveDisplayFrames()});

        bool quitting = false;
        auto quit = [&](std::string_view reason) {
            if (quitting) return;
            quitting = true;
            logLine(LogLevel::info, LogCategory::app, "quit.begin reason=" + std::string(reason));
            app->quit([&](bool written) {
                logLine(written ? LogLevel::info : LogLevel::error, LogCategory::app,
                        std::string("quit.flushed written=") + (written ? "true" : "false"));
                QCoreApplication::exit(0);
            });
        };
        app->appState().setHandler(MenuAction::quit, [&] { quit("menu"); });

        // A name bound only in the desktop's own settings runs its action too.
        auto* portalKeys = dynamic_cast<PortalShortcutGrabber*>(grabber.get());
        if (portalKeys) {
            portalKeys->setUnassignedListener(
                [&app](int id) { app->appState().performShortcut(allShortcutNames[static_cast<size_t>(id)]); });
        }
        DesktopCapture capture(*app, mainExecutor, background, alerts, recognizer);
        // Quitting from the menu or for a newer launch asks about unsaved
        // edits first; a signal cannot wait for an answer.
        auto quitAfterAsking = [&](std::string_view reason) {
            capture.requestQuit([&quit, reason](bool mayQuit) {
                if (mayQuit) quit(reason);
            });
        };
        app->appState().setHandler(MenuAction::quit, [&] { quitAfterAsking("menu"); });
        DesktopWindows windows(*app, preferencesStore, *grabber, shortcutsThroughDesktop, [&] {
            relauncher.request();
            quit("relaunch");
        });

        // Key events wake the loop through the grabber's connection: no timer.
        std::unique_ptr<QSocketNotifier> keys;
        if (grabber->eventDescriptor() >= 0) {
            keys = std::make_unique<QSocketNotifier>(grabber->eventDescriptor(), QSocketNotifier::Read);
            QObject::connect(keys.get(), &QSocketNotifier::activated, [&] { grabber->processPendingEvents(); });
            grabber->processPendingEvents();
        }

        QuitSignals signals([&](int signal) { quit(signal == SIGTERM ? "SIGTERM" : signal == SIGINT ? "SIGINT" : "SIGHUP"); });
        bus.onNameLost([&] { quitAfterAsking("replaced"); });
        bus.exportApplication([&](const std::string& link) { app->links().deliver(link); },
                              [] { logLine(LogLevel::info, LogCategory::app, "instance.activate"); },
                              [&](const std::string& name, const std::vector<std::string>& parameters) {
                                  capture.activateAction(name, parameters);
                              });
        for (const auto& link : decision.linksToHandle) app->links().deliver(link);

        TrayIcon tray(*app);
        startStallProbe(qt);
        QTimer::singleShot(0, [&] {
            app->start();
            logLine(LogLevel::info, LogCategory::app, "app.ready");
            windows.presentGuideIfNeeded();
            // After the shell is up, before anyone asks for an overlay.
            QTimer::singleShot(0, [] { SelectionOverlay::prepare(); });
        });
        // The session manager may end the loop without asking first: write
        // what is pending anyway.
        QObject::connect(&qt, &QCoreApplication::aboutToQuit, [&] {
            if (!quitting) {
                quitting = true;
                app->quit([](bool) {});
            }
        });

        status = QApplication::exec();
        if (portalKeys) portalKeys->setUnassignedListener(nullptr);
        capture.shutdown();
        bus.releaseName();
        mainExecutor.drain();
        app.reset();
        background.shutdown();
        mainExecutor.drain();
    }
    logLine(LogLevel::info, LogCategory::app, "app.exit status=" + std::to_string(status));
    if (relauncher.requested()) {
        logLine(LogLevel::info, LogCategory::app, "app.relaunch program=" + program);
        const std::string failure = relauncher.execNow();
        logLine(LogLevel::error, LogCategory::app, "app.relaunch_failed reason=" + failure);
        return 1;
    }
    return status;
}

}  // namespace
}  // namespace tessarin

extern "C" __attribute__((visibility("default"))) int tessarin_desktop_main(int argc, char** argv) {
    int status = 1;
    const auto failure = tessarin::runBehindModuleBarrier([&] { status = tessarin::runApplication(argc, argv); });
    if (failure) {
        std::fprintf(stderr, "tessarin: the desktop application failed: %s\n", failure->c_str());
        return 1;
    }
    return status;
}
