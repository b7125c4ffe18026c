#pragma once
// One image opened for annotation and whoever waits for the result.

#include <memory>
#include <string_view>

#include "core/annotation/AnnotationEditorPorts.h"

namespace tessarin {

class AnnotationEditorSession : public std::enable_shared_from_this<AnnotationEditorSession> {
public:
    // Takes the finished image and reports when it was delivered (a history
    // write may finish later).
    using Completion = std::function<void(std::shared_ptr<const Image>, AnnotationDeliveryCallback)>;
    static constexpr std::string_view kNoRouteMessage = "This image has nowhere to go back to: use Save As or Copy.";

    AnnotationEditorSession(std::shared_ptr<const Image> image, Completion completion);

    const AnnotationID& id() const { return id_; }
    const std::shared_ptr<const Image>& image() const { return image_; }
    bool isCompleted() const { return completed_; }

    // Hands the image over exactly once: a second call fails without
    // reaching the completion. A failed delivery may be retried. Without a
    // completion it fails: the edit is never reported delivered to nowhere.
    void complete(std::shared_ptr<const Image> image, AnnotationDeliveryCallback finished);

private:
    AnnotationID id_ = AnnotationID::random();
    std::shared_ptr<const Image> image_;
    Completion completion_;
    bool completed_ = false;
    bool delivering_ = false;
};

using AnnotationEditorSessionPtr = std::shared_ptr<AnnotationEditorSession>;

}  // namespace tessarin
