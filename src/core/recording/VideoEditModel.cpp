#include "core/recording/VideoEditModel.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <system_error>

#include "core/common/Localization.h"

namespace tessarin {

namespace fs = std::filesystem;

std::string_view rawName(VideoDimensionPreset preset) {
    switch (preset) {
        case VideoDimensionPreset::original: return "original";
        case VideoDimensionPreset::p1440: return "p1440";
        case VideoDimensionPreset::p1080: return "p1080";
        case VideoDimensionPreset::p720: return "p720";
        case VideoDimensionPreset::p480: return "p480";
        case VideoDimensionPreset::custom: return "custom";
    }
    return {};
}

std::string presetTitle(VideoDimensionPreset preset) {
    switch (preset) {
        case VideoDimensionPreset::original: return localized("Original");
        case VideoDimensionPreset::p1440: return localized("1440p");
        case VideoDimensionPreset::p1080: return localized("1080p");
        case VideoDimensionPreset::p720: return localized("720p");
        case VideoDimensionPreset::p480: return localized("480p");
        case VideoDimensionPreset::custom: return localized("Custom");
    }
    return {};
}

int64_t presetTargetLength(VideoDimensionPreset preset) {
    switch (preset) {
        case VideoDimensionPreset::p1440: return 1440;
        case VideoDimensionPreset::p1080: return 1080;
        case VideoDimensionPreset::p720: return 720;
        case VideoDimensionPreset::p480: return 480;
        default: return 0;
    }
}

namespace {

int64_t evenSide(double length) {
    const double rounded = std::round(length);
    if (!std::isfinite(rounded) || rounded < 2) return 2;
    if (rounded >= static_cast<double>(kMaxVideoSide)) return kMaxVideoSide;
    const auto whole = static_cast<int64_t>(rounded);
    return std::max<int64_t>(2, whole - whole % 2);
}

double aspectOf(VideoSize source) {
    if (source.height <= 1) return 1.0;
    return std::max(0.01, static_cast<double>(source.width) / static_cast<double>(source.height));
}

// Shrinks (w, h) together so that neither side passes kMaxVideoSide.
VideoSize fitted(double width, double height) {
    const double longer = std::max(width, height);
    const double limit = static_cast<double>(kMaxVideoSide);
    if (std::isfinite(longer) && longer > limit) {
        width *= limit / longer;
        height *= limit / longer;
    }
    return evenPixelSize(width, height);
}

double finiteOr(double value, double fallback) { return std::isfinite(value) ? value : fallback; }

}  // namespace

VideoSize evenPixelSize(double width, double height) { return {evenSide(width), evenSide(height)}; }

VideoSize resolvedSize(VideoDimensionPreset preset, VideoSize source) {
    const auto width = static_cast<double>(source.width);
    const auto height = static_cast<double>(source.height);
    const int64_t target = presetTargetLength(preset);
    const double longer = std::max(width, height);
    if (target > 0 && source.width > 0 && source.height > 0 && longer > static_cast<double>(target)) {
        const double scale = static_cast<double>(target) / longer;
        return evenPixelSize(width * scale, height * scale);
    }
    return evenPixelSize(width, height);
}

std::string_view rawName(VideoAudioMode mode) {
    switch (mode) {
        case VideoAudioMode::preserve: return "preserve";
        case VideoAudioMode::mono: return "mono";
        case VideoAudioMode::mute: return "mute";
        case VideoAudioMode::customVolume: return "customVolume";
    }
    return {};
}

std::string audioModeTitle(VideoAudioMode mode) {
    switch (mode) {
        case VideoAudioMode::preserve: return localized("Don't change");
        case VideoAudioMode::mono: return localized("Convert to mono");
        case VideoAudioMode::mute: return localized("Mute");
        case VideoAudioMode::customVolume: return localized("Change volume");
    }
    return {};
}

VideoEditState VideoEditState::initial(const VideoEditSource& source) {
    VideoEditState state;
    const double duration = std::max(0.0, finiteOr(source.duration, 0));
    state.selectedTimeRange = {0, std::round(duration * 600) / 600};
    state.customSize = evenPixelSize(static_cast<double>(source.sourceSize.width),
                                     static_cast<double>(source.sourceSize.height));
    return state;
}

VideoSize VideoEditState::resolvedOutputSize(VideoSize sourceSize) const {
    if (dimensionPreset == VideoDimensionPreset::custom) {
        return evenPixelSize(static_cast<double>(customSize.width), static_cast<double>(customSize.height));
    }
    return resolvedSize(dimensionPreset, sourceSize);
}

void VideoEditState::updateCustomWidth(double width, VideoSize sourceSize) {
    const double w = std::max(2.0, finiteOr(width, 2));
    dimensionPreset = VideoDimensionPreset::custom;
    customSize = fitted(w, w / aspectOf(sourceSize));
}

void VideoEditState::updateCustomHeight(double height, VideoSize sourceSize) {
    const double h = std::max(2.0, finiteOr(height, 2));
    dimensionPreset = VideoDimensionPreset::custom;
    customSize = fitted(h * aspectOf(sourceSize), h);
}

double VideoEditState::exportVolume() const {
    switch (audioMode) {
        case VideoAudioMode::mute: return 0.0;
        case VideoAudioMode::customVolume: return std::max(0.0, finiteOr(volumeMultiplier, 1.0));
        default: return 1.0;
    }
}

double VideoEditState::estimatedAudioBitRate() const {
    switch (audioMode) {
        case VideoAudioMode::mute: return 0;
        case VideoAudioMode::customVolume: return std::max(0.5, finiteOr(volumeMultiplier, 1.0)) * 96000;
        default: return 96000;
    }
}

double VideoEditState::estimatedVideoBitRate(const VideoEditSource& source) const {
    const VideoSize size = resolvedOutputSize(source.sourceSize);
    const double rate = std::max(0.0, finiteOr(source.nominalFrameRate, 0));
    const double q = std::clamp(finiteOr(quality, 0.62), 0.0, 1.0);
    return std::max(320000.0, static_cast<double>(size.width) * static_cast<double>(size.height) * rate * 0.065 *
                                  (q * 1.15 + 0.35));
}

int64_t VideoEditState::estimatedFileSizeBytes(const VideoEditSource& source) const {
    const double audio = source.hasAudio ? estimatedAudioBitRate() : 0;
    const double seconds = std::max(0.0, finiteOr(selectedTimeRange.duration, 0));
    return static_cast<int64_t>(std::trunc(seconds * (estimatedVideoBitRate(source) + audio) * 0.125));
}

std::string VideoEditState::qualityLabel() const {
    switch (qualityTier()) {
        case ExportQualityTier::low: return localized("Low");
        case ExportQualityTier::medium: return localized("Medium");
        case ExportQualityTier::highest: return localized("High");
    }
    return {};
}

ExportQualityTier VideoEditState::qualityTier() const {
    if (quality < 0.34) return ExportQualityTier::low;
    if (quality < 0.67) return ExportQualityTier::medium;
    return ExportQualityTier::highest;
}

MediaTimeRange VideoEditState::clampedTimeRange(double sourceDuration) const {
    const double limit = std::max(0.0, finiteOr(sourceDuration, 0));
    const double start = std::clamp(finiteOr(selectedTimeRange.start, 0), 0.0, limit);
    const double end = std::clamp(finiteOr(selectedTimeRange.end(), 0), start, limit);
    return {start, end - start};
}

std::string estimatedFileSizeText(int64_t bytes) {
    char text[64];
    const auto value = static_cast<double>(std::max<int64_t>(0, bytes));
    if (value < 1000) {
        std::snprintf(text, sizeof text, "%lld bytes", static_cast<long long>(value));
    } else if (value < 1e6) {
        std::snprintf(text, sizeof text, "%.0f KB", value / 1e3);
    } else if (value < 1e9) {
        std::snprintf(text, sizeof text, "%.1f MB", value / 1e6);
    } else {
        std::snprintf(text, sizeof text, "%.2f GB", value / 1e9);
    }
    std::string pattern = localized("Estimated file size: %@");
    const auto at = pattern.find("%@");
    if (at != std::string::npos) pattern.replace(at, 2, text);
    return pattern;
}

std::string videoTimeText(double seconds) {
    const double clamped = std::isfinite(seconds) ? std::clamp(seconds, 0.0, 1e9) : 0.0;
    const auto tenths = static_cast<long long>(std::floor(clamped * 10));
    char text[48];
    std::snprintf(text, sizeof text, "%02lld:%02lld.%lld", tenths / 600, (tenths / 10) % 60, tenths % 10);
    return text;
}

std::string videoRangeText(MediaTimeRange range) {
    return videoTimeText(range.start) + " - " + videoTimeText(range.end());
}

fs::path makeEditedURL(const fs::path& source, const std::function<bool(const fs::path&)>& exists) {
    const std::string extension = source.has_extension() ? source.extension().string().substr(1) : "mov";
    const std::string base = source.stem().string() + " " + localized("Edited");
    fs::path candidate = source.parent_path() / (base + "." + extension);
    for (int number = 2; exists(candidate); ++number) {
        candidate = source.parent_path() / (base + " " + std::to_string(number) + "." + extension);
    }
    return candidate;
}

fs::path makeEditedURL(const fs::path& source) {
    return makeEditedURL(source, [](const fs::path& path) {
        std::error_code error;
        return fs::symlink_status(path, error).type() != fs::file_type::not_found;
    });
}

}  // namespace tessarin
