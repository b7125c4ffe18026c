#pragma once
// Runs a synchronous ScreenBackend behind the completion-based interface:
// each blocking call runs on the background executor and its result comes
// back on the main executor. The back end must outlive the background
// executor (the background half holds it, never the adapter).

#include <utility>

#include "core/common/Executor.h"
#include "core/common/Lifetime.h"
#include "platform/AsyncScreenBackend.h"

namespace tessarin {

class ScreenBackendAdapter final : public AsyncScreenBackend {
public:
    ScreenBackendAdapter(ScreenBackend& backend, Executor& main, Executor& background)
        : backend_(backend), main_(main), background_(background) {}
    ~ScreenBackendAdapter() override { shutdown(); }

    ScreenBackendAdapter(const ScreenBackendAdapter&) = delete;
    ScreenBackendAdapter& operator=(const ScreenBackendAdapter&) = delete;

    ScreenCapabilities capabilities() override {
        // A synchronous back end cannot wait for a person to pick an area.
        return backend_.capabilities().without(ScreenCapability::interactiveAreaPick);
    }

    void displays(Completion<DisplaysResult> done) override {
        inBackground<DisplaysResult>([&backend = backend_] { return backend.displays(); }, std::move(done));
    }
    void captureDisplayArea(uint32_t displayID, PixelRect area, Completion<ImageResult> done) override {
        inBackground<ImageResult>(
            [&backend = backend_, displayID, area] { return backend.captureDisplayArea(displayID, area); },
            std::move(done));
    }
    void captureDisplayAreas(std::vector<DisplayArea> areas, Completion<ImagesResult> done) override {
        inBackground<ImagesResult>(
            [&backend = backend_, areas = std::move(areas)] { return backend.captureDisplayAreas(areas); },
            std::move(done));
    }
    void captureDisplayForFile(uint32_t displayID, PixelRect area, Completion<FileCaptureResult> done) override {
        inBackground<FileCaptureResult>(
            [&backend = backend_, displayID, area] { return backend.captureDisplayForFile(displayID, area); },
            std::move(done));
    }
    void windows(Completion<WindowsResult> done) override {
        inBackground<WindowsResult>([&backend = backend_] { return backend.windows(); }, std::move(done));
    }
    void captureWindow(uint32_t windowID, Completion<ImageResult> done) override {
        inBackground<ImageResult>([&backend = backend_, windowID] { return backend.captureWindow(windowID); },
                                  std::move(done));
    }
    void pointerLocation(Completion<std::optional<Point>> done) override {
        inBackground<std::optional<Point>>([&backend = backend_] { return backend.pointerLocation(); },
                                           std::move(done));
    }
    void pickArea(Completion<ImageResult> done) override {
        completeLater<ImageResult>(
            unexpected(CaptureError::captureFailed("this screen back end cannot let you pick an area")),
            std::move(done));
    }

    void shutdown() override { lifetime_.invalidate(); }

private:
    template <class T, class Work>
    void inBackground(Work work, Completion<T> done) {
        if (!lifetime_.alive()) return completeLater<T>(interruptedResult<T>(kCancelled), std::move(done));
        runInBackground<T>(background_, main_, std::move(work), lifetime_.guard(std::move(done)));
    }
    // Never inside the call: callers may hold state they change afterwards.
    template <class T>
    void completeLater(T result, Completion<T> done) {
        main_.post([result = std::move(result), done = std::move(done)]() mutable { done(std::move(result)); });
    }

    ScreenBackend& backend_;
    Executor& main_;
    Executor& background_;
    LifetimeToken lifetime_;
};

}  // namespace tessarin
