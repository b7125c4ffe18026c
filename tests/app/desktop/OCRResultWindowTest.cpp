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

// The window is reused: each result replaces the last, text or none.
TEST_F(OCRResultWindowTest, ShowsTheTextToSelectOrSaysThereIsNoneAndCopyAllCopiesIt) {
    QGuiApplication::clipboard()->setText(QStringLiteral("before"));
    auto* text = child<QPlainTextEdit>("text");
    auto* copy = child<QPushButton>("copyAll");
    window.present("first");
    window.present("");
    EXPECT_TRUE(child<QLabel>("note")->isVisible());
    EXPECT_FALSE(text->isVisible());
    EXPECT_FALSE(copy->isVisible());

    window.present("Hello\nWorld");
    EXPECT_FALSE(child<QLabel>("note")->isVisible());
    EXPECT_TRUE(text->isVisible());
    EXPECT_TRUE(text->isReadOnly());
    EXPECT_TRUE(text->textInteractionFlags() & Qt::TextSelectableByMouse);
    EXPECT_EQ(text->toPlainText(), QStringLiteral("Hello\nWorld"));
    ASSERT_TRUE(copy->isVisible());
    copy->click();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("Hello\nWorld"));
}

}  // namespace
}  // namespace tessarin
