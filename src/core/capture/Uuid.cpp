#include "core/capture/Uuid.h"

#include <sys/random.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdint>

namespace tessarin {
namespace {

void fillRandom(uint8_t (&bytes)[16]) {
    size_t filled = 0;
    while (filled < sizeof bytes) {
        const ssize_t n = getrandom(bytes + filled, sizeof bytes - filled, 0);
        if (n > 0) {
            filled += static_cast<size_t>(n);
            continue;
        }
        // getrandom cannot fail here short of a kernel without it; fall back
        // to a mix that is still unique per process and call.
        static std::atomic<uint64_t> counter{0};
        uint64_t mix = uint64_t(std::chrono::system_clock::now().time_since_epoch().count()) ^
                       (uint64_t(::getpid()) << 40) ^ counter.fetch_add(0x9E3779B97F4A7C15u);
        for (auto& byte : bytes) {
            mix = mix * 6364136223846793005u + 1442695040888963407u;
            byte = static_cast<uint8_t>(mix >> 56);
        }
        return;
    }
}

}  // namespace

std::string newUUIDString() {
    uint8_t bytes[16];
    fillRandom(bytes);
    bytes[6] = static_cast<uint8_t>((bytes[6] & 0x0F) | 0x40);  // version 4
    bytes[8] = static_cast<uint8_t>((bytes[8] & 0x3F) | 0x80);  // RFC 4122 variant
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(36);
    for (int i = 0; i < 16; ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10) text += '-';
        text += kHex[bytes[i] >> 4];
        text += kHex[bytes[i] & 0x0F];
    }
    return text;
}

bool isUUIDString(std::string_view text) {
    if (text.size() != 36) return false;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (i == 8 || i == 13 || i == 18 || i == 23) {
            if (c != '-') return false;
        } else if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'))) {
            return false;
        }
    }
    return true;
}

}  // namespace tessarin
