#pragma once
// The editor's tool bar: one button per tool (with its key), then the style
// of the tool or of the selection as the model summarises it: colour, the
// width or size, fill, and the mosaic effect. It shows the model's state and
// calls its operations; it decides nothing itself.

#include <QWidget>
#include <functional>
#include <map>

#include "core/annotation/AnnotationEditorModel.h"

class QAbstractButton;
class QCheckBox;
class QComboBox;
class QToolButton;

namespace tessarin {

class EditorToolBar final : public QWidget {
    Q_OBJECT
public:
    // `changed` runs after the bar changed the model.
    explicit EditorToolBar(std::function<void()> changed, QWidget* parent = nullptr);
    void setModel(AnnotationEditorModel* model);
    void sync();

    QToolButton* toolButton(AnnotationToolType tool) const { return tools_.at(tool); }

private:
    void chooseColor(const AnnotationColor& color);
    void afterChange();

    std::function<void()> changed_;
    AnnotationEditorModel* model_ = nullptr;
    std::map<AnnotationToolType, QToolButton*> tools_;
    QToolButton* color_;
    QComboBox* metric_;
    QCheckBox* fill_;
    QComboBox* mosaic_;
    bool syncing_ = false;
};

}  // namespace tessarin
