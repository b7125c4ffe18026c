#pragma once
// The outcome shared by every encoder: success, or one error saying where it
// happened. Encoders report an error once and never throw.

#include <string>
#include <utility>
#include <variant>

#include "core/common/Expected.h"

namespace tessarin {

struct EncodeError {
    enum class Kind {
        invalidImage,  // empty image or a parameter out of range
        sinkFailed,    // the ByteSink refused bytes; its owner knows why
        encoderFailed  // the codec library or memory gave out
    };
    Kind kind;
    std::string message;
};

using EncodeResult = Expected<std::monostate, EncodeError>;

inline EncodeResult encodeSucceeded() { return std::monostate{}; }
inline EncodeResult encodeFailed(EncodeError::Kind kind, std::string message) {
    return unexpected(EncodeError{kind, std::move(message)});
}

}  // namespace tessarin
