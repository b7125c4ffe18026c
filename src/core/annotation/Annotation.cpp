#include "core/annotation/Annotation.h"

#include <cstdio>
#include <random>

namespace tessarin {

AnnotationID AnnotationID::random() {
    // One seeded engine per thread: ids need to be unique, not secret.
    thread_local std::mt19937_64 engine{std::random_device{}()};
    AnnotationID id;
    for (size_t i = 0; i < id.bytes.size(); i += 8) {
        const uint64_t word = engine();
        for (size_t b = 0; b < 8; ++b) id.bytes[i + b] = uint8_t(word >> (8 * b));
    }
    id.bytes[6] = uint8_t((id.bytes[6] & 0x0F) | 0x40);  // version 4
    id.bytes[8] = uint8_t((id.bytes[8] & 0x3F) | 0x80);  // RFC 4122 variant
    return id;
}

std::string AnnotationID::text() const {
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10) out += '-';
        out += digits[bytes[i] >> 4];
        out += digits[bytes[i] & 0x0F];
    }
    return out;
}

AnnotationStateCapture Annotation::stateCapture() const {
    const AnnotationStyleChannels style = styleChannels();
    return {geometrySnapshot(), style.color,  style.mosaicEffect, style.metricValue,
            capturedText(),     capturedMarkerNumber(), isHidden()};
}

void Annotation::applyStateCapture(const AnnotationStateCapture& capture) {
    applyGeometry(capture.geometry, {0, 0});
    applyStyleChannels({capture.color, capture.mosaicEffect, capture.metricValue});
    if (capture.text) restoreText(*capture.text);
    if (capture.markerNumber) restoreMarkerNumber(*capture.markerNumber);
    setHidden(capture.isHidden);
}

}  // namespace tessarin
