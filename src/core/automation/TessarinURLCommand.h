#pragma once
// What a `tessarin://` link asks for. Other programs, scripts and web pages
// drive the running application with links such as
// tessarin://capture-area?x=10&y=20&width=300&height=200&action=save; this
// turns one link into one command value, or rejects it. Parsing is pure:
// nothing but the link is read. A malformed value inside a known command
// only makes that value absent.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/capture/CaptureTarget.h"
#include "core/flow/CaptureSession.h"

namespace tessarin {

// A rectangle in top-left device pixels of the chosen display.
struct TessarinURLRegion {
    double x = 0;
    double y = 0;
    double width = 0;
    double height = 0;
    CaptureTarget::Display display = CaptureTarget::Automatic{};
};
bool operator==(const TessarinURLRegion& a, const TessarinURLRegion& b);

enum class DesktopIconAction { hide, show, toggle };

struct TessarinURLCommand {
    enum class Kind {
        allInOne,
        captureArea,
        capturePreviousArea,
        captureFullscreen,
        captureWindow,
        selfTimer,
        scrollingCapture,
        pin,
        recordScreen,
        captureText,
        openAnnotate,
        openFromClipboard,
        openSettings,
        desktopIcons,
        restoreRecentlyClosed,
        openHistory,
        addQuickAccessOverlay,
    };

    Kind kind = Kind::allInOne;
    // Each kind carries only its own payload; the rest stay empty.
    std::optional<TessarinURLRegion> region;
    std::optional<CaptureOutputAction> action;
    CaptureTarget::Display display = CaptureTarget::Automatic{};  // captureFullscreen
    std::optional<int64_t> seconds;                               // selfTimer
    std::optional<bool> autoscroll;                               // scrollingCapture
    std::optional<bool> linebreaks;                               // captureText
    std::optional<std::string> filepath;                          // pin, captureText, openAnnotate, addQuickAccessOverlay
    std::optional<std::string> tab;                               // openSettings
    DesktopIconAction iconAction = DesktopIconAction::toggle;     // desktopIcons

    // The command `url` names, or none: another scheme, an unknown command,
    // or a link that is not well formed (bad percent escapes, spaces or
    // control characters).
    static std::optional<TessarinURLCommand> parse(std::string_view url);
    // Every command word a link may name, in the order of the table.
    static std::vector<std::string> commandWords();
};
bool operator==(const TessarinURLCommand& a, const TessarinURLCommand& b);

// The schemes a link may use, lower-case: "tessarin", which the desktop
// file registers.
const std::vector<std::string>& registeredURLSchemes();

// A link taken apart: its query as key (lower-case) to value (decoded, case
// kept; a later key replaces an earlier one; keys without "=" are left out).
struct URLQuery {
    std::map<std::string, std::string> values;

    const std::string* find(const std::string& name) const;
    // A finite decimal number over the whole value ("1", "-2.5", "1e3");
    // spaces, hex, "inf", "nan" and out-of-range values are none.
    std::optional<double> doubleValue(const std::string& name) const;
    // A base-10 integer with an optional sign, within 64 bits.
    std::optional<int64_t> intValue(const std::string& name) const;
    // "true", "1", "yes" / "false", "0", "no", ignoring case.
    std::optional<bool> boolValue(const std::string& name) const;
    // "display-id" (an unsigned 32-bit id), else "display" (a one-based
    // number, main display first), else the display under the pointer.
    CaptureTarget::Display display() const;
};

struct URLParts {
    std::string scheme;  // lower-case
    std::string host;    // decoded
    std::string path;    // decoded
    URLQuery query;
};
// None when the link is not well formed.
std::optional<URLParts> splitURL(std::string_view url);
// The command word: the host, else the first non-empty path segment,
// lower-case; empty when there is none.
std::string commandName(const URLParts& parts);

}  // namespace tessarin
