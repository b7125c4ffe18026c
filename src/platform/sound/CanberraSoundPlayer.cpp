#include "platform/sound/CanberraSoundPlayer.h"

#include <canberra.h>

#include <array>

#include "core/common/Log.h"

namespace tessarin {

namespace {

constexpr std::array kEventIDs{"screen-capture", "camera-shutter"};

void logFailure(std::string_view what, int code) {
    logLine(LogLevel::error, LogCategory::capture,
            "sound.play " + std::string(what) + " error=\"" + ca_strerror(code) + "\"");
}

}  // namespace

struct CanberraSoundPlayer::Context {
    ca_context* handle = nullptr;
    ~Context() {
        if (handle != nullptr) ca_context_destroy(handle);
    }
};

CanberraSoundPlayer::CanberraSoundPlayer(CanberraOptions options) : options_(std::move(options)) {}

CanberraSoundPlayer::~CanberraSoundPlayer() = default;

bool CanberraSoundPlayer::open() {
    if (context_) return true;
    const auto now = std::chrono::steady_clock::now();
    if (failedAt_ && now - *failedAt_ < options_.retryAfter) return false;
    // Until it succeeds, this attempt counts as the last failure.
    failedAt_ = now;
    auto context = std::make_unique<Context>();
    if (const int code = ca_context_create(&context->handle); code != CA_SUCCESS) {
        context->handle = nullptr;
        logFailure("create", code);
        return false;
    }
    if (options_.driver) {
        if (const int code = ca_context_set_driver(context->handle, options_.driver->c_str()); code != CA_SUCCESS) {
            logFailure("driver", code);
            return false;
        }
    }
    ca_context_change_props(context->handle, CA_PROP_APPLICATION_NAME, "Tessarin", CA_PROP_APPLICATION_ID,
                            "io.tessarin.Tessarin", nullptr);
    if (const int code = ca_context_open(context->handle); code != CA_SUCCESS) {
        logFailure("open", code);
        return false;
    }
    context_ = std::move(context);
    failedAt_.reset();
    return true;
}

bool CanberraSoundPlayer::play() {
    if (!open()) return false;
    int code = CA_ERROR_NOTFOUND;
    for (const char* eventID : kEventIDs) {
        code = ca_context_play(context_->handle, 0, CA_PROP_EVENT_ID, eventID, CA_PROP_EVENT_DESCRIPTION,
                               "Screenshot taken", nullptr);
        if (code == CA_SUCCESS) {
            lastEventID_ = eventID;
            return true;
        }
        // Only a theme without this sound is worth the next name.
        if (code != CA_ERROR_NOTFOUND) break;
    }
    logFailure("play", code);
    // A sound server that went away leaves a dead context: open anew next time.
    if (code != CA_ERROR_NOTFOUND) context_.reset();
    return false;
}

}  // namespace tessarin
