#pragma once
// The single place where pixels are taken from the screen. Its operations
// ask the completion-based back end (AsyncScreenBackend) for displays,
// windows and pixels, one step after another on the main executor, and
// complete there. A synchronous back end runs behind ScreenBackendAdapter;
// the quick queries (displays(), the pointer, access, input) and the cores
// used from background threads still call it directly.

#include <memory>

#include "core/capture/FrozenScreens.h"
#include "core/capture/HeadlessCaptureProvider.h"
#include "core/common/Lifetime.h"
#include "platform/ScreenBackendAdapter.h"

namespace tessarin {

class ScreenCaptureService final : public HeadlessCaptureProvider {
public:
    // The back end must be safe to call from the background executor while
    // the main thread waits.
    ScreenCaptureService(ScreenBackend& backend, Executor& main, Executor& background)
        : backend_(backend), main_(main), screen_(std::make_unique<ScreenBackendAdapter>(backend, main, background)) {}

    ScreenCapabilities capabilities() { return screen_->capabilities(); }

    Expected<std::vector<DisplayDescription>, CaptureError> displays() override { return backend_.displays(); }
    std::optional<Point> pointerLocation() override { return backend_.pointerLocation(); }
    AccessStatus screenCaptureAccess() override { return backend_.screenCaptureAccess(); }
    AccessStatus syntheticInputAccess() override { return backend_.syntheticInputAccess(); }

    void captureDisplay(uint32_t displayID, Completion<ImageResult> done) override;
    void captureDisplayUnderCursor(Completion<ImageResult> done) override;
    void captureDisplayForFile(std::optional<uint32_t> displayID, Completion<FileCaptureResult> done) override;
    void prepareRegionCapture(const DisplayDescription& display,
                              Completion<Expected<ScreenCaptureRegionContext, CaptureError>> done) override;
    void captureRegion(const Rect& rect, const ScreenCaptureRegionContext& context,
                       Completion<ImageResult> done) override;
    void captureWindow(const std::string& ownerName, const std::string& title, Completion<ImageResult> done) override;
    void agentTargets(Completion<Expected<AgentTargetList, CaptureError>> done) override;
    std::optional<std::string> noWindowListReason() override { return backend_.noWindowListReason(); }
    void freezeScreens(Completion<Expected<FrozenScreens, CaptureError>> done);
    Expected<std::unique_ptr<RegionFrameStream>, CaptureError> openRegionStream(const Rect& rect,
                                                                                const DisplayDescription& display,
                                                                                double framesPerSecond) override;
    std::optional<CaptureError> movePointer(Point global) override { return backend_.movePointer(global); }
    std::optional<CaptureError> postScroll(int32_t lines) override { return backend_.postScroll(lines); }

    // The synchronous cores of the operations above, for callers already on a
    // background thread (the scrolling region stream).
    ImageResult captureDisplayNow(uint32_t displayID) { return captureDisplayWith(backend_, displayID); }
    ImageResult captureRegionNow(const Rect& rect, const ScreenCaptureRegionContext& context) {
        return captureRegionWith(backend_, rect, context);
    }

    // On the main executor, before the background executor shuts down: from
    // then on every operation, including those in flight, completes as
    // cancelled. The destructor does it too.
    void shutdown() {
        lifetime_.invalidate();
        screen_->shutdown();
    }
    ~ScreenCaptureService() override { shutdown(); }

private:
    static ImageResult captureDisplayWith(ScreenBackend& backend, uint32_t displayID);
    static ImageResult captureRegionWith(ScreenBackend& backend, const Rect& rect,
                                         const ScreenCaptureRegionContext& context);

    // The display with `displayID`, or the one under the pointer (the main
    // display without a pointer) when none. On the main executor.
    void resolveDisplay(std::optional<uint32_t> displayID,
                        Completion<Expected<DisplayDescription, CaptureError>> done);
    // The whole of that display, logged. On the main executor.
    void captureWholeDisplay(std::optional<uint32_t> displayID, Completion<ImageResult> done);

    // False, with `done` completed later as cancelled, once shut down.
    template <class T>
    bool running(Completion<T>& done) {
        if (lifetime_.alive()) return true;
        completeLater<T>(interruptedResult<T>(kCancelled), std::move(done));
        return false;
    }
    // Never inside the call that was given `done`.
    template <class T>
    void completeLater(T result, Completion<T> done) {
        main_.post([result = std::move(result), done = std::move(done)]() mutable { done(std::move(result)); });
    }

    ScreenBackend& backend_;
    Executor& main_;
    // Continuations touch `this`: each is guarded by the token, and the
    // adapter drops what is in flight when it shuts down.
    std::unique_ptr<AsyncScreenBackend> screen_;
    LifetimeToken lifetime_;
};

// The stream configuration size of one display: its frame in device pixels.
PixelSize displayPixelSize(const DisplayDescription& display);

// Case-insensitive substring test used to match application names and titles.
bool containsIgnoringCase(const std::string& haystack, const std::string& needle);

}  // namespace tessarin
