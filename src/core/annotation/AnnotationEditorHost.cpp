#include "core/annotation/AnnotationEditorHost.h"

namespace tessarin {

using Reason = AnnotationClosePrompt::Reason;
using Choice = AnnotationClosePromptChoice;

void AnnotationEditorHost::retireModel() {
    if (model_) retired_ = std::move(model_);
}

void AnnotationEditorHost::present(AnnotationEditorSessionPtr session) {
    retireModel();
    model_ = session ? makeModel_(std::move(session)) : nullptr;
}

void AnnotationEditorHost::endCurrentSession() {
    retireModel();
    if (!queued_.empty() && !quitting_) {
        auto next = std::move(queued_.front());
        queued_.pop_front();
        present(std::move(next));
    }
}

void AnnotationEditorHost::open(AnnotationEditorSessionPtr session) {
    if (!session) return;
    if (!model_) return present(std::move(session));
    if (prompt_ || model_->isExporting()) {
        queued_.push_back(std::move(session));  // the current one is busy deciding: wait in line
        return;
    }
    if (!model_->hasUnsavedChanges()) {
        retireModel();
        return present(std::move(session));
    }
    arriving_ = std::move(session);
    prompt_ = AnnotationClosePrompt{Reason::newSession};
}

void AnnotationEditorHost::requestClose() {
    if (!model_ || prompt_ || model_->isExporting()) return;
    if (!model_->hasUnsavedChanges()) return endCurrentSession();
    prompt_ = AnnotationClosePrompt{Reason::close};
}

void AnnotationEditorHost::requestQuit(std::function<void(bool)> decided) {
    if (model_ && model_->isExporting()) {
        if (decided) decided(false);  // an image is on its way: quitting now would lose it
        return;
    }
    if (!model_ || !model_->hasUnsavedChanges()) {
        retireModel();
        if (decided) decided(true);
        return;
    }
    if (prompt_) {
        // Another question is open: treat it as declined and ask about quitting instead.
        if (arriving_) queued_.push_back(std::exchange(arriving_, nullptr));
    }
    quitDecided_ = std::move(decided);
    prompt_ = AnnotationClosePrompt{Reason::quit};
}

void AnnotationEditorHost::proceedAfterClosing(Reason reason) {
    switch (reason) {
        case Reason::close: endCurrentSession(); break;
        case Reason::newSession:
            retireModel();
            present(std::exchange(arriving_, nullptr));
            break;
        case Reason::quit:
            quitting_ = true;
            retireModel();
            if (auto decided = std::exchange(quitDecided_, nullptr)) decided(true);
            break;
    }
}

void AnnotationEditorHost::answerPrompt(Choice choice) {
    if (!prompt_ || !model_) return;
    const Reason reason = prompt_->reason;
    prompt_.reset();
    if (choice == Choice::cancel) return stayOpen(reason);
    if (choice == Choice::dontSave) return proceedAfterClosing(reason);

    const AnnotationID sessionID = model_->session()->id();
    const bool started = model_->requestExport(AnnotationExportAction::done, [this, reason, sessionID](
                                                                                 AnnotationExportOutcome outcome) {
        if (!model_ || model_->session()->id() != sessionID) return;
        if (outcome.result.kind == AnnotationDeliveryResult::Kind::delivered) return proceedAfterClosing(reason);
        // Not delivered: the editor stays open with its error.
        stayOpen(reason);
    });
    if (!started) stayOpen(reason);
}

void AnnotationEditorHost::stayOpen(Reason reason) {
    // Nothing waiting is lost, and whoever asked to quit hears no.
    if (reason == Reason::newSession && arriving_) queued_.push_back(std::exchange(arriving_, nullptr));
    if (reason == Reason::quit) {
        if (auto decided = std::exchange(quitDecided_, nullptr)) decided(false);
    }
}

bool AnnotationEditorHost::done() {
    if (!model_) return false;
    const AnnotationID sessionID = model_->session()->id();
    return model_->requestExport(AnnotationExportAction::done, [this, sessionID](AnnotationExportOutcome outcome) {
        if (!model_ || model_->session()->id() != sessionID) return;
        if (outcome.result.kind == AnnotationDeliveryResult::Kind::delivered) endCurrentSession();
    });
}

}  // namespace tessarin
