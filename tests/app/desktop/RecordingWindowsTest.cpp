#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <gtest/gtest.h>

#include "app/desktop/QtTestApplication.h"
#include "app/desktop/RecordingChrome.h"
#include "app/desktop/VideoEditorWindow.h"

namespace tessarin {
namespace {

QWidget* topLevel(const char* name) {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->objectName() == QLatin1String(name) && widget->isVisible()) return widget;
    }
    return nullptr;
}

QString labelText(QWidget& window, const char* name) {
    auto* label = window.findChild<QLabel*>(QString::fromLatin1(name));
    return label ? label->text() : QStringLiteral("<none>");
}

struct RecordingWindowsTest : ::testing::Test {
    RecordingWindowsTest() { qtWidgetTestApplication(); }

    // A selection of 300 × 200 at (100, 300) on the primary screen, top-left.
    static CaptureSelection selection() {
        QScreen* screen = QGuiApplication::primaryScreen();
        const QRect g = screen->geometry();
        DisplayDescription display;
        display.displayID = 1;
        display.name = screen->name().toStdString();
        display.frame = {0, 0, double(g.width()), double(g.height())};
        display.pixelWidth = g.width();
        display.pixelHeight = g.height();
        return {display, {100, double(g.height()) - 500, 300, 200}};
    }
};

// Where the ring and the panel go is RecordingChromeLayoutTest's; the ring
// outside the area and no chrome in the movie are the recording session's.
TEST_F(RecordingWindowsTest, TheChromeStaysOutsideTheAreaAndItsButtonsReachTheFlow) {
    int stops = 0, discards = 0;
    RecordingChrome chrome(RecordingConfiguration{}, [&] { ++stops; }, [&] { ++discards; });
    chrome.showFrame(selection());
    chrome.showPanel(selection(), true);
    const QRect recorded(100, 300, 300, 200);
    QWidget* frame = topLevel("tessarinRecordingFrame");
    ASSERT_NE(frame, nullptr);
    EXPECT_FALSE(frame->mask().translated(frame->geometry().topLeft()).intersects(recorded));
    QWidget* panel = topLevel("tessarinRecordingPanel");
    ASSERT_NE(panel, nullptr);
    EXPECT_EQ(labelText(*panel, "microphone"), "Mic On");
    chrome.setClockText("01:05");
    EXPECT_EQ(labelText(*panel, "clock"), "01:05");
    panel->findChild<QPushButton*>("discard")->click();
    panel->findChild<QPushButton*>("stop")->click();
    EXPECT_EQ(discards, 1);
    EXPECT_EQ(stops, 1);

    chrome.close();
    EXPECT_EQ(topLevel("tessarinRecordingFrame"), nullptr);
    EXPECT_EQ(topLevel("tessarinRecordingPanel"), nullptr);
    chrome.close();  // twice is harmless
}

TEST_F(RecordingWindowsTest, TheEditorWithoutARecordingShowsTheEmptyState) {
    for (const std::filesystem::path& movie : {std::filesystem::path(), std::filesystem::path("/nonexistent/clip.mov")}) {
        auto* editor = new VideoEditorWindow(nullptr, movie);
        EXPECT_FALSE(editor->hasVideo());
        EXPECT_EQ(labelText(*editor, "emptyTitle"), "No Video Selected");
        delete editor;
    }
    VideoEditorWindow unavailable(nullptr, "/tmp/clip.mov", "cannot load libtessarin-media.so");
    EXPECT_FALSE(unavailable.hasVideo());
    EXPECT_EQ(labelText(unavailable, "problem"), "cannot load libtessarin-media.so");
}

}  // namespace
}  // namespace tessarin
