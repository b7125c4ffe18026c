#include "core/annotation/AnnotationEditorModel.h"

#include <algorithm>
#include <cmath>

#include "core/annotation/OtherAnnotations.h"

namespace tessarin {
namespace {

// Without a crop tool wired in, an open crop keeps the crop as it was.
class KeepingCropSession final : public AnnotationCropSession {
public:
    explicit KeepingCropSession(std::optional<Rect> crop) : crop_(crop) {}
    std::optional<Rect> rectToApply() const override { return crop_; }
    AnnotationCropKeyResult handleKey(const AnnotationKey& key) override {
        if (key.kind == AnnotationKey::Kind::returnKey) return AnnotationCropKeyResult::apply;
        if (key.kind == AnnotationKey::Kind::escape) return AnnotationCropKeyResult::cancel;
        return AnnotationCropKeyResult::ignored;
    }

private:
    std::optional<Rect> crop_;
};

bool takesFill(AnnotationToolType tool) {
    return tool == AnnotationToolType::number || tool == AnnotationToolType::rectangle ||
           tool == AnnotationToolType::circle;
}

Rect defaultDrawRect(const AnnotationEditorSessionPtr& session) {
    if (!session || !session->image()) return {};
    return {0, 0, double(session->image()->width()), double(session->image()->height())};
}

}  // namespace

AnnotationEditorModel::AnnotationEditorModel(AnnotationEditorSessionPtr session, Dependencies dependencies,
                                             std::optional<Rect> imageDrawRect)
    : session_(std::move(session)),
      deps_(std::move(dependencies)),
      imageDrawRect_(imageDrawRect.value_or(defaultDrawRect(session_))),
      toolHandlers_(makeAnnotationToolHandlers()),
      canvas_(deps_.measurer, deps_.clock) {
    if (deps_.renderer) exporter_.emplace(*deps_.renderer, deps_.delivery);
    if (deps_.toolMemory) selectedTool_ = deps_.toolMemory->lastTool().value_or(AnnotationToolType::freehand);
    static_cast<HighlighterToolHandler&>(toolHandler(AnnotationToolType::highlighter)).textLineResolver = deps_.textLines;
    canvas_.setNumberTool(&static_cast<NumberToolHandler&>(toolHandler(AnnotationToolType::number)));
    applyHighlighterColorRule();
    syncToolHandlers();
    canvas_.setToolHandler(&toolHandler(selectedTool_));
}

AnnotationToolHandler& AnnotationEditorModel::toolHandler(AnnotationToolType tool) const {
    return *toolHandlers_.at(size_t(tool));
}

// ---- tools and style ----------------------------------------------------------

void AnnotationEditorModel::setSelectedTool(AnnotationToolType tool) {
    if (tool == selectedTool_) return;
    // What the old tool was doing finishes with the old tool's style.
    canvas_.endDrag();
    canvas_.commitPendingText();
    selectedTool_ = tool;
    applyHighlighterColorRule();
    if (deps_.toolMemory) deps_.toolMemory->rememberTool(tool);
    syncToolHandlers();
    canvas_.setToolHandler(&toolHandler(tool));
}

void AnnotationEditorModel::applyHighlighterColorRule() {
    if (hasAppliedDefaultHighlighterColor_ || selectedTool_ != AnnotationToolType::highlighter) return;
    hasAppliedDefaultHighlighterColor_ = true;
    if (globalColor_ == AnnotationColor::systemRed()) globalColor_ = AnnotationColor::systemYellow();
}

void AnnotationEditorModel::syncToolHandlers() {
    for (const auto& handler : toolHandlers_) {
        const AnnotationToolType tool = handler->toolType();
        if (tool == AnnotationToolType::move) continue;  // it draws nothing
        handler->style.color = globalColor_;
        handler->style.lineWidth = sharedMetrics_.strokeWidth;
        handler->style.numberSize = sharedMetrics_.numberSize;
        handler->style.fontSize = sharedMetrics_.fontSize;
        handler->style.mosaicRadius = sharedMetrics_.mosaicRadius;
        handler->style.mosaicEffect = sharedMosaicEffect_;
        handler->style.filled = filledShapeTools_.count(tool) > 0;
    }
}

void AnnotationEditorModel::toggleFill(AnnotationToolType tool) {
    if (!takesFill(tool)) return;
    if (!filledShapeTools_.erase(tool)) filledShapeTools_.insert(tool);
    syncToolHandlers();
}

void AnnotationEditorModel::setColor(const AnnotationColor& color, bool coalescing) {
    canvas_.updateSelectedAnnotationColor(color, coalescing);
    globalColor_ = color;
    syncToolHandlers();
}

void AnnotationEditorModel::setMosaicEffect(AnnotationMosaicEffect effect) {
    canvas_.updateSelectedAnnotationMosaicEffect(effect);
    sharedMosaicEffect_ = effect;
    syncToolHandlers();
}

void AnnotationEditorModel::updateParameter(double value, AnnotationMetricKind kind, bool coalescing) {
    if (!std::isfinite(value) || value <= 0 || !styleState().showsMetric(kind)) return;
    canvas_.updateSelectedAnnotationParameter(value, kind, coalescing);
    sharedMetrics_.set(kind, value);
    syncToolHandlers();
}

void AnnotationEditorModel::endAdjusting() {
    canvas_.endAdjusting();
    backgroundPanel_.isAdjustingBackground = false;
}

AnnotationStyleState AnnotationEditorModel::styleState() const {
    if (auto fromSelection = AnnotationEditorStyle::fromSelection(document().selectedAnnotations())) return *fromSelection;
    return AnnotationEditorStyle::fromTool(selectedTool_, globalColor_, sharedMosaicEffect_, sharedMetrics_);
}

long long AnnotationEditorModel::nextNumberMarkerValue() const {
    return static_cast<const NumberToolHandler&>(toolHandler(AnnotationToolType::number)).nextNumber;
}

// ---- canvas ----------------------------------------------------------------

void AnnotationEditorModel::setZoomLevel(double zoom) {
    if (!std::isfinite(zoom)) return;
    zoomLevel_ = std::clamp(zoom, kMinimumZoom, kMaximumZoom);
}

bool AnnotationEditorModel::handleKey(const AnnotationKey& key) {
    if (cropSession_) {
        switch (cropSession_->handleKey(key)) {
            case AnnotationCropKeyResult::ignored: return false;
            case AnnotationCropKeyResult::handled: return true;
            case AnnotationCropKeyResult::apply: applyCrop(); return true;
            case AnnotationCropKeyResult::cancel: cancelCrop(); return true;
        }
    }
    if (canvas_.textEditing()) return false;  // the text box has the keys
    const AnnotationModifiers& m = key.modifiers;
    using K = AnnotationKey::Kind;
    switch (key.kind) {
        case K::zoomIn: setZoomLevel(zoomLevel_ * kZoomStep); return true;
        case K::zoomOut: setZoomLevel(zoomLevel_ / kZoomStep); return true;
        case K::zoomReset: setZoomLevel(1); return true;
        default: break;
    }
    if (m.alt || m.control || m.super) return false;  // shortcuts belong to the window
    switch (key.kind) {
        case K::escape: canvas_.cancelDrag(); canvas_.deselect(); return true;
        case K::returnKey: return canvas_.beginEditingSelectedText();
        case K::deleteKey: canvas_.deleteSelection(); return true;
        case K::character: break;
        default: return false;
    }
    if (key.character >= U'0' && key.character <= U'9') return canvas_.handleDigit(int(key.character - U'0'));
    if (auto tool = AnnotationTools::fromKeyboardCharacter(key.character)) {
        setSelectedTool(*tool);
        return true;
    }
    return false;
}

bool AnnotationEditorModel::undo() { return canvas_.undo(); }
bool AnnotationEditorModel::redo() { return canvas_.redo(); }

bool AnnotationEditorModel::hasUnsavedChanges() const {
    return canUndo() || canvas_.hasPendingNonBlankText() ||
           (cropSession_ && cropSession_->rectToApply() != document().cropRect);
}

// ---- layers ------------------------------------------------------------------

std::vector<AnnotationLayerItem> AnnotationEditorModel::layers() const {
    std::vector<AnnotationLayerItem> items;
    for (auto it = document().annotations.rbegin(); it != document().annotations.rend(); ++it) {
        items.push_back(AnnotationLayers::item(**it));
    }
    return items;
}

void AnnotationEditorModel::selectLayers(const std::set<AnnotationID>& ids) { canvas_.selectAnnotations(ids); }

void AnnotationEditorModel::setLayersHidden(bool hidden, const std::set<AnnotationID>& ids) {
    canvas_.setAnnotationsHidden(hidden, ids);
}

void AnnotationEditorModel::toggleLayerVisibility(const AnnotationID& id) {
    if (const auto a = document().annotation(id)) canvas_.setAnnotationsHidden(!a->isHidden(), {id});
}

void AnnotationEditorModel::moveLayers(const std::set<AnnotationID>& ids, AnnotationLayerPlacement placement) {
    canvas_.reorderAnnotations(AnnotationLayerOrdering::order(document().order(), ids, placement));
}

void AnnotationEditorModel::moveLayerRows(const std::vector<size_t>& fromOffsets, size_t toOffset) {
    // Rows list the top-most first: the reverse of drawing order.
    std::vector<AnnotationID> rows = document().order();
    std::reverse(rows.begin(), rows.end());
    toOffset = std::min(toOffset, rows.size());
    std::vector<AnnotationID> moving, staying;
    size_t insertAt = 0;
    for (size_t row = 0; row < rows.size(); ++row) {
        const bool isMoving = std::find(fromOffsets.begin(), fromOffsets.end(), row) != fromOffsets.end();
        (isMoving ? moving : staying).push_back(rows[row]);
        if (!isMoving && row < toOffset) ++insertAt;
    }
    if (moving.empty()) return;
    staying.insert(staying.begin() + long(insertAt), moving.begin(), moving.end());
    std::reverse(staying.begin(), staying.end());
    canvas_.reorderAnnotations(staying);
}

void AnnotationEditorModel::deleteLayers(const std::set<AnnotationID>& ids) { canvas_.removeAnnotations(ids); }

// ---- panels -------------------------------------------------------------------

void AnnotationEditorModel::toggleSidebarPanel(AnnotationSidebarPanel panel) {
    if (sidebarPanel_ == AnnotationSidebarPanel::crop) {
        // Leaving the crop panel applies the crop and goes back to the panel
        // before it, or on to the panel asked for.
        endCropSession(true);
        if (panel != AnnotationSidebarPanel::crop) sidebarPanel_ = panel;
        return;
    }
    if (sidebarPanel_ == panel) {
        sidebarPanel_.reset();
        return;
    }
    if (panel == AnnotationSidebarPanel::crop) {
        canvas_.endDrag();
        canvas_.commitPendingText();
        panelBeforeCrop_ = sidebarPanel_;
        cropSession_ = deps_.cropSessions ? deps_.cropSessions(document().cropRect, imageDrawRect_) : nullptr;
        if (!cropSession_) cropSession_ = std::make_unique<KeepingCropSession>(document().cropRect);
    }
    sidebarPanel_ = panel;
}

void AnnotationEditorModel::endCropSession(bool commit) {
    if (!cropSession_) return;
    auto session = std::move(cropSession_);
    if (commit) canvas_.setCropRect(session->rectToApply());
    sidebarPanel_ = std::exchange(panelBeforeCrop_, std::nullopt);
}

void AnnotationEditorModel::applyCrop() { endCropSession(true); }
void AnnotationEditorModel::cancelCrop() { endCropSession(false); }

void AnnotationEditorModel::setBackgroundEnabled(bool enabled) {
    if (isExporting()) return;
    canvas_.document.editLog.endCoalescing();
    if (!enabled) {
        if (document().background) backgroundPanel_.lastBackgroundStyle = document().background;
        canvas_.setBackground(std::nullopt, false);
        return;
    }
    if (document().background) return;
    canvas_.setBackground(backgroundPanel_.lastBackgroundStyle.value_or(AnnotationBackgroundStyle{}), false);
}

void AnnotationEditorModel::updateBackground(const AnnotationBackgroundStyle& style, bool coalescing) {
    if (isExporting()) return;
    backgroundPanel_.isAdjustingBackground = coalescing;
    if (const auto* blur = std::get_if<AnnotationBackgroundFill::Blur>(&style.fill)) {
        backgroundPanel_.lastBlurAmount = blur->amount;
    }
    backgroundPanel_.lastBackgroundStyle = style;
    canvas_.setBackground(style, coalescing);
}

void AnnotationEditorModel::updateBackgroundFill(AnnotationBackgroundFill::Fill fill) {
    if (const auto* picture = std::get_if<AnnotationBackgroundFill::Picture>(&fill)) {
        backgroundPanel_.backgroundImage = picture->image;
    }
    canvas_.document.editLog.endCoalescing();  // a choice is a step of its own, even mid-drag
    updateBackground(annotationBackgroundWithFill(document().background, std::move(fill)), false);
}

void AnnotationEditorModel::selectCustomBackgroundColor(const AnnotationBackgroundColor& color) {
    backgroundPanel_.customBackgroundColor = color;
    updateBackgroundFill(AnnotationBackgroundFill::Solid{color});
}

AnnotationCanvasFrame AnnotationEditorModel::canvasFrame() const {
    const auto& image = session_ ? session_->image() : nullptr;
    if (!image) return {};
    if (cropSession_) return AnnotationCanvasFrame::of(image->width(), image->height(), imageDrawRect_, std::nullopt, std::nullopt);
    return AnnotationCanvasFrame::of(image->width(), image->height(), imageDrawRect_, document().cropRect,
                                     document().background);
}

// ---- export -------------------------------------------------------------------

AnnotationCompositeInputs AnnotationEditorModel::compositeInputs() const {
    AnnotationCompositeInputs inputs;
    inputs.source = session_ ? session_->image() : nullptr;
    inputs.imageDrawRect = imageDrawRect_;
    inputs.cropRect = document().cropRect;
    inputs.background = document().background;
    for (const auto& a : document().annotations) {
        if (a->isHidden()) continue;
        inputs.annotations.push_back(a->duplicate());  // a snapshot: editing on cannot reach the export
    }
    return inputs;
}

bool AnnotationEditorModel::requestExport(AnnotationExportAction action,
                                          std::function<void(AnnotationExportOutcome)> finished) {
    if (isExporting()) return false;
    // The export shows what the canvas shows: a text being typed and an open crop included.
    canvas_.endDrag();
    canvas_.commitPendingText();
    if (cropSession_) applyCrop();
    exportError_.reset();
    const auto report = [this, finished = std::move(finished)](AnnotationExportOutcome outcome) {
        if (outcome.result.kind == AnnotationDeliveryResult::Kind::failed) exportError_ = outcome.result.error;
        if (finished) finished(std::move(outcome));
    };
    if (!exporter_ || !session_) {
        report({action, AnnotationDeliveryResult::failed("Exporting is not available."),
                session_ ? session_->id() : AnnotationID{}});
        return true;
    }
    return exporter_->start(action, session_, compositeInputs(), report);
}

}  // namespace tessarin
