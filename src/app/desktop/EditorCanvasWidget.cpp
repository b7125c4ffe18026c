#include "app/desktop/EditorCanvasWidget.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>
#include <cmath>

#include "core/annotation/AnnotationCropTool.h"

namespace tessarin {

AnnotationModifiers annotationModifiers(Qt::KeyboardModifiers modifiers) {
    return AnnotationModifiers{.shift = bool(modifiers & Qt::ShiftModifier),
                               .alt = bool(modifiers & Qt::AltModifier),
                               .control = bool(modifiers & Qt::ControlModifier),
                               .super = bool(modifiers & Qt::MetaModifier)};
}

namespace {

Qt::CursorShape cursorShape(const AnnotationCursorKind& kind) {
    using T = AnnotationCursorKind::Type;
    using H = AnnotationResizeHandle;
    switch (kind.type) {
        case T::resize:
            switch (kind.handle) {
                case H::left:
                case H::right: return Qt::SizeHorCursor;
                case H::top:
                case H::bottom: return Qt::SizeVerCursor;
                // Drawing space is y-up: its top-left is the screen's top-left too.
                case H::topLeft:
                case H::bottomRight: return Qt::SizeFDiagCursor;
                case H::topRight:
                case H::bottomLeft: return Qt::SizeBDiagCursor;
            }
            return Qt::SizeAllCursor;
        case T::arrow: return Qt::ArrowCursor;
        case T::crosshair: return Qt::CrossCursor;
        case T::iBeam: return Qt::IBeamCursor;
        case T::openHand: return Qt::OpenHandCursor;
        case T::closedHand: return Qt::ClosedHandCursor;
        case T::highlighter: return Qt::CrossCursor;
        case T::dragCopy: return Qt::DragCopyCursor;
    }
    return Qt::ArrowCursor;
}

// Zoom and undo keys, by key rather than text so any layout works.
std::optional<AnnotationKey> namedKey(const QKeyEvent& event) {
    using K = AnnotationKey::Kind;
    const AnnotationModifiers modifiers = annotationModifiers(event.modifiers());
    switch (event.key()) {
        case Qt::Key_Escape: return AnnotationKey::named(K::escape, modifiers);
        case Qt::Key_Return:
        case Qt::Key_Enter: return AnnotationKey::named(K::returnKey, modifiers);
        case Qt::Key_Delete:
        case Qt::Key_Backspace: return AnnotationKey::named(K::deleteKey, modifiers);
        default: break;
    }
    if (modifiers.control) {
        if (event.key() == Qt::Key_Plus || event.key() == Qt::Key_Equal) return AnnotationKey::named(K::zoomIn, modifiers);
        if (event.key() == Qt::Key_Minus) return AnnotationKey::named(K::zoomOut, modifiers);
        if (event.key() == Qt::Key_0) return AnnotationKey::named(K::zoomReset, modifiers);
    }
    const QString text = event.text().toLower();
    if (text.size() == 1 && text.at(0).isPrint()) return AnnotationKey::of(char32_t(text.at(0).unicode()), modifiers);
    return std::nullopt;
}

}  // namespace

EditorCanvasWidget::EditorCanvasWidget(EditorCanvasPixels& pixels, std::function<void()> changed, QWidget* parent)
    : QWidget(parent), pixels_(pixels), changed_(std::move(changed)), textBox_(new QLineEdit(this)) {
    setObjectName(QStringLiteral("canvas"));
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    textBox_->setObjectName(QStringLiteral("textBox"));
    textBox_->setPlaceholderText(QString::fromUtf8(AnnotationTextEditing::kPlaceholder.data(),
                                                   qsizetype(AnnotationTextEditing::kPlaceholder.size())));
    textBox_->setFrame(false);
    textBox_->hide();
    connect(textBox_, &QLineEdit::textChanged, this, [this](const QString& text) {
        if (syncingText_ || !model_) return;
        model_->canvas().updatePendingText(text.toStdString());
        sync();
    });
    // Return and Escape both end typing: the text is kept (an empty one goes).
    auto commit = [this] {
        if (!model_) return;
        model_->canvas().commitPendingText();
        setFocus();
        sync();
    };
    textBox_->installEventFilter(this);
    commitText_ = commit;
    // Focus leaving the box commits nothing by itself: a press on the canvas
    // commits (and opens no second box), as do a tool change and the exports.
}

// Return and Escape end typing here: the line edit would pass them on to
// the canvas, where Return starts editing the selected text again.
bool EditorCanvasWidget::eventFilter(QObject* watched, QEvent* event) {
    if (watched == textBox_ && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Escape) {
            commitText_();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void EditorCanvasWidget::setModel(AnnotationEditorModel* model) {
    if (model == model_) return;
    model_ = model;
    pixels_.invalidate(std::nullopt);
    if (model_) (void)model_->canvas().takeChanges();
    sync();
}

double EditorCanvasWidget::scale() const {
    if (!model_) return 1;
    const Rect draw = model_->imageDrawRect().standardized();
    const auto& image = model_->session()->image();
    if (!image || draw.width <= 0) return model_->zoomLevel();
    return model_->zoomLevel() * image->width() / draw.width;
}

QSize EditorCanvasWidget::sizeHint() const {
    if (!model_ || !model_->session()->image()) return {400, 300};
    const AnnotationCanvasFrame frame = model_->canvasFrame();
    const double zoom = model_->zoomLevel();
    return {std::max(1, int(std::lround(frame.width * zoom))), std::max(1, int(std::lround(frame.height * zoom)))};
}

// Where the image's top-left corner lies on the widget: the crop and the
// background's padding move it.
QPointF EditorCanvasWidget::imageOrigin() const {
    if (!model_) return {};
    const AnnotationCanvasFrame frame = model_->canvasFrame();
    return {double(frame.offsetX) * model_->zoomLevel(), double(frame.offsetY) * model_->zoomLevel()};
}

Point EditorCanvasWidget::drawingPoint(QPointF p) const {
    if (!model_) return {};
    const Rect draw = model_->imageDrawRect().standardized();
    const QPointF origin = imageOrigin();
    return {draw.minX() + (p.x() - origin.x()) / scale(), draw.maxY() - (p.y() - origin.y()) / scale()};
}

QPointF EditorCanvasWidget::widgetPoint(Point p) const {
    if (!model_) return {};
    const Rect draw = model_->imageDrawRect().standardized();
    const QPointF origin = imageOrigin();
    return {origin.x() + (p.x - draw.minX()) * scale(), origin.y() + (draw.maxY() - p.y) * scale()};
}

QRectF EditorCanvasWidget::widgetRect(const Rect& r) const {
    return QRectF(widgetPoint({r.minX(), r.maxY()}), widgetPoint({r.maxX(), r.minY()})).normalized();
}

void EditorCanvasWidget::sync() {
    // An edit that only changed some annotations repaints only where they
    // were and are (with the handles and marquee before and after); anything
    // else repaints the whole canvas.
    std::optional<QRect> changedArea;
    if (model_) {
        const AnnotationCanvasChanges changes = model_->canvas().takeChanges();
        // The tiles find what an edit changed themselves; a crop or a
        // background only changes the frame around them.
        if (changes.dirtyRect) pixels_.invalidate(changes.dirtyRect);
        pixels_.modelChanged();
        if (changes.dirtyRect && !changes.history && !changes.crop && !changes.background && !changes.textEditing &&
            !openCrop()) {
            changedArea = widgetRect(*changes.dirtyRect).toAlignedRect().adjusted(-2, -2, 2, 2);
        }
    }
    if (size() != sizeHint()) {
        resize(sizeHint());
        changedArea.reset();
    }
    placeTextBox();
    const QRect overlay = overlayArea();
    if (changedArea) {
        update(QRegion(*changedArea).united(paintedOverlay_).united(overlay));
    } else {
        update();
    }
    paintedOverlay_ = overlay;
    if (changed_) changed_();
}

// The selection handles and the marquee, as painted (a little grown for their pens).
QRect EditorCanvasWidget::overlayArea() const {
    QRect area;
    if (!model_) return area;
    for (const auto& handle : model_->canvas().selectionHandles()) {
        if (handle.visualRect) area |= widgetRect(*handle.visualRect).toAlignedRect().adjusted(-3, -3, 3, 3);
    }
    if (auto marquee = model_->canvas().marqueeRect()) area |= widgetRect(*marquee).toAlignedRect().adjusted(-3, -3, 3, 3);
    return area;
}

void EditorCanvasWidget::placeTextBox() {
    const auto* editing = model_ ? &model_->canvas().textEditing() : nullptr;
    if (!editing || !*editing) {
        textBox_->hide();
        return;
    }
    const auto& text = **editing;
    const QString value = QString::fromStdString(text.text);
    if (textBox_->text() != value) {
        syncingText_ = true;
        textBox_->setText(value);
        syncingText_ = false;
    }
    QFont font = textBox_->font();
    font.setPixelSize(std::max(6, int(std::lround(text.fontSize * scale()))));
    textBox_->setFont(font);
    const QColor color = QColor::fromRgbF(float(text.color.red), float(text.color.green), float(text.color.blue));
    textBox_->setStyleSheet(QStringLiteral("QLineEdit { background: rgba(255,255,255,160); color: %1; }").arg(color.name()));
    const QPointF topLeft = widgetPoint(text.anchor);
    const int width = std::max(160, int(text.width.value_or(0) * scale()));
    textBox_->setGeometry(int(topLeft.x()), int(topLeft.y()), width, textBox_->sizeHint().height());
    if (textBox_->isHidden()) {
        textBox_->show();
        textBox_->setFocus();
    }
}

void EditorCanvasWidget::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    painter.fillRect(event->rect(), palette().window());
    if (!model_) return;
    const double zoom = model_->zoomLevel();
    // The shown pixels under the area to repaint, a pixel wider for rounding.
    const QRect exposed = event->rect();
    const QRect shownRect(int(std::floor(exposed.x() / zoom)) - 1, int(std::floor(exposed.y() / zoom)) - 1,
                          int(std::ceil(exposed.width() / zoom)) + 3, int(std::ceil(exposed.height() / zoom)) + 3);
    const AnnotationCanvasFrame frame = model_->canvasFrame();
    const QRect clipped = shownRect.intersected(QRect(0, 0, int(frame.width), int(frame.height)));
    const QImage part = pixels_.render(*model_, shownRect, zoom);
    if (!part.isNull()) painter.drawImage(QPointF(clipped.x() * zoom, clipped.y() * zoom), part);
    painter.setRenderHint(QPainter::Antialiasing);
    for (const auto& handle : model_->canvas().selectionHandles()) {
        if (!handle.visualRect) continue;
        const QRectF r = widgetRect(*handle.visualRect);
        painter.setPen(QPen(QColor(0, 122, 255), 1.5));
        painter.setBrush(Qt::white);
        painter.drawRect(r);
    }
    if (auto marquee = model_->canvas().marqueeRect()) {
        painter.setPen(QPen(QColor(0, 122, 255), 1));
        painter.setBrush(QColor(0, 122, 255, 40));
        painter.drawRect(widgetRect(*marquee));
    }
    paintCrop(painter);
}

void EditorCanvasWidget::paintCrop(QPainter& painter) {
    const AnnotationCropSessionState* crop = openCrop();
    if (!crop) return;
    const AnnotationCropOverlay overlay = crop->overlay();
    painter.setPen(Qt::NoPen);
    for (const Rect& part : overlay.dimmed) painter.fillRect(widgetRect(part), QColor(0, 0, 0, 120));
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(Qt::white, 1.5));
    painter.drawRect(widgetRect(overlay.crop));
    painter.setBrush(Qt::white);
    painter.setPen(QPen(QColor(0, 0, 0, 120), 1));
    for (const Rect& handle : overlay.handles) painter.drawRect(widgetRect(handle));
    const QRectF frame = widgetRect(overlay.crop);
    const QString label = QString::fromStdString(overlay.sizeLabel);
    const QRectF badge(frame.left() + 6, frame.top() + 6, painter.fontMetrics().horizontalAdvance(label) + 12, 20);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0, 0, 0, 160));
    painter.drawRoundedRect(badge, 4, 4);
    painter.setPen(Qt::white);
    painter.drawText(badge, Qt::AlignCenter, label);
}

Qt::CursorShape EditorCanvasWidget::cropCursor(AnnotationCropCursor cursor) {
    switch (cursor) {
        case AnnotationCropCursor::move: return Qt::SizeAllCursor;
        case AnnotationCropCursor::resizeDiagonalRising: return Qt::SizeBDiagCursor;
        case AnnotationCropCursor::resizeDiagonalFalling: return Qt::SizeFDiagCursor;
        case AnnotationCropCursor::resizeHorizontal: return Qt::SizeHorCursor;
        case AnnotationCropCursor::resizeVertical: return Qt::SizeVerCursor;
        case AnnotationCropCursor::none: break;
    }
    return Qt::ArrowCursor;
}

// The open crop, when the crop panel is: the pointer reshapes it instead of
// drawing.
AnnotationCropSessionState* EditorCanvasWidget::openCrop() const {
    auto* tool = model_ ? dynamic_cast<AnnotationCropTool*>(model_->cropSession()) : nullptr;
    return tool ? &tool->state() : nullptr;
}

void EditorCanvasWidget::press(QMouseEvent* event, int clickCount) {
    if (!model_ || event->button() != Qt::LeftButton) return;
    setFocus();
    if (auto* crop = openCrop()) {
        crop->beginDrag(drawingPoint(event->position()));
        update();
        return;
    }
    model_->canvas().mouseDown(drawingPoint(event->position()), clickCount, annotationModifiers(event->modifiers()));
    sync();
}

void EditorCanvasWidget::mousePressEvent(QMouseEvent* event) { press(event, 1); }
void EditorCanvasWidget::mouseDoubleClickEvent(QMouseEvent* event) { press(event, 2); }

void EditorCanvasWidget::mouseMoveEvent(QMouseEvent* event) {
    if (!model_) return;
    const Point point = drawingPoint(event->position());
    if (auto* crop = openCrop()) {
        if (event->buttons() & Qt::LeftButton && crop->dragTo(point)) update();
        setCursor(cropCursor(crop->cursorAt(point)));
        return;
    }
    if (event->buttons() & Qt::LeftButton) {
        model_->canvas().mouseDragged(point, annotationModifiers(event->modifiers()));
        sync();
    }
    updateCursor(point);
}

void EditorCanvasWidget::mouseReleaseEvent(QMouseEvent* event) {
    if (!model_ || event->button() != Qt::LeftButton) return;
    const Point point = drawingPoint(event->position());
    if (auto* crop = openCrop()) {
        crop->endDrag();
        update();
        if (changed_) changed_();
        return;
    }
    model_->canvas().mouseUp(point, annotationModifiers(event->modifiers()));
    sync();
    updateCursor(point);
}

// Ctrl+wheel zooms; the plain wheel scrolls the view around the canvas.
void EditorCanvasWidget::wheelEvent(QWheelEvent* event) {
    if (!model_ || !(event->modifiers() & Qt::ControlModifier) || event->angleDelta().y() == 0) {
        return QWidget::wheelEvent(event);
    }
    using K = AnnotationKey::Kind;
    model_->handleKey(AnnotationKey::named(event->angleDelta().y() > 0 ? K::zoomIn : K::zoomOut));
    sync();
    event->accept();
}

void EditorCanvasWidget::updateCursor(std::optional<Point> point) {
    if (model_) setCursor(cursorShape(model_->canvas().pointerCursorKind(point)));
}

bool EditorCanvasWidget::handleShortcut(QKeyEvent* event) {
    const auto modifiers = event->modifiers();
    if (!(modifiers & Qt::ControlModifier) || event->key() != Qt::Key_Z) return false;
    if (modifiers & Qt::ShiftModifier) {
        model_->redo();
    } else {
        model_->undo();
    }
    return true;
}

void EditorCanvasWidget::keyPressEvent(QKeyEvent* event) {
    if (!model_) return QWidget::keyPressEvent(event);
    if (event->key() == Qt::Key_Alt || event->key() == Qt::Key_Control) model_->canvas().optionKeyChanged(true);
    if (handleShortcut(event)) return sync();
    const auto key = namedKey(*event);
    if (key && model_->handleKey(*key)) return sync();
    QWidget::keyPressEvent(event);
}

void EditorCanvasWidget::keyReleaseEvent(QKeyEvent* event) {
    if (model_ && (event->key() == Qt::Key_Alt || event->key() == Qt::Key_Control)) {
        model_->canvas().optionKeyChanged(false);
        sync();
    }
    QWidget::keyReleaseEvent(event);
}

}  // namespace tessarin
