#pragma once
// The parameters a screen-cast stream negotiates with: the raw formats we
// read, shared-memory buffers only (no dma-buf: we copy on the CPU anyway),
// and crop and cursor metadata. Built into a caller-owned buffer that must
// outlive the call that passes them on.

#include <cstdint>

struct spa_pod;

namespace tessarin::portal {

struct PodBuffer {
    alignas(8) uint8_t bytes[4096];
    uint32_t used = 0;
};

const spa_pod* castFormatParam(PodBuffer& buffer, double framesPerSecond);
const spa_pod* castBuffersParam(PodBuffer& buffer);
const spa_pod* castCropMetaParam(PodBuffer& buffer);
const spa_pod* castCursorMetaParam(PodBuffer& buffer);

}  // namespace tessarin::portal
