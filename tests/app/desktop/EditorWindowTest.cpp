#include "app/desktop/EditorWindow.h"

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QMimeData>
#include <QMouseEvent>
#include <QPushButton>
#include <QTemporaryDir>
#include <QToolButton>
#include <QWheelEvent>
#include <gtest/gtest.h>

#include "app/desktop/EditorBackgroundPanel.h"
#include "app/desktop/EditorCanvasWidget.h"
#include "app/desktop/EditorExport.h"
#include "app/desktop/EditorLayersPanel.h"
#include "app/desktop/EditorWindowFixture.h"
#include "app/desktop/EditorToolBar.h"
#include "app/desktop/QtTestApplication.h"
#include "core/annotation/AnnotationCropTool.h"
#include "core/annotation/OtherAnnotations.h"
#include "core/annotation/RectAnnotations.h"
#include "render/annotation/CairoAnnotationEditorRenderer.h"
#include "render/annotation/PangoTextEngine.h"

namespace tessarin {
namespace {

std::shared_ptr<const Image> whiteImage(uint32_t width, uint32_t height) {
    auto image = Image::allocate(width, height);
    std::fill(image->data(), image->data() + image->byteCount(), uint8_t{255});
    return std::make_shared<const Image>(std::move(*image));
}

bool isReddish(QColor c) { return c.red() > 200 && c.green() < 120 && c.blue() < 120; }

struct EditorWindowTest : EditorWindowFixture {
    EditorWindowTest() {
        savePath = folder.filePath(QStringLiteral("marked.png"));
        saveFormat = ImageFormat::jpeg();
    }
    void open(uint32_t width = 200, uint32_t height = 100) { openOn(whiteImage(width, height)); }

    void mouse(QEvent::Type type, QPoint at, Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers = {}) {
        const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
        QMouseEvent event(type, QPointF(at), canvas().mapToGlobal(QPointF(at)), button, buttons, modifiers);
        QApplication::sendEvent(&canvas(), &event);
    }
    void drag(QPoint from, QPoint to, Qt::KeyboardModifiers modifiers = {}) {
        mouse(QEvent::MouseButtonPress, from, Qt::LeftButton, modifiers);
        mouse(QEvent::MouseMove, (from + to) / 2, Qt::LeftButton, modifiers);
        mouse(QEvent::MouseMove, to, Qt::LeftButton, modifiers);
        mouse(QEvent::MouseButtonRelease, to, Qt::NoButton, modifiers);
    }
    void key(QWidget* target, int code, Qt::KeyboardModifiers modifiers = {}, const QString& typed = {}) {
        QKeyEvent press(QEvent::KeyPress, code, modifiers, typed);
        QApplication::sendEvent(target, &press);
        QKeyEvent release(QEvent::KeyRelease, code, modifiers, typed);
        QApplication::sendEvent(target, &release);
    }
    void typeKey(char c) { key(&canvas(), Qt::Key_A + (c - 'a'), {}, QString(QChar(c))); }

    QAbstractButton* promptButton(const char* name) {
        return window.closePrompt() ? window.closePrompt()->findChild<QAbstractButton*>(QString::fromLatin1(name)) : nullptr;
    }
    Rect onlyRectangle() {
        EXPECT_EQ(model().document().annotations.size(), 1u);
        auto rectangle = std::dynamic_pointer_cast<RectangleAnnotation>(model().document().annotations.at(0));
        EXPECT_TRUE(rectangle);
        return rectangle ? rectangle->rect.standardized() : Rect{};
    }
};

// Widget pixels map to drawing space (origin bottom-left) through the zoom.
TEST_F(EditorWindowTest, DrawsARectangleWhereThePointerWentAtZoomOneAndTwo) {
    const struct {
        double zoom;
        QPoint from, to;
    } cases[] = {{1, {20, 10}, {80, 60}}, {2, {40, 20}, {160, 120}}};
    for (const auto& c : cases) {
        open();
        model().setSelectedTool(AnnotationToolType::rectangle);
        model().setZoomLevel(c.zoom);
        window.refresh();
        EXPECT_EQ(canvas().size(), QSize(int(200 * c.zoom), int(100 * c.zoom)));
        drag(c.from, c.to);
        const Rect r = onlyRectangle();
        EXPECT_NEAR(r.minX(), 20, 0.01) << c.zoom;
        EXPECT_NEAR(r.maxX(), 80, 0.01) << c.zoom;
        EXPECT_NEAR(r.minY(), 40, 0.01) << c.zoom;  // 100 - 60
        EXPECT_NEAR(r.maxY(), 90, 0.01) << c.zoom;  // 100 - 10
        // The canvas shows the export's pixels: the outline is drawn on the left edge.
        const QImage shown = pixels.documentImage(model());
        EXPECT_TRUE(isReddish(shown.pixelColor(20, 35))) << c.zoom;
        const auto exported = drawing->exportImage(
            AnnotationCompositeInputs{model().session()->image(), model().document().annotations, model().imageDrawRect(), {}, {}});
        ASSERT_TRUE(exported);
        EXPECT_EQ(shown, qImageOf(*exported));
        // A part of it, as a partial repaint asks for one, is the same part of the export.
        const QRect part(5, 20, 150, 60);
        EXPECT_EQ(pixels.render(model(), part, 1.0), qImageOf(*exported).copy(part)) << c.zoom;
        model().undo();  // leaves nothing unsaved: closing asks nothing
        host.requestClose();
        window.refresh();
        EXPECT_FALSE(host.model());
    }
}

TEST_F(EditorWindowTest, ToolKeysChooseTheToolAndTheBarFollows) {
    open();
    // Which letter picks which tool is the model's; the window passes the keys on.
    const std::pair<char, AnnotationToolType> keys[] = {{'a', AnnotationToolType::arrow}, {'t', AnnotationToolType::text}};
    for (const auto& [c, tool] : keys) {
        typeKey(c);
        EXPECT_EQ(model().selectedTool(), tool) << c;
        EXPECT_TRUE(window.toolBar()->toolButton(tool)->isChecked()) << c;
    }
    window.toolBar()->toolButton(AnnotationToolType::line)->click();
    EXPECT_EQ(model().selectedTool(), AnnotationToolType::line);
}

TEST_F(EditorWindowTest, ZoomKeysAndControlWheelResizeTheCanvas) {
    open();
    key(&canvas(), Qt::Key_Equal, Qt::ControlModifier, QStringLiteral("="));
    EXPECT_DOUBLE_EQ(model().zoomLevel(), AnnotationEditorModel::kZoomStep);
    EXPECT_EQ(canvas().width(), 250);
    key(&canvas(), Qt::Key_0, Qt::ControlModifier, QStringLiteral("0"));
    EXPECT_DOUBLE_EQ(model().zoomLevel(), 1);
    QWheelEvent wheel(QPointF(10, 10), canvas().mapToGlobal(QPointF(10, 10)), {}, {0, -120}, Qt::NoButton,
                      Qt::ControlModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(&canvas(), &wheel);
    EXPECT_DOUBLE_EQ(model().zoomLevel(), 1 / AnnotationEditorModel::kZoomStep);
    EXPECT_EQ(canvas().size(), QSize(160, 80));
    EXPECT_EQ(window.findChild<QLabel*>(QStringLiteral("zoom"))->text(), QStringLiteral("80%"));
}

TEST_F(EditorWindowTest, UndoAndRedoShortcutsAndTheLayersPanel) {
    open();
    typeKey('r');
    drag({10, 10}, {50, 50});
    drag({100, 20}, {150, 70});
    ASSERT_EQ(model().document().annotations.size(), 2u);
    key(&canvas(), Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(model().document().annotations.size(), 1u);
    key(&canvas(), Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(model().document().annotations.size(), 2u);

    window.findChild<QToolButton*>(QStringLiteral("layersToggle"))->click();
    QListWidget* layers = window.layersPanel()->list();
    EXPECT_TRUE(layers->isVisible());
    ASSERT_EQ(layers->count(), 2);
    layers->item(0)->setCheckState(Qt::Unchecked);  // top-most: the second rectangle
    EXPECT_TRUE(model().document().annotations.at(1)->isHidden());
    layers->item(0)->setSelected(true);
    window.findChild<QPushButton*>(QStringLiteral("layerDelete"))->click();
    EXPECT_EQ(model().document().annotations.size(), 1u);
}

// Alt+drag is usually the window manager's: Ctrl+drag duplicates as well.
TEST_F(EditorWindowTest, ControlDragWithTheMoveToolDuplicates) {
    open();
    typeKey('r');
    drag({20, 10}, {80, 60});
    typeKey('m');
    drag({20, 35}, {60, 35});
    EXPECT_EQ(model().document().annotations.size(), 1u);  // a plain drag moves
    EXPECT_NEAR(onlyRectangle().minX(), 60, 0.01);
    // On the left edge, clear of its handles.
    drag({60, 22}, {100, 22}, Qt::ControlModifier);
    ASSERT_EQ(model().document().annotations.size(), 2u);
    key(&canvas(), Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(model().document().annotations.size(), 1u);
}

TEST_F(EditorWindowTest, TextIsTypedInABoxOverTheCanvasAndCommittedWithReturn) {
    open();
    typeKey('t');
    mouse(QEvent::MouseButtonPress, {30, 30}, Qt::LeftButton);
    mouse(QEvent::MouseButtonRelease, {30, 30}, Qt::NoButton);
    QLineEdit* box = canvas().textBox();
    ASSERT_TRUE(box->isVisible());
    EXPECT_EQ(box->placeholderText(), QStringLiteral("Type text..."));
    box->setText(QStringLiteral("Hello"));
    key(box, Qt::Key_Return);
    EXPECT_FALSE(box->isVisible());
    ASSERT_EQ(model().document().annotations.size(), 1u);
    auto typed = std::dynamic_pointer_cast<TextAnnotation>(model().document().annotations[0]);
    ASSERT_TRUE(typed);
    EXPECT_EQ(typed->text, "Hello");

    // A press elsewhere ends the next text and opens no second box.
    mouse(QEvent::MouseButtonPress, {120, 60}, Qt::LeftButton);
    mouse(QEvent::MouseButtonRelease, {120, 60}, Qt::NoButton);
    ASSERT_TRUE(box->isVisible());
    box->setText(QStringLiteral("World"));
    mouse(QEvent::MouseButtonPress, {60, 80}, Qt::LeftButton);
    mouse(QEvent::MouseButtonRelease, {60, 80}, Qt::NoButton);
    EXPECT_FALSE(box->isVisible());
    EXPECT_EQ(model().document().annotations.size(), 2u);
}

// What each answer does is the host's; here each button reaches it.
TEST_F(EditorWindowTest, TheClosePromptsThreeButtons) {
    const struct {
        const char* button;
        bool staysOpen;
        size_t completed;
    } answers[] = {{"promptCancel", true, 0}, {"promptSave", false, 1}, {"promptDontSave", false, 1}};
    open();
    typeKey('r');
    for (const auto& a : answers) {
        SCOPED_TRACE(a.button);
        if (!host.model()) open();
        drag({10, 10}, {50, 50});
        window.close();
        ASSERT_TRUE(promptButton(a.button));
        promptButton(a.button)->click();
        EXPECT_FALSE(window.closePrompt());
        EXPECT_EQ(bool(host.model()), a.staysOpen);
        EXPECT_EQ(completed.size(), a.completed);
    }
    EXPECT_TRUE(window.findChild<QLabel*>(QStringLiteral("emptyTitle"))->isVisible());
}

// Copy, Done and Save As deliver the export's pixels (EditorBackgroundPanelTest);
// here Save As suggests the preferred format and writes the chosen file.
TEST_F(EditorWindowTest, SaveAsSuggestsThePreferredFormatAndWritesTheChosenFile) {
    open();
    typeKey('r');
    drag({20, 10}, {80, 60});
    window.findChild<QPushButton*>(QStringLiteral("saveAs"))->click();
    EXPECT_TRUE(suggestedName.endsWith(QStringLiteral(".jpg"))) << suggestedName.toStdString();
    const QImage saved(savePath);
    ASSERT_EQ(saved.size(), QSize(200, 100));
    EXPECT_TRUE(isReddish(saved.pixelColor(20, 35)));
    EXPECT_TRUE(host.model());  // Save As keeps the editor open
}

TEST_F(EditorWindowTest, AFailedSaveShowsItsErrorAndKeepsTheEditorOpen) {
    savePath = folder.filePath(QStringLiteral("missing/folder/marked.png"));
    open();
    typeKey('r');
    drag({20, 10}, {80, 60});
    window.findChild<QPushButton*>(QStringLiteral("saveAs"))->click();
    EXPECT_TRUE(host.model());
    EXPECT_TRUE(window.findChild<QLabel*>(QStringLiteral("exportError"))->text().contains(QStringLiteral("could not be saved")));
}

TEST_F(EditorWindowTest, PicturesOfTheWindowWhenAsked) {
    const QString shots = qEnvironmentVariable("TESSARIN_SHOTS");
    if (shots.isEmpty()) GTEST_SKIP() << "TESSARIN_SHOTS is not set";
    auto picture = [&](const char* name) {
        QApplication::processEvents();
        EXPECT_TRUE(window.grab().save(shots + "/editor-" + QString::fromLatin1(name) + ".png"));
    };
    picture("empty");
    open(480, 300);
    typeKey('r');
    drag({40, 40}, {200, 140});
    typeKey('n');
    mouse(QEvent::MouseButtonPress, {260, 60}, Qt::LeftButton);
    mouse(QEvent::MouseButtonRelease, {260, 60}, Qt::NoButton);
    typeKey('p');
    drag({300, 160}, {440, 260});
    typeKey('h');
    drag({40, 200}, {240, 230});
    window.findChild<QToolButton*>(QStringLiteral("layersToggle"))->click();
    picture("layers");
    typeKey('t');
    mouse(QEvent::MouseButtonPress, {60, 260}, Qt::LeftButton);
    mouse(QEvent::MouseButtonRelease, {60, 260}, Qt::NoButton);
    canvas().textBox()->setText(QStringLiteral("Look here"));
    picture("text");
    key(&canvas(), Qt::Key_Escape);
    window.findChild<QToolButton*>(QStringLiteral("cropToggle"))->click();
    drag({479, 299}, {400, 220});
    picture("crop");
    window.findChild<QPushButton*>(QStringLiteral("cropCancel"))->click();
    // The background panel with each kind of fill.
    const QString sky = folder.filePath(QStringLiteral("sky.png"));
    QImage skyImage(320, 200, QImage::Format_RGB32);
    for (int y = 0; y < skyImage.height(); ++y) {
        for (int x = 0; x < skyImage.width(); ++x) skyImage.setPixelColor(x, y, QColor(60 + x / 3, 120 + y / 3, 220));
    }
    ASSERT_TRUE(skyImage.save(sky));
    window.backgroundPanel()->setChoosePicture([sky] { return sky; });
    window.findChild<QToolButton*>(QStringLiteral("backgroundToggle"))->click();
    picture("background-off");
    for (const char* fill : {"gradient1", "colour3", "pictureFill", "blurFill"}) {
        window.findChild<QToolButton*>(QString::fromLatin1(fill))->click();
        picture((std::string("background-") + fill).c_str());
    }
    model().undo();  // the fills: closing asks about the drawing only
    model().undo();
    model().undo();
    model().undo();
    window.close();
    picture("prompt");
    ASSERT_TRUE(window.closePrompt());
    EXPECT_TRUE(window.closePrompt()->grab().save(shots + "/editor-prompt-box.png"));
}

// The canvas hands the document to the tiles once per change, not on every
// paint: repaints (scrolling, exposure) reuse what it took.
TEST_F(EditorWindowTest, RepaintsWithoutAChangeDoNotTakeTheDocumentAgain) {
    open();
    typeKey('r');
    drag({20, 10}, {80, 60});
    (void)canvas().grab();
    const int taken = pixels.updates();
    for (int i = 0; i < 5; ++i) (void)canvas().grab();
    EXPECT_EQ(pixels.updates(), taken);
    mouse(QEvent::MouseButtonPress, {120, 20}, Qt::LeftButton);
    mouse(QEvent::MouseMove, {150, 50}, Qt::LeftButton);
    (void)canvas().grab();
    (void)canvas().grab();
    EXPECT_EQ(pixels.updates(), taken + 1);  // the press and the move came before one paint
    mouse(QEvent::MouseButtonRelease, {150, 50}, Qt::NoButton);
    (void)canvas().grab();
    EXPECT_EQ(pixels.updates(), taken + 2);
    model().undo();
    model().undo();
}

// The crop panel: a corner dragged on the canvas reshapes the crop, a preset
// sets its ratio, Apply crops the document and Copy delivers the crop.
TEST_F(EditorWindowTest, CropByDraggingACornerThenApplyAndCopyTheCroppedImage) {
    open(200, 100);
    auto* toggle = window.findChild<QToolButton*>(QStringLiteral("cropToggle"));
    ASSERT_TRUE(toggle);
    toggle->click();
    ASSERT_TRUE(model().cropSession());
    auto* panel = window.findChild<QWidget*>(QStringLiteral("cropPanel"));
    ASSERT_TRUE(panel && panel->isVisible());
    // The bottom-right handle moved 50 left and 40 up (drawing y grows upwards).
    drag({199, 99}, {149, 59});
    window.findChild<QPushButton*>(QStringLiteral("cropApply"))->click();
    EXPECT_FALSE(model().cropSession());
    ASSERT_TRUE(model().document().cropRect);
    EXPECT_EQ(*model().document().cropRect, (Rect{0, 40, 150, 60}));
    EXPECT_FALSE(panel->isVisible());

    window.findChild<QPushButton*>(QStringLiteral("copy"))->click();
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    ASSERT_TRUE(data && data->hasFormat(QStringLiteral("image/png")));
    EXPECT_EQ(QImage::fromData(data->data(QStringLiteral("image/png")), "PNG").size(), QSize(150, 60));

    // A ratio preset from the panel, then Cancel: the crop stays as applied.
    toggle->click();
    for (QToolButton* preset : panel->findChildren<QToolButton*>()) {
        if (preset->text() == QStringLiteral("1:1")) preset->click();
    }
    auto* tool = dynamic_cast<AnnotationCropTool*>(model().cropSession());
    ASSERT_TRUE(tool);
    EXPECT_NEAR(tool->state().rect().width, tool->state().rect().height, 0.5);
    window.findChild<QPushButton*>(QStringLiteral("cropCancel"))->click();
    EXPECT_EQ(*model().document().cropRect, (Rect{0, 40, 150, 60}));
    model().undo();  // the crop: closing asks nothing
}

}  // namespace
}  // namespace tessarin
