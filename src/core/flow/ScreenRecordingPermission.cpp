#include "core/flow/ScreenRecordingPermission.h"

namespace tessarin {

ScreenRecordingPermission askingOnlyOnce(std::function<bool()> check, std::function<void(Completion<bool>)> request) {
    auto asked = std::make_shared<bool>(false);
    return [check = std::move(check), request = std::move(request), asked](Completion<bool> done) {
        if (check && check()) return done(true);
        if (*asked || !request) return done(false);
        *asked = true;
        request(std::move(done));
    };
}

}  // namespace tessarin
