#pragma once
// One capture's identity, and what to do with its image instead of the
// normal completion.

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

#include "core/capture/CaptureHistoryStore.h"
#include "core/capture/CaptureMode.h"

namespace tessarin {

// A platform window, as the focus restorer names it (an X11 window id).
using WindowHandle = uint64_t;

struct CaptureSession {
    std::string id;  // 8 characters: names the capture in every log line and temporary file
    CaptureMode mode = CaptureMode::area;
    std::chrono::system_clock::time_point startTime;
    // The window that had the focus when the capture started: focus goes
    // back to it after a picker took it, and the scrolling capture scrolls it.
    std::optional<WindowHandle> frontmostWindow;

    // A fresh id: the first 8 characters of a new UUID.
    static CaptureSession begin(CaptureMode mode, std::chrono::system_clock::time_point now,
                                std::optional<WindowHandle> frontmostWindow = std::nullopt);

    CaptureSessionInfo info() const { return {id, mode}; }
};

struct CaptureOutputAction {
    enum class Kind { copy, save, annotate, pin, ocr };
    Kind kind = Kind::copy;
    bool joinLines = false;  // ocr only

    // The word, ignoring case: "copy", "save", "annotate", "pin", "ocr";
    // anything else is no action (the normal completion). Recognised text
    // keeps its line breaks unless `linebreaks` is explicitly false.
    static std::optional<CaptureOutputAction> parse(std::string_view word, std::optional<bool> linebreaks);

    friend bool operator==(const CaptureOutputAction&, const CaptureOutputAction&) = default;
};

std::string_view rawValue(CaptureOutputAction::Kind kind);

}  // namespace tessarin
