#pragma once
// A whole capture flow over the scripted screen: the real capture service
// and preferences, substitutes for everything that needs a person or a
// window, one manual executor for main and background work, and the
// Capture log kept for reading.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/common/Log.h"
#include "core/flow/CaptureFlowController.h"
#include "core/preferences/KeyValueStore.h"
#include "support/FakeCaptureFlowPorts.h"
#include "support/FakeScreenBackend.h"
#include "support/ManualExecutor.h"

namespace tessarin::testing {

struct CaptureLog final : LogSink {
    std::vector<std::string> lines;
    void write(LogLevel, std::string_view category, std::string_view message) override {
        if (category == LogCategory::capture) lines.emplace_back(message);
    }
    // The completion lines of one capture, without the id.
    std::vector<std::string> of(const std::string& captureID) const {
        std::vector<std::string> found;
        const std::string head = "[" + captureID + "] ";
        for (const auto& line : lines) {
            if (line.rfind(head + "complete.", 0) == 0) found.push_back(line.substr(head.size()));
        }
        return found;
    }
    bool contains(const std::string& text) const {
        for (const auto& line : lines) {
            if (line.find(text) != std::string::npos) return true;
        }
        return false;
    }
    ScopedLogSink installed{*this};
};

class FlowHarness {
public:
    FlowHarness() {
        // Display 7 is the main one; display 11 stands to its right.
        backend.displayList = {makeDisplay(7, {0, 0, 1440, 900}, 1, true), makeDisplay(11, {1440, 0, 1920, 1080})};
        backend.pointer = Point{100, 100};
        clock.step = std::chrono::milliseconds(3);
    }

    // Runs everything posted so far, and what that posts.
    void settle() { main.runAll(); }

    CaptureLog log;
    FakeScreenBackend backend;
    ManualExecutor main;
    ScreenCaptureService screen{backend, main, main};
    InMemoryKeyValueStore store;
    AppPreferences preferences{store};

    FakeAlerts alerts;
    FakeSelectionPresenter overlay;
    FakeWindowPicker windowPicker;
    FakeSelfTimer selfTimer;
    FakeScrolling scrolling;
    FakeModeSwitch modeSwitch;
    FakeQuickAccess quickAccess;
    FakePins pins;
    FakeEditor editor;
    FakeSound sound;
    FakeClipboard clipboard;
    FakeSaver saver;
    FakeTextExtraction text;
    FakeWindowActivation windows;
    SteppingClock clock;

    bool externallyBusy = false;
    bool permissionGranted = true;
    int permissionQuestions = 0;
    std::vector<bool> stateChanges;
    std::vector<std::string> errors;
    // What persisting hands back; by default a ticket with no item.
    std::function<std::shared_ptr<CapturePersistenceTicket>()> ticketFactory = [this] {
        return CapturePersistenceTicket::resolved(main, std::nullopt);
    };
    std::vector<CaptureSessionInfo> stored;
    std::vector<std::pair<std::shared_ptr<CapturePersistenceTicket>, SharedImage>> editedStored;

    InteractiveCapturePresentationRestorer restorer{
        windows, [this](std::chrono::milliseconds, Task task) { main.post(std::move(task)); }};

    CaptureCompletionRouter router{CaptureCompletionRouter::Dependencies{
        .main = main,
        .snapshot = [this] { return preferences.snapshot(); },
        .onCaptureStored =
            [this](SharedImage, const CaptureSession& session) {
                stored.push_back(session.info());
                return ticketFactory();
            },
        .onEditedStored = [this](const std::shared_ptr<CapturePersistenceTicket>& ticket,
                                 SharedImage edited) { editedStored.emplace_back(ticket, std::move(edited)); },
        .restoreFocus = [this](const CaptureSession& session,
                               Completion<bool> done) { restorer.restoreAppFocus(session, std::move(done)); },
        .ports = {quickAccess, pins, editor, sound, clipboard, saver, text},
        .presentError = [this](const std::string& message) { errors.push_back(message); },
        .clock = clock.function(),
    }};

    // The ports the flow needs, without any of its optional hooks.
    CaptureFlowDependencies bareDependencies() {
        return {.main = main, .screen = screen, .preferences = preferences, .selectionPresenter = overlay,
                .windowPicker = windowPicker, .selfTimer = selfTimer, .scrolling = scrolling, .modeSwitch = modeSwitch,
                .alerts = alerts, .completion = router, .screenRecordingPermission = {}, .isExternallyBusy = {},
                .onCaptureStateChanged = {}, .presentError = {}, .frontmostWindow = {}};
    }

    CaptureFlowController flow{[this] {
        CaptureFlowDependencies hooked = bareDependencies();
        hooked.screenRecordingPermission = [this](Completion<bool> done) {
            ++permissionQuestions;
            done(permissionGranted);
        };
        hooked.isExternallyBusy = [this] { return externallyBusy; };
        hooked.onCaptureStateChanged = [this](bool capturing) { stateChanges.push_back(capturing); };
        hooked.presentError = [this](const std::string& message) { errors.push_back(message); };
        hooked.frontmostWindow = [] { return std::optional<WindowHandle>(0x2a00007); };
        return hooked;
    }()};
};

inline CaptureSelection selectionOn(const DisplayDescription& display, Rect rect) { return {display, rect}; }

}  // namespace tessarin::testing
