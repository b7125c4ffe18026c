#pragma once
// The annotation editor in the desktop application: one editor window over
// AnnotationEditorHost, the export renderer and the Qt delivery. Captures
// open it through AnnotationEditorOpener (their edit goes back through the
// capture's route); images from a file or the clipboard open with a route
// of their own that records the result and shows its thumbnail.

#include <QString>
#include <functional>
#include <memory>

#include "core/annotation/AnnotationEditorHost.h"
#include "core/flow/CaptureFlowPorts.h"

namespace tessarin {

class AnnotationEditorRenderer;
class AppPreferences;
class EditorWindow;

class DesktopAnnotationEditor final : public AnnotationEditorOpener {
public:
    struct Dependencies {
        AppPreferences& preferences;
        // Where Save As writes; empty asks with the file dialog.
        std::function<QString(const QString& suggestedName)> chooseFile;
        // Reads the lines of text of an image (normalised boxes), for the
        // highlighter to snap to; empty: it never snaps.
        std::function<void(const std::shared_ptr<const Image>&, std::function<void(std::vector<Rect>)>)> findTextLines = {};
        // The renderer; empty loads the annotation module when the first
        // editor opens (tests give one of their own).
        std::function<AnnotationEditorRenderer*()> renderer = {};
    };
    // Where an image opened from a file or the clipboard goes when done.
    using StandaloneRoute = std::function<void(SharedImage edited)>;

    explicit DesktopAnnotationEditor(Dependencies dependencies);
    ~DesktopAnnotationEditor() override;

    void open(SharedImage image, const CaptureSessionInfo& session, Finished finished) override;
    void openStandalone(SharedImage image);
    void setStandaloneRoute(StandaloneRoute route) { standaloneRoute_ = std::move(route); }

    // Quitting: unsaved edits are asked about first.
    void requestQuit(std::function<void(bool mayQuit)> decided);
    EditorWindow* window() const { return window_.get(); }

private:
    void present(SharedImage image, AnnotationEditorSession::Completion completion);

    struct Parts;
    std::unique_ptr<Parts> parts_;
    std::unique_ptr<EditorWindow> window_;
    StandaloneRoute standaloneRoute_;
};

}  // namespace tessarin
