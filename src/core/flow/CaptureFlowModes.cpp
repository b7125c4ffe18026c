// The mode bodies of the capture flow: each ends by calling `done` once,
// with nothing (the capture completed or was cancelled), a mode to switch
// to, or the error to show.

#include <algorithm>

#include "core/capture/PreviousCaptureReplay.h"
#include "core/capture/ScreenLocator.h"
#include "core/common/Localization.h"
#include "core/flow/CaptureCompletionDiagnostics.h"
#include "core/flow/CaptureFlowController.h"

namespace tessarin {

namespace {

// The overlay's whole toolbar for All-in-One; a plain area capture offers
// only the capture button (Escape cancels).

std::optional<CaptureOutputAction> outputActionOf(CaptureSelectionAction action) {
    switch (action) {
        case CaptureSelectionAction::copy: return CaptureOutputAction{CaptureOutputAction::Kind::copy};
        case CaptureSelectionAction::annotate: return CaptureOutputAction{CaptureOutputAction::Kind::annotate};
        case CaptureSelectionAction::ocr: return CaptureOutputAction{CaptureOutputAction::Kind::ocr};
        default: return std::nullopt;
    }
}

std::optional<AllInOneModeSwitch::Kind> modeSwitchOf(CaptureSelectionAction action) {
    switch (action) {
        case CaptureSelectionAction::fullScreen: return AllInOneModeSwitch::Kind::fullScreen;
        case CaptureSelectionAction::window: return AllInOneModeSwitch::Kind::window;
        case CaptureSelectionAction::record: return AllInOneModeSwitch::Kind::record;
        default: return std::nullopt;
    }
}

bool hasDisplay(const std::vector<DisplayDescription>& displays, uint32_t id) {
    return std::any_of(displays.begin(), displays.end(), [id](const auto& d) { return d.displayID == id; });
}

}  // namespace

void CaptureFlowController::captureArea(const CaptureSession& session, Done done) {
    selectThenAct(session,
                  CaptureSelectionRequest::areaCapture(CaptureSelectionActionStyle::button(title(CaptureSelectionAction::capture),
                                                                                                   std::string(iconName(CaptureSelectionAction::capture)),
                                                                                                   CaptureSelectionAction::capture),
                                                       d_.preferences.capturePresetsEnabled(),
                                                       d_.preferences.capturePreset()),
                  std::move(done));
}

void CaptureFlowController::runAllInOne(const CaptureSession& session, Done done) {
    selectThenAct(session,
                  CaptureSelectionRequest::areaCapture(CaptureSelectionActionStyle::allInOne(d_.unavailableAllInOneActions),
                                                       d_.preferences.capturePresetsEnabled(),
                                                       d_.preferences.capturePreset()),
                  std::move(done));
}

void CaptureFlowController::selectThenAct(const CaptureSession& session, CaptureSelectionRequest request, Done done) {
    auto present = [this, session, request](std::shared_ptr<const FrozenScreens> frozen, Done finished) mutable {
        d_.selectionPresenter.selectArea(
            session.id, request, frozen,
            lifetime_.guard([this, session, frozen, done = std::move(finished)](
                                std::optional<AreaSelectionResult> result) mutable {
                if (!result || result->action == CaptureSelectionAction::cancel) return done(FlowEnd{});
                actOnSelection(session, *result, std::move(frozen), std::move(done));
            }));
    };
    if (!d_.preferences.freezeScreenDuringCapture()) return present(nullptr, std::move(done));
    d_.screen.freezeScreens(lifetime_.guard([present = std::move(present), done = std::move(done)](
                                                Expected<FrozenScreens, CaptureError> frozen) mutable {
        if (!frozen) return done(unexpected(frozen.error()));
        present(std::make_shared<const FrozenScreens>(std::move(*frozen)), std::move(done));
    }));
}

void CaptureFlowController::actOnSelection(const CaptureSession& session, const AreaSelectionResult& result,
                                           std::shared_ptr<const FrozenScreens> frozen, Done done) {
    const CaptureSelection& selection = result.selection;
    if (auto kind = modeSwitchOf(result.action)) return done(FlowEnd{AllInOneModeSwitch{*kind, selection}});
    switch (result.action) {
        case CaptureSelectionAction::scrolling:
            return runScrolling(session, selection, d_.preferences.autoScrollDuringScrollingCapture(), std::move(done));
        case CaptureSelectionAction::timer:
            return runSelfTimer(session, selection, d_.preferences.selfTimerDurationSeconds(), std::nullopt,
                                std::move(done));
        default:
            return captureSelectedRegion(session, selection, std::move(frozen), outputActionOf(result.action),
                                         std::move(done));
    }
}

void CaptureFlowController::captureSelectedRegion(const CaptureSession& session, const CaptureSelection& selection,
                                                  std::shared_ptr<const FrozenScreens> frozen, Action action,
                                                  Done done) {
    if (!frozen) return captureKnownSelection(session, selection, std::move(action), std::move(done));
    auto image = frozen->crop(selection);
    if (!image) return done(unexpected(image.error()));
    logCaptureLine(session.id, "capture.frozen_region",
                   "image=" + std::to_string(image->width()) + "x" + std::to_string(image->height()));
    remember(rememberedArea(selection.rect, selection.screen));
    deliver(std::move(*image), session, action);
    done(FlowEnd{});
}

void CaptureFlowController::captureKnownSelection(const CaptureSession& session, const CaptureSelection& selection,
                                                  Action action, Done done) {
    d_.screen.prepareRegionCapture(
        selection.screen,
        lifetime_.guard([this, session, selection, action, done = std::move(done)](
                            Expected<ScreenCaptureRegionContext, CaptureError> context) mutable {
            if (!context) return done(unexpected(context.error()));
            d_.screen.captureRegion(
                selection.rect, *context,
                lifetime_.guard([this, session, selection, action, done = std::move(done)](ImageResult image) mutable {
                    if (!image) return done(unexpected(image.error()));
                    remember(rememberedArea(selection.rect, selection.screen));
                    deliver(std::move(*image), session, action);
                    done(FlowEnd{});
                }));
        }));
}

void CaptureFlowController::captureFullScreen(const CaptureSession& session, std::optional<uint32_t> displayID,
                                              Action action, Done done) {
    if (!displayID) {
        // The display under the pointer, chosen once: the one captured is
        // the one remembered, even if the pointer moves meanwhile.
        auto displays = d_.screen.displays();
        if (!displays) return done(unexpected(displays.error()));
        const auto pointer = d_.screen.pointerLocation();
        auto display = pointer ? ScreenLocator::screen(*pointer, *displays) : std::nullopt;
        if (!display) {
            const auto primary = std::find_if(displays->begin(), displays->end(), [](const auto& d) { return d.primary; });
            if (primary != displays->end()) display = *primary;
            else if (!displays->empty()) display = displays->front();
        }
        if (!display || !display->displayID) return done(unexpected(CaptureError::noDisplay()));
        displayID = display->displayID;
    }
    const uint32_t id = *displayID;
    d_.screen.captureDisplay(id, lifetime_.guard([this, session, id, action, done = std::move(done)](ImageResult image) mutable {
        if (!image) return done(unexpected(image.error()));
        remember(StoredCaptureSelection::fullscreen(id));
        deliver(std::move(*image), session, action);
        done(FlowEnd{});
    }));
}

void CaptureFlowController::captureWindow(const CaptureSession& session, Action action, Done done) {
    d_.windowPicker.pick(session.id, lifetime_.guard([this, session, action, done = std::move(done)](PickedImage picked) mutable {
        if (!picked) return done(unexpected(picked.error()));
        if (!*picked) {
            logCaptureLine(session.id, "window.pick", "result=cancelled");
            return done(FlowEnd{});
        }
        Image image = std::move(**picked);
        logCaptureLine(session.id, "window.pick",
                       "result=success image=" + std::to_string(image.width()) + "x" + std::to_string(image.height()));
        deliver(std::move(image), session, action);
        done(FlowEnd{});
    }));
}

void CaptureFlowController::runSelfTimer(const CaptureSession& session, const CaptureSelection& selection,
                                         int seconds, Action action, Done done) {
    const int clamped = AppPreferences::selfTimerBounds.clamp(seconds);
    d_.selfTimer.run(clamped, selection,
                     lifetime_.guard([this, session, selection, action, done = std::move(done)](bool completed) mutable {
                         if (!completed) {
                             logCaptureLine(session.id, "self_timer", "result=cancelled");
                             return done(FlowEnd{});
                         }
                         captureKnownSelection(session, selection, action, std::move(done));
                     }));
}

void CaptureFlowController::runScrolling(const CaptureSession& session, std::optional<CaptureSelection> selection,
                                         bool autoScroll, Done done) {
    d_.scrolling.run(ScrollingCaptureRequest{session, std::move(selection), autoScroll},
                     lifetime_.guard([this, session, done = std::move(done)](PickedImage stitched) mutable {
                         if (!stitched) return done(unexpected(stitched.error()));
                         if (*stitched) deliver(std::move(**stitched), session, std::nullopt);
                         done(FlowEnd{});
                     }));
}

void CaptureFlowController::replay(const CaptureSession& session, Action action, Done done) {
    auto displays = d_.screen.displays();
    if (!displays) return done(unexpected(displays.error()));
    const auto warn = [this](const char* title, const char* message) {
        d_.alerts.showWarning(localized(title), localized(message));
    };
    const auto outcome = PreviousCaptureReplay::outcome(d_.preferences.lastCaptureSelection(), *displays);
    if (std::holds_alternative<PreviousCaptureReplay::NoPreviousCapture>(outcome)) {
        warn(FlowTexts::noPreviousTitle, FlowTexts::noPreviousMessage);
        return done(FlowEnd{});
    }
    if (const auto* full = std::get_if<PreviousCaptureReplay::FullScreen>(&outcome)) {
        if (hasDisplay(*displays, full->displayID)) {
            return captureFullScreen(session, full->displayID, std::move(action), std::move(done));
        }
    } else if (const auto* area = std::get_if<PreviousCaptureReplay::Area>(&outcome)) {
        return captureKnownSelection(session, area->selection, std::move(action), std::move(done));
    }
    warn(FlowTexts::displayNotFoundTitle, FlowTexts::displayNotFoundMessage);
    done(FlowEnd{});
}

}  // namespace tessarin
