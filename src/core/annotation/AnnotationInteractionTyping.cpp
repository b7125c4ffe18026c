// Typing on the canvas: badge numbers and text. Part of
// AnnotationInteractionOrchestrator, kept apart from the pointer handling.
#include <algorithm>

#include "core/annotation/AnnotationGeometry.h"
#include "core/annotation/AnnotationInteractionOrchestrator.h"
#include "core/annotation/OtherAnnotations.h"

namespace tessarin {
namespace {

using Outcome = AnnotationTextCommitOutcome;

bool isBlank(const std::string& text) { return text.find_first_not_of(" \t\r\n") == std::string::npos; }

std::shared_ptr<NumberAnnotation> singleSelectedBadge(const AnnotationDocument& document) {
    if (document.selectedIDs.size() != 1) return nullptr;
    return std::dynamic_pointer_cast<NumberAnnotation>(document.annotation(*document.selectedIDs.begin()));
}

}  // namespace

// ---- badge numbers ----------------------------------------------------------

bool AnnotationInteractionOrchestrator::handleDigit(int digit) {
    if (digit < 0 || digit > 9) return false;
    endDrag();
    std::optional<AnnotationID> target;
    if (const auto badge = singleSelectedBadge(document)) {
        target = badge->id();
    } else if (!(document.selectedIDs.empty() && numberTool_ && toolHandler_ == numberTool_)) {
        return false;
    }
    const double now = clock_();
    const bool continues = numberEditBuffer_ && numberEditBuffer_->badge == target &&
                           now - numberEditBuffer_->lastInputTime < kDigitRunSeconds;
    const std::string typedDigit(1, char('0' + digit));
    std::string typed = continues ? numberEditBuffer_->typed + typedDigit : typedDigit;
    long long value = typed.size() <= 3 ? std::stoll(typed) : 0;
    if (value < 1 || value > NumberToolHandler::kLargestNumber) {
        // A run that would leave 1...50 starts again from this digit.
        typed = typedDigit;
        value = digit;
    }
    if (!continues) document.editLog.endCoalescing();  // a new run is a new undo step
    numberEditBuffer_ = NumberEditBuffer{target, value == 0 ? std::string() : typed, now};
    if (value == 0) return true;  // 0 alone names no badge: wait for the next digit
    applyBadgeNumber(target, value);
    return true;
}

void AnnotationInteractionOrchestrator::applyBadgeNumber(const std::optional<AnnotationID>& badgeID, long long value) {
    if (!badgeID) {
        numberTool_->nextNumber = value;
        return;
    }
    auto badge = std::dynamic_pointer_cast<NumberAnnotation>(document.annotation(*badgeID));
    if (!badge || badge->number == value) return;
    AnnotationStateCapture before = badge->stateCapture();
    badge->number = value;
    invalidate(AnnotationGeometry::grownBy(badge->visualBounds(), kDirtyPadding));
    document.editLog.recordModify({{badge, std::move(before), badge->stateCapture()}}, true);
}

// ---- text -----------------------------------------------------------------

void AnnotationInteractionOrchestrator::beginTextInput(Point anchor) {
    if (textEditing_) commitPendingText();
    AnnotationTextEditing editing;
    editing.anchor = anchor;
    if (toolHandler_) {
        editing.fontSize = toolHandler_->style.fontSize;
        editing.color = toolHandler_->style.color;
    }
    textEditing_ = std::move(editing);
    changes_.textEditing = true;
}

void AnnotationInteractionOrchestrator::beginEditing(const std::shared_ptr<TextAnnotation>& text) {
    if (textEditing_) commitPendingText();
    const Rect box = text->textBox();
    textEditing_ = AnnotationTextEditing{text->id(), {box.minX(), box.maxY()}, text->text, text->fontSize, text->color,
                                         text->width};
    changes_.textEditing = true;
    invalidate(AnnotationGeometry::grownBy(text->visualBounds(), kDirtyPadding));
}

bool AnnotationInteractionOrchestrator::beginEditingSelectedText() {
    endDrag();
    if (document.selectedIDs.size() != 1) return false;
    auto text = std::dynamic_pointer_cast<TextAnnotation>(document.annotation(*document.selectedIDs.begin()));
    if (!text || text->isHidden()) return false;
    beginEditing(text);
    return true;
}

void AnnotationInteractionOrchestrator::updatePendingText(std::string text) {
    if (textEditing_) textEditing_->text = std::move(text);
}

bool AnnotationInteractionOrchestrator::hasPendingNonBlankText() const {
    return textEditing_ && !isBlank(textEditing_->text);
}

AnnotationTextCommitOutcome AnnotationInteractionOrchestrator::commitPendingText() {
    if (!textEditing_) return {Outcome::Kind::notEditing, std::nullopt};
    AnnotationTextEditing editing = std::move(*textEditing_);
    textEditing_.reset();
    changes_.textEditing = true;

    if (editing.editingID) {
        auto text = std::dynamic_pointer_cast<TextAnnotation>(document.annotation(*editing.editingID));
        if (!text) return {Outcome::Kind::notEditing, std::nullopt};  // removed meanwhile (e.g. undone)
        if (isBlank(editing.text)) {
            removeAnnotations({text->id()});
            return {Outcome::Kind::removed, std::nullopt};
        }
        const Rect oldBox = text->textBox();
        AnnotationStateCapture before = text->stateCapture();
        text->text = editing.text;
        // The box keeps its top edge where the user typed, however many lines it now has.
        text->position = {oldBox.minX(), oldBox.maxY() - text->textBox().height};
        invalidate(AnnotationGeometry::grownBy(oldBox, kDirtyPadding));
        invalidate(AnnotationGeometry::grownBy(text->visualBounds(), kDirtyPadding));
        document.editLog.recordModify({{text, std::move(before), text->stateCapture()}}, false);
        return {Outcome::Kind::committed, text->id()};
    }
    if (isBlank(editing.text)) return {Outcome::Kind::discardedEmpty, std::nullopt};
    auto text = std::make_shared<TextAnnotation>(editing.text, editing.anchor, editing.fontSize, editing.color,
                                                 editing.width, measurer_);
    text->position = {editing.anchor.x, editing.anchor.y - text->textBox().height};
    invalidate(AnnotationGeometry::grownBy(text->visualBounds(), kDirtyPadding));
    const AnnotationID id = text->id();
    document.add({std::move(text)});
    applySelection({id});
    return {Outcome::Kind::committed, id};
}

}  // namespace tessarin
