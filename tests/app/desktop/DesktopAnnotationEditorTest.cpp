#include "app/desktop/DesktopAnnotationEditor.h"

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <gtest/gtest.h>

#include "app/desktop/EditorCanvasWidget.h"
#include "app/desktop/EditorWindow.h"
#include "app/desktop/QtTestApplication.h"
#include "core/annotation/RectAnnotations.h"
#include "core/preferences/AppPreferences.h"
#include "core/preferences/KeyValueStore.h"
#include "render/annotation/CairoAnnotationEditorRenderer.h"

namespace tessarin {
namespace {

std::shared_ptr<const Image> greyImage() {
    auto image = Image::allocate(120, 80);
    std::fill(image->data(), image->data() + image->byteCount(), uint8_t{128});
    return std::make_shared<const Image>(std::move(*image));
}

void drawBox(AnnotationEditorModel& model, AnnotationToolType tool = AnnotationToolType::rectangle,
             Point from = {10, 10}, Point to = {60, 50}) {
    model.setSelectedTool(tool);
    model.canvas().mouseDown(from, 1, {});
    model.canvas().mouseDragged(to, {});
    model.canvas().mouseUp(to, {});
}

struct DesktopAnnotationEditorTest : ::testing::Test {
    QApplication& application = qtWidgetTestApplication();  // before any widget
    InMemoryKeyValueStore store;
    AppPreferences preferences{store};
    std::unique_ptr<AnnotationEditorRenderer> drawing = makeCairoAnnotationEditorRenderer();
    DesktopAnnotationEditor editor{
        {preferences, [](const QString&) { return QString(); }, {}, [this] { return drawing.get(); }}};

    AnnotationEditorModel* model() { return editor.window()->canvas()->model(); }
    void drawBox() {
        tessarin::drawBox(*model());
        editor.window()->refresh();
    }
    void answer(const char* button) {
        ASSERT_TRUE(editor.window()->closePrompt());
        editor.window()->closePrompt()->findChild<QAbstractButton*>(QString::fromLatin1(button))->click();
    }
};

// Where Done goes, with and without a route, is AnnotationEditorHost's
// (AnnotationEditorModelTest); a capture's and a file's edit going back
// through the running application is the links session's annotate case.
TEST_F(DesktopAnnotationEditorTest, QuittingAsksAboutUnsavedEditsFirst) {
    editor.open(greyImage(), CaptureSessionInfo{}, [](SharedImage) {});
    std::vector<bool> decisions;
    editor.requestQuit([&](bool mayQuit) { decisions.push_back(mayQuit); });
    EXPECT_EQ(decisions, std::vector<bool>{true});  // nothing to lose: no question

    editor.open(greyImage(), CaptureSessionInfo{}, [](SharedImage) {});
    drawBox();
    editor.requestQuit([&](bool mayQuit) { decisions.push_back(mayQuit); });
    answer("promptCancel");
    EXPECT_EQ(decisions, (std::vector<bool>{true, false}));
    EXPECT_TRUE(model());
    editor.requestQuit([&](bool mayQuit) { decisions.push_back(mayQuit); });
    answer("promptDontSave");
    EXPECT_EQ(decisions, (std::vector<bool>{true, false, true}));
}

// Without the annotation module the editor still opens on the plain image;
// Done says it could not draw the image and keeps the edit.
TEST(DesktopAnnotationEditorWithoutRenderer, OpensOnThePlainImageAndDoneFailsWithTheReason) {
    qtWidgetTestApplication();
    InMemoryKeyValueStore store;
    AppPreferences preferences{store};
    DesktopAnnotationEditor editor{
        {preferences, [](const QString&) { return QString(); }, {}, []() -> AnnotationEditorRenderer* { return nullptr; }}};
    std::vector<SharedImage> finished;
    editor.open(greyImage(), CaptureSessionInfo{}, [&](SharedImage edited) { finished.push_back(std::move(edited)); });
    AnnotationEditorModel* model = editor.window()->canvas()->model();
    ASSERT_TRUE(model);
    const QImage shown = editor.window()->canvas()->grab().toImage();
    EXPECT_EQ(shown.size(), QSize(120, 80));
    // The half-clear grey image over the canvas's background, not the background alone.
    EXPECT_NE(shown.pixelColor(60, 40), editor.window()->canvas()->palette().window().color());
    drawBox(*model);
    editor.window()->findChild<QPushButton*>(QStringLiteral("done"))->click();
    EXPECT_TRUE(finished.empty());
    EXPECT_TRUE(editor.window()->canvas()->model());
    EXPECT_FALSE(editor.window()->findChild<QLabel*>(QStringLiteral("exportError"))->text().isEmpty());
    model->undo();
}

// Text recognition runs only once the highlighter is first used; the lines
// it finds come back later, and from then on the highlighter takes the line
// it was pressed on.
TEST(DesktopAnnotationEditorLines, TheHighlighterReadsTheLinesWhenFirstUsedAndThenSnapsToThem) {
    qtWidgetTestApplication();
    InMemoryKeyValueStore store;
    AppPreferences preferences{store};
    std::function<void(std::vector<Rect>)> deliver;
    int readings = 0;
    auto drawing = makeCairoAnnotationEditorRenderer();
    DesktopAnnotationEditor editor{{preferences, [](const QString&) { return QString(); },
                                    [&](const std::shared_ptr<const Image>&, std::function<void(std::vector<Rect>)> done) {
                                        ++readings;
                                        deliver = std::move(done);
                                    },
                                    [&] { return drawing.get(); }}};
    editor.open(greyImage(), CaptureSessionInfo{}, [](SharedImage) {});
    AnnotationEditorModel* model = editor.window()->canvas()->model();
    ASSERT_TRUE(model);
    EXPECT_EQ(readings, 0);  // opening reads nothing
    drawBox(*model, AnnotationToolType::highlighter, {40, 5}, {70, 25});  // before the lines are read: drawn freely
    ASSERT_EQ(readings, 1);
    ASSERT_TRUE(deliver);
    deliver({{0.25, 0.5, 0.5, 0.125}});  // a line 60x10 at (30, 40) of the 120x80 image
    drawBox(*model, AnnotationToolType::highlighter, {40, 45}, {70, 46});
    EXPECT_EQ(readings, 1);  // once per session
    ASSERT_EQ(model->document().annotations.size(), 2u);
    const auto* highlight = dynamic_cast<const HighlighterAnnotation*>(model->document().annotations[1].get());
    ASSERT_TRUE(highlight);
    EXPECT_EQ(highlight->rect.standardized(), (Rect{30, 40, 60, 10}));
    model->undo();
    model->undo();
}

}  // namespace
}  // namespace tessarin
