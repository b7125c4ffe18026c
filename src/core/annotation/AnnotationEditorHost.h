#pragma once
// What the editor window runs on: the current session and its model, the
// sessions waiting their turn, and the prompt that guards unsaved edits.
//
// Every way a session can end goes through one procedure: closing the
// window, a new session arriving, and quitting. With unsaved edits the user
// is asked first; "Save" closes only after the image was delivered, and a
// failed delivery keeps the editor open with its error. A new session that
// arrives over unsaved edits is never dropped: "Cancel" keeps the current
// session and queues the new one behind it.

#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string_view>

#include "core/annotation/AnnotationEditorModel.h"

namespace tessarin {

struct AnnotationClosePrompt {
    static constexpr std::string_view kTitle = "Save changes before closing?";
    static constexpr std::string_view kMessage = "Your annotations will be lost if you don't save.";
    static constexpr std::string_view kSave = "Save";
    static constexpr std::string_view kDontSave = "Don't Save";
    static constexpr std::string_view kCancel = "Cancel";

    enum class Reason { close, newSession, quit } reason = Reason::close;
};

enum class AnnotationClosePromptChoice { save, dontSave, cancel };

class AnnotationEditorHost {
public:
    static constexpr std::string_view kEmptyTitle = "No Screenshot Selected";
    static constexpr std::string_view kEmptyMessage = "Capture or choose an image to start annotating.";

    using ModelFactory = std::function<std::unique_ptr<AnnotationEditorModel>(AnnotationEditorSessionPtr)>;

    explicit AnnotationEditorHost(ModelFactory makeModel) : makeModel_(std::move(makeModel)) {}

    // Null while the empty state shows.
    AnnotationEditorModel* model() const { return model_.get(); }
    AnnotationEditorSessionPtr currentSession() const { return model_ ? model_->session() : nullptr; }
    const std::deque<AnnotationEditorSessionPtr>& queuedSessions() const { return queued_; }
    // The window is shown while a session is current.
    bool isWindowOpen() const { return model_ != nullptr; }

    // Shows the session, or asks first when the current one has unsaved edits.
    void open(AnnotationEditorSessionPtr session);
    // The window's close button and Escape-to-close.
    void requestClose();
    // Quitting the application: `decided` gets true when it may go on, false
    // when the user cancelled, saving failed or an export is still running.
    void requestQuit(std::function<void(bool mayQuit)> decided);

    const std::optional<AnnotationClosePrompt>& prompt() const { return prompt_; }
    void answerPrompt(AnnotationClosePromptChoice choice);

    // Done in the window: delivers to the session and closes after.
    bool done();

private:
    void endCurrentSession();
    void retireModel();
    void proceedAfterClosing(AnnotationClosePrompt::Reason reason);
    void stayOpen(AnnotationClosePrompt::Reason reason);
    void present(AnnotationEditorSessionPtr session);

    ModelFactory makeModel_;
    std::unique_ptr<AnnotationEditorModel> model_;
    // A model that ended inside one of its own callbacks lives until the next
    // change, so the callback never returns into a destroyed object.
    std::unique_ptr<AnnotationEditorModel> retired_;
    std::deque<AnnotationEditorSessionPtr> queued_;
    AnnotationEditorSessionPtr arriving_;  // waiting for the prompt's answer
    std::optional<AnnotationClosePrompt> prompt_;
    std::function<void(bool)> quitDecided_;
    bool quitting_ = false;
};

}  // namespace tessarin
