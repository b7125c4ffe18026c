#pragma once
// Everything drawing an annotation depends on, as bytes: two annotations
// with equal fingerprints draw the same pixels. A canvas compares an
// annotation's fingerprint with the one it last drew to know whether the
// pixels under it must be drawn again, whatever edit changed it (including
// fields an undo capture leaves out).

#include <string>

#include "core/annotation/Annotation.h"

namespace tessarin {

std::string annotationFingerprint(const Annotation& annotation);

}  // namespace tessarin
