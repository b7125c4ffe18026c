#pragma once
// The single place where pixels are taken from the screen. It asks the
// platform back end for displays, windows and pixels on the background
// executor and completes every operation on the main executor.

#include "core/capture/FrozenScreens.h"
#include "core/capture/HeadlessCaptureProvider.h"
#include "core/common/Lifetime.h"

namespace tessarin {

class ScreenCaptureService final : public HeadlessCaptureProvider {
public:
    // The back end must be safe to call from the background executor while
    // the main thread waits.
    ScreenCaptureService(ScreenBackend& backend, Executor& main, Executor& background)
        : backend_(backend), main_(main), background_(background) {}

    Expected<std::vector<DisplayDescription>, CaptureError> displays() override { return backend_.displays(); }
    std::optional<Point> pointerLocation() override { return backend_.pointerLocation(); }
    AccessStatus screenCaptureAccess() override { return backend_.screenCaptureAccess(); }
    AccessStatus syntheticInputAccess() override { return backend_.syntheticInputAccess(); }

    void captureDisplay(uint32_t displayID, Completion<ImageResult> done) override;
    void captureDisplayUnderCursor(Completion<ImageResult> done) override;
    void prepareRegionCapture(const DisplayDescription& display,
                              Completion<Expected<ScreenCaptureRegionContext, CaptureError>> done) override;
    void captureRegion(const Rect& rect, const ScreenCaptureRegionContext& context,
                       Completion<ImageResult> done) override;
    void captureWindow(const std::string& ownerName, const std::string& title, Completion<ImageResult> done) override;
    void agentTargets(Completion<Expected<AgentTargetList, CaptureError>> done) override;
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
    void shutdown() { lifetime_.invalidate(); }
    ~ScreenCaptureService() override { shutdown(); }

private:
    static ImageResult captureDisplayWith(ScreenBackend& backend, uint32_t displayID);
    static ImageResult captureRegionWith(ScreenBackend& backend, const Rect& rect,
                                         const ScreenCaptureRegionContext& context);

    // `work` runs in the background with the back end (which outlives the
    // background executor) and values only, never `this`.
    template <class T, class Work>
    void inBackground(Work work, Completion<T> done) {
        if (!lifetime_.alive()) {
            main_.post([done = std::move(done)] { done(interruptedResult<T>(kCancelled)); });
            return;
        }
        runInBackground<T>(background_, main_, std::move(work), lifetime_.guard(std::move(done)));
    }

    ScreenBackend& backend_;
    Executor& main_;
    Executor& background_;
    LifetimeToken lifetime_;
};

// The stream configuration size of one display: its frame in device pixels.
PixelSize displayPixelSize(const DisplayDescription& display);

// Case-insensitive substring test used to match application names and titles.
bool containsIgnoringCase(const std::string& haystack, const std::string& needle);

}  // namespace tessarin
