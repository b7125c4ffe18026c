#include "app/desktop/EditorWindow.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QGridLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollArea>
#include <QShortcut>
#include <QStackedWidget>
#include <QToolButton>
#include <QVBoxLayout>
#include <cmath>

#include "app/desktop/EditorBackgroundPanel.h"
#include "app/desktop/EditorCanvasWidget.h"
#include "app/desktop/EditorLayersPanel.h"
#include "app/desktop/EditorToolBar.h"
#include "core/annotation/AnnotationCropTool.h"
#include "core/common/Log.h"

namespace tessarin {
namespace {

QString qText(std::string_view text) { return QString::fromUtf8(text.data(), qsizetype(text.size())); }

QWidget* emptyState(QWidget* parent) {
    auto* page = new QWidget(parent);
    page->setObjectName(QStringLiteral("emptyState"));
    auto* column = new QVBoxLayout(page);
    column->addStretch(1);
    auto* title = new QLabel(qText(AnnotationEditorHost::kEmptyTitle), page);
    title->setObjectName(QStringLiteral("emptyTitle"));
    title->setAlignment(Qt::AlignCenter);
    title->setStyleSheet(QStringLiteral("font-size: 18px; font-weight: 600;"));
    auto* message = new QLabel(qText(AnnotationEditorHost::kEmptyMessage), page);
    message->setObjectName(QStringLiteral("emptyMessage"));
    message->setAlignment(Qt::AlignCenter);
    column->addWidget(title);
    column->addWidget(message);
    column->addStretch(1);
    return page;
}

}  // namespace

EditorWindow::EditorWindow(AnnotationEditorHost& host, EditorCanvasPixels& pixels,
                           std::function<AnnotationEditorRenderer*()> renderer, QWidget* parent)
    : QWidget(parent),
      host_(host),
      pixels_(pixels),
      pages_(new QStackedWidget(this)),
      toolBar_(new EditorToolBar([this] { refresh(); }, this)),
      canvas_(new EditorCanvasWidget(pixels, [this] { syncControls(); })),
      scroll_(new QScrollArea(this)),
      layers_(new EditorLayersPanel([this] { refresh(); }, this)),
      background_(new EditorBackgroundPanel([this] { canvas_->sync(); }, std::move(renderer), this)) {
    setObjectName(QStringLiteral("annotationEditor"));
    setWindowTitle(QStringLiteral("Annotate"));
    resize(1000, 700);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(pages_);

    auto* editor = new QWidget(pages_);
    auto* editorColumn = new QVBoxLayout(editor);
    editorColumn->setContentsMargins(0, 0, 0, 0);
    editorColumn->setSpacing(0);
    editorColumn->addWidget(toolBar_);
    auto* middle = new QHBoxLayout;
    scroll_->setObjectName(QStringLiteral("canvasScroll"));
    scroll_->setWidget(canvas_);
    scroll_->setAlignment(Qt::AlignCenter);
    scroll_->setBackgroundRole(QPalette::Dark);
    middle->addWidget(scroll_, 1);
    middle->addWidget(layers_);
    cropPanel_ = buildCropPanel();
    middle->addWidget(cropPanel_);
    middle->addWidget(background_);
    editorColumn->addLayout(middle, 1);
    editorColumn->addWidget(buildActionRow());
    pages_->addWidget(editor);
    pages_->addWidget(emptyState(pages_));
    refresh();
}

EditorWindow::~EditorWindow() = default;

QWidget* EditorWindow::buildActionRow() {
    auto* bar = new QWidget(this);
    bar->setObjectName(QStringLiteral("actionRow"));
    auto* row = new QHBoxLayout(bar);
    row->setContentsMargins(8, 6, 8, 6);
    auto toolButton = [bar, row](const char* name, const QString& text, const QString& tip) {
        auto* button = new QToolButton(bar);
        button->setObjectName(QString::fromLatin1(name));
        button->setText(text);
        button->setToolTip(tip);
        button->setFocusPolicy(Qt::NoFocus);  // the canvas keeps the keys
        row->addWidget(button);
        return button;
    };
    undo_ = toolButton("undo", QStringLiteral("Undo"), QStringLiteral("Undo (Ctrl+Z)"));
    redo_ = toolButton("redo", QStringLiteral("Redo"), QStringLiteral("Redo (Ctrl+Shift+Z)"));
    connect(undo_, &QToolButton::clicked, this, [this] {
        if (auto* model = host_.model()) model->undo();
        canvas_->sync();
    });
    connect(redo_, &QToolButton::clicked, this, [this] {
        if (auto* model = host_.model()) model->redo();
        canvas_->sync();
    });
    auto* zoomOut = toolButton("zoomOut", QStringLiteral("−"), QStringLiteral("Zoom Out (Ctrl+-)"));
    zoom_ = new QLabel(bar);
    zoom_->setObjectName(QStringLiteral("zoom"));
    row->addWidget(zoom_);
    auto* zoomIn = toolButton("zoomIn", QStringLiteral("+"), QStringLiteral("Zoom In (Ctrl+=)"));
    auto zoomBy = [this](double factor) {
        if (auto* model = host_.model()) model->setZoomLevel(model->zoomLevel() * factor);
        canvas_->sync();
    };
    connect(zoomOut, &QToolButton::clicked, this, [zoomBy] { zoomBy(1 / AnnotationEditorModel::kZoomStep); });
    connect(zoomIn, &QToolButton::clicked, this, [zoomBy] { zoomBy(AnnotationEditorModel::kZoomStep); });
    cropToggle_ = toolButton("cropToggle", QStringLiteral("Crop"), QStringLiteral("Crop the image"));
    cropToggle_->setCheckable(true);
    connect(cropToggle_, &QToolButton::clicked, this, [this] {
        // Leaving the crop panel applies what it shows.
        if (auto* model = host_.model()) model->toggleSidebarPanel(AnnotationSidebarPanel::crop);
        canvas_->sync();
    });
    backgroundToggle_ = toolButton("backgroundToggle", QStringLiteral("Background"),
                                   QStringLiteral("Place the image on a background"));
    backgroundToggle_->setCheckable(true);
    connect(backgroundToggle_, &QToolButton::clicked, this, [this] {
        if (auto* model = host_.model()) model->toggleSidebarPanel(AnnotationSidebarPanel::background);
        canvas_->sync();
    });
    layersToggle_ = toolButton("layersToggle", QStringLiteral("Layers"), QStringLiteral("Show or hide the layers"));
    layersToggle_->setCheckable(true);
    connect(layersToggle_, &QToolButton::clicked, this, [this] {
        if (auto* model = host_.model()) model->toggleSidebarPanel(AnnotationSidebarPanel::layers);
        refresh();
    });
    error_ = new QLabel(bar);
    error_->setObjectName(QStringLiteral("exportError"));
    error_->setStyleSheet(QStringLiteral("color: #c0392b;"));
    row->addWidget(error_, 1);
    copy_ = new QPushButton(QStringLiteral("Copy"), bar);
    copy_->setObjectName(QStringLiteral("copy"));
    saveAs_ = new QPushButton(QStringLiteral("Save As…"), bar);
    saveAs_->setObjectName(QStringLiteral("saveAs"));
    done_ = new QPushButton(QStringLiteral("Done"), bar);
    done_->setObjectName(QStringLiteral("done"));
    done_->setDefault(true);
    row->addWidget(copy_);
    row->addWidget(saveAs_);
    row->addWidget(done_);
    connect(copy_, &QPushButton::clicked, this, [this] { exportAs(AnnotationExportAction::copy); });
    connect(saveAs_, &QPushButton::clicked, this, [this] { exportAs(AnnotationExportAction::saveAs); });
    copy_->setToolTip(QStringLiteral("Copy (Ctrl+C)"));
    saveAs_->setToolTip(QStringLiteral("Save As (Ctrl+S)"));
    connect(new QShortcut(QKeySequence::Copy, this), &QShortcut::activated, copy_, &QPushButton::click);
    connect(new QShortcut(QKeySequence::Save, this), &QShortcut::activated, saveAs_, &QPushButton::click);
    done_->setToolTip(QStringLiteral("Done (Ctrl+Return)"));
    connect(new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Return), this), &QShortcut::activated, done_,
            &QPushButton::click);
    connect(done_, &QPushButton::clicked, this, [this] {
        host_.done();
        refresh();
    });
    return bar;
}

void EditorWindow::exportAs(AnnotationExportAction action) {
    auto* model = host_.model();
    if (!model) return;
    model->requestExport(action, [this](const AnnotationExportOutcome&) { refresh(); });
    refresh();
}

void EditorWindow::refresh() {
    // A refresh asked for while one runs (a callback of a widget it updates) is covered by it.
    if (refreshing_) return;
    refreshing_ = true;
    AnnotationEditorModel* model = host_.model();
    if (model != shown_) {
        shown_ = model;
        canvas_->setModel(model);
        toolBar_->setModel(model);
        layers_->setModel(model);
        background_->setModel(model);
        canvas_->setFocus();
    }
    pages_->setCurrentIndex(model ? 0 : 1);
    if (model) canvas_->sync();
    syncControls();
    refreshing_ = false;
    if (host_.prompt()) showPrompt();
    if (!model && hidesWhenEmpty_ && !prompt_) hide();
}

void EditorWindow::syncControls() {
    AnnotationEditorModel* model = host_.model();
    toolBar_->sync();
    layers_->sync();
    const bool exporting = model && model->isExporting();
    undo_->setEnabled(model && model->canUndo());
    redo_->setEnabled(model && model->canRedo());
    zoom_->setText(model ? QStringLiteral("%1%").arg(std::lround(model->zoomLevel() * 100)) : QString());
    const bool layersShown = model && model->sidebarPanel() == AnnotationSidebarPanel::layers;
    layersToggle_->setChecked(layersShown);
    layers_->setVisible(layersShown);
    const bool cropping = model && model->cropSession();
    cropToggle_->setChecked(cropping);
    cropPanel_->setVisible(cropping);
    if (cropping) syncCropPanel();
    const bool framing = model && model->sidebarPanel() == AnnotationSidebarPanel::background;
    backgroundToggle_->setChecked(framing);
    background_->setVisible(framing);
    background_->sync();
    for (QPushButton* button : {done_, saveAs_, copy_}) button->setEnabled(model && !exporting);
    error_->setText(model && model->exportError() ? QString::fromStdString(*model->exportError()) : QString());
    const size_t count = model ? model->document().annotations.size() : 0;
    if (model && count != loggedCount_) {
        logLine(LogLevel::info, LogCategory::app, "editor.changed annotations=" + std::to_string(count));
    }
    loggedCount_ = count;
}

QWidget* EditorWindow::buildCropPanel() {
    auto* panel = new QWidget(this);
    panel->setObjectName(QStringLiteral("cropPanel"));
    auto* column = new QVBoxLayout(panel);
    auto* title = new QLabel(QStringLiteral("Crop"), panel);
    QFont bold = title->font();
    bold.setBold(true);
    title->setFont(bold);
    column->addWidget(title);
    auto* grid = new QGridLayout;
    int index = 0;
    for (const auto& presets : {annotationCropRatioPresets(), annotationCropSizePresets()}) {
        for (const AnnotationCropPreset& preset : presets) {
            auto* button = new QToolButton(panel);
            button->setText(QString::fromStdString(preset.title()));
            button->setCheckable(true);
            button->setToolButtonStyle(Qt::ToolButtonTextOnly);
            button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
            connect(button, &QToolButton::clicked, this, [this, preset] {
                auto* model = host_.model();
                auto* tool = model ? dynamic_cast<AnnotationCropTool*>(model->cropSession()) : nullptr;
                if (tool) tool->state().select(preset);
                canvas_->update();
                syncCropPanel();
            });
            cropPresets_.emplace_back(preset, button);
            grid->addWidget(button, index / 2, index % 2);
            ++index;
        }
    }
    column->addLayout(grid);
    column->addStretch(1);
    auto* buttons = new QHBoxLayout;
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), panel);
    cancel->setObjectName(QStringLiteral("cropCancel"));
    auto* apply = new QPushButton(QStringLiteral("Apply"), panel);
    apply->setObjectName(QStringLiteral("cropApply"));
    buttons->addWidget(cancel);
    buttons->addWidget(apply);
    column->addLayout(buttons);
    connect(apply, &QPushButton::clicked, this, [this] {
        if (auto* model = host_.model()) model->applyCrop();
        canvas_->sync();
    });
    connect(cancel, &QPushButton::clicked, this, [this] {
        if (auto* model = host_.model()) model->cancelCrop();
        canvas_->sync();
    });
    panel->setMinimumWidth(260);
    panel->hide();
    return panel;
}

void EditorWindow::syncCropPanel() {
    auto* model = host_.model();
    auto* tool = model ? dynamic_cast<AnnotationCropTool*>(model->cropSession()) : nullptr;
    if (!tool) return;
    for (auto& [preset, button] : cropPresets_) {
        button->setChecked(tool->state().isHighlighted(preset));
        button->setEnabled(tool->state().canSelect(preset));
    }
}

void EditorWindow::showPrompt() {
    if (prompt_ || !host_.prompt()) return;
    prompt_ = new QMessageBox(QMessageBox::Warning, qText(AnnotationClosePrompt::kTitle),
                              qText(AnnotationClosePrompt::kTitle), QMessageBox::NoButton, this);
    prompt_->setObjectName(QStringLiteral("closePrompt"));
    prompt_->setInformativeText(qText(AnnotationClosePrompt::kMessage));
    auto* save = prompt_->addButton(qText(AnnotationClosePrompt::kSave), QMessageBox::AcceptRole);
    auto* dontSave = prompt_->addButton(qText(AnnotationClosePrompt::kDontSave), QMessageBox::DestructiveRole);
    auto* cancel = prompt_->addButton(qText(AnnotationClosePrompt::kCancel), QMessageBox::RejectRole);
    save->setObjectName(QStringLiteral("promptSave"));
    dontSave->setObjectName(QStringLiteral("promptDontSave"));
    cancel->setObjectName(QStringLiteral("promptCancel"));
    prompt_->setDefaultButton(save);
    prompt_->setEscapeButton(cancel);
    connect(prompt_, &QMessageBox::buttonClicked, this, [this, save, dontSave](QAbstractButton* button) {
        const auto choice = button == save       ? AnnotationClosePromptChoice::save
                            : button == dontSave ? AnnotationClosePromptChoice::dontSave
                                                 : AnnotationClosePromptChoice::cancel;
        prompt_->deleteLater();
        prompt_ = nullptr;
        host_.answerPrompt(choice);
        refresh();
    });
    if (isHidden()) show();
    prompt_->open();
}

void EditorWindow::closeEvent(QCloseEvent* event) {
    event->ignore();
    host_.requestClose();
    refresh();
}

}  // namespace tessarin
