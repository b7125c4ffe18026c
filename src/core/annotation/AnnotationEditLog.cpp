#include "core/annotation/AnnotationEditLog.h"

#include <algorithm>
#include <set>

namespace tessarin {
namespace {

std::set<const Annotation*> annotationsOf(const std::vector<AnnotationChange>& changes) {
    std::set<const Annotation*> objects;
    for (const auto& change : changes) objects.insert(change.annotation.get());
    return objects;
}

}  // namespace

void AnnotationEditLog::record(AnnotationEdit::Edit edit) {
    undoStack_.push_back(std::move(edit));
    redoStack_.clear();
    coalescingOpen_ = false;
}

const AnnotationEdit::Edit* AnnotationEditLog::takeUndo() {
    coalescingOpen_ = false;
    if (undoStack_.empty()) return nullptr;
    redoStack_.push_back(std::move(undoStack_.back()));
    undoStack_.pop_back();
    return &redoStack_.back();
}

const AnnotationEdit::Edit* AnnotationEditLog::takeRedo() {
    coalescingOpen_ = false;
    if (redoStack_.empty()) return nullptr;
    undoStack_.push_back(std::move(redoStack_.back()));
    redoStack_.pop_back();
    return &undoStack_.back();
}

void AnnotationEditLog::recordModify(std::vector<AnnotationChange> changes, bool coalescing) {
    if (changes.empty()) return;
    if (coalescing && coalescingOpen_ && redoStack_.empty() && !undoStack_.empty()) {
        if (auto* last = std::get_if<AnnotationEdit::Modify>(&undoStack_.back());
            last && annotationsOf(last->changes) == annotationsOf(changes)) {
            for (auto& merged : last->changes) {
                const auto newer = std::find_if(changes.begin(), changes.end(), [&](const AnnotationChange& c) {
                    return c.annotation == merged.annotation;
                });
                merged.after = newer->after;
            }
            return;
        }
    }
    record(AnnotationEdit::Modify{std::move(changes)});
    coalescingOpen_ = coalescing;
}

void AnnotationEditLog::recordBackground(std::optional<AnnotationBackgroundStyle> from,
                                         std::optional<AnnotationBackgroundStyle> to, bool coalescing) {
    if (coalescing && coalescingOpen_ && redoStack_.empty() && !undoStack_.empty()) {
        if (auto* last = std::get_if<AnnotationEdit::Background>(&undoStack_.back())) {
            last->to = std::move(to);
            return;
        }
    }
    record(AnnotationEdit::Background{std::move(from), std::move(to)});
    coalescingOpen_ = coalescing;
}

}  // namespace tessarin
