#pragma once
// The layers panel: the annotations top-most first, each with its
// visibility; selecting rows selects the annotations, and the buttons move
// them forward or backward or delete them.

#include <QWidget>
#include <functional>

#include "core/annotation/AnnotationEditorModel.h"

class QListWidget;
class QPushButton;

namespace tessarin {

class EditorLayersPanel final : public QWidget {
    Q_OBJECT
public:
    explicit EditorLayersPanel(std::function<void()> changed, QWidget* parent = nullptr);
    void setModel(AnnotationEditorModel* model);
    void sync();
    QListWidget* list() const { return list_; }

private:
    std::set<AnnotationID> selectedRows() const;
    void afterChange();

    std::function<void()> changed_;
    AnnotationEditorModel* model_ = nullptr;
    std::vector<AnnotationLayerItem> items_;
    QListWidget* list_;
    QPushButton* forward_;
    QPushButton* backward_;
    QPushButton* delete_;
    bool syncing_ = false;
};

}  // namespace tessarin
