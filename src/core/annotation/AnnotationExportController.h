#pragma once
// Runs one export at a time (Done, Save As, Copy): render, then deliver.
//
// An export is bound to the session it started for, so the image never
// reaches a session that became current meanwhile; requests made while one
// runs are ignored (a quick double Done completes once); and it reports
// exactly one outcome. A failure is reported, never passed off as success.

#include "core/annotation/AnnotationEditorSession.h"

namespace tessarin {

enum class AnnotationExportAction { done, saveAs, copy };

struct AnnotationExportOutcome {
    AnnotationExportAction action = AnnotationExportAction::done;
    AnnotationDeliveryResult result;
    AnnotationID sessionID;
};

class AnnotationExportController {
public:
    static constexpr std::string_view kRenderFailedMessage = "The annotated image could not be rendered.";

    AnnotationExportController(AnnotationExportRenderer& renderer, AnnotationExportDelivery* delivery)
        : renderer_(renderer), delivery_(delivery) {}

    // False, doing nothing, while another export runs.
    bool start(AnnotationExportAction action, AnnotationEditorSessionPtr session, AnnotationCompositeInputs inputs,
               std::function<void(AnnotationExportOutcome)> finished);
    bool isExporting() const { return isExporting_; }

private:
    void deliver(AnnotationExportAction action, const AnnotationEditorSessionPtr& session,
                 std::shared_ptr<const Image> image, AnnotationDeliveryCallback finished);

    AnnotationExportRenderer& renderer_;
    AnnotationExportDelivery* delivery_;
    bool isExporting_ = false;
    // Guards callbacks that outlive this controller.
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace tessarin
