#include "app/desktop/SettingsWindow.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QPushButton>
#include <QScrollArea>
#include <QShowEvent>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QVBoxLayout>

#include "app/desktop/DesktopShortcutList.h"
#include "app/desktop/ShortcutRecorderButton.h"
#include "core/common/Localization.h"
#include "core/shell/ShortcutRegistration.h"
#include "core/shell/StatusBarMenu.h"

namespace tessarin {
namespace {

QString qs(std::string_view text) { return QString::fromStdString(localized(text)); }

QLabel* sectionTitle(std::string_view text) {
    auto* label = new QLabel(qs(text));
    QFont font = label->font();
    font.setBold(true);
    label->setFont(font);
    label->setContentsMargins(0, 12, 0, 2);
    return label;
}

QLabel* note(std::string_view text) {
    auto* label = new QLabel(qs(text));
    label->setWordWrap(true);
    label->setStyleSheet(QStringLiteral("color: #5f5f5f;"));
    return label;
}

// The sections of each pane, in order.
std::vector<std::string_view> sectionsOf(SettingsTab tab) {
    switch (tab) {
        case SettingsTab::general: return {"Capture", "System", "Privacy", "Help"};
        case SettingsTab::screenshots: return {"Capture", "Presets", "Scrolling Capture", "Quick Access"};
        case SettingsTab::shortcuts: return {"Capture shortcuts"};
        case SettingsTab::history: return {"History Recording", "Retention"};
        case SettingsTab::storage: return {"Images"};
        case SettingsTab::about: return {};
    }
    return {};
}

}  // namespace

SettingsWindow::SettingsWindow(SettingsServices services, QWidget* parent)
    : QWidget(parent),
      services_(std::move(services)),
      sidebar_(new QListWidget(this)),
      panes_(new QStackedWidget(this)),
      back_(new QToolButton(this)),
      forward_(new QToolButton(this)) {
    setObjectName(QStringLiteral("settings"));
    setWindowTitle(qs("Settings"));
    resize(720, 560);
    back_->setArrowType(Qt::LeftArrow);
    back_->setObjectName(QStringLiteral("settings.back"));
    back_->setToolTip(qs("Back"));
    forward_->setArrowType(Qt::RightArrow);
    forward_->setObjectName(QStringLiteral("settings.forward"));
    forward_->setToolTip(qs("Forward"));
    sidebar_->setObjectName(QStringLiteral("settings.sidebar"));
    sidebar_->setFixedWidth(170);
    sidebar_->setStyleSheet(QStringLiteral("QListWidget::item { padding: 5px 8px; }"));
    for (const SettingsTab tab : allSettingsTabs) {
        sidebar_->addItem(QString::fromStdString(settingsTabTitle(tab)));
        auto* scroll = new QScrollArea;
        scroll->setWidgetResizable(true);
        scroll->setFrameShape(QFrame::NoFrame);
        scroll->setWidget(buildPane(tab));
        panes_->addWidget(scroll);
    }
    sidebar_->setCurrentRow(0);

    auto* toolbar = new QHBoxLayout;
    toolbar->addWidget(back_);
    toolbar->addWidget(forward_);
    toolbar->addStretch();
    auto* body = new QHBoxLayout;
    body->addWidget(sidebar_);
    body->addWidget(panes_, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(toolbar);
    layout->addLayout(body, 1);

    QObject::connect(sidebar_, &QListWidget::currentRowChanged, this, [this](int row) {
        if (row < 0 || row >= static_cast<int>(std::size(allSettingsTabs))) return;
        panes_->setCurrentIndex(row);
        if (!navigating_) navigation_.select(allSettingsTabs[row]);
        refreshNavigationButtons();
    });
    QObject::connect(back_, &QToolButton::clicked, this, [this] { goBack(); });
    QObject::connect(forward_, &QToolButton::clicked, this, [this] { goForward(); });
    preferencesSubscription_ = services_.preferences.subscribe([this](std::string_view) { refreshControls(); });
    shortcutsSubscription_ = services_.shortcuts.subscribe([this](ShortcutName) {
        for (auto* recorder : recorders_) recorder->refresh();
    });
    refreshNavigationButtons();
    refreshControls();
}

SettingsWindow::~SettingsWindow() = default;

void SettingsWindow::show(std::optional<SettingsTab> tab) {
    if (tab) sidebar_->setCurrentRow(static_cast<int>(*tab));
    QWidget::show();
    raise();
    activateWindow();
}

void SettingsWindow::goBack() {
    if (const auto tab = navigation_.back()) selectWithoutRecording(*tab);
}

void SettingsWindow::goForward() {
    if (const auto tab = navigation_.forward()) selectWithoutRecording(*tab);
}

void SettingsWindow::selectWithoutRecording(SettingsTab tab) {
    navigating_ = true;
    sidebar_->setCurrentRow(static_cast<int>(tab));
    navigating_ = false;
    refreshNavigationButtons();
}

void SettingsWindow::refreshNavigationButtons() {
    back_->setEnabled(navigation_.canGoBack());
    forward_->setEnabled(navigation_.canGoForward());
}

void SettingsWindow::showEvent(QShowEvent* event) {
    // The autostart entry and XTEST may have changed while the window was
    // closed: read them again (the reload announces a change itself).
    services_.preferences.reloadLaunchAtLogin();
    refreshControls();
    QWidget::showEvent(event);
}

void SettingsWindow::refreshControls() {
    for (const auto& refresh : refreshers_) refresh();
    if (accessibilityStatus_) {
        const bool granted = services_.syntheticInputGranted && services_.syntheticInputGranted();
        accessibilityStatus_->setText(granted ? qs("Accessibility access granted")
                                              : qs("Accessibility access needed for auto-scroll"));
    }
    for (auto* recorder : recorders_) recorder->refresh();
}

QWidget* SettingsWindow::buildPane(SettingsTab tab) {
    auto* pane = new QWidget;
    pane->setObjectName(QString::fromStdString("settings.pane." + std::string(rawValue(tab))));
    auto* layout = new QVBoxLayout(pane);
    layout->setContentsMargins(16, 4, 16, 16);
    if (tab == SettingsTab::about) {
        addAbout(layout);
    }
    for (const auto section : sectionsOf(tab)) addSection(tab, section, layout);
    layout->addStretch();
    return pane;
}

void SettingsWindow::addSection(SettingsTab tab, std::string_view section, QVBoxLayout* layout) {
    layout->addWidget(sectionTitle(section));
    if (tab == SettingsTab::shortcuts) return addShortcutRows(layout);
    addToggles(tab, section, layout);
    addSteppers(tab, section, layout);
    addPickers(tab, section, layout);
    if (tab == SettingsTab::screenshots && section == "Scrolling Capture") {
        // XTEST is there or not: there is no setting to open.
        accessibilityStatus_ = new QLabel;
        accessibilityStatus_->setObjectName(QStringLiteral("settings.accessibility"));
        layout->addWidget(accessibilityStatus_);
    }
    if (tab == SettingsTab::general && section == "Help") {
        auto* guide = new QPushButton(qs("Show Setup Guide Again"));
        guide->setObjectName(QStringLiteral("settings.showSetupGuide"));
        QObject::connect(guide, &QPushButton::clicked, this, [this] {
            if (services_.showSetupGuide) services_.showSetupGuide();
        });
        layout->addWidget(guide, 0, Qt::AlignLeft);
    }
    if (tab == SettingsTab::history && section == "Retention") {
        layout->addWidget(note("Pinned history items are exempt from automatic retention, but Clear History removes them too."));
        layout->addSpacing(8);
        layout->addWidget(note("Capture history stays on this computer and can be cleared at any time."));
        auto* clear = new QPushButton(qs("Clear History"));
        clear->setObjectName(QStringLiteral("settings.clearHistory"));
        QObject::connect(clear, &QPushButton::clicked, this, [this] {
            if (services_.confirmClearHistory && !services_.confirmClearHistory()) return;
            if (services_.clearHistory) services_.clearHistory();
        });
        layout->addWidget(clear, 0, Qt::AlignLeft);
    }
}

void SettingsWindow::addToggles(SettingsTab tab, std::string_view section, QVBoxLayout* layout) {
    for (const auto& toggle : settingsToggles()) {
        if (toggle.tab != tab || toggle.section != section) continue;
        auto* box = new QCheckBox(qs(toggle.title));
        box->setObjectName(QString::fromLatin1(toggle.key));
        layout->addWidget(box);
        if (!toggle.subtitle.empty()) {
            auto* subtitle = note(toggle.subtitle);
            subtitle->setContentsMargins(24, 0, 0, 4);
            layout->addWidget(subtitle);
        }
        refreshers_.push_back([this, box, &toggle] {
            const QSignalBlocker quiet(box);
            box->setChecked(toggle.read(services_.preferences));
        });
        refreshers_.back()();
        QObject::connect(box, &QCheckBox::toggled, this, [this, &toggle, box](bool checked) {
            writeToggle(toggle, services_.preferences, checked);
            // A refused registration (launch at login) shows what stuck.
            const QSignalBlocker quiet(box);
            box->setChecked(toggle.read(services_.preferences));
        });
    }
}

void SettingsWindow::addSteppers(SettingsTab tab, std::string_view section, QVBoxLayout* layout) {
    for (const auto& stepper : settingsSteppers()) {
        if (stepper.tab != tab || stepper.section != section) continue;
        auto* row = new QHBoxLayout;
        auto* title = new QLabel;
        auto* spin = new QSpinBox;
        spin->setObjectName(QString::fromLatin1(stepper.key));
        spin->setRange(stepper.bounds.lower, stepper.bounds.upper);
        row->addWidget(title, 1);
        row->addWidget(spin);
        layout->addLayout(row);
        refreshers_.push_back([this, title, spin, &stepper] {
            const int value = stepper.read(services_.preferences);
            const QSignalBlocker quiet(spin);
            spin->setValue(value);
            title->setText(QString::fromStdString(stepperTitle(stepper, value)));
        });
        refreshers_.back()();
        QObject::connect(spin, &QSpinBox::valueChanged, this, [this, &stepper, title](int value) {
            writeStepper(stepper, services_.preferences, value);
            title->setText(QString::fromStdString(stepperTitle(stepper, stepper.read(services_.preferences))));
        });
    }
}

void SettingsWindow::addPickers(SettingsTab tab, std::string_view section, QVBoxLayout* layout) {
    for (const auto& picker : settingsPickers()) {
        if (picker.tab != tab || picker.section != section) continue;
        auto* row = new QHBoxLayout;
        auto* combo = new QComboBox;
        combo->setObjectName(QString::fromLatin1(picker.key));
        row->addWidget(new QLabel(qs(picker.title)), 1);
        row->addWidget(combo);
        layout->addLayout(row);
        refreshers_.push_back([this, combo, &picker] {
            const QSignalBlocker quiet(combo);
            combo->clear();
            for (const auto& choice : picker.choices(services_.preferences)) {
                combo->addItem(QString::fromStdString(choice.label), QString::fromStdString(choice.value));
            }
            combo->setCurrentIndex(combo->findData(QString::fromStdString(picker.read(services_.preferences))));
        });
        refreshers_.back()();
        QObject::connect(combo, &QComboBox::currentIndexChanged, this, [this, combo, &picker](int index) {
            if (index < 0) return;
            writePicker(picker, services_.preferences, combo->itemData(index).toString().toStdString());
        });
    }
}

void SettingsWindow::addShortcutRows(QVBoxLayout* layout) {
    if (services_.shortcutsThroughDesktop) layout->addWidget(desktopShortcutList(QStringLiteral("settings")));
    auto* form = new QFormLayout;
    for (const ShortcutName name : allShortcutNames) {
        auto* recorder = new ShortcutRecorderButton(name, services_.shortcuts, services_.shortcutProblem,
                                                    services_.unshiftedKeyName);
        recorders_.push_back(recorder);
        form->addRow(QString::fromStdString(menuTitle(menuActionOf(name))), recorder);
    }
    layout->addLayout(form);
    layout->addWidget(note(ShortcutRegistration::systemAlignedDefaultsNote));
}

void SettingsWindow::addAbout(QVBoxLayout* layout) {
    auto* name = new QLabel(QStringLiteral("Tessarin"));
    QFont font = name->font();
    font.setPointSizeF(font.pointSizeF() * 1.6);
    font.setBold(true);
    name->setFont(font);
    layout->addWidget(name);
    // Without a build number the parentheses would stand empty.
    const QString version = services_.build.empty()
                                ? qs("Version %1").arg(QString::fromStdString(services_.version))
                                : qs("Version %1 (%2)").arg(QString::fromStdString(services_.version),
                                                            QString::fromStdString(services_.build));
    auto* versionLabel = new QLabel(version);
    versionLabel->setObjectName(QStringLiteral("settings.version"));
    layout->addWidget(versionLabel);
    layout->addWidget(note("Updates come from your package manager."));
}

}  // namespace tessarin
