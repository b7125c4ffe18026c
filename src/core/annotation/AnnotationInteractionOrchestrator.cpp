#include "core/annotation/AnnotationInteractionOrchestrator.h"

#include <algorithm>
#include <chrono>

#include "core/annotation/AnnotationEditReplay.h"
#include "core/annotation/AnnotationGeometry.h"
#include "core/annotation/AnnotationInteractionResolver.h"
#include "core/annotation/AnnotationLayers.h"
#include "core/annotation/OtherAnnotations.h"

namespace tessarin {
namespace {

namespace I = AnnotationInteraction;
namespace Resolver = AnnotationInteractionResolver;
}  // namespace

AnnotationClock steadyAnnotationClock() {
    return [] {
        return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
    };
}

AnnotationInteractionOrchestrator::AnnotationInteractionOrchestrator(std::shared_ptr<const TextMeasurer> measurer,
                                                                     AnnotationClock clock)
    : measurer_(std::move(measurer)), clock_(std::move(clock)) {}

// ---- tools and pointer ----------------------------------------------------

void AnnotationInteractionOrchestrator::setToolHandler(AnnotationToolHandler* handler) {
    endDrag();
    commitPendingText();
    numberEditBuffer_.reset();
    document.editLog.endCoalescing();
    toolHandler_ = handler;
    if (auto* text = dynamic_cast<TextToolHandler*>(handler)) {
        text->requestTextInput = [this](Point anchor) { beginTextInput(anchor); };
    }
}

bool AnnotationInteractionOrchestrator::isDrawingTool() const {
    return toolHandler_ && toolHandler_->toolType() != AnnotationToolType::move;
}

bool AnnotationInteractionOrchestrator::isDragging() const {
    return isDrawing_ || !std::holds_alternative<I::None>(interaction_);
}

void AnnotationInteractionOrchestrator::mouseDown(Point point, int clickCount, AnnotationModifiers modifiers,
                                                  bool allowsTool) {
    if (isDragging()) endDrag();  // a press without its release: finish the old gesture first
    lastPointerPoint_ = point;
    lastModifiers_ = modifiers;
    isOptionDown_ = modifiers.duplicates();
    suppressToolCommitOnMouseUp_ = false;
    document.editLog.endCoalescing();
    numberEditBuffer_.reset();

    if (textEditing_) {
        // The press that closes the text box does not also open a new one.
        commitPendingText();
        if (toolHandler_ && toolHandler_->toolType() == AnnotationToolType::text) {
            suppressToolCommitOnMouseUp_ = true;
            return;
        }
    }
    if (!allowsTool || !isDrawingTool()) return startMoveGesture(point, clickCount, modifiers);

    if (!document.selectedIDs.empty()) {
        // With something selected a drawing tool edits the selection; a
        // press elsewhere clears it and draws, so shapes follow one another.
        const auto handles = selectionHandles();
        const bool onHandle =
            std::ranges::any_of(handles, [&](const AnnotationHandle& h) { return h.rect.containsInclusive(point); });
        const bool onSelection =
            onHandle || Resolver::selectedAnnotation(document.annotations, document.selectedIDs, point) != nullptr;
        if (onSelection) return startMoveGesture(point, clickCount, modifiers);
        applySelection({});
    }
    if (toolHandler_->toolType() == AnnotationToolType::text) {
        if (auto hit = std::dynamic_pointer_cast<TextAnnotation>(Resolver::hitAnnotation(document.annotations, point))) {
            beginEditing(hit);
            suppressToolCommitOnMouseUp_ = true;
            return;
        }
    }
    toolHandler_->mouseDown(point, modifiers.shift);
    isDrawing_ = true;
}

void AnnotationInteractionOrchestrator::startMoveGesture(Point point, int clickCount, AnnotationModifiers modifiers) {
    if (clickCount >= 2) {
        if (auto hit = std::dynamic_pointer_cast<TextAnnotation>(Resolver::hitAnnotation(document.annotations, point))) {
            applySelection({hit->id()});
            beginEditing(hit);
            return;
        }
    }
    auto outcome = Resolver::moveToolMouseDown(point, modifiers.shift, document.annotations, document.selectedIDs);
    using Kind = Resolver::SelectionChange::Kind;
    if (outcome.selection.kind == Kind::replace) applySelection(outcome.selection.ids);
    if (outcome.selection.kind == Kind::toggle) {
        auto ids = document.selectedIDs;
        const AnnotationID& id = *outcome.selection.ids.begin();
        if (!ids.erase(id)) ids.insert(id);
        applySelection(std::move(ids));
    }
    interaction_ = std::move(outcome.interaction);
    const auto mutated = I::mutatedIDs(interaction_);
    document.beginGeometryEdit({mutated.begin(), mutated.end()});
    duplicateArmed_ = modifiers.duplicates() && std::holds_alternative<I::Moving>(interaction_);
    hasDraggedFarEnoughToDuplicate_ = false;
    pressPoint_ = point;
}

void AnnotationInteractionOrchestrator::mouseDragged(Point point, AnnotationModifiers modifiers) {
    lastPointerPoint_ = point;
    lastModifiers_ = modifiers;
    if (isDrawing_) {
        invalidate(toolHandler_->currentPreview() ? std::optional(toolHandler_->currentPreview()->visualBounds()) : std::nullopt);
        toolHandler_->mouseDragged(point, modifiers.shift);
        if (auto preview = toolHandler_->currentPreview()) invalidate(preview->visualBounds());
        return;
    }
    if (std::holds_alternative<I::None>(interaction_)) return;
    if (duplicateArmed_ && !hasDraggedFarEnoughToDuplicate_) startDuplicatesIfFarEnough(point);
    invalidate(Resolver::dirtyBounds(interaction_, document.annotations, kDirtyPadding));
    if (auto selection = Resolver::apply(interaction_, point, document.annotations)) applySelection(*selection);
    invalidate(Resolver::dirtyBounds(interaction_, document.annotations, kDirtyPadding));
}

void AnnotationInteractionOrchestrator::startDuplicatesIfFarEnough(Point point) {
    if (!(AnnotationGeometry::distance(point, pressPoint_) > kDuplicateDistance)) return;
    auto* moving = std::get_if<I::Moving>(&interaction_);
    if (!moving) return;
    hasDraggedFarEnoughToDuplicate_ = true;
    std::vector<AnnotationPtr> originals;
    for (const auto& s : moving->snapshots) {
        if (auto a = document.annotation(s.id)) {
            invalidate(AnnotationGeometry::grownBy(a->visualBounds(), kDirtyPadding));
            a->applyGeometry(s.snapshot, {0, 0});  // the originals stay where they were
            originals.push_back(std::move(a));
        }
    }
    document.geometryBaseline.clear();
    duplicateOriginals_.clear();
    for (const auto& a : originals) duplicateOriginals_.insert(a->id());
    auto copies = AnnotationDuplication::copies(originals, document.annotations, {0, 0});
    std::set<AnnotationID> copyIDs;
    moving->snapshots.clear();
    for (const auto& copy : copies) {
        moving->snapshots.push_back({copy->id(), copy->geometrySnapshot()});
        copyIDs.insert(copy->id());
        document.annotations.push_back(copy);
    }
    document.pendingDuplicates = std::move(copies);
    applySelection(std::move(copyIDs));
}

void AnnotationInteractionOrchestrator::mouseUp(Point point, AnnotationModifiers modifiers) {
    lastPointerPoint_ = point;
    lastModifiers_ = modifiers;
    if (isDrawing_) return finishDrawing(point, modifiers);
    if (suppressToolCommitOnMouseUp_) {
        suppressToolCommitOnMouseUp_ = false;
        return;
    }
    if (std::holds_alternative<I::None>(interaction_)) return;
    mouseDragged(point, modifiers);
    if (!document.pendingDuplicates.empty()) {
        document.commitDuplicateDragIfNeeded();
    } else {
        document.commitGeometryEditIfNeeded();
    }
    invalidate(Resolver::dirtyBounds(interaction_, document.annotations, kDirtyPadding));
    interaction_ = I::None{};
    duplicateArmed_ = false;
}

void AnnotationInteractionOrchestrator::finishDrawing(Point point, AnnotationModifiers modifiers) {
    isDrawing_ = false;
    if (auto preview = toolHandler_->currentPreview()) invalidate(preview->visualBounds());
    AnnotationPtr created = toolHandler_->mouseUp(point, modifiers.shift);
    if (!created) return;
    invalidate(AnnotationGeometry::grownBy(created->visualBounds(), kDirtyPadding));
    const AnnotationID id = created->id();
    document.add({std::move(created)});
    applySelection({id});
}

void AnnotationInteractionOrchestrator::optionKeyChanged(bool isDown) { isOptionDown_ = isDown; }

void AnnotationInteractionOrchestrator::endDrag() {
    if (!isDragging()) return;
    const Point at = lastPointerPoint_.value_or(pressPoint_);
    mouseUp(at, lastModifiers_);
}

void AnnotationInteractionOrchestrator::cancelDrag() {
    if (isDrawing_) {
        if (auto preview = toolHandler_->currentPreview()) invalidate(preview->visualBounds());
        toolHandler_->cancel();
        isDrawing_ = false;
    }
    if (std::holds_alternative<I::None>(interaction_)) return;
    invalidate(Resolver::dirtyBounds(interaction_, document.annotations, kDirtyPadding));
    if (!document.pendingDuplicates.empty()) {
        document.cancelDuplicateDrag();
        applySelection(duplicateOriginals_);
    }
    for (auto& [a, before] : document.geometryBaseline) a->applyStateCapture(before);
    document.geometryBaseline.clear();
    if (auto* m = std::get_if<I::Marquee>(&interaction_)) applySelection(m->originalSelection);
    interaction_ = I::None{};
    duplicateArmed_ = false;
}

// ---- selection and edits ----------------------------------------------------

void AnnotationInteractionOrchestrator::applySelection(std::set<AnnotationID> ids) {
    if (ids == document.selectedIDs) return;
    invalidateAnnotations(document.selectedAnnotations());
    document.selectedIDs = std::move(ids);
    invalidateAnnotations(document.selectedAnnotations());
    numberEditBuffer_.reset();
}

void AnnotationInteractionOrchestrator::duplicateSelection() {
    endDrag();
    auto copies = AnnotationDuplication::copies(document.selectedAnnotations(), document.annotations, kDuplicateOffset);
    if (copies.empty()) return;
    std::set<AnnotationID> ids;
    for (const auto& c : copies) ids.insert(c->id());
    invalidateAnnotations(copies);
    document.add(std::move(copies));
    applySelection(std::move(ids));
}

bool AnnotationInteractionOrchestrator::undo() {
    endDrag();
    commitPendingText();
    const AnnotationEdit::Edit* edit = document.editLog.takeUndo();
    if (!edit) return false;
    invalidate(AnnotationEditReplay::apply(document, *edit, AnnotationReplayDirection::backward).dirtyBounds);
    if (document.pruneSelection()) numberEditBuffer_.reset();
    return true;
}

bool AnnotationInteractionOrchestrator::redo() {
    endDrag();
    commitPendingText();
    const AnnotationEdit::Edit* edit = document.editLog.takeRedo();
    if (!edit) return false;
    invalidate(AnnotationEditReplay::apply(document, *edit, AnnotationReplayDirection::forward).dirtyBounds);
    if (document.pruneSelection()) numberEditBuffer_.reset();
    return true;
}

void AnnotationInteractionOrchestrator::deselect() {
    endDrag();
    commitPendingText();
    applySelection({});
}

void AnnotationInteractionOrchestrator::deleteSelection() {
    endDrag();
    // Only what can be seen: a hidden layer is removed from the layers panel.
    std::set<AnnotationID> visible;
    for (const auto& a : document.selectedAnnotations()) {
        if (!a->isHidden()) visible.insert(a->id());
    }
    removeAnnotations(visible);
}

void AnnotationInteractionOrchestrator::selectAnnotations(const std::set<AnnotationID>& ids) {
    std::set<AnnotationID> existing;
    for (const auto& id : ids) {
        if (document.annotation(id)) existing.insert(id);
    }
    applySelection(std::move(existing));
}

void AnnotationInteractionOrchestrator::setAnnotationsHidden(bool hidden, const std::set<AnnotationID>& ids) {
    endDrag();
    std::vector<AnnotationPtr> touched;
    for (const auto& id : ids) {
        if (auto a = document.annotation(id)) touched.push_back(std::move(a));
    }
    invalidateAnnotations(touched);
    document.setHidden(hidden, ids);
    if (hidden) {
        auto selection = document.selectedIDs;
        for (const auto& id : ids) selection.erase(id);
        applySelection(std::move(selection));
    }
}

void AnnotationInteractionOrchestrator::reorderAnnotations(const std::vector<AnnotationID>& order) {
    endDrag();
    const auto before = document.order();
    document.reorder(order);
    if (document.order() != before) invalidateAnnotations(document.annotations);
}

void AnnotationInteractionOrchestrator::removeAnnotations(const std::set<AnnotationID>& ids) {
    endDrag();
    std::vector<AnnotationPtr> removed;
    for (const auto& id : ids) {
        if (auto a = document.annotation(id)) removed.push_back(std::move(a));
    }
    if (removed.empty()) return;
    invalidateAnnotations(removed);
    document.remove(ids);
    if (document.pruneSelection()) numberEditBuffer_.reset();
}

void AnnotationInteractionOrchestrator::recordStyleChange(const std::function<bool(Annotation&)>& change,
                                                          bool coalescing) {
    endDrag();
    std::vector<AnnotationChange> changes;
    for (const auto& a : document.selectedAnnotations()) {
        AnnotationStateCapture before = a->stateCapture();
        invalidate(AnnotationGeometry::grownBy(a->visualBounds(), kDirtyPadding));
        if (!change(*a)) continue;
        invalidate(AnnotationGeometry::grownBy(a->visualBounds(), kDirtyPadding));
        AnnotationStateCapture after = a->stateCapture();
        if (!(after == before)) changes.push_back({a, std::move(before), std::move(after)});
    }
    document.editLog.recordModify(std::move(changes), coalescing);
}

void AnnotationInteractionOrchestrator::updateSelectedAnnotationColor(const AnnotationColor& color, bool coalescing) {
    recordStyleChange(
        [&](Annotation& a) {
            if (!a.styleChannels().color) return false;
            a.applyStyleChannels({color, std::nullopt, std::nullopt});
            return true;
        },
        coalescing);
}

void AnnotationInteractionOrchestrator::updateSelectedAnnotationMosaicEffect(AnnotationMosaicEffect effect) {
    recordStyleChange(
        [&](Annotation& a) {
            if (!a.styleChannels().mosaicEffect) return false;
            a.applyStyleChannels({std::nullopt, effect, std::nullopt});
            return true;
        },
        false);
}

void AnnotationInteractionOrchestrator::updateSelectedAnnotationParameter(double value, AnnotationMetricKind kind,
                                                                          bool coalescing) {
    if (!std::isfinite(value) || value <= 0) return;
    recordStyleChange(
        [&](Annotation& a) {
            if (AnnotationTools::styleProfile(a.toolType()).metric != kind || !a.styleChannels().metricValue) return false;
            a.applyStyleChannels({std::nullopt, std::nullopt, value});
            return true;
        },
        coalescing);
}

void AnnotationInteractionOrchestrator::endAdjusting() { document.editLog.endCoalescing(); }

void AnnotationInteractionOrchestrator::setCropRect(std::optional<Rect> rect) {
    endDrag();
    document.setCrop(std::move(rect));
}

void AnnotationInteractionOrchestrator::setBackground(std::optional<AnnotationBackgroundStyle> style, bool coalescing) {
    endDrag();
    document.setBackground(std::move(style), coalescing);
}

// ---- views ---------------------------------------------------------------

AnnotationCursorKind AnnotationInteractionOrchestrator::pointerCursorKind(std::optional<Point> point) const {
    AnnotationCursorPolicy::CanvasState state{toolHandler_ ? std::optional(toolHandler_->toolType()) : std::nullopt,
                                              interaction_, &document.annotations, document.selectedIDs, isOptionDown_};
    return AnnotationCursorPolicy::cursor(state, point);
}

std::vector<AnnotationCursorRect> AnnotationInteractionOrchestrator::cursorRects() const {
    AnnotationCursorPolicy::CanvasState state{toolHandler_ ? std::optional(toolHandler_->toolType()) : std::nullopt,
                                              interaction_, &document.annotations, document.selectedIDs, isOptionDown_};
    return AnnotationCursorPolicy::cursorRects(state);
}

std::vector<AnnotationHandle> AnnotationInteractionOrchestrator::selectionHandles() const {
    if (document.selectedIDs.size() != 1) return {};
    const auto selected = document.annotation(*document.selectedIDs.begin());
    if (!selected || selected->isHidden()) return {};
    return AnnotationHandles::handles(*selected);
}

AnnotationPtr AnnotationInteractionOrchestrator::drawingPreview() const {
    return isDrawing_ ? toolHandler_->currentPreview() : nullptr;
}

std::optional<Rect> AnnotationInteractionOrchestrator::marqueeRect() const {
    if (const auto* m = std::get_if<I::Marquee>(&interaction_)) return m->rect();
    return std::nullopt;
}

void AnnotationInteractionOrchestrator::invalidate(const std::optional<Rect>& rect) {
    changes_.dirtyRect = unionOf(changes_.dirtyRect, rect);
}

void AnnotationInteractionOrchestrator::invalidateAnnotations(const std::vector<AnnotationPtr>& annotations) {
    for (const auto& a : annotations) invalidate(AnnotationGeometry::grownBy(a->visualBounds(), kDirtyPadding));
}

AnnotationCanvasChanges AnnotationInteractionOrchestrator::takeChanges() {
    AnnotationCanvasChanges out = std::exchange(changes_, {});
    const auto& log = document.editLog;
    const std::pair history{log.undoStack().size(), log.redoStack().size()};
    out.history = out.history || history != publishedHistory_;
    out.selection = out.selection || document.selectedIDs != publishedSelection_;
    out.crop = out.crop || document.cropRect != publishedCrop_;
    out.background = out.background || document.background != publishedBackground_;
    publishedHistory_ = history;
    publishedSelection_ = document.selectedIDs;
    publishedCrop_ = document.cropRect;
    publishedBackground_ = document.background;
    return out;
}

}  // namespace tessarin
