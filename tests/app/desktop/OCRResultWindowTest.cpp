#include "app/desktop/OCRResultWindow.h"

#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <gtest/gtest.h>

#include "app/desktop/QtTestApplication.h"

namespace tessarin {
namespace {

struct OCRResultWindowTest : ::testing::Test {
    QApplication& application = qtWidgetTestApplication();  // before any widget
    OCRResultWindow window;

    template <typename T>
    T* child(const char* name) {
        return window.findChild<T*>(QString::fromLatin1(name));
    }
};

TEST_F(OCRResultWindowTest, ShowsTheTextSelectableAndCopyAllPutsAllOfItOnTheClipboard) {
    QGuiApplication::clipboard()->setText(QStringLiteral("before"));
    window.present("Hello\nWorld");
    EXPECT_EQ(child<QLabel>("heading")->text(), QStringLiteral("Recognized Text"));
    auto* text = child<QPlainTextEdit>("text");
    EXPECT_TRUE(text->isVisible());
    EXPECT_TRUE(text->isReadOnly());
    EXPECT_TRUE(text->textInteractionFlags() & Qt::TextSelectableByMouse);
    EXPECT_EQ(text->toPlainText(), QStringLiteral("Hello\nWorld"));
    EXPECT_FALSE(child<QLabel>("note")->isVisible());
    auto* copy = child<QPushButton>("copyAll");
    ASSERT_TRUE(copy->isVisible());
    copy->click();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("Hello\nWorld"));
}

// The window is reused: a second result replaces the first, in both directions.
TEST_F(OCRResultWindowTest, AnEmptyResultSaysSoAndOffersNothingToCopyThenTextComesBack) {
    window.present("first");
    window.present("");
    EXPECT_EQ(child<QLabel>("heading")->text(), QStringLiteral("No Text Found"));
    EXPECT_TRUE(child<QLabel>("note")->isVisible());
    EXPECT_FALSE(child<QPlainTextEdit>("text")->isVisible());
    EXPECT_FALSE(child<QPushButton>("copyAll")->isVisible());

    window.present("second");
    EXPECT_EQ(child<QLabel>("heading")->text(), QStringLiteral("Recognized Text"));
    EXPECT_EQ(child<QPlainTextEdit>("text")->toPlainText(), QStringLiteral("second"));
    EXPECT_TRUE(child<QPushButton>("copyAll")->isVisible());
}

}  // namespace
}  // namespace tessarin
