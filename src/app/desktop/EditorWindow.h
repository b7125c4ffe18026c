#pragma once
// The annotation editor's window over AnnotationEditorHost: the tool bar,
// the canvas, the layers, crop and background panels and the Done / Save As / Copy row for the
// current session, the empty state when there is none, and the close
// prompt when the host asks. Every decision is the host's or the model's;
// after each call the window shows their state again (refresh()).

#include <QWidget>
#include <functional>
#include <utility>
#include <vector>

#include "app/desktop/EditorCanvasPixels.h"
#include "core/annotation/AnnotationCrop.h"
#include "core/annotation/AnnotationEditorHost.h"

class QLabel;
class QMessageBox;
class QPushButton;
class QScrollArea;
class QStackedWidget;
class QToolButton;

namespace tessarin {

class EditorBackgroundPanel;
class EditorCanvasWidget;
class EditorLayersPanel;
class EditorToolBar;

class EditorWindow final : public QWidget {
    Q_OBJECT
public:
    // `renderer` reads background pictures and makes the blur swatch.
    EditorWindow(AnnotationEditorHost& host, EditorCanvasPixels& pixels,
                 std::function<AnnotationEditorRenderer*()> renderer = {}, QWidget* parent = nullptr);
    ~EditorWindow() override;

    // Shows the host's state: the session, the prompt, errors. Hides the
    // window once the host has no session (`hidesWhenEmpty`).
    void refresh();
    void setHidesWhenEmpty(bool hides) { hidesWhenEmpty_ = hides; }

    EditorCanvasWidget* canvas() const { return canvas_; }
    EditorToolBar* toolBar() const { return toolBar_; }
    EditorLayersPanel* layersPanel() const { return layers_; }
    EditorBackgroundPanel* backgroundPanel() const { return background_; }
    // The open close prompt, if any.
    QMessageBox* closePrompt() const { return prompt_; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    QWidget* buildActionRow();
    QWidget* buildCropPanel();
    void syncCropPanel();
    void exportAs(AnnotationExportAction action);
    void showPrompt();
    void syncControls();

    AnnotationEditorHost& host_;
    EditorCanvasPixels& pixels_;
    AnnotationEditorModel* shown_ = nullptr;
    QStackedWidget* pages_;
    EditorToolBar* toolBar_;
    EditorCanvasWidget* canvas_;
    QScrollArea* scroll_;
    EditorLayersPanel* layers_;
    QToolButton* undo_ = nullptr;
    QToolButton* redo_ = nullptr;
    QToolButton* layersToggle_ = nullptr;
    QToolButton* cropToggle_ = nullptr;
    QToolButton* backgroundToggle_ = nullptr;
    EditorBackgroundPanel* background_ = nullptr;
    QWidget* cropPanel_ = nullptr;
    std::vector<std::pair<AnnotationCropPreset, QToolButton*>> cropPresets_;
    QLabel* zoom_ = nullptr;
    QLabel* error_ = nullptr;
    QPushButton* done_ = nullptr;
    QPushButton* saveAs_ = nullptr;
    QPushButton* copy_ = nullptr;
    QMessageBox* prompt_ = nullptr;
    size_t loggedCount_ = 0;  // annotations when the count was last logged
    bool hidesWhenEmpty_ = false;
    bool refreshing_ = false;
};

}  // namespace tessarin
