#pragma once
// The editor's canvas: paints what EditorCanvasPixels gives for the image at
// the model's zoom, with the selection handles and the marquee over it, and
// forwards pointer and key events to the model in drawing coordinates
// (origin bottom-left, y up). A text being typed gets a line edit over it.

#include <QLineEdit>
#include <QWidget>
#include <functional>

#include "app/desktop/EditorCanvasPixels.h"
#include "core/annotation/AnnotationCrop.h"

namespace tessarin {

class EditorCanvasWidget final : public QWidget {
    Q_OBJECT
public:
    // `changed` runs after every event that reached the model.
    EditorCanvasWidget(EditorCanvasPixels& pixels, std::function<void()> changed, QWidget* parent = nullptr);

    // Null: nothing to show.
    void setModel(AnnotationEditorModel* model);
    AnnotationEditorModel* model() const { return model_; }
    // Takes the model's changes: repaints, resizes for the zoom, places the text box.
    void sync();

    Point drawingPoint(QPointF widgetPoint) const;
    QPointF widgetPoint(Point drawingPoint) const;
    QLineEdit* textBox() const { return textBox_; }
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void press(QMouseEvent* event, int clickCount);
    bool handleShortcut(QKeyEvent* event);
    void placeTextBox();
    void updateCursor(std::optional<Point> point);
    QRectF widgetRect(const Rect& drawingRect) const;
    double scale() const;  // widget pixels per drawing unit
    QPointF imageOrigin() const;
    QRect overlayArea() const;

    AnnotationCropSessionState* openCrop() const;
    void paintCrop(QPainter& painter);
    static Qt::CursorShape cropCursor(AnnotationCropCursor cursor);

    EditorCanvasPixels& pixels_;
    std::function<void()> changed_;
    AnnotationEditorModel* model_ = nullptr;
    QLineEdit* textBox_;
    std::function<void()> commitText_;
    bool syncingText_ = false;
    QRect paintedOverlay_;  // the handles and marquee of the last paint asked for
};

AnnotationModifiers annotationModifiers(Qt::KeyboardModifiers modifiers);

}  // namespace tessarin
