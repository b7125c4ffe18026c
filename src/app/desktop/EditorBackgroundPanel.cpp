#include "app/desktop/EditorBackgroundPanel.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QColorDialog>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QSlider>
#include <QToolButton>
#include <QVBoxLayout>
#include <cmath>

#include "app/desktop/EditorCanvasPixels.h"

namespace tessarin {
namespace {

constexpr int kSwatchSide = 30;

QColor qColor(const AnnotationBackgroundColor& c) {
    return QColor::fromRgbF(float(c.red), float(c.green), float(c.blue), float(c.alpha));
}

QIcon swatchIcon(const std::function<void(QPainter&, const QRectF&)>& fill) {
    QPixmap pixmap(kSwatchSide * 2, kSwatchSide * 2);  // sharp on a doubled scale too
    pixmap.setDevicePixelRatio(2);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF r(1, 1, kSwatchSide - 2, kSwatchSide - 2);
    QPainterPath path;
    path.addRoundedRect(r, 6, 6);
    painter.setClipPath(path);
    fill(painter, r);
    painter.setClipping(false);
    painter.setPen(QPen(QColor(0, 0, 0, 50), 1));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(path);
    return QIcon(pixmap);
}

QIcon gradientIcon(const AnnotationBackgroundFill::Gradient& g) {
    return swatchIcon([&](QPainter& p, const QRectF& r) {
        QLinearGradient gradient(r.topLeft(), r.bottomRight());
        gradient.setColorAt(0, qColor(g.start));
        gradient.setColorAt(1, qColor(g.end));
        p.fillRect(r, gradient);
    });
}

QIcon solidIcon(const AnnotationBackgroundColor& c) {
    return swatchIcon([&](QPainter& p, const QRectF& r) { p.fillRect(r, qColor(c)); });
}

QIcon imageIcon(const QImage& image) {
    return swatchIcon([&](QPainter& p, const QRectF& r) {
        if (image.isNull()) return p.fillRect(r, QColor(115, 115, 115));
        const QImage filled = image.scaled(r.size().toSize(), Qt::KeepAspectRatioByExpanding, Qt::SmoothTransformation);
        p.drawImage(r, filled, QRectF(QPointF((filled.width() - r.width()) / 2, (filled.height() - r.height()) / 2), r.size()));
    });
}

QToolButton* swatchButton(QWidget* parent, const QString& tip) {
    auto* button = new QToolButton(parent);
    button->setCheckable(true);
    button->setAutoRaise(true);
    button->setToolTip(tip);
    button->setIconSize(QSize(kSwatchSide, kSwatchSide));
    button->setFocusPolicy(Qt::NoFocus);  // the canvas keeps the keys
    return button;
}

QLabel* heading(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setStyleSheet(QStringLiteral("font-weight: 600;"));
    return label;
}

QLabel* caption(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setStyleSheet(QStringLiteral("color: #5f636b; font-size: 11px;"));
    return label;
}

}  // namespace

EditorBackgroundPanel::EditorBackgroundPanel(std::function<void()> changed, RendererSource renderer, QWidget* parent)
    : QWidget(parent),
      changed_(std::move(changed)),
      renderer_(std::move(renderer)),
      enabled_(new QCheckBox(QStringLiteral("Show Background"), this)),
      swatches_(new QButtonGroup(this)) {
    setObjectName(QStringLiteral("backgroundPanel"));
    setMinimumWidth(260);
    setMaximumWidth(300);
    choosePicture_ = [this] {
        return QFileDialog::getOpenFileName(this, QStringLiteral("Choose a Picture"), QString(),
                                            QStringLiteral("Images (*.png *.jpg *.jpeg)"), nullptr,
                                            QFileDialog::DontUseNativeDialog);
    };
    chooseColor_ = [this](AnnotationBackgroundColor initial) -> std::optional<AnnotationBackgroundColor> {
        const QColor chosen = QColorDialog::getColor(qColor(initial), this, QStringLiteral("Background Colour"),
                                                     QColorDialog::DontUseNativeDialog);
        if (!chosen.isValid()) return std::nullopt;
        return AnnotationBackgroundColor{chosen.redF(), chosen.greenF(), chosen.blueF(), 1};
    };
    auto* column = new QVBoxLayout(this);
    column->setSpacing(8);
    column->addWidget(heading(QStringLiteral("Background"), this));
    enabled_->setObjectName(QStringLiteral("backgroundEnabled"));
    enabled_->setFocusPolicy(Qt::NoFocus);
    column->addWidget(enabled_);
    connect(enabled_, &QCheckBox::toggled, this, [this](bool on) {
        if (syncing_ || !model_) return;
        model_->setBackgroundEnabled(on);
        afterChange();
    });
    column->addWidget(buildSwatches());
    column->addWidget(buildSliders());
    error_ = new QLabel(this);
    error_->setObjectName(QStringLiteral("backgroundError"));
    error_->setWordWrap(true);
    error_->setStyleSheet(QStringLiteral("color: #c0392b;"));
    error_->hide();
    column->addWidget(error_);
    column->addStretch(1);
    hide();
}

QWidget* EditorBackgroundPanel::buildSwatches() {
    auto* box = new QWidget(this);
    auto* column = new QVBoxLayout(box);
    column->setContentsMargins(0, 0, 0, 0);
    swatches_->setExclusive(false);  // sync() checks the one that matches, or none
    auto addGrid = [&](const QString& title, auto&& fills, auto&& icon, const QString& tipPrefix) -> QGridLayout* {
        column->addWidget(caption(title, box));
        auto* grid = new QGridLayout;
        grid->setSpacing(2);
        int index = 0;
        for (const auto& fill : fills) {
            auto* button = swatchButton(box, QStringLiteral("%1 %2").arg(tipPrefix).arg(index + 1));
            button->setObjectName(QStringLiteral("%1%2").arg(tipPrefix.toLower()).arg(index + 1));
            button->setIcon(icon(fill));
            grid->addWidget(button, index / 6, index % 6);
            const AnnotationBackgroundFill::Fill value = AnnotationBackgroundFill::Fill(fill);
            fixedSwatches_.emplace_back(value, button);
            connect(button, &QToolButton::clicked, this, [this, value] {
                if (!model_) return;
                model_->updateBackgroundFill(value);
                afterChange();
            });
            ++index;
        }
        column->addLayout(grid);
        return grid;
    };
    addGrid(QStringLiteral("Gradients"), annotationBackgroundGradients(), gradientIcon, QStringLiteral("Gradient"));
    std::vector<AnnotationBackgroundFill::Solid> solids;
    for (const auto& color : annotationBackgroundSolids()) solids.push_back({color});
    QGridLayout* colours = addGrid(QStringLiteral("Colours"), solids,
                                   [](const AnnotationBackgroundFill::Solid& s) { return solidIcon(s.color); },
                                   QStringLiteral("Colour"));
    custom_ = swatchButton(box, QStringLiteral("Custom colour…"));
    custom_->setObjectName(QStringLiteral("customColour"));
    custom_->setIcon(swatchIcon([](QPainter& p, const QRectF& r) {
        QConicalGradient wheel(r.center(), 0);
        for (int i = 0; i <= 6; ++i) wheel.setColorAt(i / 6.0, QColor::fromHsvF(float(i % 6) / 6, 0.8f, 1));
        p.fillRect(r, wheel);
    }));
    colours->addWidget(custom_, 1, 3);
    connect(custom_, &QToolButton::clicked, this, [this] { chooseCustomColor(); });

    column->addWidget(caption(QStringLiteral("Picture and blurred screenshot"), box));
    auto* row = new QHBoxLayout;
    row->setSpacing(2);
    picture_ = swatchButton(box, QStringLiteral("Choose a picture…"));
    picture_->setObjectName(QStringLiteral("pictureFill"));
    picture_->setIcon(swatchIcon([](QPainter& p, const QRectF& r) {
        p.fillRect(r, QColor(235, 237, 240));
        p.setPen(QPen(QColor(110, 115, 125), 1.5));
        p.drawText(r, Qt::AlignCenter, QStringLiteral("…"));
    }));
    blur_ = swatchButton(box, QStringLiteral("Blurred screenshot"));
    blur_->setObjectName(QStringLiteral("blurFill"));
    // The chosen picture's name stands beside its own swatch.
    pictureName_ = new QLabel(box);
    pictureName_->setObjectName(QStringLiteral("pictureName"));
    pictureName_->setStyleSheet(QStringLiteral("font-size: 11px;"));
    pictureName_->setMaximumWidth(120);
    row->addWidget(picture_);
    row->addWidget(pictureName_);
    row->addSpacing(8);
    row->addWidget(blur_);
    row->addStretch(1);
    column->addLayout(row);
    connect(picture_, &QToolButton::clicked, this, [this] { choosePicture(); });
    connect(blur_, &QToolButton::clicked, this, [this] {
        if (!model_) return;
        model_->updateBackgroundFill(AnnotationBackgroundFill::Blur{model_->backgroundPanel().lastBlurAmount});
        afterChange();
    });
    for (auto& [fill, button] : fixedSwatches_) swatches_->addButton(button);
    for (QToolButton* button : {custom_, picture_, blur_}) swatches_->addButton(button);
    return box;
}

QSlider* EditorBackgroundPanel::addSlider(QGridLayout* grid, int row, const QString& title, const char* name,
                                          int maximum) {
    auto* label = new QLabel(title, this);
    auto* slider = new QSlider(Qt::Horizontal, this);
    slider->setObjectName(QString::fromLatin1(name));
    slider->setRange(0, maximum);
    slider->setFocusPolicy(Qt::NoFocus);
    auto* value = new QLabel(this);
    value->setMinimumWidth(36);
    value->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    grid->addWidget(label, row, 0);
    grid->addWidget(slider, row, 1);
    grid->addWidget(value, row, 2);
    if (slider->objectName() == QLatin1String("padding")) paddingValue_ = value;
    if (slider->objectName() == QLatin1String("cornerRadius")) cornersValue_ = value;
    if (slider->objectName() == QLatin1String("shadow")) shadowValue_ = value;
    if (slider->objectName() == QLatin1String("blurAmount")) blurValue_ = value;
    return slider;
}

QWidget* EditorBackgroundPanel::buildSliders() {
    auto* box = new QWidget(this);
    auto* grid = new QGridLayout(box);
    grid->setContentsMargins(0, 4, 0, 0);
    blurAmount_ = addSlider(grid, 0, QStringLiteral("Blur"), "blurAmount", 100);
    padding_ = addSlider(grid, 1, QStringLiteral("Padding"), "padding", kMaxPadding);
    corners_ = addSlider(grid, 2, QStringLiteral("Corners"), "cornerRadius", kMaxCornerRadius);
    shadow_ = addSlider(grid, 3, QStringLiteral("Shadow"), "shadow", 100);
    connectSlider(blurAmount_, [](AnnotationBackgroundStyle& style, int value) {
        if (auto* blur = std::get_if<AnnotationBackgroundFill::Blur>(&style.fill)) blur->amount = value / 100.0;
    });
    connectSlider(padding_, [](AnnotationBackgroundStyle& style, int value) { style.padding = value; });
    connectSlider(corners_, [](AnnotationBackgroundStyle& style, int value) { style.cornerRadius = value; });
    connectSlider(shadow_, [](AnnotationBackgroundStyle& style, int value) { style.shadow = value / 100.0; });
    return box;
}

// A drag is one undo step: its values coalesce until the slider is let go.
// A click on the groove or a key is a step of its own.
void EditorBackgroundPanel::connectSlider(QSlider* slider, std::function<void(AnnotationBackgroundStyle&, int)> apply) {
    connect(slider, &QSlider::valueChanged, this, [this, slider, apply](int value) {
        if (syncing_ || !model_ || !model_->document().background) return;
        AnnotationBackgroundStyle style = *model_->document().background;
        apply(style, value);
        if (style == *model_->document().background) return;
        model_->updateBackground(style, slider->isSliderDown());
        if (!slider->isSliderDown()) model_->endAdjusting();
        afterChange();
    });
    connect(slider, &QSlider::sliderReleased, this, [this] {
        if (!model_) return;
        model_->endAdjusting();
        afterChange();
    });
}

void EditorBackgroundPanel::choosePicture() {
    if (!model_ || !choosePicture_) return;
    const QString path = choosePicture_();
    if (path.isEmpty()) return sync();  // the button's own check is undone
    AnnotationEditorRenderer* renderer = renderer_ ? renderer_() : nullptr;
    const auto& image = model_->session()->image();
    if (!renderer || !image) {
        error_->setText(QStringLiteral("Pictures cannot be read: annotation drawing is unavailable."));
        error_->show();
        return sync();
    }
    // Large enough to cover the frame at the widest padding the panel offers.
    const double p = model_->imageDrawRect().width > 0 ? image->width() / model_->imageDrawRect().width : 1;
    const auto margin = uint32_t(std::lround(2 * kMaxPadding * p));
    auto picture = renderer->loadPicture(path.toStdString(), image->width() + margin, image->height() + margin);
    if (!picture) {
        error_->setText(QStringLiteral("“%1” cannot be used: %2")
                            .arg(QFileInfo(path).fileName(), QString::fromStdString(picture.error())));
        error_->show();
        return sync();
    }
    if (picture->name.empty()) picture->name = QFileInfo(path).fileName().toStdString();
    error_->hide();
    model_->updateBackgroundFill(AnnotationBackgroundFill::Picture{std::move(*picture)});
    afterChange();
}

void EditorBackgroundPanel::chooseCustomColor() {
    if (!model_ || !chooseColor_) return;
    const auto chosen = chooseColor_(model_->backgroundPanel().customBackgroundColor.value_or(
        AnnotationBackgroundColor{1, 1, 1, 1}));
    if (!chosen) return sync();
    model_->selectCustomBackgroundColor(*chosen);
    afterChange();
}

void EditorBackgroundPanel::afterChange() {
    sync();
    if (changed_) changed_();
}

void EditorBackgroundPanel::setModel(AnnotationEditorModel* model) {
    model_ = model;
    blurSwatchOf_ = nullptr;
    error_->hide();
    sync();
}

void EditorBackgroundPanel::syncBlurSwatch() {
    const Image* image = model_ && model_->session()->image() ? model_->session()->image().get() : nullptr;
    if (image == blurSwatchOf_ || !isVisible()) return;  // made when first shown
    blurSwatchOf_ = image;
    AnnotationEditorRenderer* renderer = renderer_ && image ? renderer_() : nullptr;
    const auto preview = renderer ? renderer->blurPreview(*image, 2 * kSwatchSide) : std::nullopt;
    blur_->setIcon(imageIcon(preview ? qImageOf(*preview) : QImage()));
}

void EditorBackgroundPanel::sync() {
    syncing_ = true;
    const std::optional<AnnotationBackgroundStyle> style = model_ ? model_->document().background : std::nullopt;
    enabled_->setEnabled(model_ && !model_->isExporting());
    enabled_->setChecked(style.has_value());
    using namespace AnnotationBackgroundFill;
    for (auto& [fill, button] : fixedSwatches_) button->setChecked(style && style->fill == fill);
    const Solid* solid = style ? std::get_if<Solid>(&style->fill) : nullptr;
    bool fixedSolid = false;
    for (const auto& color : annotationBackgroundSolids()) fixedSolid = fixedSolid || (solid && solid->color == color);
    custom_->setChecked(solid && !fixedSolid);
    const auto* picture = style ? std::get_if<Picture>(&style->fill) : nullptr;
    const auto* blur = style ? std::get_if<Blur>(&style->fill) : nullptr;
    picture_->setChecked(picture);
    blur_->setChecked(blur);
    const auto& remembered = model_ ? model_->backgroundPanel().backgroundImage : std::nullopt;
    const auto* shownPicture = picture ? &picture->image : remembered ? &*remembered : nullptr;
    pictureName_->setText(shownPicture ? QString::fromStdString(shownPicture->name) : QString());
    if (shownPicture && shownPicture->image && shownPicture->image.get() != pictureIconOf_) {
        pictureIconOf_ = shownPicture->image.get();
        picture_->setIcon(imageIcon(qImageOf(*shownPicture->image)));
    }
    syncBlurSwatch();

    const AnnotationBackgroundStyle shown = style.value_or(AnnotationBackgroundDefaults::style());
    for (QSlider* slider : {padding_, corners_, shadow_}) slider->setEnabled(style.has_value());
    blurAmount_->setEnabled(blur);
    if (!padding_->isSliderDown()) padding_->setValue(int(std::lround(shown.padding)));
    if (!corners_->isSliderDown()) corners_->setValue(int(std::lround(shown.cornerRadius)));
    if (!shadow_->isSliderDown()) shadow_->setValue(int(std::lround(shown.shadow * 100)));
    const double amount = blur ? blur->amount : (model_ ? model_->backgroundPanel().lastBlurAmount : 0.5);
    if (!blurAmount_->isSliderDown()) blurAmount_->setValue(int(std::lround(amount * 100)));
    paddingValue_->setText(QString::number(padding_->value()));
    cornersValue_->setText(QString::number(corners_->value()));
    shadowValue_->setText(QStringLiteral("%1%").arg(shadow_->value()));
    blurValue_->setText(QStringLiteral("%1%").arg(blurAmount_->value()));
    syncing_ = false;
}

}  // namespace tessarin
