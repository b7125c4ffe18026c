#pragma once
// Substitutes for what the capture flow reaches: each records what it was
// asked and, where the real one waits for a person (the overlay, the window
// picker, the countdown, a scrolling session), keeps the completion until
// the test answers it.

#include <chrono>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "core/flow/CaptureFlowPorts.h"
#include "core/flow/InteractiveCapturePresentationRestorer.h"

namespace tessarin::testing {

// A completion the test answers later; answering one that is not waiting
// is a test mistake and fails loudly.
template <class T>
struct Pending {
    std::optional<Completion<T>> done;
    void answer(T value) {
        if (!done) throw std::logic_error("nothing is waiting for an answer");
        auto call = std::move(*done);
        done.reset();
        call(std::move(value));
    }
};

struct FakeAlerts final : FlowAlerts {
    std::vector<std::pair<std::string, std::string>> shown;
    void showWarning(const std::string& title, const std::string& message) override { shown.emplace_back(title, message); }
};

struct FakeSelectionPresenter final : CaptureSelectionPresenter {
    struct Request {
        std::string captureID;
        CaptureSelectionRequest request;
        std::shared_ptr<const FrozenScreens> freezing;
    };
    std::vector<Request> requests;
    Pending<std::optional<AreaSelectionResult>> pending;
    void selectArea(const std::string& captureID, const CaptureSelectionRequest& request,
                    std::shared_ptr<const FrozenScreens> freezing,
                    Completion<std::optional<AreaSelectionResult>> done) override {
        requests.push_back({captureID, request, std::move(freezing)});
        pending.done.emplace(std::move(done));
    }
};

struct FakeWindowPicker final : WindowPicker {
    Pending<PickedImage> pending;
    void pick(const std::string&, Completion<PickedImage> done) override {
        pending.done.emplace(std::move(done));
    }
};

struct FakeSelfTimer final : SelfTimerHUD {
    std::vector<std::pair<int, CaptureSelection>> runs;
    Pending<bool> pending;
    void run(int seconds, const CaptureSelection& selection, Completion<bool> done) override {
        runs.emplace_back(seconds, selection);
        pending.done.emplace(std::move(done));
    }
};

struct FakeScrolling final : ScrollingCaptureHandOff {
    std::vector<ScrollingCaptureRequest> requests;
    Pending<PickedImage> pending;
    void run(ScrollingCaptureRequest request, Completion<PickedImage> done) override {
        requests.push_back(std::move(request));
        pending.done.emplace(std::move(done));
    }
};

struct FakeModeSwitch final : ModeSwitchHandOff {
    std::vector<AllInOneModeSwitch> switches;
    std::function<void(const AllInOneModeSwitch&)> then;  // what the application would start
    void switchMode(const AllInOneModeSwitch& modeSwitch) override {
        switches.push_back(modeSwitch);
        if (then) then(modeSwitch);
    }
};

struct FakeQuickAccess final : QuickAccessPresenter {
    struct Shown {
        SharedImage image;
        std::shared_ptr<CapturePersistenceTicket> ticket;
        ImageFormat format;
    };
    std::vector<Shown> shown;
    void present(SharedImage image, std::shared_ptr<CapturePersistenceTicket> ticket, ImageFormat format,
                 const CaptureSessionInfo&) override {
        shown.push_back({std::move(image), std::move(ticket), format});
    }
};

struct FakePins final : PinPresenter {
    std::vector<std::pair<SharedImage, std::shared_ptr<CapturePersistenceTicket>>> pinned;
    void pin(SharedImage image, std::shared_ptr<CapturePersistenceTicket> ticket) override {
        pinned.emplace_back(std::move(image), std::move(ticket));
    }
};

struct FakeEditor final : AnnotationEditorOpener {
    struct Opened {
        SharedImage image;
        Finished finished;
    };
    std::vector<Opened> opened;
    void open(SharedImage image, const CaptureSessionInfo&, Finished finished) override {
        opened.push_back({std::move(image), std::move(finished)});
    }
};

struct FakeSound final : CaptureSoundPlayer {
    bool plays = true;
    int played = 0;
    bool play() override {
        ++played;
        return plays;
    }
};

struct FakeClipboard final : ClipboardWriter {
    std::vector<SharedImage> copied;
    void copy(SharedImage image, Completion<bool> done) override {
        copied.push_back(std::move(image));
        done(true);
    }
};

struct FakeSaver final : ImageSaver {
    std::vector<std::pair<SharedImage, ImageFormat>> saved;
    std::optional<ExportError> failure;
    void save(SharedImage image, ImageFormat format, Completion<PathResult> done) override {
        saved.emplace_back(std::move(image), format);
        if (failure) return done(unexpected(*failure));
        done(std::filesystem::path("/tmp/Screenshot.png"));
    }
};

struct FakeTextExtraction final : TextExtraction {
    std::vector<std::pair<SharedImage, bool>> extracted;
    void extract(SharedImage image, bool joinLines) override { extracted.emplace_back(std::move(image), joinLines); }
};

// A window that becomes active after a set number of activations (never
// when that number is 0).
struct FakeWindowActivation final : WindowActivation {
    int activeAfterActivations = 1;
    std::vector<WindowHandle> activated;
    void activate(WindowHandle window) override { activated.push_back(window); }
    bool isActive(WindowHandle) override {
        return activeAfterActivations > 0 && int(activated.size()) >= activeAfterActivations;
    }
};

// A clock that moves on by `step` at every reading, so each measured
// duration is a known number of steps.
struct SteppingClock {
    std::chrono::steady_clock::time_point now{};
    std::chrono::milliseconds step{0};
    FlowClock function() {
        return [this] {
            const auto reading = now;
            now += step;
            return reading;
        };
    }
};

}  // namespace tessarin::testing
