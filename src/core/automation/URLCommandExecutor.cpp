#include "core/automation/URLCommandExecutor.h"

#include <algorithm>
#include <cstdio>

#include "core/common/Localization.h"

namespace tessarin {
namespace {

using Kind = TessarinURLCommand::Kind;

std::string withAction(std::string_view phrase, const URLCommandExecutor::Action& action) {
    std::string text = localized(phrase);
    const size_t at = text.find("%@");
    if (at != std::string::npos) text.replace(at, 2, URLCommandExecutor::outputActionDescription(action));
    return text;
}

bool hasPath(const std::optional<std::string>& filepath) { return filepath.has_value(); }

}  // namespace

std::optional<std::string> linkPathProblem(const std::string& path) {
    if (path.find('\0') != std::string::npos) return localized("The link named a file path with a NUL character in it.");
    if (path.empty() || path.front() != '/') {
        return localized("The link named the file \"") + escapedForDisplay(path) +
               localized("\" by a relative path; only absolute paths are opened.");
    }
    return std::nullopt;
}

std::string escapedForDisplay(const std::string& text) {
    std::string result;
    result.reserve(text.size());
    for (const unsigned char c : text) {
        if (c == '\n') result += "\\n";
        else if (c == '\t') result += "\\t";
        else if (c < 0x20 || c == 0x7f) {
            char hex[5];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            result += hex;
        } else {
            result += static_cast<char>(c);
        }
    }
    return result;
}

std::optional<std::string> URLCommandExecutor::confirmableURLAction(const TessarinURLCommand& command) {
    switch (command.kind) {
        case Kind::captureArea: return withAction("capture a screen area and %@", command.action);
        case Kind::capturePreviousArea: return withAction("capture the previous area and %@", command.action);
        case Kind::captureFullscreen: return withAction("capture the full screen and %@", command.action);
        case Kind::captureWindow: return withAction("capture a window and %@", command.action);
        case Kind::selfTimer: return withAction("capture the screen after a countdown and %@", command.action);
        case Kind::scrollingCapture: return localized("start a scrolling capture");
        case Kind::pin:
            if (!hasPath(command.filepath)) return std::nullopt;
            return localized("open a local file and pin it to the screen");
        case Kind::captureText:
            return localized(hasPath(command.filepath) ? "read text from a local file" : "capture text from the screen");
        case Kind::openAnnotate:
            if (!hasPath(command.filepath)) return std::nullopt;
            return localized("open a local file for annotation");
        case Kind::desktopIcons: return localized("hide or show your desktop icons");
        case Kind::addQuickAccessOverlay:
            if (!hasPath(command.filepath)) return std::nullopt;
            return localized("open a local file in Quick Access");
        case Kind::allInOne: return localized("open the capture tools");
        case Kind::recordScreen: return localized("start recording your screen");
        case Kind::openSettings:
        case Kind::openFromClipboard:
        case Kind::restoreRecentlyClosed:
        case Kind::openHistory: return std::nullopt;
    }
    return std::nullopt;
}

std::string URLCommandExecutor::outputActionDescription(const Action& action) {
    if (!action) return localized("show the capture overlay");
    switch (action->kind) {
        case CaptureOutputAction::Kind::ocr: return localized("extract the text from it");
        case CaptureOutputAction::Kind::copy: return localized("copy it to the clipboard");
        case CaptureOutputAction::Kind::save: return localized("save it to a file");
        case CaptureOutputAction::Kind::annotate: return localized("open it for annotation");
        case CaptureOutputAction::Kind::pin: return localized("pin it to the screen");
    }
    return localized("show the capture overlay");
}

void URLCommandExecutor::warnDisplayNotFound() {
    ops_.warn(localized("Display not found"), localized("This link asked for a display that is not connected."));
}

URLCommandExecutor::RegionOutcome URLCommandExecutor::resolveRegion(const std::optional<TessarinURLRegion>& region) {
    if (!region) return Omitted{};
    const auto resolution =
        ops_.resolveSelection({region->x, region->y, region->width, region->height}, region->display);
    if (std::holds_alternative<CaptureTarget::DisplayNotFound>(resolution)) {
        warnDisplayNotFound();
        return Rejected{};
    }
    if (std::holds_alternative<CaptureTarget::EmptyRectangle>(resolution)) {
        ops_.warn(localized("Unsupported URL"), localized("This link asked for a region with no width or height."));
        return Rejected{};
    }
    return std::get<CaptureSelection>(resolution);
}

void URLCommandExecutor::withImageFrom(const std::optional<std::string>& filepath, const std::string& failureTitle,
                                       std::function<void(SharedImage)> use) {
    if (!filepath) {
        ops_.chooseImageFile(std::move(use));
        return;
    }
    if (const auto problem = linkPathProblem(*filepath)) {
        ops_.warn(failureTitle, *problem);
        return;
    }
    ops_.loadImage(*filepath, [warn = ops_.warn, failureTitle, use = std::move(use)](Expected<SharedImage, std::string> image) {
        if (!image) {
            warn(failureTitle, image.error());
            return;
        }
        use(std::move(*image));
    });
}

void URLCommandExecutor::captureText(const TessarinURLCommand& command) {
    const bool collapse = command.linebreaks.has_value() && !*command.linebreaks;
    if (command.filepath) {
        withImageFrom(command.filepath, localized("Could not open file"),
                      [extract = ops_.extractText, collapse](SharedImage image) { extract(std::move(image), collapse); });
        return;
    }
    const auto outcome = resolveRegion(command.region);
    if (std::holds_alternative<Omitted>(outcome)) {
        ops_.startAllInOneCapture();
    } else if (const auto* selection = std::get_if<CaptureSelection>(&outcome)) {
        ops_.captureSelection(*selection, CaptureOutputAction{CaptureOutputAction::Kind::ocr, collapse});
    }
}

void URLCommandExecutor::addQuickAccessOverlay(const std::optional<std::string>& filepath) {
    const std::string title = localized("Quick Access failed");
    if (!filepath || filepath->empty()) {
        ops_.warn(title, localized("A filepath is required to add a Quick Access overlay."));
        return;
    }
    withImageFrom(filepath, title, [ops = ops_, title](SharedImage image) {
        ops.addQuickAccessItem(image, [ops, title, image](std::optional<CaptureHistoryItem> item) {
            if (!item) {
                ops.warn(title, localized("Failed to save the image in capture history."));
                return;
            }
            ops.showQuickAccessOverlay(*item, image);
        });
    });
}

void URLCommandExecutor::execute(const TessarinURLCommand& command) {
    switch (command.kind) {
        case Kind::captureArea: {
            const auto outcome = resolveRegion(command.region);
            if (std::holds_alternative<Omitted>(outcome)) ops_.startCapture(CaptureMode::area, command.action);
            else if (const auto* selection = std::get_if<CaptureSelection>(&outcome)) {
                ops_.captureSelection(*selection, command.action);
            }
            return;
        }
        case Kind::capturePreviousArea: ops_.replayLastCapture(command.action); return;
        case Kind::captureFullscreen: {
            const auto display = ops_.resolveDisplayID(command.display);
            if (std::holds_alternative<DisplayNotConnected>(display)) warnDisplayNotFound();
            else if (const auto* id = std::get_if<uint32_t>(&display)) ops_.startFullScreenCapture(*id, command.action);
            else ops_.startFullScreenCapture(std::nullopt, command.action);
            return;
        }
        case Kind::captureWindow: ops_.startCapture(CaptureMode::window, command.action); return;
        case Kind::selfTimer: {
            const auto outcome = resolveRegion(command.region);
            if (std::holds_alternative<Omitted>(outcome)) {
                ops_.startAllInOneCapture();
            } else if (const auto* selection = std::get_if<CaptureSelection>(&outcome)) {
                // A countdown of -3 or 10^18 seconds is nobody's wish: the
                // preference's own bounds apply.
                std::optional<int64_t> seconds = command.seconds;
                if (seconds) seconds = std::clamp(*seconds, kLinkSelfTimerMinimumSeconds, kLinkSelfTimerMaximumSeconds);
                ops_.startSelfTimerCapture(*selection, seconds, command.action);
            }
            return;
        }
        case Kind::scrollingCapture: {
            const auto outcome = resolveRegion(command.region);
            if (std::holds_alternative<Omitted>(outcome)) ops_.startScrollingCapture(std::nullopt, command.autoscroll);
            else if (const auto* selection = std::get_if<CaptureSelection>(&outcome)) {
                ops_.startScrollingCapture(*selection, command.autoscroll);
            }
            return;
        }
        case Kind::pin: withImageFrom(command.filepath, localized("Pin failed"), ops_.pinImage); return;
        case Kind::captureText: captureText(command); return;
        case Kind::openAnnotate:
            withImageFrom(command.filepath, localized("Annotate failed"), ops_.presentAnnotationEditor);
            return;
        case Kind::openSettings: ops_.openSettings(command.tab); return;
        case Kind::desktopIcons: ops_.applyDesktopIcons(command.iconAction); return;
        case Kind::addQuickAccessOverlay: addQuickAccessOverlay(command.filepath); return;
        case Kind::allInOne: ops_.startAllInOneCapture(); return;
        case Kind::recordScreen: ops_.startRecording(); return;
        case Kind::openFromClipboard: {
            if (auto image = ops_.imageFromClipboard()) {
                ops_.presentAnnotationEditor(std::move(*image));
                return;
            }
            ops_.warn(localized("No Image on Clipboard"), localized("Copy an image before opening it in Annotate."));
            return;
        }
        case Kind::restoreRecentlyClosed: ops_.restoreRecentlyClosedPin(); return;
        case Kind::openHistory: ops_.openHistory(); return;
    }
}

}  // namespace tessarin
