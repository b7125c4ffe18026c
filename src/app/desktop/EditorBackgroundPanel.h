#pragma once
// The background panel: on or off, the fill (gradient and colour swatches,
// a custom colour, a picture from disk, the blurred screenshot with its
// amount) and sliders for padding, corners and shadow. Every change goes
// through the model as an undoable edit; a slider drag is one undo step.
// The panel shows the document's background again after each change, so
// it follows undo and redo.

#include <QWidget>
#include <functional>
#include <vector>

#include "core/annotation/AnnotationEditorModel.h"
#include "core/annotation/AnnotationEditorRenderer.h"

class QAbstractButton;
class QButtonGroup;
class QCheckBox;
class QGridLayout;
class QLabel;
class QSlider;
class QToolButton;

namespace tessarin {

class EditorBackgroundPanel final : public QWidget {
    Q_OBJECT
public:
    using RendererSource = std::function<AnnotationEditorRenderer*()>;
    // Asks for a picture file; empty is a cancel.
    using ChoosePicture = std::function<QString()>;
    using ChooseColor = std::function<std::optional<AnnotationBackgroundColor>(AnnotationBackgroundColor initial)>;

    EditorBackgroundPanel(std::function<void()> changed, RendererSource renderer, QWidget* parent = nullptr);
    void setModel(AnnotationEditorModel* model);
    void sync();
    // Dialogs (tests answer them themselves).
    void setChoosePicture(ChoosePicture choose) { choosePicture_ = std::move(choose); }
    void setChooseColor(ChooseColor choose) { chooseColor_ = std::move(choose); }

    // The slider range of the padding, in points.
    static constexpr int kMaxPadding = 200;
    static constexpr int kMaxCornerRadius = 100;

private:
    QWidget* buildSwatches();
    QWidget* buildSliders();
    QSlider* addSlider(QGridLayout* grid, int row, const QString& title, const char* name, int maximum);
    void connectSlider(QSlider* slider, std::function<void(AnnotationBackgroundStyle&, int)> apply);
    void choosePicture();
    void chooseCustomColor();
    void afterChange();
    void syncBlurSwatch();

    std::function<void()> changed_;
    RendererSource renderer_;
    ChoosePicture choosePicture_;
    ChooseColor chooseColor_;
    AnnotationEditorModel* model_ = nullptr;
    QCheckBox* enabled_;
    QButtonGroup* swatches_;
    std::vector<std::pair<AnnotationBackgroundFill::Fill, QToolButton*>> fixedSwatches_;
    QToolButton* custom_ = nullptr;
    QToolButton* picture_ = nullptr;
    QToolButton* blur_ = nullptr;
    QLabel* pictureName_ = nullptr;
    QLabel* error_ = nullptr;
    QSlider* blurAmount_ = nullptr;
    QSlider* padding_ = nullptr;
    QSlider* corners_ = nullptr;
    QSlider* shadow_ = nullptr;
    QLabel* paddingValue_ = nullptr;
    QLabel* cornersValue_ = nullptr;
    QLabel* shadowValue_ = nullptr;
    QLabel* blurValue_ = nullptr;
    const Image* blurSwatchOf_ = nullptr;    // the image the blur swatch shows
    const Image* pictureIconOf_ = nullptr;   // the picture the picture swatch shows
    bool syncing_ = false;
};

}  // namespace tessarin
