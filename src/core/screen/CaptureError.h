#pragma once
// The capture service's error. Each case has one human-readable description,
// shown once where the error ends up (the agent's JSON error, an alert).

#include <string>

namespace tessarin {

class CaptureError {
public:
    enum class Kind { noDisplay, permissionDenied, captureFailed };

    static CaptureError noDisplay() { return CaptureError(Kind::noDisplay, {}); }
    static CaptureError permissionDenied() { return CaptureError(Kind::permissionDenied, {}); }
    static CaptureError captureFailed(std::string message) { return CaptureError(Kind::captureFailed, std::move(message)); }
    // An operation cancelled or stopped by an internal failure.
    static CaptureError interrupted(std::string reason) { return captureFailed(std::move(reason)); }

    Kind kind() const { return kind_; }
    const std::string& message() const { return message_; }
    std::string description() const {
        switch (kind_) {
            case Kind::noDisplay: return "No display found";
            case Kind::permissionDenied: return "Screen recording permission denied";
            case Kind::captureFailed: return "Capture failed: " + message_;
        }
        return {};
    }
    friend bool operator==(const CaptureError&, const CaptureError&) = default;

private:
    CaptureError(Kind kind, std::string message) : kind_(kind), message_(std::move(message)) {}
    Kind kind_;
    std::string message_;
};

// Messages that travel inside captureFailed.
namespace CaptureMessages {
inline constexpr const char* cropFailed = "Failed to crop screenshot image";
inline constexpr const char* loadFailed = "Failed to load screenshot image";
inline constexpr const char* decodeFailed = "Failed to decode screenshot image";
inline constexpr const char* frozenCropFailed = "Failed to crop frozen screen image";
inline std::string noWindow(const std::string& owner, const std::string& title) {
    std::string text = "No on-screen window for app=" + owner;
    if (!title.empty()) text += " title=" + title;
    return text;
}
}  // namespace CaptureMessages

}  // namespace tessarin
