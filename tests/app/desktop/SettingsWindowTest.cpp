#include "app/desktop/SettingsWindow.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QRegularExpression>
#include <QSpinBox>
#include <QToolButton>
#include <gtest/gtest.h>

#include "app/desktop/QtTestApplication.h"

#include "app/desktop/ShortcutRecorderButton.h"
#include "core/preferences/JsonFileStore.h"
#include "core/preferences/PreferenceKeys.h"
#include "core/preferences/PreferencesTestSupport.h"

namespace tessarin {
namespace {

struct SettingsWindowTest : ::testing::Test {
    SettingsWindowTest() { qtWidgetTestApplication(); }

    InMemoryKeyValueStore store;
    testing::FakeLoginItems loginItems;
    std::unique_ptr<AppPreferences> preferences = std::make_unique<AppPreferences>(store, loginItems);
    KeyboardShortcuts shortcuts{store};
    std::map<ShortcutName, std::string> problems;
    bool xtest = true;
    int guideShown = 0;
    bool confirmAnswer = false;
    int cleared = 0;

    bool throughDesktop = false;

    std::unique_ptr<SettingsWindow> window(AppPreferences& over, KeyboardShortcuts& keys) {
        return std::make_unique<SettingsWindow>(SettingsServices{
            over, keys, [this](ShortcutName name) { return problems[name]; }, {}, [this] { return xtest; },
            [this] { ++guideShown; }, [this] { return confirmAnswer; }, [this] { ++cleared; }, "1.4.0", "142",
            throughDesktop});
    }
    std::unique_ptr<SettingsWindow> window() { return window(*preferences, shortcuts); }

    template <class W>
    static W* control(QWidget& root, const char* name) {
        auto* found = root.findChild<W*>(QString::fromLatin1(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }
};

// One row per control: change it through the widget, see the JSON stored.
// Bounds and clamping are the controls' own (SettingsControlsTest).
TEST_F(SettingsWindowTest, EveryControlWritesItsKey) {
    auto settings = window();
    namespace K = PreferenceKey;
    // Each box stores the opposite of its default when clicked.
    const std::pair<const char*, bool> boxes[] = {
        {K::playSound, false}, {K::autoCopyToClipboard, true}, {K::showThumbnail, false},
        {K::confirmURLSchemeActions, true}, {K::capturePresetsEnabled, false}, {K::freezeScreenDuringCapture, false},
        {K::openAnnotationEditorAfterCapture, true}, {K::rememberLastCaptureSelection, false},
        {K::autoScrollDuringScrollingCapture, false}, {K::historyEnabled, false}, {K::historyPaused, true}};
    for (const auto& [key, stored] : boxes) {
        control<QCheckBox>(*settings, key)->click();
        EXPECT_EQ(store.object(key), nlohmann::json(stored)) << key;
    }
    const std::pair<const char*, int> spins[] = {{K::selfTimerDurationSeconds, 12}, {K::quickAccessMaxCount, 2},
                                                 {K::historyMaxCount, 200}, {K::historyMaxAgeDays, 7}};
    for (const auto& [key, value] : spins) {
        control<QSpinBox>(*settings, key)->setValue(value);
        EXPECT_EQ(store.object(key), nlohmann::json(value)) << key;
    }
    const std::pair<const char*, const char*> combos[] = {
        {K::quickAccessPosition, "bottomLeft"}, {K::defaultImageFormat, "jpeg"}, {K::capturePreset, "ratio-16-9"}};
    for (const auto& [key, value] : combos) {
        auto* combo = control<QComboBox>(*settings, key);
        combo->setCurrentIndex(combo->findData(QString::fromLatin1(value)));
    }
    EXPECT_EQ(store.object(K::quickAccessPosition), "bottomLeft");
    EXPECT_EQ(store.object(K::defaultImageFormat), "jpeg");
    EXPECT_EQ(store.object(K::capturePreset), (nlohmann::json{{"aspectRatio", {{"width", 16}, {"height", 9}}}}));
    // Nothing else was written along the way.
    EXPECT_EQ(store.values().size(), std::size(boxes) + std::size(spins) + std::size(combos));
}

// A desktop that gives applications no global shortcuts: the shortcut
// section lists the command to bind for each action; elsewhere it does not.
TEST_F(SettingsWindowTest, ShortcutSectionListsTheDesktopCommandsOnlyWhereNeeded) {
    for (const bool desktop : {false, true}) {
        throughDesktop = desktop;
        auto settings = window();
        settings->show(SettingsTab::shortcuts);
        const auto* area = settings->findChild<QLabel*>(QStringLiteral("settings.desktopShortcut.captureArea"));
        if (!desktop) {
            EXPECT_EQ(area, nullptr);
            continue;
        }
        ASSERT_NE(area, nullptr);
        EXPECT_EQ(area->text(), QStringLiteral("tessarin tessarin://capture-area"));  // each link: DesktopShortcutLinksTest
        EXPECT_EQ(settings->findChildren<QLabel*>(QRegularExpression(QStringLiteral("^settings\\.desktopShortcut\\.")))
                      .size(),
                  7);
    }
}

TEST_F(SettingsWindowTest, OpeningAndShowingEveryTabLeavesThePreferencesFileByteIdentical) {
    testing::TempDir dir;
    const auto file = dir / "preferences.json";
    // Values away from the defaults, a preset no built-in matches, and a key
    // the window does not know.
    const std::string bytes =
        R"({"capturePreset":{"aspectRatio":{"height":3,"width":7}},"defaultImageFormat":"jpeg",)"
        R"("historyMaxAgeDays":9,"quickAccessMaxCount":2,"quickAccessPosition":"bottomLeft","selfTimerDurationSeconds":60,)"
        R"("somethingNewer":[1,2]})";
    testing::writeFile(file, bytes);
    {
        JsonFileStore fileStore(file);
        AppPreferences filePreferences(fileStore, loginItems);
        KeyboardShortcuts fileShortcuts(fileStore);
        auto settings = window(filePreferences, fileShortcuts);
        for (const SettingsTab tab : allSettingsTabs) settings->show(tab);
        settings->refreshControls();
        EXPECT_EQ(control<QComboBox>(*settings, PreferenceKey::capturePreset)->currentData().toString(), "ratio-7-3");
        EXPECT_EQ(control<QSpinBox>(*settings, PreferenceKey::quickAccessMaxCount)->value(), 2);
        settings->close();
        fileStore.synchronize();
    }
    EXPECT_EQ(testing::readFile(file), bytes);
}

TEST_F(SettingsWindowTest, ALinkToHistoryWhileGeneralShowsGoesBackToGeneral) {
    auto settings = window();
    settings->show(std::nullopt);
    EXPECT_EQ(settings->currentTab(), SettingsTab::general);
    settings->show(SettingsTab::history);
    auto* sidebar = control<QListWidget>(*settings, "settings.sidebar");
    EXPECT_EQ(sidebar->currentItem()->text(), "History");
    control<QToolButton>(*settings, "settings.back")->click();
    EXPECT_EQ(settings->currentTab(), SettingsTab::general);
    EXPECT_EQ(sidebar->currentItem()->text(), "General");
    EXPECT_FALSE(control<QToolButton>(*settings, "settings.back")->isEnabled());
    control<QToolButton>(*settings, "settings.forward")->click();
    EXPECT_EQ(settings->currentTab(), SettingsTab::history);
}

TEST_F(SettingsWindowTest, LaunchAtLoginShowsTheRegistrationReadBackWhenShown) {
    auto settings = window();
    auto* box = control<QCheckBox>(*settings, PreferenceKey::launchAtLogin);
    box->click();
    EXPECT_TRUE(loginItems.enabled);
    EXPECT_TRUE(box->isChecked());
    loginItems.enabled = false;  // the user removed the autostart entry
    settings->hide();
    settings->show(std::nullopt);
    EXPECT_FALSE(box->isChecked());
    loginItems.refuses = true;
    box->click();
    EXPECT_FALSE(box->isChecked());
    EXPECT_FALSE(store.contains(PreferenceKey::launchAtLogin));
}

TEST_F(SettingsWindowTest, AChangeMadeElsewhereShowsAtOnce) {
    auto settings = window();
    preferences->setQuickAccessMaxCount(3);
    preferences->setHistoryPaused(true);
    EXPECT_EQ(control<QSpinBox>(*settings, PreferenceKey::quickAccessMaxCount)->value(), 3);
    EXPECT_TRUE(control<QCheckBox>(*settings, PreferenceKey::historyPaused)->isChecked());
    shortcuts.setShortcut(ShortcutName::captureWindow, KeyCombination{KeyModifier::alt, "w"});
    EXPECT_EQ(control<ShortcutRecorderButton>(*settings, "shortcut.captureWindow")->recordButton()->text(), "Alt+W");
}

TEST_F(SettingsWindowTest, ClearHistoryAsksFirstAndAccessibilityFollowsXtest) {
    auto settings = window();
    auto* clear = control<QPushButton>(*settings, "settings.clearHistory");
    clear->click();
    EXPECT_EQ(cleared, 0);
    confirmAnswer = true;
    clear->click();
    EXPECT_EQ(cleared, 1);
    control<QPushButton>(*settings, "settings.showSetupGuide")->click();
    EXPECT_EQ(guideShown, 1);
    auto* accessibility = control<QLabel>(*settings, "settings.accessibility");
    EXPECT_EQ(accessibility->text(), "Accessibility access granted");
    xtest = false;
    settings->refreshControls();
    EXPECT_EQ(accessibility->text(), "Accessibility access needed for auto-scroll");
    EXPECT_EQ(control<QLabel>(*settings, "settings.version")->text(), "Version 1.4.0 (142)");
}

void press(QWidget* target, int key, Qt::KeyboardModifiers modifiers) {
    QKeyEvent event(QEvent::KeyPress, key, modifiers);
    QApplication::sendEvent(target, &event);
}

TEST_F(SettingsWindowTest, TheRecorderRecordsClearsAndShowsAHeldCombination) {
    auto settings = window();
    auto* row = control<ShortcutRecorderButton>(*settings, "shortcut.captureScrolling");
    auto* button = row->recordButton();
    EXPECT_EQ(button->text(), "Record Shortcut");
    button->click();
    EXPECT_EQ(button->text(), "Type Shortcut");
    press(button, Qt::Key_Control, Qt::ControlModifier);
    press(button, Qt::Key_Exclam, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(store.object("KeyboardShortcuts_captureScrolling"), nlohmann::json("Ctrl+Shift+1"));
    EXPECT_EQ(button->text(), "Ctrl+Shift+1");

    row->clearButton()->click();
    EXPECT_FALSE(store.contains("KeyboardShortcuts_captureScrolling"));
    EXPECT_EQ(button->text(), "Record Shortcut");

    // Another application holds Shift+Print: assigned, and the row says why
    // it does not work (refusals are the recorder's, ShortcutRecorderTest).
    problems[ShortcutName::captureScrolling] = "Another application holds Shift+Print.";
    button->click();
    press(button, Qt::Key_Print, Qt::ShiftModifier);
    EXPECT_EQ(store.object("KeyboardShortcuts_captureScrolling"), nlohmann::json("Shift+Print"));
    EXPECT_EQ(row->messageLabel()->text(), "Another application holds Shift+Print.");
    EXPECT_FALSE(row->messageLabel()->isHidden());
}

// On a German layout Shift+7 types "/": the keyboard map's name for the
// key wins over Qt's shifted key, so the stored key is the one pressed.
TEST_F(SettingsWindowTest, TheRecorderNamesAKeyByTheKeyboardMapWhenItKnowsTheKey) {
    const std::map<uint32_t, std::string> layout = {{16, "7"}};
    ShortcutRecorderButton row(ShortcutName::recordVideo, shortcuts, {}, [&layout](uint32_t keycode) {
        const auto found = layout.find(keycode);
        return found == layout.end() ? std::string() : found->second;
    });
    const auto pressWithCode = [&row](int key, Qt::KeyboardModifiers modifiers, quint32 keycode) {
        row.recordButton()->click();
        QKeyEvent event(QEvent::KeyPress, key, modifiers, keycode, 0, 0);
        QApplication::sendEvent(row.recordButton(), &event);
    };
    pressWithCode(Qt::Key_Slash, Qt::ControlModifier | Qt::ShiftModifier, 16);
    EXPECT_EQ(store.object("KeyboardShortcuts_recordVideo"), nlohmann::json("Ctrl+Shift+7"));
    pressWithCode(Qt::Key_Question, Qt::ControlModifier | Qt::ShiftModifier, 61);  // not in the map: Qt's key, unshifted
    EXPECT_EQ(store.object("KeyboardShortcuts_recordVideo"), nlohmann::json("Ctrl+Shift+slash"));
}

}  // namespace
}  // namespace tessarin
