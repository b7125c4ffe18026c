#pragma once
// Whether a capture may read the screen. Granted when the platform's check
// passes; otherwise the platform is asked to grant access the first time
// in this process only, and its answer is the result; after that the
// answer is no without asking again, so a refused request does not come
// back at every shortcut press.

#include <functional>
#include <memory>

#include "core/common/Executor.h"

namespace tessarin {

// The flow's permission question: completes with whether capture may start.
using ScreenRecordingPermission = std::function<void(Completion<bool>)>;

// `check` is the platform's quick check; `request` asks for access and
// completes with the answer.
ScreenRecordingPermission askingOnlyOnce(std::function<bool()> check,
                                         std::function<void(Completion<bool>)> request);

}  // namespace tessarin
