// The background panel in the editor window, with real clicks and slider
// drags, and the canvas's frame against the export.
#include <QCheckBox>
#include <QClipboard>
#include <QLabel>
#include <QMimeData>
#include <QPaintEvent>
#include <QSlider>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QToolButton>

#include "app/desktop/EditorBackgroundPanel.h"
#include "app/desktop/EditorWindowFixture.h"

namespace tessarin {
namespace {

// A picture with something to see: the blur and the frame have edges to show.
std::shared_ptr<const Image> stripedImage(uint32_t width, uint32_t height) {
    auto image = Image::allocate(width, height);
    for (uint32_t y = 0; y < height; ++y) {
        for (uint32_t x = 0; x < width; ++x) {
            uint8_t* p = image->row(y) + size_t{x} * 4;
            p[0] = uint8_t((x * 7) % 256), p[1] = uint8_t((y * 5) % 256), p[2] = (x / 20) % 2 ? 230 : 40, p[3] = 255;
        }
    }
    return std::make_shared<const Image>(std::move(*image));
}

struct EditorBackgroundPanelTest : EditorWindowFixture {
    EditorBackgroundPanelTest() { savePath = folder.filePath(QStringLiteral("framed.png")); }
    void open(uint32_t width = 200, uint32_t height = 100) {
        openOn(stripedImage(width, height));
        button("backgroundToggle")->click();
    }

    QToolButton* button(const char* name) { return find<QToolButton>(name); }
    QSlider* slider(const char* name) { return find<QSlider>(name); }

    // Drags the slider's handle `steps` times by `dx` pixels, as a hand does.
    void dragSlider(QSlider* target, int dx, int steps) {
        QStyleOptionSlider option;
        option.initFrom(target);
        option.orientation = target->orientation();
        option.minimum = target->minimum();
        option.maximum = target->maximum();
        option.sliderPosition = target->sliderPosition();
        option.sliderValue = target->value();
        const QPoint handle =
            target->style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, target).center();
        mouse(QEvent::MouseButtonPress, handle, Qt::LeftButton, {}, target);
        for (int i = 1; i <= steps; ++i) mouse(QEvent::MouseMove, handle + QPoint(dx * i, 0), Qt::LeftButton, {}, target);
        mouse(QEvent::MouseButtonRelease, handle + QPoint(dx * steps, 0), Qt::NoButton, {}, target);
    }
    void undo() { key(&canvas(), Qt::Key_Z, Qt::ControlModifier); }
    // What the export delivers for the document as it is.
    QImage exported() {
        AnnotationCompositeInputs inputs{model().session()->image(), {}, model().imageDrawRect(),
                                         model().document().cropRect, model().document().background};
        for (const auto& a : model().document().annotations) inputs.annotations.push_back(a);
        auto image = drawing->exportImage(inputs);
        EXPECT_TRUE(image) << (image ? "" : image.error());
        return image ? qImageOf(*image) : QImage();
    }
};

TEST_F(EditorBackgroundPanelTest, ChoosingASwatchFramesTheImageAndUndoTakesItAway) {
    open();
    auto* panel = window.backgroundPanel();
    ASSERT_TRUE(panel->isVisible());
    EXPECT_FALSE(find<QCheckBox>("backgroundEnabled")->isChecked());
    button("gradient3")->click();
    ASSERT_TRUE(model().document().background);
    EXPECT_EQ(model().document().background->fill,
              AnnotationBackgroundFill::Fill(annotationBackgroundGradients().at(2)));
    EXPECT_TRUE(find<QCheckBox>("backgroundEnabled")->isChecked());
    EXPECT_TRUE(button("gradient3")->isChecked());
    EXPECT_EQ(canvas().size(), QSize(200 + 96, 100 + 96));

    button("colour8")->click();
    EXPECT_TRUE(button("colour8")->isChecked());
    EXPECT_FALSE(button("gradient3")->isChecked());
    undo();  // back to the gradient: the panel follows
    EXPECT_TRUE(button("gradient3")->isChecked());
    EXPECT_FALSE(button("colour8")->isChecked());
    undo();
    EXPECT_FALSE(model().document().background);
    EXPECT_FALSE(find<QCheckBox>("backgroundEnabled")->isChecked());
    EXPECT_EQ(canvas().size(), QSize(200, 100));
}

TEST_F(EditorBackgroundPanelTest, ASliderDragIsOneUndoStepAndThePanelFollowsUndo) {
    open();
    find<QCheckBox>("backgroundEnabled")->click();
    ASSERT_TRUE(model().document().background);
    QSlider* padding = slider("padding");
    ASSERT_EQ(padding->value(), 48);
    dragSlider(padding, 6, 8);
    const double dragged = model().document().background->padding;
    EXPECT_GT(dragged, 48);
    EXPECT_EQ(padding->value(), int(dragged));
    EXPECT_FALSE(model().backgroundPanel().isAdjustingBackground);
    const uint32_t p2 = uint32_t(2 * dragged);
    EXPECT_EQ(canvas().size(), QSize(int(200 + p2), int(100 + p2)));
    dragSlider(slider("shadow"), -5, 4);
    EXPECT_LT(model().document().background->shadow, 0.5);

    undo();  // the shadow drag, all of it
    EXPECT_EQ(model().document().background->shadow, 0.5);
    EXPECT_EQ(model().document().background->padding, dragged);
    EXPECT_EQ(slider("shadow")->value(), 50);
    undo();  // the padding drag, all of it
    EXPECT_EQ(model().document().background->padding, 48);
    EXPECT_EQ(padding->value(), 48);
    undo();  // the background itself
    EXPECT_FALSE(model().document().background);
    EXPECT_FALSE(padding->isEnabled());
}

// The canvas at 100% (its widget grabbed, and its pixels) equals the
// export byte for byte, with a mosaic under a blurred backdrop (every fill,
// corner, shadow and crop against the export is FramedCanvasTest's).
TEST_F(EditorBackgroundPanelTest, TheFramedCanvasEqualsTheExport) {
    open(240, 140);
    drawWith('r', {20, 20}, {120, 90});
    drawWith('p', {150, 30}, {230, 120});  // a mosaic: the blurred backdrop shows it applied
    model().selectLayers({});
    button("blurFill")->click();
    ASSERT_EQ(model().document().background->fill, AnnotationBackgroundFill::Fill(AnnotationBackgroundFill::Blur{0.5}));
    canvas().sync();
    const QImage expected = exported();
    EXPECT_EQ(pixels.documentImage(model()), expected);
    EXPECT_EQ(canvas().grab().toImage().convertToFormat(QImage::Format_RGBA8888), expected);
    const QRect part(30, 10, 120, 90);  // as a partial repaint asks for it
    EXPECT_EQ(pixels.render(model(), part, 1.0), expected.copy(part));
}

// Done, Copy and Save As deliver the framed image.
TEST_F(EditorBackgroundPanelTest, DoneCopyAndSaveAsDeliverTheFramedImage) {
    open(200, 100);
    button("gradient2")->click();
    drawWith('r', {70, 70}, {150, 120});  // the canvas shows the frame: the image starts at 48
    const QImage expected = exported();
    ASSERT_EQ(expected.size(), QSize(296, 196));

    find("copy")->click();
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    ASSERT_TRUE(data && data->hasFormat(QStringLiteral("image/png")));
    EXPECT_EQ(QImage::fromData(data->data(QStringLiteral("image/png")), "PNG").convertToFormat(QImage::Format_RGBA8888),
              expected);
    find("saveAs")->click();
    EXPECT_EQ(QImage(savePath).convertToFormat(QImage::Format_RGBA8888), expected);
    find("done")->click();
    ASSERT_EQ(completed.size(), 1u);
    EXPECT_EQ(qImageOf(*completed[0]), expected);
}

// The areas the canvas is asked to paint.
struct PaintedAreas : QObject {
    QRegion region;
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) region += static_cast<QPaintEvent*>(event)->region();
        return false;
    }
};

// A drag repaints only part of the canvas, but always every pixel whose
// export changed, with and without a frame.
TEST_F(EditorBackgroundPanelTest, ADragRepaintsEveryPixelItChangedAndNotTheWholeCanvas) {
    open(300, 200);
    window.resize(900, 600);
    PaintedAreas painted;
    canvas().installEventFilter(&painted);
    for (const char* fill : {"", "gradient4"}) {
        if (*fill) button(fill)->click();
        drawWith('r', {60, 60}, {200, 150});
        drawWith('o', {150, 100}, {260, 190});
        typeKey('v');
        mouse(QEvent::MouseButtonPress, {205, 145}, Qt::LeftButton);
        QApplication::processEvents();
        for (int i = 1; i <= 6; ++i) {
            const QImage before = exported();
            painted.region = {};
            mouse(QEvent::MouseMove, QPoint(205 - i * 15, 145 - i * 10), Qt::LeftButton);
            QApplication::processEvents();
            const QImage after = exported();
            ASSERT_EQ(before.size(), after.size());
            int changed = 0;
            for (int y = 0; y < after.height(); ++y) {
                for (int x = 0; x < after.width(); ++x) {
                    if (before.pixel(x, y) == after.pixel(x, y)) continue;
                    ++changed;
                    ASSERT_TRUE(painted.region.contains(QPoint(x, y))) << fill << " step " << i << " at " << x << "," << y;
                }
            }
            EXPECT_GT(changed, 0);
            EXPECT_LT(painted.region.boundingRect().width() * painted.region.boundingRect().height(),
                      canvas().width() * canvas().height() / 2)
                << "a step repaints part of the canvas";
        }
        mouse(QEvent::MouseButtonRelease, {115, 85}, Qt::NoButton);
        model().selectLayers({});
    }
    canvas().removeEventFilter(&painted);
}

TEST_F(EditorBackgroundPanelTest, APictureThatCannotBeReadSaysSoAndChangesNothing) {
    open();
    const QString notAPicture = folder.filePath(QStringLiteral("notes.png"));
    QFile file(notAPicture);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("these are not pixels");
    file.close();
    window.backgroundPanel()->setChoosePicture([&] { return notAPicture; });
    button("pictureFill")->click();
    EXPECT_FALSE(model().document().background);
    EXPECT_FALSE(button("pictureFill")->isChecked());
    auto* error = find<QLabel>("backgroundError");
    EXPECT_FALSE(error->isHidden());
    EXPECT_TRUE(error->text().contains(QStringLiteral("notes.png"))) << error->text().toStdString();
    // A cancelled dialog: nothing at all.
    window.backgroundPanel()->setChoosePicture([] { return QString(); });
    button("pictureFill")->click();
    EXPECT_FALSE(model().document().background);
    EXPECT_FALSE(model().canUndo());
}

TEST_F(EditorBackgroundPanelTest, ACustomColourComesFromTheColourDialog) {
    open();
    std::optional<AnnotationBackgroundColor> offered;
    window.backgroundPanel()->setChooseColor([&](AnnotationBackgroundColor initial) {
        offered = initial;
        return std::optional<AnnotationBackgroundColor>(AnnotationBackgroundColor{0.2, 0.4, 0.6, 1});
    });
    button("customColour")->click();
    ASSERT_TRUE(model().document().background);
    EXPECT_EQ(model().document().background->fill,
              AnnotationBackgroundFill::Fill(AnnotationBackgroundFill::Solid{{0.2, 0.4, 0.6, 1}}));
    EXPECT_TRUE(button("customColour")->isChecked());
    button("customColour")->click();  // offered again from the last custom colour
    EXPECT_EQ(offered, (AnnotationBackgroundColor{0.2, 0.4, 0.6, 1}));
}

}  // namespace
}  // namespace tessarin
