#include "app/desktop/EditorToolBar.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QHBoxLayout>
#include <QMenu>
#include <QPainter>
#include <QToolButton>

#include "core/annotation/AnnotationTools.h"

namespace tessarin {
namespace {

constexpr AnnotationToolType kTools[] = {
    AnnotationToolType::move,   AnnotationToolType::arrow,  AnnotationToolType::line,      AnnotationToolType::number,
    AnnotationToolType::rectangle, AnnotationToolType::circle, AnnotationToolType::text,   AnnotationToolType::freehand,
    AnnotationToolType::highlighter, AnnotationToolType::pixelate,
};

constexpr char kToolKeys[] = {'m', 'a', 'l', 'n', 'r', 'o', 't', 'f', 'h', 'p'};

struct NamedColor {
    const char* name;
    AnnotationColor color;
};
const NamedColor kPalette[] = {
    {"Red", AnnotationColor::systemRed()},
    {"Orange", {1.0, 149.0 / 255, 0, 1}},
    {"Yellow", AnnotationColor::systemYellow()},
    {"Green", {52.0 / 255, 199.0 / 255, 89.0 / 255, 1}},
    {"Blue", {0, 122.0 / 255, 1.0, 1}},
    {"Purple", {175.0 / 255, 82.0 / 255, 222.0 / 255, 1}},
    {"Black", AnnotationColor::black()},
    {"White", AnnotationColor::white()},
};

const std::pair<AnnotationMosaicEffect, const char*> kEffects[] = {
    {AnnotationMosaicEffect::pixelate, "Pixelate"},
    {AnnotationMosaicEffect::secureBlur, "Secure Blur"},
    {AnnotationMosaicEffect::smoothBlur, "Smooth Blur"},
    {AnnotationMosaicEffect::blackOut, "Black Out"},
};

QColor qColor(const AnnotationColor& c) {
    return QColor::fromRgbF(float(c.red), float(c.green), float(c.blue), float(c.alpha));
}

QIcon swatch(const QColor& color) {
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(Qt::gray, 1));
    painter.setBrush(color);
    painter.drawEllipse(QRectF(1.5, 1.5, 13, 13));
    return QIcon(pixmap);
}

bool takesFill(AnnotationToolType tool) {
    return tool == AnnotationToolType::number || tool == AnnotationToolType::rectangle ||
           tool == AnnotationToolType::circle;
}

}  // namespace

EditorToolBar::EditorToolBar(std::function<void()> changed, QWidget* parent)
    : QWidget(parent),
      changed_(std::move(changed)),
      color_(new QToolButton(this)),
      metric_(new QComboBox(this)),
      fill_(new QCheckBox(QStringLiteral("Fill"), this)),
      mosaic_(new QComboBox(this)) {
    setObjectName(QStringLiteral("toolBar"));
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(6, 4, 6, 4);
    row->setSpacing(2);
    for (size_t i = 0; i < std::size(kTools); ++i) {
        const AnnotationToolType tool = kTools[i];
        auto* button = new QToolButton(this);
        const QString title = QString::fromLatin1(AnnotationTools::title(tool).data(),
                                                  qsizetype(AnnotationTools::title(tool).size()));
        button->setObjectName(QStringLiteral("tool") + title);
        button->setText(title);
        button->setToolTip(QStringLiteral("%1 (%2)").arg(title, QChar(QLatin1Char(kToolKeys[i])).toUpper()));
        button->setCheckable(true);
        button->setAutoRaise(true);
        button->setFocusPolicy(Qt::NoFocus);  // the canvas keeps the keys
        connect(button, &QToolButton::clicked, this, [this, tool] {
            if (!model_) return;
            model_->setSelectedTool(tool);
            afterChange();
        });
        tools_[tool] = button;
        row->addWidget(button);
    }
    row->addSpacing(12);

    color_->setObjectName(QStringLiteral("color"));
    color_->setToolTip(QStringLiteral("Color"));
    color_->setPopupMode(QToolButton::InstantPopup);
    auto* colors = new QMenu(color_);
    for (const auto& named : kPalette) {
        const AnnotationColor color = named.color;
        colors->addAction(swatch(qColor(color)), QString::fromLatin1(named.name), this, [this, color] { chooseColor(color); });
    }
    colors->addSeparator();
    colors->addAction(QStringLiteral("Other…"), this, [this] {
        if (!model_) return;
        const QColor chosen = QColorDialog::getColor(qColor(model_->styleState().color), this, QStringLiteral("Color"));
        if (chosen.isValid()) chooseColor({chosen.redF(), chosen.greenF(), chosen.blueF(), chosen.alphaF()});
    });
    color_->setMenu(colors);
    row->addWidget(color_);

    metric_->setObjectName(QStringLiteral("metric"));
    connect(metric_, &QComboBox::activated, this, [this](int index) {
        if (!model_ || syncing_ || index < 0) return;
        const auto kind = AnnotationMetricKind(metric_->property("kind").toInt());
        model_->updateParameter(metric_->itemData(index).toDouble(), kind);
        afterChange();
    });
    row->addWidget(metric_);

    fill_->setObjectName(QStringLiteral("fill"));
    connect(fill_, &QCheckBox::clicked, this, [this] {
        if (!model_) return;
        model_->toggleFill(model_->selectedTool());
        afterChange();
    });
    row->addWidget(fill_);

    mosaic_->setObjectName(QStringLiteral("mosaicEffect"));
    for (const auto& [effect, title] : kEffects) mosaic_->addItem(QString::fromLatin1(title), int(effect));
    connect(mosaic_, &QComboBox::activated, this, [this](int index) {
        if (!model_ || syncing_ || index < 0) return;
        model_->setMosaicEffect(AnnotationMosaicEffect(mosaic_->itemData(index).toInt()));
        afterChange();
    });
    row->addWidget(mosaic_);
    row->addStretch(1);
}

void EditorToolBar::chooseColor(const AnnotationColor& color) {
    if (!model_) return;
    model_->setColor(color);
    afterChange();
}

void EditorToolBar::afterChange() {
    if (changed_) changed_();
}

void EditorToolBar::setModel(AnnotationEditorModel* model) {
    model_ = model;
    sync();
}

void EditorToolBar::sync() {
    setEnabled(model_ != nullptr);
    if (!model_) return;
    syncing_ = true;
    for (auto& [tool, button] : tools_) button->setChecked(tool == model_->selectedTool());
    const AnnotationStyleState style = model_->styleState();
    color_->setVisible(style.colorApplies);
    color_->setIcon(swatch(style.colorMixed ? QColor(Qt::gray) : qColor(style.color)));

    metric_->setVisible(!style.metrics.empty());
    if (!style.metrics.empty()) {
        const AnnotationMetricGroup& group = style.metrics.front();
        metric_->clear();
        metric_->setProperty("kind", int(group.kind));
        for (double option : group.options) {
            metric_->addItem(QString::fromStdString(metricLabel(group.kind, option)), option);
        }
        const int current = metric_->findData(group.value);
        if (group.mixed || current < 0) {
            metric_->addItem(QString::fromStdString(group.mixed ? "Mixed" : metricLabel(group.kind, group.value)),
                             group.value);
            metric_->setCurrentIndex(metric_->count() - 1);
        } else {
            metric_->setCurrentIndex(current);
        }
    }
    const AnnotationToolType tool = model_->selectedTool();
    fill_->setVisible(takesFill(tool));
    fill_->setChecked(model_->filledShapeTools().contains(tool));
    mosaic_->setVisible(style.showsMosaicEffect);
    mosaic_->setCurrentIndex(mosaic_->findData(int(style.mosaicEffect)));
    syncing_ = false;
}

}  // namespace tessarin
