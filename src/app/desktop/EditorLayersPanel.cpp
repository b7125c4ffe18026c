#include "app/desktop/EditorLayersPanel.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

namespace tessarin {

EditorLayersPanel::EditorLayersPanel(std::function<void()> changed, QWidget* parent)
    : QWidget(parent),
      changed_(std::move(changed)),
      list_(new QListWidget(this)),
      forward_(new QPushButton(QStringLiteral("Forward"), this)),
      backward_(new QPushButton(QStringLiteral("Backward"), this)),
      delete_(new QPushButton(QStringLiteral("Delete"), this)) {
    setObjectName(QStringLiteral("layersPanel"));
    setMinimumWidth(200);
    auto* column = new QVBoxLayout(this);
    auto* heading = new QLabel(QStringLiteral("Layers"), this);
    heading->setStyleSheet(QStringLiteral("font-weight: 600;"));
    column->addWidget(heading);
    list_->setObjectName(QStringLiteral("layers"));
    list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    column->addWidget(list_, 1);
    auto* buttons = new QHBoxLayout;
    forward_->setObjectName(QStringLiteral("layerForward"));
    backward_->setObjectName(QStringLiteral("layerBackward"));
    delete_->setObjectName(QStringLiteral("layerDelete"));
    buttons->addWidget(forward_);
    buttons->addWidget(backward_);
    buttons->addWidget(delete_);
    column->addLayout(buttons);

    connect(list_, &QListWidget::itemSelectionChanged, this, [this] {
        if (syncing_ || !model_) return;
        model_->selectLayers(selectedRows());
        afterChange();
    });
    // The check box is the row's visibility.
    connect(list_, &QListWidget::itemChanged, this, [this](QListWidgetItem* item) {
        if (syncing_ || !model_) return;
        const size_t row = size_t(list_->row(item));
        if (row >= items_.size()) return;
        if ((item->checkState() == Qt::Unchecked) != items_[row].isHidden) model_->toggleLayerVisibility(items_[row].id);
        afterChange();
    });
    auto move = [this](AnnotationLayerPlacement placement) {
        if (!model_) return;
        model_->moveLayers(selectedRows(), placement);
        afterChange();
    };
    connect(forward_, &QPushButton::clicked, this, [move] { move(AnnotationLayerPlacement::forward); });
    connect(backward_, &QPushButton::clicked, this, [move] { move(AnnotationLayerPlacement::backward); });
    connect(delete_, &QPushButton::clicked, this, [this] {
        if (!model_) return;
        model_->deleteLayers(selectedRows());
        afterChange();
    });
}

void EditorLayersPanel::afterChange() {
    if (changed_) changed_();
}

std::set<AnnotationID> EditorLayersPanel::selectedRows() const {
    std::set<AnnotationID> ids;
    for (int row = 0; row < list_->count(); ++row) {
        if (list_->item(row)->isSelected() && size_t(row) < items_.size()) ids.insert(items_[size_t(row)].id);
    }
    return ids;
}

void EditorLayersPanel::setModel(AnnotationEditorModel* model) {
    model_ = model;
    sync();
}

void EditorLayersPanel::sync() {
    syncing_ = true;
    auto layers = model_ ? model_->layers() : std::vector<AnnotationLayerItem>{};
    const bool sameRows = std::ranges::equal(layers, items_, [](const auto& a, const auto& b) {
        return a.id == b.id && a.title == b.title;
    });
    items_ = std::move(layers);
    // The rows are rebuilt only when they changed: this often runs inside the
    // list's own signal, where deleting its items would pull them from under it.
    if (!sameRows) {
        list_->clear();
        for (const auto& layer : items_) {
            auto* item = new QListWidgetItem(QString::fromStdString(layer.title), list_);
            item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        }
    }
    for (size_t row = 0; row < items_.size(); ++row) {
        QListWidgetItem* item = list_->item(int(row));
        item->setCheckState(items_[row].isHidden ? Qt::Unchecked : Qt::Checked);
        item->setSelected(model_->document().selectedIDs.contains(items_[row].id));
    }
    const bool anySelected = model_ && !model_->document().selectedIDs.empty();
    forward_->setEnabled(anySelected);
    backward_->setEnabled(anySelected);
    delete_->setEnabled(anySelected);
    syncing_ = false;
}

}  // namespace tessarin
