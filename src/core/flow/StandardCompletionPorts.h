#pragma once
// The completion's ports built from what the capture output already has:
// the clipboard through the background encoder, saving to the Desktop
// through the background writer, recognising text through the
// text-extraction flow, and the history through its admission. The desktop
// module adds only what needs a toolkit (the pasteboard itself, windows,
// the cue).

#include <functional>

#include "core/capture/BackgroundImageEncoder.h"
#include "core/capture/BackgroundImageWriter.h"
#include "core/capture/CaptureHistoryAdmission.h"
#include "core/flow/CaptureCompletionRouter.h"
#include "core/recording/ScreenTextExtraction.h"

namespace tessarin {

class PasteboardClipboardWriter final : public ClipboardWriter {
public:
    PasteboardClipboardWriter(Pasteboard& pasteboard, BackgroundImageEncoder& encoder)
        : pasteboard_(pasteboard), encoder_(encoder) {}
    void copy(SharedImage image, Completion<bool> done) override {
        ExportManager::copyToClipboard(std::move(image), pasteboard_, encoder_, std::move(done));
    }

private:
    Pasteboard& pasteboard_;
    BackgroundImageEncoder& encoder_;
};

class DesktopImageSaver final : public ImageSaver {
public:
    explicit DesktopImageSaver(BackgroundImageWriter& writer,
                               ExportManager::EnvironmentLookup environment = ExportManager::processEnvironment())
        : writer_(writer), environment_(std::move(environment)) {}
    void save(SharedImage image, ImageFormat format, Completion<PathResult> done) override {
        writer_.saveToDefaultLocation(std::move(image), format, std::move(done), environment_);
    }

private:
    BackgroundImageWriter& writer_;
    ExportManager::EnvironmentLookup environment_;
};

// Recognises with `recognize` (the engine), then shows the text with
// `present` or the failure with `failure`.
class ScreenTextExtractionPort final : public TextExtraction {
public:
    using Recognize = std::function<void(Image, Completion<RecognizedText>)>;
    ScreenTextExtractionPort(Recognize recognize, ScreenTextExtraction::Present present,
                             ScreenTextExtraction::Failure failure)
        : recognize_(std::move(recognize)), present_(std::move(present)), failure_(std::move(failure)) {}
    void extract(SharedImage image, bool joinLines) override;

private:
    Recognize recognize_;
    ScreenTextExtraction::Present present_;
    ScreenTextExtraction::Failure failure_;
};

// The history's side of a completion: a capture enters through the
// admission (a ticket with no item when history is off or paused), and an
// edited image replaces the item its ticket resolves to.
CaptureCompletionRouter::StoreCapture storingIn(CaptureHistoryAdmission& admission);
CaptureCompletionRouter::StoreEdited mergingEditsInto(CaptureHistoryAdmission& admission);

}  // namespace tessarin
