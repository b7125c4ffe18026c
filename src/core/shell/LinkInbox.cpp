#include "core/shell/LinkInbox.h"

namespace tessarin {

void LinkInbox::deliver(std::string link) {
    if (!handler_ || draining_) {
        pending_.push_back(std::move(link));
        return;
    }
    handler_(link);
}

void LinkInbox::install(Handler handler) {
    handler_ = std::move(handler);
    if (draining_) return;  // installed from inside the handler: the loop below carries on with it
    draining_ = true;
    while (handler_ && !pending_.empty()) {
        const std::string link = std::move(pending_.front());
        pending_.pop_front();
        // A copy: the handler may install another one while it runs.
        const Handler current = handler_;
        current(link);
    }
    draining_ = false;
}

}  // namespace tessarin
