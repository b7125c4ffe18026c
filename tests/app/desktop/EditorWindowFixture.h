#pragma once
// An editor window wired as the application wires it: the Cairo renderer,
// the tile canvas (exports reuse its tiles), and a delivery that saves into
// a temporary folder in `saveFormat`. Each test opens it on its own picture.

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPushButton>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "app/desktop/EditorCanvasWidget.h"
#include "app/desktop/EditorExport.h"
#include "app/desktop/EditorWindow.h"
#include "app/desktop/QtTestApplication.h"
#include "core/annotation/AnnotationCropTool.h"
#include "render/annotation/CairoAnnotationEditorRenderer.h"
#include "render/annotation/PangoTextEngine.h"

namespace tessarin {

struct EditorWindowFixture : ::testing::Test {
    QApplication& application = qtWidgetTestApplication();  // before any widget
    QTemporaryDir folder;
    QString savePath = folder.filePath(QStringLiteral("saved.png"));
    QString suggestedName;
    ImageFormat saveFormat = ImageFormat::png();
    std::shared_ptr<const PangoTextEngine> text = std::make_shared<PangoTextEngine>();
    std::unique_ptr<AnnotationEditorRenderer> drawing = makeCairoAnnotationEditorRenderer(text);
    TileCanvasPixels pixels{[this] { return drawing.get(); }};
    ModuleExportRenderer renderer{[this] { return drawing.get(); }, &pixels};
    QtExportDelivery delivery{[this] { return saveFormat; },
                              [this](const QString& suggested) {
                                  suggestedName = suggested;
                                  return savePath;
                              }};
    AnnotationEditorHost host{[this](AnnotationEditorSessionPtr session) {
        AnnotationEditorModel::Dependencies deps;
        deps.measurer = text;
        deps.renderer = &renderer;
        deps.delivery = &delivery;
        deps.cropSessions = AnnotationCropTool::factory(1.0);
        return std::make_unique<AnnotationEditorModel>(std::move(session), std::move(deps));
    }};
    EditorWindow window{host, pixels, [this] { return drawing.get(); }};
    std::vector<std::shared_ptr<const Image>> completed;

    // Opens the editor on `image`; Done hands the result to `completed`.
    void openOn(std::shared_ptr<const Image> image) {
        host.open(std::make_shared<AnnotationEditorSession>(
            std::move(image), [this](std::shared_ptr<const Image> result, AnnotationDeliveryCallback done) {
                completed.push_back(std::move(result));
                done(AnnotationDeliveryResult::delivered());
            }));
        window.refresh();
        window.show();
    }

    // Input as a hand gives it: to the canvas unless another target is named.
    void mouse(QEvent::Type type, QPoint at, Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers = {},
               QWidget* target = nullptr) {
        if (!target) target = &canvas();
        const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
        QMouseEvent event(type, QPointF(at), target->mapToGlobal(QPointF(at)), button, buttons, modifiers);
        QApplication::sendEvent(target, &event);
    }
    void drag(QPoint from, QPoint to, Qt::KeyboardModifiers modifiers = {}) {
        mouse(QEvent::MouseButtonPress, from, Qt::LeftButton, modifiers);
        mouse(QEvent::MouseMove, (from + to) / 2, Qt::LeftButton, modifiers);
        mouse(QEvent::MouseMove, to, Qt::LeftButton, modifiers);
        mouse(QEvent::MouseButtonRelease, to, Qt::NoButton, modifiers);
    }
    void click(QPoint at) {
        mouse(QEvent::MouseButtonPress, at, Qt::LeftButton);
        mouse(QEvent::MouseButtonRelease, at, Qt::NoButton);
    }
    void key(QWidget* target, int code, Qt::KeyboardModifiers modifiers = {}, const QString& typed = {}) {
        QKeyEvent press(QEvent::KeyPress, code, modifiers, typed);
        QApplication::sendEvent(target, &press);
        QKeyEvent release(QEvent::KeyRelease, code, modifiers, typed);
        QApplication::sendEvent(target, &release);
    }
    void typeKey(char c) { key(&canvas(), Qt::Key_A + (c - 'a'), {}, QString(QChar(c))); }
    void drawWith(char tool, QPoint from, QPoint to) {
        typeKey(tool);
        drag(from, to);
    }

    template <class T = QPushButton>
    T* find(const char* name) {
        auto* found = window.findChild<T*>(QString::fromLatin1(name));
        EXPECT_TRUE(found) << name;
        return found;
    }
    AnnotationEditorModel& model() { return *host.model(); }
    EditorCanvasWidget& canvas() { return *window.canvas(); }
};

}  // namespace tessarin
