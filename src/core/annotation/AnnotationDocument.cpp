#include "core/annotation/AnnotationDocument.h"

#include <algorithm>

namespace tessarin {

void AnnotationDocument::add(std::vector<AnnotationPtr> added) {
    if (added.empty()) return;
    std::vector<AnnotationEditEntry> entries;
    for (auto& a : added) {
        entries.push_back({a, annotations.size()});
        annotations.push_back(std::move(a));
    }
    editLog.record(AnnotationEdit::Add{std::move(entries)});
}

void AnnotationDocument::remove(const std::set<AnnotationID>& ids) {
    std::vector<AnnotationEditEntry> removed;
    std::vector<AnnotationPtr> kept;
    for (size_t i = 0; i < annotations.size(); ++i) {
        if (ids.count(annotations[i]->id())) {
            removed.push_back({annotations[i], i});
        } else {
            kept.push_back(annotations[i]);
        }
    }
    if (removed.empty()) return;
    annotations = std::move(kept);
    editLog.record(AnnotationEdit::Remove{std::move(removed)});
}

void AnnotationDocument::setHidden(bool hidden, const std::set<AnnotationID>& ids) {
    std::vector<AnnotationChange> changes;
    for (const auto& a : annotations) {
        if (!ids.count(a->id()) || a->isHidden() == hidden) continue;
        AnnotationStateCapture before = a->stateCapture();
        a->setHidden(hidden);
        changes.push_back({a, std::move(before), a->stateCapture()});
    }
    editLog.recordModify(std::move(changes), false);
}

void AnnotationDocument::reorder(const std::vector<AnnotationID>& newOrder) {
    const std::vector<AnnotationID> oldOrder = order();
    if (newOrder == oldOrder || newOrder.size() != oldOrder.size()) return;
    if (!std::is_permutation(newOrder.begin(), newOrder.end(), oldOrder.begin())) return;
    std::vector<AnnotationPtr> arranged;
    for (const auto& id : newOrder) arranged.push_back(annotation(id));
    annotations = std::move(arranged);
    editLog.record(AnnotationEdit::Reorder{oldOrder, newOrder});
}

void AnnotationDocument::setBackground(std::optional<AnnotationBackgroundStyle> style, bool coalescing) {
    if (style == background) return;
    auto from = std::exchange(background, style);
    editLog.recordBackground(std::move(from), std::move(style), coalescing);
}

void AnnotationDocument::setCrop(std::optional<Rect> rect) {
    if (rect == cropRect) return;
    auto from = std::exchange(cropRect, rect);
    editLog.record(AnnotationEdit::Crop{std::move(from), std::move(rect)});
}

std::vector<AnnotationPtr> AnnotationDocument::selectedAnnotations() const {
    std::vector<AnnotationPtr> selected;
    for (const auto& a : annotations) {
        if (selectedIDs.count(a->id())) selected.push_back(a);
    }
    return selected;
}

AnnotationPtr AnnotationDocument::annotation(const AnnotationID& id) const {
    const auto found = std::find_if(annotations.begin(), annotations.end(), [&](const auto& a) { return a->id() == id; });
    return found == annotations.end() ? nullptr : *found;
}

std::vector<AnnotationID> AnnotationDocument::order() const {
    std::vector<AnnotationID> ids;
    for (const auto& a : annotations) ids.push_back(a->id());
    return ids;
}

bool AnnotationDocument::pruneSelection() {
    return std::erase_if(selectedIDs, [&](const AnnotationID& id) { return !annotation(id); }) > 0;
}

void AnnotationDocument::beginGeometryEdit(const std::set<AnnotationID>& ids) {
    geometryBaseline.clear();
    for (const auto& a : annotations) {
        if (ids.count(a->id())) geometryBaseline.emplace_back(a, a->stateCapture());
    }
}

void AnnotationDocument::commitGeometryEditIfNeeded() {
    std::vector<AnnotationChange> changes;
    for (auto& [a, before] : geometryBaseline) {
        AnnotationStateCapture after = a->stateCapture();
        if (!(after == before)) changes.push_back({a, before, std::move(after)});
    }
    geometryBaseline.clear();
    editLog.recordModify(std::move(changes), false);
}

void AnnotationDocument::cancelDuplicateDrag() {
    for (const auto& copy : pendingDuplicates) std::erase(annotations, copy);
    pendingDuplicates.clear();
}

void AnnotationDocument::commitDuplicateDragIfNeeded() {
    std::vector<AnnotationEditEntry> entries;
    for (size_t i = 0; i < annotations.size(); ++i) {
        if (std::find(pendingDuplicates.begin(), pendingDuplicates.end(), annotations[i]) != pendingDuplicates.end()) {
            entries.push_back({annotations[i], i});
        }
    }
    pendingDuplicates.clear();
    if (!entries.empty()) editLog.record(AnnotationEdit::Add{std::move(entries)});
}

}  // namespace tessarin
