#include "app/desktop/OnboardingWindow.h"

#include <QApplication>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QPainter>
#include <QProcess>
#include <QPushButton>

#include "app/desktop/DesktopShortcutList.h"
#include "app/desktop/TrayIcon.h"
#include "core/common/Localization.h"
#include "core/common/Log.h"
#include "core/shell/StatusBarMenu.h"

namespace tessarin {
namespace {

QString qs(std::string_view text) { return QString::fromStdString(localized(text)); }

QLabel* wrapped(std::string_view text, const char* name = nullptr) {
    auto* label = new QLabel(qs(text));
    label->setWordWrap(true);
    label->setAlignment(Qt::AlignHCenter);
    if (name) label->setObjectName(QString::fromLatin1(name));
    return label;
}

QLabel* icon() {
    auto* label = new QLabel;
    label->setPixmap(applicationIcon().pixmap(96, 96));
    label->setAlignment(Qt::AlignHCenter);
    return label;
}

}  // namespace

OnboardingWindow::OnboardingWindow(OnboardingServices services, OnboardingStep start, std::function<void()> onFinish)
    : QWidget(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      services_(std::move(services)),
      coordinator_({services_.store, services_.preferences, services_.shortcuts, services_.screenAccessGranted}, start,
                   std::move(onFinish)),
      layout_(new QVBoxLayout(this)) {
    setObjectName(QStringLiteral("onboarding"));
    setWindowTitle(qs("Welcome to Tessarin"));
    setFixedSize(600, 600);
    layout_->setContentsMargins(40, 32, 40, 24);
    poll_.setInterval(1000);
    QObject::connect(&poll_, &QTimer::timeout, this, [this] {
        coordinator_.refreshScreenRecordingStatus();
        refreshConflictWarning();
    });
    subscription_ = coordinator_.subscribe([this] { showPage(); });
    showPage();
}

OnboardingWindow::~OnboardingWindow() = default;

void OnboardingWindow::showPage() {
    if (page_) {
        // Out of the window now, gone once the click that replaced it returns.
        layout_->removeWidget(page_);
        page_->hide();
        page_->setParent(nullptr);
        page_->deleteLater();
    }
    conflictWarning_ = nullptr;
    primary_ = nullptr;
    conflictWarningLogged_ = false;
    screenStatus_ = nullptr;
    switch (coordinator_.step()) {
        case OnboardingStep::welcome: page_ = welcomePage(); break;
        case OnboardingStep::screenRecording: page_ = screenRecordingPage(); break;
        case OnboardingStep::setDefault: page_ = setDefaultPage(); break;
        case OnboardingStep::disableSystemShortcuts: page_ = disableSystemShortcutsPage(); break;
        case OnboardingStep::tweak: page_ = tweakPage(); break;
        case OnboardingStep::ready: page_ = readyPage(); break;
    }
    page_->setObjectName(QStringLiteral("onboarding.page.%1").arg(static_cast<int>(coordinator_.step())));
    logLine(LogLevel::info, LogCategory::app, "onboarding.page step=" + std::to_string(static_cast<int>(coordinator_.step())));
    layout_->addWidget(page_);
    // Only the pages that follow the system poll it.
    const bool follows = screenStatus_ || conflictWarning_;
    follows ? poll_.start() : poll_.stop();
}

void OnboardingWindow::keyPressEvent(QKeyEvent* event) {
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && primary_) {
        primary_->click();
        return;
    }
    QWidget::keyPressEvent(event);
}

QWidget* OnboardingWindow::header(std::string_view title, std::string_view subtitle) {
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    layout->setSpacing(10);
    layout->addWidget(icon());
    auto* heading = wrapped(title, "onboarding.title");
    QFont font = heading->font();
    font.setPointSizeF(font.pointSizeF() * 1.7);
    font.setBold(true);
    heading->setFont(font);
    layout->addWidget(heading);
    if (!subtitle.empty()) layout->addWidget(wrapped(subtitle, "onboarding.subtitle"));
    return page;
}

void OnboardingWindow::addFooter(QVBoxLayout* layout,
                                 std::vector<std::pair<std::string_view, std::function<void()>>> buttons) {
    layout->addStretch();
    auto* row = new QHBoxLayout;
    row->addStretch();
    for (auto& [title, action] : buttons) {
        auto* button = new QPushButton(qs(title));
        button->setObjectName(QStringLiteral("onboarding.button.") + QString::fromStdString(std::string(title)));
        button->setMinimumWidth(120);
        QObject::connect(button, &QPushButton::clicked, this, [action = std::move(action)] { action(); });
        row->addWidget(button);
        primary_ = button;
    }
    if (primary_) primary_->setDefault(true);
    row->addStretch();
    layout->addLayout(row);
}

QWidget* OnboardingWindow::welcomePage() {
    QWidget* page = header("Welcome to Tessarin", "Let's set up Tessarin in a few quick steps.");
    addFooter(static_cast<QVBoxLayout*>(page->layout()), {{"Continue", [this] { coordinator_.advance(); }}});
    return page;
}

QWidget* OnboardingWindow::screenRecordingPage() {
    QWidget* page = header("Screen Recording Access",
                           "Tessarin needs screen recording permission to capture your screen. Grant access to start "
                           "taking screenshots.");
    auto* layout = static_cast<QVBoxLayout*>(page->layout());
    screenStatus_ = wrapped(coordinator_.screenRecordingGranted() ? "Screen recording access granted"
                                                                 : "Waiting for permission…",
                            "onboarding.screenStatus");
    layout->addWidget(screenStatus_);
    layout->addSpacing(12);
    layout->addWidget(wrapped("After changing your desktop's settings, Tessarin may need to restart for the change to "
                              "take effect."));
    // Alt+R presses it from the keyboard.
    auto* restart = new QPushButton(QLatin1Char('&') + qs("Restart Tessarin"));
    restart->setObjectName(QStringLiteral("onboarding.restart"));
    QObject::connect(restart, &QPushButton::clicked, this, [this] {
        if (services_.relaunch) services_.relaunch();
    });
    layout->addWidget(restart, 0, Qt::AlignHCenter);
    addFooter(layout, {{"Continue", [this] { coordinator_.advance(); }}});
    return page;
}

QWidget* OnboardingWindow::setDefaultPage() {
    QWidget* page = header("Set as default screenshot tool?",
                           "Assign Tessarin's system-style shortcuts (Print / Shift+Print) and launch it automatically "
                           "at login?");
    addFooter(static_cast<QVBoxLayout*>(page->layout()),
              {{"Not now", [this] { coordinator_.applyDefaultSetup(false); }},
               {"Yes!", [this] { coordinator_.applyDefaultSetup(true); }}});
    return page;
}

QWidget* OnboardingWindow::disableSystemShortcutsPage() {
    QWidget* page = header("Disable the desktop's screenshot shortcuts",
                           "Tessarin uses Print and Shift+Print, which your desktop also uses. Turn off the desktop's "
                           "shortcuts so they don't conflict:");
    auto* layout = static_cast<QVBoxLayout*>(page->layout());
    const std::string_view steps[] = {"Open your desktop's keyboard settings.", "Go to Keyboard → Keyboard Shortcuts.",
                                      "Select Screenshots.", "Turn off all screenshot shortcuts."};
    int number = 1;
    for (const auto step : steps) {
        auto* line = new QLabel(QStringLiteral("%1. ").arg(number++) + qs(step));
        layout->addWidget(line);
    }
    if (services_.keyboardSettings) {
        auto* open = new QPushButton(qs("Open Keyboard Settings"));
        open->setObjectName(QStringLiteral("onboarding.openKeyboardSettings"));
        QObject::connect(open, &QPushButton::clicked, this, [command = *services_.keyboardSettings] {
            QStringList arguments;
            for (const auto& argument : command.arguments) arguments << QString::fromStdString(argument);
            // No shell: the program and its arguments as they are. A failure
            // to start is not worth a dialog; the steps above still apply.
            QProcess::startDetached(QString::fromStdString(command.program), arguments);
        });
        layout->addWidget(open, 0, Qt::AlignHCenter);
    }
    conflictWarning_ = new QWidget;
    conflictWarning_->setObjectName(QStringLiteral("onboarding.conflictWarning"));
    conflictWarning_->setStyleSheet(QStringLiteral("QLabel { color: #8a5300; }"));
    auto* warning = new QVBoxLayout(conflictWarning_);
    auto* title = wrapped("Shortcuts not disabled", "onboarding.conflictTitle");
    QFont font = title->font();
    font.setBold(true);
    title->setFont(font);
    warning->addWidget(title);
    warning->addWidget(wrapped("It looks like the desktop's screenshot shortcuts are still enabled. Tessarin's Print / "
                               "Shift+Print may not work until you turn them off."));
    layout->addWidget(conflictWarning_);
    refreshConflictWarning();
    addFooter(layout, {{"I'll do it later", [this] { coordinator_.advance(); }},
                       {"Done", [this] { coordinator_.advance(); }}});
    return page;
}

void OnboardingWindow::refreshConflictWarning() {
    if (screenStatus_) {
        screenStatus_->setText(coordinator_.screenRecordingGranted() ? qs("Screen recording access granted")
                                                                     : qs("Waiting for permission…"));
    }
    if (!conflictWarning_) return;
    const bool shown = services_.systemShortcutsEnabled && services_.systemShortcutsEnabled();
    if (conflictWarning_->isHidden() == shown || !conflictWarningLogged_) {
        logLine(LogLevel::info, LogCategory::app, std::string("onboarding.conflict_warning shown=") + (shown ? "true" : "false"));
        conflictWarningLogged_ = true;
    }
    conflictWarning_->setVisible(shown);
}

QWidget* OnboardingWindow::tweakPage() {
    QWidget* page = header("Tweak your workflow", "You can change shortcuts and every option later in Tessarin Settings.");
    addFooter(static_cast<QVBoxLayout*>(page->layout()), {{"Continue", [this] { coordinator_.advance(); }}});
    return page;
}

QWidget* OnboardingWindow::readyPage() {
    if (services_.shortcutsThroughDesktop) {
        QWidget* page = header("Ready to go!", "Start capturing from the tray icon, or with keys of your desktop's own:");
        auto* layout = static_cast<QVBoxLayout*>(page->layout());
        layout->addWidget(desktopShortcutList(QStringLiteral("onboarding")));
        addFooter(layout, {{"Start Using Tessarin", [this] { coordinator_.advance(); }}});
        return page;
    }
    QWidget* page = header("Ready to go!", "Start capturing from the tray icon, or with your shortcuts:");
    auto* layout = static_cast<QVBoxLayout*>(page->layout());
    // Titles right-aligned against their keys, in two columns.
    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(16);
    int row = 0;
    for (const ShortcutName name : allShortcutNames) {
        const auto combination = services_.shortcuts.shortcut(name);
        if (!combination) continue;
        auto* title = new QLabel(QString::fromStdString(menuTitle(menuActionOf(name))));
        auto* keys = new QLabel(QString::fromStdString(combination->displayText()));
        keys->setObjectName(QString::fromStdString("onboarding.shortcut." + std::string(rawValue(name))));
        QFont bold = keys->font();
        bold.setBold(true);
        keys->setFont(bold);
        grid->addWidget(title, row, 0, Qt::AlignRight);
        grid->addWidget(keys, row, 1, Qt::AlignLeft);
        ++row;
    }
    auto* centred = new QHBoxLayout;
    centred->addStretch();
    centred->addLayout(grid);
    centred->addStretch();
    layout->addLayout(centred);
    addFooter(layout, {{"Start Using Tessarin", [this] { coordinator_.advance(); }}});
    return page;
}

OnboardingPresenter::OnboardingPresenter(OnboardingServices services) : services_(std::move(services)) {}

OnboardingPresenter::~OnboardingPresenter() = default;

void OnboardingPresenter::presentIfNeeded() {
    if (onboardingCompleted(services_.store)) return;
    show(resumeStep(services_.store));
}

void OnboardingPresenter::show(OnboardingStep start) {
    if (!window_) {
        window_ = std::make_unique<OnboardingWindow>(services_, start, [this] {
            // Closed from the finishing click: let that click return first.
            if (window_) window_->hide();
        });
    } else {
        window_->coordinator().setStep(start);
    }
    window_->show();
    window_->raise();
    window_->activateWindow();
}

}  // namespace tessarin
