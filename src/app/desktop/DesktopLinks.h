#pragma once
// tessarin:// links in the running application: the link executor's
// operations over the capture flow, the history, the presenters and Qt's
// dialogs, behind the queue that asks the user first when the preference
// says so. The question is a dialog of our own whose default and Escape
// answer is "Cancel"; a capture it allows runs only once the dialog is off
// the screen.

#include <functional>
#include <memory>
#include <string>

namespace tessarin {

class AlertPresenter;
class CaptureFlowController;
class CaptureHistoryAdmission;
class Executor;
class OwnWindowHider;
class PinPresenter;
class QuickAccessPresenter;
class ScreenBackend;
class TessarinApp;
class TextExtraction;
class URLLinkHandler;

class DesktopLinks {
public:
    struct Targets {
        TessarinApp& app;
        CaptureFlowController& flow;
        CaptureHistoryAdmission& admission;
        QuickAccessPresenter& quickAccess;
        PinPresenter& pins;
        TextExtraction& text;
        ScreenBackend& backend;
        OwnWindowHider& hider;
        Executor& main;
        Executor& background;
        AlertPresenter& alerts;
        // Runs a capture entry point from the event loop, once our own
        // windows are off the screen.
        std::function<void(std::function<void()>)> startCapture;
        // Opens the annotation editor on an image from a file or the clipboard.
        std::function<void(std::shared_ptr<const class Image>)> openEditor;
    };

    explicit DesktopLinks(Targets targets);
    ~DesktopLinks();
    DesktopLinks(const DesktopLinks&) = delete;
    DesktopLinks& operator=(const DesktopLinks&) = delete;

    void handle(const std::string& link);

private:
    std::unique_ptr<URLLinkHandler> handler_;
};

}  // namespace tessarin
