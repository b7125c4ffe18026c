#include "core/flow/CaptureSession.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <utility>

#include "core/capture/Uuid.h"

namespace tessarin {

namespace {

constexpr std::array<std::pair<CaptureOutputAction::Kind, std::string_view>, 5> kOutputWords{{
    {CaptureOutputAction::Kind::copy, "copy"},
    {CaptureOutputAction::Kind::save, "save"},
    {CaptureOutputAction::Kind::annotate, "annotate"},
    {CaptureOutputAction::Kind::pin, "pin"},
    {CaptureOutputAction::Kind::ocr, "ocr"},
}};

bool equalIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

}  // namespace

CaptureSession CaptureSession::begin(CaptureMode mode, std::chrono::system_clock::time_point now,
                                     std::optional<WindowHandle> frontmostWindow) {
    return {newUUIDString().substr(0, 8), mode, now, frontmostWindow};
}

std::optional<CaptureOutputAction> CaptureOutputAction::parse(std::string_view word, std::optional<bool> linebreaks) {
    for (const auto& [kind, text] : kOutputWords) {
        if (!equalIgnoringCase(word, text)) continue;
        return CaptureOutputAction{kind, kind == Kind::ocr && linebreaks == false};
    }
    return std::nullopt;
}

std::string_view rawValue(CaptureOutputAction::Kind kind) {
    for (const auto& [k, text] : kOutputWords) {
        if (k == kind) return text;
    }
    return "copy";
}

}  // namespace tessarin
