#include "app/desktop/EditorWindow.h"

#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QToolButton>
#include <QWheelEvent>

#include "app/desktop/EditorLayersPanel.h"
#include "app/desktop/EditorToolBar.h"
#include "app/desktop/EditorWindowFixture.h"
#include "core/annotation/OtherAnnotations.h"
#include "core/annotation/RectAnnotations.h"

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
        // The outline is drawn on the left edge (that the canvas shows the
        // export's pixels is EditorBackgroundPanelTest's).
        EXPECT_TRUE(isReddish(pixels.documentImage(model()).pixelColor(20, 35))) << c.zoom;
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
    EXPECT_EQ(find<QLabel>("zoom")->text(), QStringLiteral("80%"));
}

TEST_F(EditorWindowTest, UndoAndRedoShortcutsAndTheLayersPanel) {
    open();
    drawWith('r', {10, 10}, {50, 50});
    drag({100, 20}, {150, 70});
    ASSERT_EQ(model().document().annotations.size(), 2u);
    key(&canvas(), Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(model().document().annotations.size(), 1u);
    key(&canvas(), Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(model().document().annotations.size(), 2u);

    find<QToolButton>("layersToggle")->click();
    QListWidget* layers = window.layersPanel()->list();
    EXPECT_TRUE(layers->isVisible());
    ASSERT_EQ(layers->count(), 2);
    layers->item(0)->setCheckState(Qt::Unchecked);  // top-most: the second rectangle
    EXPECT_TRUE(model().document().annotations.at(1)->isHidden());
    layers->item(0)->setSelected(true);
    find("layerDelete")->click();
    EXPECT_EQ(model().document().annotations.size(), 1u);
}

// Alt+drag is usually the window manager's: Ctrl+drag duplicates as well.
TEST_F(EditorWindowTest, ControlDragWithTheMoveToolDuplicates) {
    open();
    drawWith('r', {20, 10}, {80, 60});
    drawWith('m', {20, 35}, {60, 35});
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
    click({30, 30});
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
    click({120, 60});
    ASSERT_TRUE(box->isVisible());
    box->setText(QStringLiteral("World"));
    click({60, 80});
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
    EXPECT_TRUE(find<QLabel>("emptyTitle")->isVisible());
}

// Copy, Done and Save As deliver the export's pixels (EditorBackgroundPanelTest);
// here Save As suggests the preferred format, reports a failure and keeps the
// editor open either way.
TEST_F(EditorWindowTest, SaveAsSuggestsThePreferredFormatAndWritesTheChosenFileOrSaysWhy) {
    const QString chosen = savePath;
    savePath = folder.filePath(QStringLiteral("missing/folder/marked.png"));
    open();
    drawWith('r', {20, 10}, {80, 60});
    find("saveAs")->click();
    EXPECT_TRUE(find<QLabel>("exportError")->text().contains(QStringLiteral("could not be saved")));
    savePath = chosen;
    find("saveAs")->click();
    EXPECT_TRUE(suggestedName.endsWith(QStringLiteral(".jpg"))) << suggestedName.toStdString();
    const QImage saved(savePath);
    ASSERT_EQ(saved.size(), QSize(200, 100));
    EXPECT_TRUE(isReddish(saved.pixelColor(20, 35)));
    EXPECT_TRUE(host.model());
}

// The canvas hands the document to the tiles once per change, not on every
// paint: repaints (scrolling, exposure) reuse what it took.
TEST_F(EditorWindowTest, RepaintsWithoutAChangeDoNotTakeTheDocumentAgain) {
    open();
    drawWith('r', {20, 10}, {80, 60});
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
    auto* toggle = find<QToolButton>("cropToggle");
    ASSERT_TRUE(toggle);
    toggle->click();
    ASSERT_TRUE(model().cropSession());
    auto* panel = find<QWidget>("cropPanel");
    ASSERT_TRUE(panel && panel->isVisible());
    // The bottom-right handle moved 50 left and 40 up (drawing y grows upwards).
    drag({199, 99}, {149, 59});
    find("cropApply")->click();
    EXPECT_FALSE(model().cropSession());
    ASSERT_TRUE(model().document().cropRect);
    EXPECT_EQ(*model().document().cropRect, (Rect{0, 40, 150, 60}));
    EXPECT_FALSE(panel->isVisible());

    find("copy")->click();
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
    find("cropCancel")->click();
    EXPECT_EQ(*model().document().cropRect, (Rect{0, 40, 150, 60}));
    model().undo();  // the crop: closing asks nothing
}

}  // namespace
}  // namespace tessarin
